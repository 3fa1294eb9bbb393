#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "kly_Files.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/simulation/kly_BeamImport.h"

namespace {

constexpr double kC0 = 299792458.0;
const std::string kSample = kly_test::dataFile("prebunched-beam.txt");

// Writes `content` to a file of its own in the tests' scratch folder.
std::string writeFile(const std::string& name, const std::string& content) {
  static const kly_test::ScratchDir dir("beam-import");
  return dir.write(name, content);
}

// Lines 1 and 2 of a header at 1 GHz; line 3 holds the integers (3 rows, 10 steps per period).
const std::string kNumbers = "v0: 0.5 I0: 90.0 f: 1.0e9 V0: 110000 Pin: 60 dz: 0.001 a: 0.0095 b: 0.0062 h: 0 w: 0\n";
const std::string kHeader = "Beam after the buncher\n" + kNumbers +
                            "disks: 3 rings: 1 steps: 10 passes: 12\nStart position z = 0.25\nDisk Beta Time\n";
const std::string kRows = "0 0.5 2\n1 0.5 1\n2 0.5 0\n";

TEST(BeamImport, ReadsTheSampleFile) {
  kly_BeamImport beam;
  beam.readBeamFile(kSample);
  ASSERT_EQ(beam.getRowCount(), 32);
  const double numbers[] = {0.5482, 90.0, 2.856e9, 110000, 60, 0.001, 0.0095, 0.0062, 0.0, 0.0};
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(beam.headerNumber(k), numbers[k - 1]) << k;
  const int integers[] = {32, 1, 40, 12};
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(beam.headerInteger(k), integers[k - 1]) << k;
  EXPECT_EQ(beam.getFileStartPosition(), 0.35);

  // The last row arrives first (time 0): it leads, at the start position.
  EXPECT_EQ(beam.z(31), 0.0);
  EXPECT_EQ(beam.initialPosition(31, false, 0.0), 0.35);
  // Row 15 arrives half a period (20 of 40 steps) later at v0: half a beam
  // wavelength behind, 0.5482 c / 2.856 GHz / 2 = 0.028772098... m (by hand).
  EXPECT_EQ(beam.beta(15), 0.5482);
  EXPECT_EQ(beam.t(15), 20.0);
  EXPECT_NEAR(beam.z(15), -0.02877209829754902, 1e-15);
  // Row 0: 39.122595 steps at 0.54392206 c (Python, same formula).
  EXPECT_NEAR(beam.z(0), -0.05584275490132397, 1e-15);
  EXPECT_EQ(beam.velocity(0), 0.54392206 * kC0);
  // The disk index runs downstream: every row lies ahead of the one before it.
  for (int d = 1; d < 32; ++d) EXPECT_GT(beam.z(d), beam.z(d - 1)) << d;

  // The start position given instead of the file's.
  for (int d : {0, 15, 31}) {
    EXPECT_EQ(beam.initialPosition(d, false, 1.5), beam.z(d) + 0.35) << d;
    EXPECT_EQ(beam.initialPosition(d, true, 1.5), beam.z(d) + 1.5) << d;
  }
}

TEST(BeamImport, RowsInAnyTimeOrderGiveTheSamePositions) {
  // At beta 0.5, 1 GHz and 10 steps per period a disk one step later lies
  // 0.5 c * 0.1 ns = 0.0149896229 m behind (by hand).
  const std::vector<std::string> orders[] = {{"7", "6", "5"}, {"5", "7", "6"}, {"6", "5", "7"}, {"7", "5", "6"}};
  for (const auto& times : orders) {
    kly_BeamImport beam;
    beam.readBeamFile(
        writeFile("order.txt", kHeader + "0 0.5 " + times[0] + "\n1 0.5 " + times[1] + "\n2 0.5 " + times[2] + "\n"));
    for (int d = 0; d < 3; ++d) {
      const double late = std::stod(times[d]) - 5.0;
      EXPECT_EQ(beam.t(d), late);
      EXPECT_NEAR(beam.z(d), -late * 0.0149896229, 1e-15) << times[d];
    }
  }
}

TEST(BeamImport, LabelsAreAnyTokensAndLineBreaksAndCarriageReturnsDoNotMatter) {
  kly_BeamImport beam;
  beam.readBeamFile(writeFile("oneline.txt",
                              "v0: 0.5 [A] 90.0 [Hz] +1.0e9 [V] 110000 x 60 y 0.001 z 0.0095 u 0.0062 v 0 w 0 "
                              "n 2 rings: +1 steps/period 10 passes 12 z0 = -0.5 Disk Beta Time 0 0.5 1 1 0.25\r\n2\r\n"
                              "2 0.5 -7\n"));  // a row past N is ignored
  ASSERT_EQ(beam.getRowCount(), 2);
  EXPECT_EQ(beam.headerNumber(3), 1.0e9);
  EXPECT_EQ(beam.headerInteger(2), 1);
  EXPECT_EQ(beam.getFileStartPosition(), -0.5);
  EXPECT_EQ(beam.z(0), 0.0);
  EXPECT_NEAR(beam.z(1), -0.25 * kC0 * 1e-10, 1e-15);
}

// Expects readBeamFile to fail with a message naming the file and holding `problem`.
void expectFailure(const std::string& path, const std::string& problem) {
  kly_BeamImport beam;
  beam.readBeamFile(kSample);
  try {
    beam.readBeamFile(path);
    ADD_FAILURE() << path << " was accepted";
  } catch (const kly_FileError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("beam file '" + path + "'"), std::string::npos) << message;
    EXPECT_NE(message.find(problem), std::string::npos) << message;
  }
  // Nothing half-done: the record still holds the sample file.
  EXPECT_EQ(beam.getRowCount(), 32);
  EXPECT_EQ(beam.getFileStartPosition(), 0.35);
  EXPECT_EQ(beam.headerInteger(3), 40);
}

TEST(BeamImport, FailuresNameTheFileTheLineAndTheProblem) {
  const auto file = [](const std::string& name, const std::string& content) { return writeFile(name, content); };
  const std::string integers = "disks: 3 rings: 1 steps: 10 passes: 12\n";
  expectFailure(file("missing/none.txt", ""), "cannot be opened");
  expectFailure(::testing::TempDir(), "is a directory");
  expectFailure(file("empty.txt", ""), "the file is empty: end of file before \"v0:\"");
  expectFailure(file("no-v0.txt", "V0: 0.5 I0: 90\n1 2 3\n"), "line 2: end of file before \"v0:\"");
  expectFailure(file("no-equals.txt", kNumbers + integers + "z: 0.25\nTime\n" + kRows),
                "line 7: end of file before \"=\"");
  expectFailure(file("no-time.txt", kNumbers + integers + "z = 0.25\ntime\n" + kRows),
                "line 7: end of file before \"Time\"");
  expectFailure(file("short.txt", "v0: 0.5 I0: 90.0 f: 1.0e9\n"),
                "line 1: end of file, expected the label of header number 4");
  expectFailure(file("bad-number.txt", "x\nv0: 0.5 I0: 90.0 f: 1.0e9Hz V0: 110000\n"),
                "line 2: expected a number (header number 3), found \"1.0e9Hz\"");
  expectFailure(file("bad-integer.txt", kNumbers + "disks: 3 rings: 1 steps: 10.5 passes: 12\n"),
                "line 2: expected an integer (header integer 3), found \"10.5\"");
  expectFailure(file("huge.txt", "v0: 1e999"), "line 1: header number 1 \"1e999\" is out of the range");
  expectFailure(file("bad-start.txt", kNumbers + integers + "z = .25m\n"),
                "line 3: expected a number (start position), found \".25m\"");
  for (const std::string n : {"0", "-3"})
    expectFailure(
        file("count" + n + ".txt", kNumbers + "disks: " + n + "\nrings: 1 steps: 10 passes: 12\nz = 0 Time\n" + kRows),
        "line 2: row count (header integer 1) is " + n + ", below 1");
  expectFailure(file("no-steps.txt", kNumbers + "disks: 3 rings: 1\nsteps: 0 passes: 12\nz = 0 Time\n" + kRows),
                "line 3: time steps per period (header integer 3) 0 times frequency (header number 3) 1000000000 Hz "
                "is not positive");
  expectFailure(file("no-rows.txt", kHeader), "line 5: end of file, expected first column of row 1 of 3");
  expectFailure(file("two-rows.txt", kHeader + "0 0.5 2\n1 0.5 1\n"),
                "line 7: end of file, expected first column of row 3 of 3");
  expectFailure(file("cut-row.txt", kHeader + "0 0.5 2\n1 0.5\n"), "line 7: end of file, expected time of row 2");
  expectFailure(file("bad-row.txt", kHeader + "0 0.5 2\n1 0.5 Ez\n2 0.5 0\n"),
                "line 7: expected a number (time of row 2 of 3), found \"Ez\"");
  expectFailure(file("nan-row.txt", kHeader + "0 nan 2\n1 0.5 1\n2 0.5 0\n"),
                "line 6: beta of row 1 of 3 \"nan\" is not a finite number");
  expectFailure(file("fast-row.txt", kHeader + "0 0.5 2\n1 1.0 1\n2 0.5 0\n"),
                "line 7: beta of row 2 of 3 is 1, not between 0 and 1");
  // A row count far beyond the rows present fails at the end of the file, not in an allocation.
  expectFailure(
      file("huge-count.txt", kNumbers + "disks: 2000000000 rings: 1 steps: 10 passes: 12\nz = 0 Time\n" + kRows),
      "line 6: end of file, expected first column of row 4 of 2000000000");
}

TEST(BeamImport, AccessorsCheckTheirIndex) {
  kly_BeamImport beam;
  EXPECT_EQ(beam.getRowCount(), 0);
  EXPECT_THROW(beam.z(0), std::out_of_range);
  beam.readBeamFile(kSample);
  EXPECT_THROW(beam.beta(32), std::out_of_range);
  EXPECT_THROW(beam.t(-1), std::out_of_range);
  EXPECT_THROW(beam.initialPosition(32, true, 0.0), std::out_of_range);
  EXPECT_THROW(beam.headerNumber(0), std::out_of_range);
  EXPECT_THROW(beam.headerNumber(11), std::out_of_range);
  EXPECT_THROW(beam.headerInteger(5), std::out_of_range);
}

}  // namespace

namespace {

// The file-name entry point reads the file and parses it as text.
TEST(BeamImport, TextInMemoryReadsAsTheFileDoes) {
  kly_BeamImport fromFile, fromText;
  fromFile.readBeamFile(kSample);
  fromText.readBeamText(kly_test::readText(kSample), "pasted beam");
  ASSERT_EQ(fromText.getRowCount(), fromFile.getRowCount());
  EXPECT_EQ(fromText.getFileStartPosition(), fromFile.getFileStartPosition());
  for (int d = 0; d < fromFile.getRowCount(); ++d) {
    EXPECT_EQ(fromText.velocity(d), fromFile.velocity(d)) << d;
    EXPECT_EQ(fromText.z(d), fromFile.z(d)) << d;
  }
  try {
    fromText.readBeamText(kHeader + "0 0.5 2\n1 1.5 1\n", "pasted beam");
    ADD_FAILURE() << "read a beta of 1.5";
  } catch (const kly_FileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("beam file 'pasted beam' line 7: beta of row 2 of 3 is 1.5", 0), 0u)
        << e.what();
  }
  EXPECT_EQ(fromText.getRowCount(), fromFile.getRowCount());  // kept what it held
}

}  // namespace
