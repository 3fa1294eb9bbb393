#include "klystron/model/kly_Klystron.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

// Adds a cavity with values that differ in every list, so a mixed-up list shows.
void addDistinctCavity(kly_Klystron& k, int i) {
  k.addCavity(0.1 * i, 2.8e9 + i, 0.8 - 0.01 * i, 1 + i % 2, 0.01 + 0.001 * i, 100.0 + i, 2000.0 + i, 300.0 + i);
}

TEST(KlystronParameters, DefaultsAreZeroRoundBeamNoCavities) {
  kly_Klystron k;
  EXPECT_EQ(k.getCavityCount(), 0);
  EXPECT_EQ(k.getCavityObjectCount(), 0);
  EXPECT_TRUE(k.isRoundBeam());
  for (double v :
       {k.getBeamVoltage(), k.getBeamCurrent(), k.getOperatingFrequency(), k.getInputPower(), k.getTubeRadius(),
        k.getBeamRadius(), k.getTubeWidth(), k.getTubeHeight(), k.getBeamWidth(), k.getBeamHeight()}) {
    EXPECT_EQ(v, 0.0);
  }
}

TEST(KlystronParameters, OperatingParameterFormsSelectTheGeometry) {
  kly_Klystron k;
  k.setOperatingParameters(1, 2, 3, 4, 5, 6, 7, 8);
  EXPECT_FALSE(k.isRoundBeam());
  EXPECT_EQ(k.getBeamWidth(), 5);
  EXPECT_EQ(k.getBeamHeight(), 6);
  EXPECT_EQ(k.getTubeWidth(), 7);
  EXPECT_EQ(k.getTubeHeight(), 8);
  k.setTubeRadius(9);  // a stale radius must be cleared by the next form
  k.setOperatingParameters(10, 20, 30, 40, 50, 60);
  EXPECT_TRUE(k.isRoundBeam());
  EXPECT_EQ(k.getBeamVoltage(), 10);
  EXPECT_EQ(k.getBeamCurrent(), 20);
  EXPECT_EQ(k.getOperatingFrequency(), 30);
  EXPECT_EQ(k.getInputPower(), 40);
  EXPECT_EQ(k.getTubeRadius(), 50);
  EXPECT_EQ(k.getBeamRadius(), 60);
  EXPECT_EQ(k.getBeamWidth(), 0);
  EXPECT_EQ(k.getBeamHeight(), 0);
  EXPECT_EQ(k.getTubeWidth(), 0);
  EXPECT_EQ(k.getTubeHeight(), 0);
  k.setOperatingParameters(1, 2, 3, 4, 5, 6, 7, 8);
  EXPECT_EQ(k.getTubeRadius(), 0);
  EXPECT_EQ(k.getBeamRadius(), 0);
}

TEST(KlystronParameters, SingleSettersTouchOneValueOnly) {
  kly_Klystron k;
  k.setOperatingParameters(1, 2, 3, 4, 5, 6, 7, 8);
  k.setBeamRadius(0.25);
  EXPECT_FALSE(k.isRoundBeam());
  EXPECT_EQ(k.getBeamRadius(), 0.25);
  EXPECT_EQ(k.getBeamVoltage(), 1);
  EXPECT_EQ(k.getTubeHeight(), 8);
  k.setRoundBeam(true);
  EXPECT_TRUE(k.isRoundBeam());
  EXPECT_EQ(k.getBeamWidth(), 5);
  // Values are stored unchanged, also the ones no tube could have.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  k.setBeamVoltage(-1e300);
  k.setFrequency(nan);
  EXPECT_EQ(k.getBeamVoltage(), -1e300);
  EXPECT_TRUE(std::isnan(k.getOperatingFrequency()));
}

TEST(KlystronCavities, AddStoresEveryValueInItsList) {
  kly_Klystron k;
  for (int i = 0; i < 5; ++i) addDistinctCavity(k, i);
  ASSERT_EQ(k.getCavityCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(k.getZ(i), 0.1 * i);
    EXPECT_EQ(k.getFrequency(i), 2.8e9 + i);
    EXPECT_EQ(k.getM(i), 0.8 - 0.01 * i);
    EXPECT_EQ(k.getHarmonic(i), 1 + i % 2);
    EXPECT_EQ(k.getGapWidth(i), 0.01 + 0.001 * i);
    EXPECT_EQ(k.getRQ(i), 100.0 + i);
    EXPECT_EQ(k.getQo(i), 2000.0 + i);
    EXPECT_EQ(k.getQe(i), 300.0 + i);
    EXPECT_FALSE(k.hasFieldFile(i));
    EXPECT_EQ(k.getFieldRings(i), 1);
    EXPECT_EQ(k.getFieldFileName(i), "");
  }
}

TEST(KlystronCavities, HarmonicZeroAddsNothing) {
  kly_Klystron k;
  addDistinctCavity(k, 0);
  k.addCavity(1, 2, 0.5, 0, 4, 5, 6, 7);
  EXPECT_EQ(k.getCavityCount(), 1);
  k.addCavity(1, 2, 0.5, -2, 4, 5, 6, 7);  // negative harmonics are cavities like any other
  EXPECT_EQ(k.getCavityCount(), 2);
  EXPECT_EQ(k.getHarmonic(1), -2);
}

TEST(KlystronCavities, PerCavitySettersWriteOneElement) {
  kly_Klystron k;
  for (int i = 0; i < 3; ++i) addDistinctCavity(k, i);
  k.setCavityZCenter(1, 9.5);
  k.setCavityFrequency(1, 9.6);
  k.setCavityM(1, 0.5);
  k.setCavityGapWidth(1, 9.7);
  k.setCavityRQ(1, 9.8);
  k.setCavityQe(1, 9.9);
  k.setCavityQo(1, 10.1);
  k.setCavityHarmonic(1, 3);
  EXPECT_EQ(k.getZ(1), 9.5);
  EXPECT_EQ(k.getFrequency(1), 9.6);
  EXPECT_EQ(k.getM(1), 0.5);
  EXPECT_EQ(k.getGapWidth(1), 9.7);
  EXPECT_EQ(k.getRQ(1), 9.8);
  EXPECT_EQ(k.getQe(1), 9.9);
  EXPECT_EQ(k.getQo(1), 10.1);
  EXPECT_EQ(k.getHarmonic(1), 3);
  for (int i : {0, 2}) {
    EXPECT_EQ(k.getZ(i), 0.1 * i);
    EXPECT_EQ(k.getQe(i), 300.0 + i);
    EXPECT_EQ(k.getHarmonic(i), 1 + i % 2);
  }
}

TEST(KlystronCavities, DeleteLastRemovesOneFromEveryList) {
  kly_Klystron k;
  for (int i = 0; i < 3; ++i) addDistinctCavity(k, i);
  k.loadCavityField(2, "last.txt", 0.0, 4);
  k.deleteLastCavity();
  EXPECT_EQ(k.getCavityCount(), 2);
  addDistinctCavity(k, 7);  // the re-added index must not inherit the removed field file
  EXPECT_FALSE(k.hasFieldFile(2));
  EXPECT_EQ(k.getFieldRings(2), 1);
  EXPECT_EQ(k.getFieldFileName(2), "");
  EXPECT_EQ(k.getZ(2), 0.1 * 7);
}

TEST(KlystronCavities, DeleteLastOnEmptyListDoesNothing) {
  kly_Klystron k;
  k.deleteLastCavity();
  EXPECT_EQ(k.getCavityCount(), 0);
  addDistinctCavity(k, 0);
  EXPECT_EQ(k.getCavityCount(), 1);
}

TEST(KlystronCavities, DeleteAllAfterLoadCavityFieldLeavesNoFieldFile) {
  kly_Klystron k;
  addDistinctCavity(k, 0);
  addDistinctCavity(k, 1);
  k.loadCavityField(0, "gap.txt", 123.0, 7);
  EXPECT_TRUE(k.hasFieldFile(0));
  EXPECT_EQ(k.getFieldRings(0), 7);
  EXPECT_EQ(k.getFieldFileName(0), "gap.txt");
  k.deleteAllCavities();
  EXPECT_EQ(k.getCavityCount(), 0);
  addDistinctCavity(k, 3);
  EXPECT_FALSE(k.hasFieldFile(0));
  EXPECT_EQ(k.getFieldRings(0), 1);
  EXPECT_EQ(k.getFieldFileName(0), "");
}

TEST(KlystronCavities, LongFileNamesAreKeptWhole) {
  kly_Klystron k;
  addDistinctCavity(k, 0);
  std::string name(5000, 'x');
  name += "/field.txt";
  k.loadCavityField(0, name, 0.0, 1);
  EXPECT_EQ(k.getFieldFileName(0), name);
}

TEST(KlystronCavities, IndexOutsideTheListThrowsNamingIndexAndCount) {
  kly_Klystron k;
  addDistinctCavity(k, 0);
  addDistinctCavity(k, 1);
  for (int bad : {-1, 2, 1000, std::numeric_limits<int>::min()}) {
    try {
      k.getZ(bad);
      FAIL() << "no exception for index " << bad;
    } catch (const std::out_of_range& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(std::to_string(bad)), std::string::npos) << what;
      EXPECT_NE(what.find("2 cavities"), std::string::npos) << what;
    }
  }
  EXPECT_THROW(k.setCavityQe(2, 1.0), std::out_of_range);
  EXPECT_THROW(k.setCavityHarmonic(-1, 1), std::out_of_range);
  EXPECT_THROW(k.loadCavityField(2, "f.txt", 0, 1), std::out_of_range);
  EXPECT_THROW(k.getHarmonic(5), std::out_of_range);
  EXPECT_THROW(k.getCavity(0), std::out_of_range);  // nothing built yet
  EXPECT_EQ(k.getCavityCount(), 2);
  EXPECT_EQ(k.getQe(1), 301.0);
}

}  // namespace
