// A point's record and a tube description written as text and read back:
// the same bits, and nothing but a whole text accepted.
#include "klystron/driver/kly_DescriptionText.h"
#include "klystron/driver/kly_PointResult.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

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

}  // namespace
