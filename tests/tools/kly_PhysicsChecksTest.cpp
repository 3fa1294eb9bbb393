// The physics checks of a tube: the beams refused, the warnings given.
#include "tools/kly_PhysicsChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include <fmt/format.h>

#include "kly_Files.h"
#include "kly_ToolTubes.h"
#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_Beam.h"

namespace {

using kly_test::contentsOf;
using kly_test::runOf;
using kly_test::smallTube;
using nlohmann::json;

json sheetTube() {
  json t = smallTube();
  t["beam"] = json::parse(R"({"voltage": 75000, "current": 30, "frequency": 11.424e9, "inputPower": 5,
      "beamWidth": 0.020, "beamHeight": 0.0016, "tubeWidth": 0.024, "tubeHeight": 0.0032})");
  for (auto& c : t["cavities"]) c["frequency"] = 11.424e9;
  return t;
}

// The problems of the beam check, empty when the beam is accepted.
std::vector<std::string> beamProblems(const json& tube) {
  try {
    kly_PhysicsChecks::checkBeam(contentsOf(tube));
  } catch (const kly_TubeFileError& e) {
    return e.problems();
  }
  return {};
}

double speedOf(double volts) { return std::sqrt(2 * kly::kChargeToMass * volts); }

// K of the beam model's depression, V0 - Vd = K I0 / u with u the velocity of
// the undepressed voltage, read from the beam model at 1 A.
double depressionFactor(const kly_BeamDescription& d) {
  kly_Beam b;
  if (d.round)
    b.initRoundBeam(d.voltage, 1.0, d.frequency, d.tubeRadius, d.beamRadius);
  else
    b.initSheetBeam(d.voltage, 1.0, d.frequency, d.beamWidth, d.beamHeight, d.tubeWidth, d.tubeHeight);
  return (d.voltage - b.getDepressedBeamVoltage()) * speedOf(d.voltage);
}

// The largest current a beam at the velocity of its own depressed voltage V
// can carry, max over V of (V0 - V) u(V) / K, by a search over V.
double limitBySearch(const kly_BeamDescription& d) {
  const double K = depressionFactor(d);
  double best = 0, at = 0;
  for (double lo = 0, hi = d.voltage, round = 0; round < 6; ++round) {
    const double step = (hi - lo) / 1000;
    for (int i = 1; i < 1000; ++i) {
      const double v = lo + i * step;
      const double current = (d.voltage - v) * speedOf(v) / K;
      if (current > best) {
        best = current;
        at = v;
      }
    }
    lo = at - step;
    hi = at + step;
  }
  return best;
}

// Whether a beam of `current` settles at a depressed voltage when its
// velocity is that of the voltage it is depressed to: V <- V0 - K I / u(V),
// from V0.
bool settles(const kly_BeamDescription& d, double current) {
  const double K = depressionFactor(d);
  double v = d.voltage;
  for (int i = 0; i < 1000000; ++i) {
    const double next = d.voltage - K * current / speedOf(v);
    if (!(next > 0)) return false;
    if (std::fabs(next - v) <= 1e-12 * d.voltage) return true;
    v = next;
  }
  return true;
}

TEST(SpaceChargeLimit, IsTheLargestCurrentOfTheModelsDepression) {
  for (const json& t : {smallTube(), sheetTube()}) {
    const kly_BeamDescription d = contentsOf(t).description.beam;
    const double limit = kly_PhysicsChecks::spaceChargeLimit(d);
    // The search's maximum is flat: 1e-9 relative is far below its step's error.
    EXPECT_NEAR(limit, limitBySearch(d), 1e-9 * limit) << t["beam"].dump();
    // A beam just below it settles at a depressed voltage, one just above does not.
    EXPECT_TRUE(settles(d, 0.999 * limit));
    EXPECT_FALSE(settles(d, 1.001 * limit));
  }
  // The S-band beam: 684.6 A at 110 kV, about 7.6 times its 90 A.
  EXPECT_NEAR(kly_PhysicsChecks::spaceChargeLimit(contentsOf(smallTube()).description.beam), 684.6, 0.5);
}

TEST(PhysicsChecks, RefusesABeamItsOwnSpaceChargeStops) {
  json t = smallTube();
  t["beam"]["voltage"] = 110;  // kV typed as V
  auto p = beamProblems(t);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NE(p[0].find("test.json: beam.voltage: 110 V leaves a depressed voltage of -175.9 kV with the beam.current "
                      "of 90 A"),
            std::string::npos)
      << p[0];
  EXPECT_NE(p[0].find("kV instead of V"), std::string::npos) << p[0];

  for (json tube : {smallTube(), sheetTube()}) {
    const double limit = kly_PhysicsChecks::spaceChargeLimit(contentsOf(tube).description.beam);
    tube["beam"]["current"] = 0.99 * limit;
    EXPECT_TRUE(beamProblems(tube).empty()) << tube["beam"].dump();
    tube["beam"]["current"] = 1.01 * limit;
    p = beamProblems(tube);
    ASSERT_EQ(p.size(), 1u) << tube["beam"].dump();
    EXPECT_NE(p[0].find("beam.current: "), std::string::npos) << p[0];
    EXPECT_NE(p[0].find("beyond the space-charge limit of"), std::string::npos) << p[0];
  }
}

TEST(PhysicsChecks, RefusesDerivedQuantitiesThatAreNotFinite) {
  json t = smallTube();
  t["beam"]["frequency"] = 1e-320;  // positive, but the electronic wavelength is infinite
  const auto p = beamProblems(t);
  ASSERT_FALSE(p.empty());
  EXPECT_NE(p[0].find("test.json: beam: the derived electronic wavelength is inf, not a finite number"),
            std::string::npos)
      << p[0];
}

bool has(const std::vector<kly_Warning>& w, const std::string& key, const std::string& part) {
  return std::any_of(w.begin(), w.end(),
                     [&](const kly_Warning& x) { return x.key == key && x.message.find(part) != std::string::npos; });
}

TEST(PhysicsChecks, WarnsOfCavitiesFarFromTheirHarmonicAndOfAnUnloadedOutput) {
  json t = smallTube();
  EXPECT_TRUE(kly_PhysicsChecks::tubeWarnings(contentsOf(t), true).empty());
  t["cavities"][1]["frequency"] = 2.87e8;  // Hz typed one decade short
  t["cavities"][0]["frequency"] = 1.2 * 2.856e9;  // 20 % off: at the limit, not beyond
  t["cavities"][2]["harmonic"] = -2;
  t["cavities"][2]["frequency"] = 5.712e9;  // its harmonic of the drive
  t["cavities"][2]["qe"] = 90000;
  const auto w = kly_PhysicsChecks::tubeWarnings(contentsOf(t), true);
  ASSERT_EQ(w.size(), 2u) << w.front().text();
  EXPECT_EQ(w[0].text(),
            "cavities[1].frequency: 287 MHz is 90 % away from the fundamental of the drive frequency (2.856 GHz): a "
            "slip of unit or harmonic?");
  EXPECT_TRUE(has(w, "cavities[2].qe", "90000: the output cavity has no external load")) << w[1].text();
  t["cavities"][0]["frequency"] = 1.21 * 2.856e9;
  EXPECT_TRUE(has(kly_PhysicsChecks::tubeWarnings(contentsOf(t), true), "cavities[0].frequency", "21 % away"));
}

TEST(PhysicsChecks, WarnsOfAnImportedBeamMadeForAnotherTube) {
  json t = smallTube();
  t["simulation"]["importBeam"] = {{"file", kly_test::dataFile("prebunched-beam.txt")}};
  EXPECT_TRUE(kly_PhysicsChecks::tubeWarnings(contentsOf(t), true).empty());
  t["beam"]["frequency"] = 3e9;
  for (auto& c : t["cavities"]) c["frequency"] = 3e9;
  t["beam"]["current"] = 95;
  auto w = kly_PhysicsChecks::tubeWarnings(contentsOf(t), true);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].text(),
            "simulation.importBeam.file: the beam file was made for a frequency of 2.856 GHz, the tube's "
            "beam.frequency is 3 GHz");
  EXPECT_TRUE(has(w, "simulation.importBeam.file", "current of 90 A, the tube's beam.current is 95 A"));
  // Not without a simulation, which alone reads the beam.
  EXPECT_TRUE(kly_PhysicsChecks::tubeWarnings(contentsOf(t), false).empty());
}

TEST(PhysicsChecks, RefusesAnImportedBeamWithTooFewRows) {
  json t = smallTube();
  t["simulation"]["importBeam"] = {{"file", kly_test::dataFile("prebunched-beam.txt")}};
  kly_PhysicsChecks::checkImportedBeam(contentsOf(t));  // 32 rows for 8 disks
  t["simulation"]["disks"] = 33;
  try {
    kly_PhysicsChecks::checkImportedBeam(contentsOf(t));
    FAIL() << "33 disks from 32 rows";
  } catch (const kly_TubeFileError& e) {
    EXPECT_NE(std::string(e.what()).find("test.json: simulation.disks: 33 disks, but the beam file"), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("has 32 rows"), std::string::npos) << e.what();
  }
}

TEST(PhysicsChecks, WarnsOfResultsOutOfTheModelsRange) {
  json t = smallTube();
  t["beam"]["inputPower"] = 2000;  // the output gap swings beyond the beam voltage
  auto run = runOf(t, false);
  ASSERT_GE(run->analytic().getCavityVoltage(2), 110000);
  EXPECT_TRUE(has(run->warnings(), "cavities[2]", "is at or above the beam voltage 110 kV"));

  // Three passes do not settle the voltages; one cavity never does.
  run = runOf(smallTube(), true);
  EXPECT_TRUE(has(run->warnings(), "simulation.maxIterations",
                  "stopped at its limit of 3 passes without converging (last convergence measure"));
  EXPECT_TRUE(has(run->warnings(), "simulation.maxIterations", "raise simulation.maxIterations"));
  t = smallTube();
  t["cavities"].erase(1);
  t["cavities"].erase(1);
  run = runOf(t, true);
  EXPECT_TRUE(has(run->warnings(), "simulation.maxIterations", "with a single cavity and no imported beam"));

  // No drive: gains that are not numbers are no surprise.
  t = smallTube();
  t["beam"]["inputPower"] = 0;
  run = runOf(t, false);
  ASSERT_FALSE(std::isfinite(run->analytic().getGain()));
  EXPECT_TRUE(run->warnings().empty()) << run->warnings().front().text();
}

}  // namespace
