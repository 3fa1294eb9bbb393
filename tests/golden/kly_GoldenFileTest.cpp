#include "kly_GoldenFile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using nlohmann::ordered_json;

// A results.json in small: counts, flags, words, scalars, per-cavity arrays,
// the induced currents, profiles and warnings.
ordered_json results() {
  return ordered_json::parse(R"({
    "cavityCount": 3,
    "roundBeam": true,
    "nearField": "finite",
    "simulatedGain": 35.01100417831823,
    "simulatedGb1": 0.0,
    "z": [0.0, 0.12, 0.48],
    "harmonic": [1, 2, 1],
    "simulatedCavityVoltage": [940.6, 15335.7, 30841.4],
    "simulatedCavityVoltagePhase": [0.0, 2.5225, -1.8325],
    "simulatedCavityCurrentMagnitude": [[90.0, 1.2, 1e-7], [90.0, 30.5, 0.3], [90.0, 60.1, 4.2]],
    "simulatedCavityCurrentPhase": [[3.141592653589793, 0.5, 1.0], [-3.0, 0.2, 0.3], [3.1, -0.4, 0.9]],
    "diskReflected": false,
    "simulatedI1I0": {"z": [0.0, 0.1], "value": [0.0, 0.02]},
    "completed": true,
    "warnings": [{"key": null, "message": "something"}]
  })");
}

// The fresh run: the results with one value replaced.
ordered_json with(const std::string& key, const ordered_json& value) {
  ordered_json r = results();
  r[key] = value;
  return r;
}

bool flagged(const std::vector<kly_GoldenChange>& changes, const std::string& key) {
  for (const kly_GoldenChange& c : changes) {
    if (c.key == key) return c.beyondTolerance;
  }
  ADD_FAILURE() << key << " is not among the changes";
  return false;
}

TEST(GoldenFileTest, TheTruthIsEveryResultButTheProfilesAndTheWarningsInTheFilesOrder) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  std::vector<std::string> keys;
  for (const auto& [k, v] : truth.items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"cavityCount", "roundBeam", "nearField", "simulatedGain", "simulatedGb1",
                                            "z", "harmonic", "simulatedCavityVoltage", "simulatedCavityVoltagePhase",
                                            "simulatedCavityCurrentMagnitude", "simulatedCavityCurrentPhase",
                                            "diskReflected", "completed"}));
  // A run held to its own truth, or to its own results, moved nothing.
  EXPECT_TRUE(kly_GoldenFile::compare(truth, results()).empty());
  EXPECT_TRUE(kly_GoldenFile::compare(truth, truth).empty());
  EXPECT_EQ(kly_GoldenFile::report({}), "unchanged\n");
  // Profiles and warnings may change freely.
  ordered_json r = results();
  r["simulatedI1I0"]["value"][1] = 0.5;
  r["warnings"] = ordered_json::array();
  EXPECT_TRUE(kly_GoldenFile::compare(truth, r).empty());
}

TEST(GoldenFileTest, CountsFlagsWordsAndTypesAreExact) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  for (const auto& [key, value] : std::vector<std::pair<std::string, ordered_json>>{
           {"cavityCount", 4},
           {"cavityCount", 3.0},  // a count that became a float
           {"roundBeam", false},
           {"nearField", "thin"},
           {"simulatedGain", nullptr},  // a result that is no longer finite
           {"diskReflected", true},
           {"completed", 1}}) {
    const auto changes = kly_GoldenFile::compare(truth, with(key, value));
    ASSERT_EQ(changes.size(), 1u) << key << " = " << value.dump();
    EXPECT_TRUE(changes[0].beyondTolerance) << key << " = " << value.dump();
    EXPECT_EQ(changes[0].key, key);
  }
  ordered_json harmonic = results();
  harmonic["harmonic"][1] = -2;
  EXPECT_TRUE(flagged(kly_GoldenFile::compare(truth, harmonic), "harmonic[1]"));
}

TEST(GoldenFileTest, NumbersMayMoveByOnePartInABillion) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  const double gain = results()["simulatedGain"].get<double>();
  auto changes = kly_GoldenFile::compare(truth, with("simulatedGain", gain * (1 + 5e-10)));
  ASSERT_EQ(changes.size(), 1u);  // moved, and reported
  EXPECT_FALSE(changes[0].beyondTolerance);
  EXPECT_TRUE(kly_GoldenFile::passes(changes));
  EXPECT_EQ(changes[0].change, "+5.00e-10");
  changes = kly_GoldenFile::compare(truth, with("simulatedGain", gain * (1 - 2e-9)));
  EXPECT_TRUE(changes[0].beyondTolerance);
  EXPECT_FALSE(kly_GoldenFile::passes(changes));
  // A physics change of the size a real one makes.
  EXPECT_TRUE(kly_GoldenFile::compare(truth, with("simulatedGain", 35.0112))[0].beyondTolerance);
}

TEST(GoldenFileTest, ValuesNearZeroAreHeldToTheScaleOfTheirArray) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  // z[0] = 0 in an array whose largest value is 0.48 m: 1e-9 of that is allowed.
  auto changes = kly_GoldenFile::compare(truth, with("z", {1e-10, 0.12, 0.48}));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_FALSE(changes[0].beyondTolerance);
  EXPECT_EQ(changes[0].change, "+2.08e-10 of the largest");
  EXPECT_TRUE(kly_GoldenFile::compare(truth, with("z", {1e-9, 0.12, 0.48}))[0].beyondTolerance);
  // The largest entries of an array are still held to their own 1e-9.
  EXPECT_TRUE(kly_GoldenFile::compare(truth, with("z", {0.0, 0.12, 0.48 * (1 + 3e-9)}))[0].beyondTolerance);
  // The smallest induced current (1e-7 A beside 90 A) may move by 9e-8 A ...
  ordered_json currents = results();
  currents["simulatedCavityCurrentMagnitude"][0][2] = 1.5e-7;
  EXPECT_FALSE(flagged(kly_GoldenFile::compare(truth, currents), "simulatedCavityCurrentMagnitude[0][2]"));
  currents["simulatedCavityCurrentMagnitude"][0][2] = 1e-6;
  EXPECT_TRUE(flagged(kly_GoldenFile::compare(truth, currents), "simulatedCavityCurrentMagnitude[0][2]"));
  // ... while a scalar has no scale but itself: 0 stays 0.
  changes = kly_GoldenFile::compare(truth, with("simulatedGb1", 1e-300));
  EXPECT_TRUE(changes[0].beyondTolerance);
  EXPECT_EQ(changes[0].change, "from 0");
}

TEST(GoldenFileTest, PhasesAreComparedAsPhasorsWithTheirMagnitudes) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  EXPECT_EQ(kly_GoldenFile::magnitudeOf(truth, "simulatedCavityVoltagePhase"), "simulatedCavityVoltage");
  EXPECT_EQ(kly_GoldenFile::magnitudeOf(truth, "simulatedCavityCurrentPhase"), "simulatedCavityCurrentMagnitude");
  EXPECT_EQ(kly_GoldenFile::magnitudeOf(truth, "simulatedGain"), "");
  const auto phase = [&](int k, int h, double v) {
    ordered_json r = results();
    r["simulatedCavityCurrentPhase"][k][h] = v;
    return kly_GoldenFile::compare(truth, r);
  };
  const std::string dc = "simulatedCavityCurrentPhase[0][0]";
  // The phase of a negative DC current is pi or -pi, as rounding has it.
  EXPECT_FALSE(flagged(phase(0, 0, -3.141592653589793), dc));
  EXPECT_FALSE(flagged(phase(0, 0, -3.14159265358979), dc));
  // A turn of 2e-9 rad of 90 A is a change.
  EXPECT_TRUE(flagged(phase(0, 0, 3.141592653589793 - 2e-9), dc));
  // The phase of the 1e-7 A harmonic counts for as little as the harmonic:
  // a turn of 0.5 rad moves its phasor by 4.9e-8 A, within 1e-9 of the
  // currents' scale of 90 A; a turn of 1.5 rad by 1.4e-7 A, beyond it.
  EXPECT_FALSE(flagged(phase(0, 2, 1.5), "simulatedCavityCurrentPhase[0][2]"));
  EXPECT_TRUE(flagged(phase(0, 2, 2.5), "simulatedCavityCurrentPhase[0][2]"));
  // A phase whose magnitude array is missing is compared on the circle.
  ordered_json bare = truth;
  bare.erase("simulatedCavityVoltage");
  ordered_json r = results();
  r.erase("simulatedCavityVoltage");
  r["simulatedCavityVoltagePhase"][2] = -1.8325 + 6.283185307179586;
  EXPECT_TRUE(kly_GoldenFile::passes(kly_GoldenFile::compare(bare, r)));
  r["simulatedCavityVoltagePhase"][2] = -1.8325 + 1e-8;
  EXPECT_FALSE(kly_GoldenFile::passes(kly_GoldenFile::compare(bare, r)));
}

TEST(GoldenFileTest, MissingNewAndReshapedResultsAreChanges) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  ordered_json r = results();
  r.erase("simulatedGb1");
  r["simulatedBb1"] = 1e-5;
  r["z"] = {0.0, 0.12};
  const auto changes = kly_GoldenFile::compare(truth, r);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].key, "simulatedGb1");
  EXPECT_EQ(changes[0].after, "(absent)");
  EXPECT_EQ(changes[1].key, "z");
  EXPECT_EQ(changes[1].before, "array of 3");
  EXPECT_EQ(changes[1].after, "array of 2");
  EXPECT_EQ(changes[2].key, "simulatedBb1");  // keys only the fresh run has come last
  EXPECT_EQ(changes[2].before, "(absent)");
  for (const kly_GoldenChange& c : changes) EXPECT_TRUE(c.beyondTolerance) << c.key;
}

TEST(GoldenFileTest, TheReportNamesKeyOldNewAndChangeAndMarksWhatFails) {
  const ordered_json truth = kly_GoldenFile::truthOf(results());
  ordered_json r = results();
  r["simulatedGain"] = 35.01100417831824;
  r["simulatedCavityVoltage"][2] = 30841.5;
  const std::string report = kly_GoldenFile::report(kly_GoldenFile::compare(truth, r));
  EXPECT_EQ(report,
            "2 values moved, 1 beyond the tolerance of the test (marked *)\n"
            "  key                        old                new                change\n"
            "  simulatedGain              35.01100417831823  35.01100417831824  +2.03e-16\n"
            "* simulatedCavityVoltage[2]  30841.4            30841.5            +3.24e-06\n");
}

}  // namespace
