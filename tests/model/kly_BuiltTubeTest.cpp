#include "klystron/model/kly_BuiltTube.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "kly_Bits.h"
#include "kly_TestTubes.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_Klystron.h"
#include "tests/model/kly_FieldFiles.h"

using kly_test::dataFile;
using kly_test::fingerprint;

namespace {

// The S-band tube with its output gap's field from the radial sample file.
kly_TubeDescription withFieldFile() {
  kly_TubeDescription d = kly_test::sBandDescription();
  d.cavities[3] = kly_test::withFieldFile(d.cavities[3], dataFile("gap-field-radial.txt"), 4);
  return d;
}

TEST(BuiltTube, IsTheRebuildOfTheSameDescription) {
  // Through the setters and their rebuild, and straight from the value: the same objects to the last bit.
  const kly_TubeDescription d = withFieldFile();
  kly_Klystron k;
  kly_test::describe(k, d);
  EXPECT_EQ(k.getDescription(), d);
  k.initializeInternalData();
  const auto built = kly_BuiltTube::build(d);
  EXPECT_EQ(fingerprint(*built), fingerprint(*k.getBuiltTube()));
  EXPECT_EQ(built->description(), k.getDescription());
  // The value the tube was built from is not touched; the built description carries the profile's M.
  EXPECT_EQ(d.cavities[3].m, 0.80);
  EXPECT_NE(built->description().cavities[3].m, 0.80);
  EXPECT_EQ(built->description().cavities[3].m, built->cavity(3).getM());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(built->description().cavities[i], d.cavities[i]) << i;
  // A second build of the same value gives the same bits again.
  EXPECT_EQ(fingerprint(*kly_BuiltTube::build(d)), fingerprint(*built));
}

TEST(BuiltTube, CopiesAreIndependent) {
  const kly_TubeDescription original = kly_test::sBandDescription();
  const auto before = kly_BuiltTube::build(original);
  kly_TubeDescription copy = original;
  copy.cavities[1].z = 0.15;
  copy.beam.voltage = 100000;
  EXPECT_NE(copy, original);
  EXPECT_EQ(original.cavities[1].z, 0.12);
  const auto changed = kly_BuiltTube::build(copy);
  EXPECT_NE(changed->beam().getBeamVelocity(), before->beam().getBeamVelocity());
  EXPECT_EQ(changed->cavity(1).getZCenter(), 0.15);
  // The tube built before the change is the tube of the original.
  EXPECT_EQ(fingerprint(*before), fingerprint(*kly_BuiltTube::build(original)));
  // Comparison sees every member, the simulation settings included.
  copy = original;
  EXPECT_EQ(copy, original);
  copy.simulation = kly_SimulationSettings{};
  EXPECT_NE(copy, original);
  copy = original;
  copy.cavities[2].fieldFile = "a.txt";
  EXPECT_NE(copy, original);
}

TEST(BuiltTube, FailuresNameTheCavityAndIndicesAreChecked) {
  kly_TubeDescription d = withFieldFile();
  d.cavities[3].fieldFile = "/nonexistent/gap.txt";
  try {
    kly_BuiltTube::build(d);
    ADD_FAILURE() << "built from a missing file";
  } catch (const kly_FileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cavity 3: field file '/nonexistent/gap.txt'", 0), 0u) << e.what();
  }
  d = withFieldFile();
  d.cavities[3].fieldRings = 51;
  EXPECT_THROW(kly_BuiltTube::build(d), std::invalid_argument);

  const auto built = kly_BuiltTube::build(kly_test::sBandDescription());
  EXPECT_EQ(built->cavityCount(), 4);
  EXPECT_THROW(built->cavity(4), std::out_of_range);
  EXPECT_THROW(built->cavity(-1), std::out_of_range);
  const kly_BuiltTube empty;
  EXPECT_EQ(empty.cavityCount(), 0);
  EXPECT_EQ(empty.beam().getBeamType(), 0);
}

TEST(BuiltTube, DeletingAllCavitiesKeepsTheBeamOfTheLastRebuild) {
  kly_Klystron k(kly_test::sBandDescription());
  EXPECT_EQ(k.getCavityCount(), 4);
  EXPECT_EQ(k.getCavityObjectCount(), 0);
  k.initializeInternalData();
  const kly_test::Fingerprint beam = fingerprint(k.getBeam());
  k.deleteAllCavities();
  EXPECT_EQ(k.getCavityCount(), 0);
  EXPECT_EQ(k.getCavityObjectCount(), 0);
  EXPECT_THROW(k.getCavity(0), std::out_of_range);
  EXPECT_EQ(fingerprint(k.getBeam()), beam);
}

TEST(BuiltTube, DriveVoltageOfAMatchedInputCavity) {
  // Without beam current the gap sees no beam loading (Qb infinite, Bb 0); tuned to the drive and with
  // Qe = Qo the load matches the gap, nothing is reflected and the whole power drives the gap:
  // P = V^2 / (2 R), R = (R/Q) Q_L = (R/Q) Qo.
  kly_TubeDescription d = kly_test::sBandDescription(100.0);
  d.beam.current = 0;
  d.cavities[0].qe = d.cavities[0].qo;
  d.cavities[0].frequency = d.beam.frequency;
  const auto built = kly_BuiltTube::build(d);
  const kly_Cavity& input = built->cavity(0);
  ASSERT_EQ(input.getBb(), 0.0);
  EXPECT_NEAR(input.driveVoltage(d.beam.frequency, 100.0), std::sqrt(2 * 100.0 * 110 * 2500), 1e-9);
  // Detuned, part of the power is reflected and the voltage drops; it scales with the square root of the power.
  const double detuned = input.driveVoltage(d.beam.frequency * 1.001, 100.0);
  EXPECT_LT(detuned, std::sqrt(2 * 100.0 * 110 * 2500));
  EXPECT_NEAR(input.driveVoltage(d.beam.frequency * 1.001, 400.0), 2 * detuned, 1e-9 * detuned);
}

}  // namespace
