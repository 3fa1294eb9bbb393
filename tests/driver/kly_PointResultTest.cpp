// A point's record, a tube description and a point's task written as text
// and read back: the same bits, and nothing but a whole text accepted; a task
// evaluated from its text gives the record of its tube evaluated here.
#include "klystron/driver/kly_DescriptionText.h"
#include "klystron/driver/kly_PointResult.h"
#include "klystron/driver/kly_PointTask.h"
#include "klystron/driver/kly_Sweep.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "kly_TestTubes.h"

namespace {

kly_PointResult awkwardRecord() {
  kly_PointResult r;
  r.status = kly_PointStatus::notConverged;
  r.message = "cavity 2: field file 'gap 1%.txt'\nline 3\t\xc3\xa9";  // spaces, %, control bytes, UTF-8
  r.simulated = true;
  r.passes = 17;
  r.diskReflected = true;
  r.fieldOverlapping = false;
  r.seconds = 0.1;
  const double payloadNaN = std::bit_cast<double>(std::uint64_t{0x7ff800000000beefULL});
  r.scalars = {{"analyticGain", 40.84412345678901},
               {"negativeZero", -0.0},
               {"tiny", std::numeric_limits<double>::denorm_min()},
               {"huge", std::numeric_limits<double>::max()},
               {"plusInfinity", HUGE_VAL},
               {"minusInfinity", -HUGE_VAL},
               {"nan", payloadNaN},
               {"negativeNaN", -std::numeric_limits<double>::quiet_NaN()}};
  r.cavityArrays = {{"analyticCavityVoltage", {1.0 / 3, 2e-300, -7.5}}, {"empty", {}}};
  return r;
}

TEST(PointResultTest, ALineGivesBackTheSameBits) {
  const kly_PointResult r = awkwardRecord();
  const std::string line = r.serialize();
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const kly_PointResult back = kly_PointResult::parse(line);
  EXPECT_TRUE(back.identical(r));
  EXPECT_EQ(back.message, r.message);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(*back.find("nan")), 0x7ff800000000beefULL);
  EXPECT_TRUE(std::signbit(*back.find("negativeZero")));
  EXPECT_EQ(back.serialize(), line);

  kly_PointResult failed;
  failed.message = "";
  EXPECT_TRUE(kly_PointResult::parse(failed.serialize()).identical(failed));
}

TEST(PointResultTest, IdenticalComparesBitsNotValues) {
  const kly_PointResult r = awkwardRecord();
  EXPECT_TRUE(r.identical(r));  // NaNs included, which == would not say
  kly_PointResult zero = r;
  zero.scalars[1].second = 0.0;  // +0 == -0, but not the same bits
  EXPECT_FALSE(zero.identical(r));
  kly_PointResult renamed = r;
  renamed.cavityArrays[0].first = "simulatedCavityVoltage";
  EXPECT_FALSE(renamed.identical(r));
  kly_PointResult flag = r;
  flag.fieldOverlapping = true;
  EXPECT_FALSE(flag.identical(r));
}

TEST(PointResultTest, OnlyAWholeLineIsARecord) {
  const std::string line = awkwardRecord().serialize();
  // Every line cut short, as a killed writer leaves it, is refused.
  for (std::size_t n = 0; n < line.size(); ++n) {
    EXPECT_THROW(kly_PointResult::parse(line.substr(0, n)), std::invalid_argument) << "cut at " << n;
  }
  EXPECT_THROW(kly_PointResult::parse(line + " more"), std::invalid_argument);
  std::string bad = line;
  bad.replace(bad.find("analyticGain") + 13, 1, "z");  // a number that is not one
  EXPECT_THROW(kly_PointResult::parse(bad), std::invalid_argument);
  EXPECT_THROW(kly_PointResult::parse("KP1 7 0 0 0 0 0 0 0 m END"), std::invalid_argument);  // no such status
}

TEST(PointResultTest, StatusTextAndLookup) {
  kly_PointResult r;
  r.message = "cavities[1].qe: expected a positive number, found -5";
  EXPECT_EQ(r.statusText(), "failed: cavities[1].qe: expected a positive number, found -5");
  r.status = kly_PointStatus::notConverged;
  EXPECT_EQ(r.statusText(), "not converged");
  r.status = kly_PointStatus::ok;
  EXPECT_EQ(r.statusText(), "ok");
  r.scalars = {{"analyticGain", 1.5}};
  ASSERT_NE(r.find("analyticGain"), nullptr);
  EXPECT_EQ(*r.find("analyticGain"), 1.5);
  EXPECT_EQ(r.find("simulatedGain"), nullptr);
  EXPECT_EQ(r.findArray("analyticCavityVoltage"), nullptr);
}

// Every value of the description away from its default, a sheet beam, file
// names with awkward bytes, an imported beam.
kly_TubeDescription awkwardTube() {
  kly_TubeDescription t;
  t.beam = {.voltage = 75000,
            .current = 30.5,
            .frequency = 11.424e9,
            .inputPower = -0.0,
            .round = false,
            .tubeRadius = 0.1,
            .beamRadius = 0.2,
            .beamWidth = 0.02,
            .beamHeight = 0.0016,
            .tubeWidth = 0.024,
            .tubeHeight = std::bit_cast<double>(std::uint64_t{0x7ff8000000000123ULL})};
  kly_CavityDescription c;
  c.z = 0.045;
  c.frequency = 11.46e9;
  c.m = 0.85;
  c.gapWidth = 0.003;
  c.rq = 60;
  c.qe = HUGE_VAL;
  c.qo = 3000;
  c.harmonic = -3;
  c.hasFieldFile = true;
  c.fieldRings = 7;
  c.fieldFile = "dir with spaces/gap=1\nsecond line.txt";
  t.cavities = {c, c};
  t.cavities[1].hasFieldFile = false;
  t.cavities[1].fieldFile.clear();
  kly_SimulationSettings s;
  s.disks = 64;
  s.rings = 10;
  s.steps = 60;
  s.maxIterations = 99;
  s.nearField = kly_NearField::finite;
  s.importBeam = kly_BeamImportSettings{"beams/b.txt", true, -0.25};
  t.simulation = s;
  return t;
}

TEST(DescriptionTextTest, ATubeGoesToTextAndBackToTheSameBits) {
  const kly_TubeDescription t = awkwardTube();
  const std::string text = kly_DescriptionText::write(t);
  const kly_TubeDescription back = kly_DescriptionText::read(text);
  EXPECT_EQ(kly_DescriptionText::write(back), text);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(back.beam.tubeHeight), 0x7ff8000000000123ULL);
  EXPECT_TRUE(std::signbit(back.beam.inputPower));
  kly_TubeDescription finite = t, finiteBack = back;
  finite.beam.tubeHeight = finiteBack.beam.tubeHeight = 0;  // NaN compares unequal to itself
  EXPECT_TRUE(finiteBack == finite);
  EXPECT_EQ(back.cavities[0].fieldFile, t.cavities[0].fieldFile);

  kly_TubeDescription plain;  // no cavity, no simulation
  EXPECT_TRUE(kly_DescriptionText::read(kly_DescriptionText::write(plain)) == plain);
}

TEST(DescriptionTextTest, OnlyAWholeDescriptionIsRead) {
  const std::string text = kly_DescriptionText::write(awkwardTube());
  for (std::size_t n = 0; n < text.size(); n += 7)
    EXPECT_THROW(kly_DescriptionText::read(text.substr(0, n)), std::invalid_argument) << "cut at " << n;
  EXPECT_THROW(kly_DescriptionText::read(text + "z=1\n"), std::invalid_argument);
  std::string swapped = text;
  swapped.replace(swapped.find("beam.current"), 12, "beam.kurrent");
  EXPECT_THROW(kly_DescriptionText::read(swapped), std::invalid_argument);
}

TEST(PointTaskTest, ATaskGoesToTextAndIsEvaluatedAsItsTubeAlone) {
  kly_EvaluationOptions options;
  options.simulate = false;
  options.analyticProfile = true;
  options.threads = 3;
  const std::string text = kly_PointTask::write(awkwardTube(), options);
  const kly_PointTask back = kly_PointTask::read(text);
  EXPECT_EQ(kly_DescriptionText::write(back.tube), kly_DescriptionText::write(awkwardTube()));
  EXPECT_FALSE(back.options.simulate);
  EXPECT_TRUE(back.options.analyticProfile);
  EXPECT_EQ(back.options.threads, 3);

  // The record of the text is that of the tube evaluated here, bit for bit
  // (the wall time aside), simulation included.
  const kly_TubeDescription tube = kly_test::smallSimulatedTube();
  const kly_EvaluationOptions sweepPoint = kly_Sweep::pointOptions(true);
  kly_PointResult remote = kly_PointTask::evaluate(kly_PointTask::write(tube, sweepPoint));
  kly_PointResult local = kly_PointEvaluation::evaluate(tube, sweepPoint);
  ASSERT_EQ(local.status, kly_PointStatus::ok) << local.message;
  EXPECT_TRUE(local.simulated);
  remote.seconds = local.seconds = 0;
  EXPECT_TRUE(remote.identical(local));
}

TEST(PointTaskTest, OnlyAWholeTaskIsEvaluated) {
  const std::string text = kly_PointTask::write(kly_test::sBandDescription(), kly_Sweep::pointOptions(false));
  for (const std::string& bad : std::vector<std::string>{
           std::string(), text.substr(0, 30), text.substr(0, text.size() - 5),
           "klystron point task 1 simulate=2 profile=0 threads=1\n",
           "klystron point task 1 simulate=1 profile=0 threads=-1\n" + text.substr(text.find('\n') + 1)}) {
    EXPECT_THROW(kly_PointTask::read(bad), std::invalid_argument) << bad.substr(0, 60);
    const kly_PointResult r = kly_PointTask::evaluate(bad);
    EXPECT_EQ(r.status, kly_PointStatus::failed);
    EXPECT_EQ(r.message.rfind("not a point task: ", 0), 0u) << r.message;
  }
  // A tube whose field file is missing: a failed record with the model's reason.
  kly_TubeDescription missing = kly_test::sBandDescription();
  missing.cavities[3] = kly_test::withFieldFile(missing.cavities[3], "/nonexistent/gap.txt", 1);
  const kly_PointResult r = kly_PointTask::evaluate(kly_PointTask::write(missing, kly_Sweep::pointOptions(false)));
  EXPECT_EQ(r.status, kly_PointStatus::failed);
  EXPECT_NE(r.message.find("/nonexistent/gap.txt"), std::string::npos) << r.message;
}

}  // namespace
