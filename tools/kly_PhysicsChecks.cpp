#include "tools/kly_PhysicsChecks.h"

#include <cmath>
#include <cstdlib>

#include <fmt/format.h>

#include "klystron/model/kly_Beam.h"
#include "klystron/core/kly_Constants.h"
#include "klystron/simulation/kly_BeamImport.h"
#include "tools/kly_Text.h"
#include "tools/kly_TubeRun.h"

using kly_text::general;
using kly_text::quantity;

namespace {

kly_Beam beamOf(const kly_BeamDescription& d) {
  kly_Beam b;
  if (d.round)
    b.initRoundBeam(d.voltage, d.current, d.frequency, d.tubeRadius, d.beamRadius);
  else
    b.initSheetBeam(d.voltage, d.current, d.frequency, d.beamWidth, d.beamHeight, d.tubeWidth, d.tubeHeight);
  return b;
}

// K of the beam model's mean potential depression, dV = K I0 / u [V m/s / A].
double depressionFactor(const kly_BeamDescription& d) {
  if (d.round) return (std::log(d.tubeRadius / d.beamRadius) + 0.25) / (2 * kly::kPi * kly::kEpsilon0);
  return (d.tubeHeight - 5 * d.beamHeight / 16) / (4 * kly::kEpsilon0 * d.beamWidth);
}

double relativeDifference(double a, double reference) { return std::fabs(a - reference) / std::fabs(reference); }

std::string percent(double fraction) { return kly_text::general(100 * fraction, 3) + " %"; }

}  // namespace

double kly_PhysicsChecks::spaceChargeLimit(const kly_BeamDescription& beam) {
  // A beam of current I at the velocity u = sqrt(2 eta V) of its depressed
  // voltage V carries the depression V0 - V = K I / u; for a given V0 the
  // current I(V) = (V0 - V) sqrt(2 eta V) / K is greatest at V = V0 / 3.
  const double v0 = beam.voltage;
  return 2 / (3 * std::sqrt(3.0)) * std::sqrt(2 * kly::kChargeToMass) * v0 * std::sqrt(v0) / depressionFactor(beam);
}

void kly_PhysicsChecks::checkBeam(const kly_TubeFileContents& tube) {
  const kly_BeamDescription& d = tube.description.beam;
  const kly_Beam b = beamOf(d);
  std::vector<std::string> problems;
  const std::string source = tube.source.string();
  const double limit = spaceChargeLimit(d);
  const double vd = b.getDepressedBeamVoltage();
  if (std::isfinite(vd) && vd <= 0) {
    problems.push_back(fmt::format(
        "{}: beam.voltage: {} leaves a depressed voltage of {} with the beam.current of {}: the beam's own space charge "
        "would stop it (at this voltage the tube carries at most {}){}",
        source, quantity(d.voltage, "V"), quantity(vd, "V"), quantity(d.current, "A"), quantity(limit, "A"),
        d.voltage < 1000 ? "; is the voltage in kV instead of V?" : ""));
  } else if (!(d.current <= limit)) {
    problems.push_back(fmt::format(
        "{}: beam.current: {} is beyond the space-charge limit of {} for a beam of {} in this tube: no steady beam "
        "carries it (lower the current, raise the voltage, or widen the beam)",
        source, quantity(d.current, "A"), quantity(limit, "A"), quantity(d.voltage, "V")));
  }
  if (problems.empty()) {
    const struct {
      const char* name;
      double value;
    } derived[] = {{"depressed voltage", vd},
                   {"relativistic factor", b.getSigma()},
                   {"beam velocity", b.getBeamVelocity()},
                   {"electronic wavelength", b.getRfWavelength()},
                   {"plasma frequency", b.getPlasmaFrequency()},
                   {"plasma reduction factor", b.getPlasmaReductionFactor()},
                   {"reduced plasma wavelength", b.getReducedPlasmaWavelength()},
                   {"gamma", b.getGamma()}};
    for (const auto& q : derived) {
      if (!std::isfinite(q.value)) {
        problems.push_back(fmt::format("{}: beam: the derived {} is {}, not a finite number, for {} and {} at {}",
                                       source, q.name, general(q.value), quantity(d.voltage, "V"),
                                       quantity(d.current, "A"), quantity(d.frequency, "Hz")));
      }
    }
  }
  if (!problems.empty()) throw kly_TubeFileError(std::move(problems));
}

void kly_PhysicsChecks::checkImportedBeam(const kly_TubeFileContents& tube) {
  const auto& s = tube.description.simulation;
  if (!s || !s->importBeam) return;
  kly_BeamImport beam;
  try {
    beam.readBeamFile(s->importBeam->file);
  } catch (const std::exception& e) {
    throw kly_TubeFileError({fmt::format("{}: simulation.importBeam.file: {}", tube.source.string(), e.what())});
  }
  if (beam.getRowCount() < s->disks) {
    throw kly_TubeFileError({fmt::format("{}: simulation.disks: {} disks, but the beam file '{}' has {} rows, one per "
                                         "disk",
                                         tube.source.string(), s->disks, s->importBeam->file, beam.getRowCount())});
  }
}

std::vector<kly_Warning> kly_PhysicsChecks::tubeWarnings(const kly_TubeFileContents& tube, bool simulate) {
  std::vector<kly_Warning> w;
  const kly_TubeDescription& t = tube.description;
  const double f = t.beam.frequency;
  for (std::size_t k = 0; k < t.cavities.size(); ++k) {
    const kly_CavityDescription& c = t.cavities[k];
    const int h = std::abs(c.harmonic);
    const double target = h * f;
    const double off = relativeDifference(c.frequency, target);
    if (off > kFrequencyTolerance) {
      w.push_back({fmt::format("cavities[{}].frequency", k),
                   fmt::format("{} is {} away from {} of the drive frequency ({}): a slip of unit or harmonic?",
                               quantity(c.frequency, "Hz"), percent(off),
                               h == 1 ? std::string("the fundamental") : fmt::format("harmonic {}", h),
                               quantity(target, "Hz"))});
    }
  }
  if (!t.cavities.empty() && t.cavities.back().qe >= kly::kNoExternalLoadQe) {
    w.push_back({fmt::format("cavities[{}].qe", t.cavities.size() - 1),
                 fmt::format("{}: the output cavity has no external load (a qe of {} or more), so the tube delivers "
                             "no output power",
                             general(t.cavities.back().qe), general(kly::kNoExternalLoadQe))});
  }
  if (simulate && t.simulation && t.simulation->importBeam) {
    kly_BeamImport beam;
    try {
      beam.readBeamFile(t.simulation->importBeam->file);
    } catch (const std::exception&) {
      return w;  // the simulation reports it
    }
    // The header's second, third and fourth numbers: the current, frequency
    // and voltage the beam was made for; 0 where a file does not say.
    const struct {
      const char* name;
      const char* key;
      double file, tube;
      const char* unit;
    } made[] = {{"frequency", "beam.frequency", beam.headerNumber(3), t.beam.frequency, "Hz"},
                {"voltage", "beam.voltage", beam.headerNumber(4), t.beam.voltage, "V"},
                {"current", "beam.current", beam.headerNumber(2), t.beam.current, "A"}};
    for (const auto& m : made) {
      if (m.file != 0 && relativeDifference(m.file, m.tube) > kImportTolerance) {
        w.push_back({"simulation.importBeam.file",
                     fmt::format("the beam file was made for a {} of {}, the tube's {} is {}", m.name,
                                 quantity(m.file, m.unit), m.key, quantity(m.tube, m.unit))});
      }
    }
  }
  return w;
}

std::vector<kly_Warning> kly_PhysicsChecks::runWarnings(const kly_TubeRun& run) {
  std::vector<kly_Warning> w;
  const kly_TubeDescription& t = run.description();
  const kly_Analytic& a = run.analytic();
  const bool drive = t.beam.inputPower > 0;
  for (int k = 0; k < run.cavityCount(); ++k) {
    const double v = a.getCavityVoltage(k);
    if (v >= t.beam.voltage) {
      w.push_back({fmt::format("cavities[{}]", k),
                   fmt::format("the analytic gap voltage {} is at or above the beam voltage {}: the small-signal "
                               "model is out of its range (a smaller beam.inputPower keeps it linear)",
                               quantity(v, "V"), quantity(t.beam.voltage, "V"))});
    }
  }
  if (drive && !std::isfinite(a.getGain())) {
    w.push_back({"", fmt::format("the analytic gain is {} dB (output power {})", general(a.getGain()),
                                 quantity(a.getOutputPower(), "W"))});
  }
  const kly_DiskSimulation* s = run.simulation();
  if (!s) return w;
  if (s->isDiskReflected()) {
    w.push_back({"",
                 "disks were turned back (reflected) in the last pass: some electrons cannot pass a gap, which a "
                 "one-dimensional disk model describes only roughly; treat the simulated results with care"});
  }
  if (s->isFieldOverlapping()) {
    w.push_back({"",
                 "the gap fields of neighbouring cavities overlap: the simulation adds them, the analytic model "
                 "treats the gaps as separate"});
  }
  const double e = run.passes().empty() ? NAN : run.passes().back().convergence;
  if (std::isnan(e)) {
    w.push_back({"", fmt::format("the simulation diverged (convergence measure not a number after {} passes)",
                                 s->getSimulatedIterations())});
  } else if (run.completed() && !run.converged()) {
    w.push_back({"simulation.maxIterations",
                 fmt::format("the simulation stopped at its limit of {} passes without converging (last convergence "
                             "measure {}, wanted below {}); {}",
                             s->getSimulatedIterations(), general(e, 3), general(kly_TubeRun::kConvergence),
                             run.iterates() ? "raise simulation.maxIterations (or give --max-passes)"
                                            : "with a single cavity and no imported beam there is no voltage to "
                                              "iterate, so every run makes all its passes")});
  }
  for (const kly_ResolutionRepeat& r : run.resolution()) {
    if (kly_ResolutionCheck::moves(r, s->getSimulatedGain())) {
      w.push_back({r.rings != s->getRings() ? "simulation.rings" : "simulation.disks",
                   fmt::format("{} ({} x {}) moves the simulated gain by {} dB, more than {} dB: the result depends "
                               "on the resolution ({} near field); raise the counts{}",
                               r.change, r.disks, r.rings, kly_text::fixed(r.gain - s->getSimulatedGain(), 3),
                               general(kly_ResolutionCheck::kGainLimit), kly_nearFieldName(s->getNearField()),
                               s->getNearField() == kly_NearField::thin ? " or use the finite near field" : "")});
    }
  }
  if (drive && !std::isfinite(s->getSimulatedGain())) {
    w.push_back({"", fmt::format("the simulated gain is {} dB (output power {})", general(s->getSimulatedGain()),
                                 quantity(s->getSimulatedOutputPower(), "W"))});
  }
  return w;
}
