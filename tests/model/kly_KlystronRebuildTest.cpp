#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "kly_TestTubes.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_CavityField.h"
#include "klystron/model/kly_Klystron.h"
#include "model/kly_CavityAverageParameterValues.h"
#include "tests/model/kly_FieldFiles.h"

using kly_test::dataFile;

namespace {

// A two-cavity round-beam tube; cavity 1 takes its field from the radial sample file.
void twoCavityTube(kly_Klystron& k) {
  kly_test::sBandBeam(k);
  k.addCavity(0.0, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  k.addCavity(0.48, 2.87e9, 0.80, 1, 0.012, 100, 2500, 25);
  k.loadCavityField(1, dataFile("gap-field-radial.txt"), 0.0, 4);
}

}  // namespace

TEST(KlystronRebuild, WithoutCavitiesSetsUpTheBeamOnly) {
  kly_Klystron k;
  k.setOperatingParameters(60000, 30, 9.4e9, 1, 0.02, 0.0015, 0.03, 0.004);
  k.initializeInternalData();
  EXPECT_EQ(k.getCavityObjectCount(), 0);
  kly_Beam expected;
  expected.initSheetBeam(60000, 30, 9.4e9, 0.02, 0.0015, 0.03, 0.004);
  EXPECT_EQ(k.getBeam().getBeamType(), 2);
  EXPECT_EQ(k.getBeam().getBetaQ(), expected.getBetaQ());
  EXPECT_EQ(k.getBeam().getDepressedBeamVoltage(), expected.getDepressedBeamVoltage());
}

TEST(KlystronRebuild, ParameterChangesReachTheObjectsOnlyAtTheRebuild) {
  kly_Klystron k;
  twoCavityTube(k);
  k.initializeInternalData();
  const double velocity = k.getBeam().getBeamVelocity();
  k.setBeamVoltage(90000);
  k.deleteLastCavity();
  EXPECT_EQ(k.getBeam().getBeamVelocity(), velocity);
  EXPECT_EQ(k.getCavityObjectCount(), 2);
  k.initializeInternalData();
  EXPECT_LT(k.getBeam().getBeamVelocity(), velocity);
  EXPECT_EQ(k.getCavityObjectCount(), 1);
}

TEST(KlystronRebuild, FieldFileCouplingIsWrittenBackAndStable) {
  kly_Klystron k;
  twoCavityTube(k);
  k.initializeInternalData();
  const kly_Cavity& c = k.getCavity(1);
  EXPECT_TRUE(c.hasFieldFromFile());
  EXPECT_EQ(c.getFieldRings(), 4);
  EXPECT_EQ(k.getCavity(0).getFieldRings(), 0);
  // The file's z = 0 lies at the gap centre.
  EXPECT_NEAR(c.getFieldZMin(), 0.48 - 0.04, 1e-15);
  EXPECT_NEAR(c.getFieldZMax(), 0.48 + 0.04, 1e-15);

  // M: the profile's coupling at betaE (not at n betaE) times the beam average.
  const kly_Beam& beam = k.getBeam();
  kly_CavityAverageParameterValues avg;
  avg.averageRound(0.8, 100, beam.getDepressedBeamVoltage(), 2.856e9, 0.0095, 0.0062);
  std::vector<double> rings;
  for (int q = 0; q < 4; ++q) rings.push_back(0.0062 * std::sqrt((2 * q + 1) / 8.0));
  kly_CavityField field;
  field.load(dataFile("gap-field-radial.txt"), 0.0, rings, avg.getEquivalentRadius());
  const double betaE = 6.283185307179586 * 2.856e9 / beam.getBeamVelocity();
  const double m = field.getCoupling(betaE) * avg.getAveragedCoupling() / 0.8;
  EXPECT_NEAR(c.getM(), m, 1e-12);
  EXPECT_EQ(k.getM(1), c.getM());
  EXPECT_EQ(c.getAlpha(), 0.5 * c.getBetaE() / std::sqrt(std::log(1 / c.getM())));
  EXPECT_NEAR(c.getField(0.48, 3), field.getField(0.0, 3), 1e-9 * field.getField(0.0, 3));
  EXPECT_EQ(c.getFieldIntegral(3), field.getFieldIntegral(3));

  // The other list values and the Gaussian cavity's M are untouched.
  EXPECT_EQ(k.getM(0), 0.82);
  EXPECT_EQ(k.getZ(1), 0.48);
  EXPECT_EQ(k.getRQ(1), 100);
  EXPECT_EQ(k.getQe(1), 25);

  // The coupling ratio does not depend on M, so a second rebuild keeps M
  // (to the rounding of the ratio's division by M).
  const double first = k.getM(1);
  k.initializeInternalData();
  EXPECT_NEAR(k.getM(1), first, 4 * std::numeric_limits<double>::epsilon() * first);
}

TEST(KlystronRebuild, AxisOnlyFileOnASheetBeam) {
  kly_Klystron k;
  k.setOperatingParameters(60000, 30, 9.4e9, 1, 0.02, 0.0015, 0.03, 0.004);
  k.addCavity(0.1, 9.4e9, 0.8, 1, 0.004, 90, 2000, 90000);
  k.loadCavityField(0, dataFile("gap-field-axis.txt"), 0.0, 3);
  k.initializeInternalData();
  const kly_Cavity& c = k.getCavity(0);
  EXPECT_EQ(c.getFieldRings(), 3);
  EXPECT_EQ(c.getField(0.1, 2), c.getField(0.1, 0));
  EXPECT_GT(k.getM(0), 0.0);
  EXPECT_LT(k.getM(0), 1.0);
  EXPECT_NE(k.getM(0), 0.8);
  EXPECT_EQ(c.getQL(), 2000);
}

TEST(KlystronRebuild, FailedRebuildLeavesTheModelAsItWas) {
  kly_test::ScratchDir dir("failed-rebuild");
  kly_Klystron k;
  twoCavityTube(k);
  k.initializeInternalData();
  const double velocity = k.getBeam().getBeamVelocity();
  const double m1 = k.getM(1);
  const double gb1 = k.getCavity(1).getGb();

  k.setBeamVoltage(90000);
  k.addCavity(0.9, 2.856e9, 0.7, 1, 0.01, 100, 2500, 30);
  k.loadCavityField(2, dataFile("gap-field-axis.txt"), 0.0, 2);
  const std::string bad = dir.write("bad.txt", kly_test::replaceLine(kly_test::gridFile(20, "X", 1), 7, "x"));
  k.loadCavityField(1, bad, 0.0, 4);
  auto expectUnchanged = [&] {
    EXPECT_EQ(k.getBeam().getBeamVelocity(), velocity);
    EXPECT_EQ(k.getCavityObjectCount(), 2);
    EXPECT_EQ(k.getM(1), m1);
    EXPECT_EQ(k.getM(2), 0.7);
    EXPECT_EQ(k.getCavity(1).getGb(), gb1);
  };
  try {
    k.initializeInternalData();
    ADD_FAILURE() << "rebuilt from an unusable file";
  } catch (const kly_FileError& e) {
    EXPECT_EQ(std::string(e.what()), "cavity 1: field file '" + bad +
                                         "' line 7: expected z of axial point 4 of 21 on radial line 1 of 1, "
                                         "found \"x\"");
  }
  expectUnchanged();

  for (int rings : {0, 51}) {
    k.loadCavityField(1, dataFile("gap-field-radial.txt"), 0.0, rings);
    try {
      k.initializeInternalData();
      ADD_FAILURE() << "rebuilt with " << rings << " rings";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "cavity 1: field ring count " + std::to_string(rings) + " is outside 1 to 50");
    }
    expectUnchanged();
  }

  // A gap so far along the tube that its positions cannot resolve the file's 0.5 mm grid.
  k.loadCavityField(1, dataFile("gap-field-radial.txt"), 0.0, 4);
  k.setCavityZCenter(1, 1e15);
  try {
    k.initializeInternalData();
    ADD_FAILURE() << "placed a 0.5 mm grid at 1e15 m";
  } catch (const kly_FileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cavity 1: field file '" + dataFile("gap-field-radial.txt") +
                                              "': the axial grid from -0.04 m to 0.04 m (spacing 0.0005 m) cannot "
                                              "be moved by 1e+15 m",
                                          0),
              0u)
        << e.what();
  }
  expectUnchanged();
  k.setCavityZCenter(1, 0.48);

  k.loadCavityField(1, dataFile("gap-field-radial.txt"), 0.0, 50);
  k.initializeInternalData();
  EXPECT_EQ(k.getCavityObjectCount(), 3);
  EXPECT_EQ(k.getCavity(1).getFieldRings(), 50);
  EXPECT_LT(k.getBeam().getBeamVelocity(), velocity);
}
