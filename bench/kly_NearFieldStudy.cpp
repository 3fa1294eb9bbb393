// The near-field study of docs/near-field.md: how the disk simulation of the
// example tubes depends on the ring and disk counts with the thin and with
// the finite near field, beside the ring-by-ring small-signal cascade
// (kly_RingCascade.h). Prints the tables of the document, in Markdown.
//
//   klystron_near_field_study [--tube NAME]... [--table]
//
// --tube NAME  only these example tubes (sband-round, xband-sheet, sband-prebunched); default all
// --table      also the space-charge table near a disk (sband-round, 4 rings, 32 disks)
//
// Every run is serial (one thread) and iterates to convergence or 80 passes;
// all of them take a few minutes on one core.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/kly_RingCascade.h"
#include "klystron/analytic/kly_Analytic.h"
#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_SpaceCharge.h"
#include "tools/kly_TubeFile.h"

namespace {

constexpr double kC0 = kly::kSpeedOfLight;
constexpr int kPasses = 80;
const int kRings[] = {1, 2, 3, 4, 6, 8};
const int kDisks[] = {30, 31, 32, 33, 34};

struct Run {
  double gain = 0, efficiency = 0;
  int passes = 0;
  std::vector<double> z, inner, beam;  // bunching grid [m]; I1/I0 of ring 0 (the results') and of all rings
};

struct Tube {
  std::string name;
  kly_TubeDescription description;
  double smallSignal;  // drive [W]
  bool imported() const { return description.simulation->importBeam.has_value(); }
};

// The tube at `drive` [W] (its own for a negative one), built for `rings` rings.
std::shared_ptr<const kly_BuiltTube> build(const kly_TubeDescription& tube, double drive, int rings) {
  kly_TubeDescription t = tube;
  if (drive >= 0) t.beam.inputPower = drive;
  for (kly_CavityDescription& c : t.cavities)
    if (c.hasFieldFile && c.fieldRings < rings) c.fieldRings = rings;
  return kly_BuiltTube::build(t);
}

Run simulate(const Tube& tube, double drive, int disks, int rings, kly_NearField nearField) {
  const auto built = build(tube.description, drive, rings);
  kly_SimulationSettings sim = *tube.description.simulation;
  sim.disks = disks;
  sim.rings = rings;
  sim.maxIterations = kPasses;
  sim.nearField = nearField;
  kly_DiskSimulation s;
  s.simulate(*built, sim, {nullptr, 1});
  Run r;
  r.gain = s.getSimulatedGain();
  r.efficiency = s.getSimulatedElectronicEfficiency();
  r.passes = s.getSimulatedIterations();
  // Bunching of every ring, formed as the results form it for ring 0.
  const double lambda = built->beam().getRfWavelength();
  const int n = kly_DiskSimulation::kGridPoints;
  std::vector<double> C(n), S(n);
  for (int ring = 0; ring < rings; ++ring)
    for (int d = 0; d < disks; ++d) {
      int p = 0;
      for (int t = 1; t < s.getSimulatedMaxTimeStep() && p < n; ++t) {
        const double za = s.getSimulatedDiskPosition(d, ring, t - 1), zb = s.getSimulatedDiskPosition(d, ring, t);
        while (p < n && za <= s.getBunchingGridZ(p) && s.getBunchingGridZ(p) < zb) {
          const double zg = s.getBunchingGridZ(p);
          const double tau = zg / lambda - (t + (zg - za) / (zb - za)) / sim.steps;
          C[p] += std::cos(6.283185307179586 * tau);
          S[p] += std::sin(6.283185307179586 * tau);
          ++p;
        }
      }
    }
  for (int i = 0; i < n; ++i) {
    r.z.push_back(s.getBunchingGridZ(i));
    r.inner.push_back(s.getSimulatedI1I0Sample(i));
    r.beam.push_back(2 * std::hypot(C[i], S[i]) / (disks * rings));
  }
  return r;
}

// Largest difference of profile a from profile b between the first gap and
// the output gap's field, relative to b's largest value there.
double profileDeviation(const std::vector<double>& z, const std::vector<double>& a, const std::vector<double>& b,
                        double from, double to) {
  double largest = 0, peak = 0;
  for (std::size_t i = 0; i < z.size(); ++i) {
    if (z[i] < from || z[i] > to) continue;
    largest = std::max(largest, std::abs(a[i] - b[i]));
    peak = std::max(peak, b[i]);
  }
  return largest / peak;
}

double spread(const std::vector<double>& v) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  return *hi - *lo;
}

const char* name(kly_NearField f) { return f == kly_NearField::thin ? "thin" : "finite"; }

void smallSignal(const Tube& tube) {
  const auto k = build(tube.description, tube.smallSignal, 1);
  kly_Analytic analytic;
  analytic.calculateAnalytics(*k);
  const double from = k->description().cavities[0].z, to = k->cavity(k->cavityCount() - 1).getFieldZMin();
  std::printf("\n### %s, small signal (%g W), 32 disks; analytic gain %.3f dB\n\n", tube.name.c_str(),
              tube.smallSignal, analytic.getGain());
  std::printf("| rings | thin [dB] | finite [dB] | ring-by-ring cascade [dB] | finite - cascade [dB] |"
              " I1/I0 ring 0 vs 1 ring, thin | finite | whole beam vs 1 ring, finite | cascade |"
              " finite vs cascade, ring 0 | whole beam |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
  std::map<kly_NearField, std::vector<double>> gains;
  std::map<kly_NearField, Run> one;
  std::vector<double> oneEstimate;  // the cascade's whole-beam I1/I0 with one ring
  for (int rings : kRings) {
    const kly_RingCascadeResult estimate = kly_RingCascade::estimate(*build(tube.description, tube.smallSignal, rings),
                                                                      rings);
    std::map<kly_NearField, Run> runs;
    for (kly_NearField f : {kly_NearField::thin, kly_NearField::finite}) {
      runs[f] = simulate(tube, tube.smallSignal, 32, rings, f);
      gains[f].push_back(runs[f].gain);
      if (rings == 1) one[f] = runs[f];
    }
    const Run& fin = runs[kly_NearField::finite];
    std::vector<double> estInner, estBeam;
    for (double z : fin.z) {
      estInner.push_back(estimate.innerRingI1I0(z));
      estBeam.push_back(estimate.beamI1I0(z));
    }
    if (rings == 1) oneEstimate = estBeam;
    std::printf("| %d | %.3f | %.3f | %.3f | %+.3f | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.0f %% |\n",
                rings,
                runs[kly_NearField::thin].gain, fin.gain, estimate.gain, fin.gain - estimate.gain,
                100 * profileDeviation(fin.z, runs[kly_NearField::thin].inner, one[kly_NearField::thin].inner, from, to),
                100 * profileDeviation(fin.z, fin.inner, one[kly_NearField::finite].inner, from, to),
                100 * profileDeviation(fin.z, fin.beam, one[kly_NearField::finite].beam, from, to),
                100 * profileDeviation(fin.z, estBeam, oneEstimate, from, to),
                100 * profileDeviation(fin.z, fin.inner, estInner, from, to),
                100 * profileDeviation(fin.z, fin.beam, estBeam, from, to));
  }
  for (kly_NearField f : {kly_NearField::thin, kly_NearField::finite}) {
    const std::vector<double>& g = gains[f];
    std::printf("\n%s: spread over rings 1 to 8 %.3f dB, 2 to 8 %.3f dB, 3 to 8 %.3f dB", name(f), spread(g),
                spread({g.begin() + 1, g.end()}), spread({g.begin() + 2, g.end()}));
  }
  std::printf("\nfinite - thin with 1 ring: %+.3f dB\n", gains[kly_NearField::finite][0] - gains[kly_NearField::thin][0]);

  if (tube.imported()) return;  // the beam file has the rows of one disk count
  std::printf("\n| disks (4 rings) | thin [dB] | finite [dB] |\n|---|---|---|\n");
  std::map<kly_NearField, std::vector<double>> byDisks;
  for (int disks : kDisks) {
    std::printf("| %d |", disks);
    for (kly_NearField f : {kly_NearField::thin, kly_NearField::finite}) {
      const double g = simulate(tube, tube.smallSignal, disks, 4, f).gain;
      byDisks[f].push_back(g);
      std::printf(" %.3f |", g);
    }
    std::printf("\n");
  }
  std::printf("\nspread over disks 30 to 34: thin %.3f dB, finite %.3f dB\n", spread(byDisks[kly_NearField::thin]),
              spread(byDisks[kly_NearField::finite]));
}

void designDrive(const Tube& tube) {
  std::printf("\n### %s, design drive (%g W)\n\n| counts | thin: gain [dB] | efficiency [%%] | finite: gain [dB] |"
              " efficiency [%%] |\n|---|---|---|---|---|\n",
              tube.name.c_str(), tube.description.beam.inputPower);
  std::map<kly_NearField, std::vector<double>> ringEff, diskEff;
  std::vector<std::pair<int, int>> counts;
  for (int rings : kRings) counts.push_back({32, rings});
  if (!tube.imported())
    for (int disks : kDisks)
      if (disks != 32) counts.push_back({disks, 4});
  for (auto [disks, rings] : counts) {
    std::printf("| %d x %d |", disks, rings);
    for (kly_NearField f : {kly_NearField::thin, kly_NearField::finite}) {
      const Run r = simulate(tube, -1, disks, rings, f);
      std::printf(" %.3f | %.3f |", r.gain, 100 * r.efficiency);
      if (disks == 32 && rings >= 2) ringEff[f].push_back(100 * r.efficiency);
      if (rings == 4) diskEff[f].push_back(100 * r.efficiency);
    }
    std::printf("\n");
  }
  for (kly_NearField f : {kly_NearField::thin, kly_NearField::finite}) {
    std::printf("\n%s: efficiency spread over rings 2 to 8 %.2f points", name(f), spread(ringEff[f]));
    if (!tube.imported()) std::printf(", over disks 30 to 34 %.2f points", spread(diskEff[f]));
  }
  std::printf("\n");
}

// The thin and the finite table near a disk: the field of ring J on ring i at
// separations from one table interval to four disk thicknesses, and the
// force constant of a uniform shift of one ring against an undisturbed ring
// of disks (the sum of the field's slopes at the disks' separations).
void table(const Tube& tube) {
  const auto k = build(tube.description, -1, 4);
  const kly_Beam& beam = k->beam();
  const kly_BeamDescription& b = tube.description.beam;
  const double u = beam.getBeamVelocity(), f = beam.getFrequency();
  const double D = u / (f * 32) / std::sqrt(1 - (u / kC0) * (u / kC0));
  kly_SpaceCharge thin, finite;
  thin.buildRoundBeamTable(beam.getBeamCurrent() / (f * 32), u, b.beamRadius, b.tubeRadius, 4);
  finite.buildRoundBeamTable(beam.getBeamCurrent() / (f * 32), u, b.beamRadius, b.tubeRadius, 4);
  finite.regulariseNearField(D);
  const double h = thin.getZMax() / kly_SpaceCharge::kIntervals;
  std::printf("\n### %s: field of ring J on ring i near a disk, 4 rings, 32 disks [kV/m]\n\n"
              "Table interval %.1f um, disk thickness Delta %.3f mm (contracted units).\n\n"
              "| J, i | field | h | Delta/8 | Delta/4 | Delta/2 | Delta | 2 Delta | 4 Delta | shift force constant |\n"
              "|---|---|---|---|---|---|---|---|---|---|\n",
              tube.name.c_str(), h * 1e6, D * 1e3);
  const double xs[] = {h, D / 8, D / 4, D / 2, D, 2 * D, 4 * D};
  for (auto [J, i] : {std::pair{0, 0}, std::pair{3, 3}, std::pair{0, 1}, std::pair{2, 3}, std::pair{0, 3}}) {
    for (kly_SpaceCharge* t : {&thin, &finite}) {
      std::printf("| %d, %d | %s |", J, i, t == &thin ? "thin" : "finite");
      for (double x : xs) std::printf(" %.1f |", -t->getSpaceChargeField(x, J, i) / 1e3);
      const auto slope = [&](double x) {
        const double e = 1e-3 * D;
        return -(t->getSpaceChargeField(x + e, J, i) - t->getSpaceChargeField(x - e, J, i)) / (2 * e);
      };
      double sum = -t->getSpaceChargeField(h, J, i) / h;  // the slope at the disk itself
      for (int n = 1; n * D < thin.getZMax(); ++n) sum += 2 * slope(n * D);
      std::printf(" %.3g V/m^2 |\n", sum);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> names;
  bool withTable = false;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--tube") && a + 1 < argc)
      names.push_back(argv[++a]);
    else if (!std::strcmp(argv[a], "--table"))
      withTable = true;
    else {
      std::fprintf(stderr, "usage: %s [--tube NAME]... [--table]\n", argv[0]);
      return 2;
    }
  }
  if (names.empty()) names = {"sband-round", "xband-sheet", "sband-prebunched"};
  for (const std::string& n : names) {
    Tube tube{n, kly_TubeFile::read(std::string(KLY_EXAMPLES_DIR) + "/" + n + ".json").description, 0.1};
    if (!tube.description.beam.round) tube.smallSignal = 0.01;
    if (withTable && tube.description.beam.round && !tube.imported()) table(tube);
    if (!tube.imported()) smallSignal(tube);
    designDrive(tube);
    std::fflush(stdout);
  }
  return 0;
}
