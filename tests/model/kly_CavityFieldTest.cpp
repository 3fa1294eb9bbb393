#include "klystron/model/kly_CavityField.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "klystron/core/kly_Errors.h"
#include "tests/model/kly_FieldFiles.h"

using kly_test::dataFile;
using kly_test::gridFile;
using kly_test::replaceLine;
using kly_test::ScratchDir;

// Reference values: tests/model/reference_values.py, which parses
// gap-field-radial.txt on its own and normalises, tabulates and integrates it
// in double precision; agreement to rounding (1e-12 relative).
TEST(CavityField, RadialFileIsNormalisedAndTabulatedAtTheSampleRadii) {
  kly_CavityField f;
  const std::vector<double> samples = {0.0, 0.0005, 0.0019, 0.0031, 0.009};
  f.load(dataFile("gap-field-radial.txt"), -0.1, samples, 0.0031);
  EXPECT_EQ(f.getAxialPointCount(), 161);
  EXPECT_EQ(f.getRadialLineCount(), 9);
  EXPECT_EQ(f.getUnitsPerMetre(), 100.0);
  EXPECT_EQ(f.getRings(), 5);
  EXPECT_NEAR(f.getZMin(), 0.06, 1e-15);
  EXPECT_NEAR(f.getZMax(), 0.14, 1e-15);

  // Ring 3 sits at the normalisation radius: its weight is 1.
  const double integrals[] = {0.99998618731083389, 0.99998688434774363, 0.99999144777595961, 0.99999999999999956,
                              1.0000534908874912};
  // Profile at z = 0.08 m (point 40) and 0.1 m (point 80): axis, between
  // lines, on line 2, at the normalisation radius, beyond the last line.
  const double at40[] = {1.823731640690232, 1.8103082236016013, 1.7226470770697715, 1.5562408314250109,
                         0.49657796045543551};
  const double at80[] = {56.553968123372634, 56.691978905085755, 57.609758937462431, 59.460391232323936,
                         74.489294271449054};
  for (int q = 0; q < 5; ++q) {
    EXPECT_NEAR(f.getFieldIntegral(q), integrals[q], 1e-12) << "ring " << q;
    EXPECT_NEAR(f.getField(0.08, q), at40[q], 1e-9 * at40[q]) << "ring " << q;
    EXPECT_NEAR(f.getField(0.1, q), at80[q], 1e-9 * at80[q]) << "ring " << q;
  }
  EXPECT_NEAR(f.getCoupling(60.0), 0.90369718147775609, 1e-12);
  // Zero at and outside the ends of the grid.
  EXPECT_EQ(f.getField(f.getZMin(), 0), 0.0);
  EXPECT_EQ(f.getField(f.getZMax(), 0), 0.0);
  EXPECT_GT(f.getField(std::nextafter(f.getZMax(), 0.0), 0), 0.0);
  EXPECT_THROW(f.getField(0.1, 5), std::out_of_range);
  EXPECT_THROW(f.getFieldIntegral(-1), std::out_of_range);

  f.shift(0.0);
  EXPECT_NEAR(f.getZMin(), 0.06, 1e-15);
  f.shift(0.01);
  EXPECT_NEAR(f.getZMin(), 0.05, 1e-15);
  EXPECT_NEAR(f.getZMax(), 0.13, 1e-15);

  // Around 1e14 m a double resolves 16 mm, more than the 0.5 mm grid: refused, nothing moved.
  EXPECT_THROW(f.shift(-1e14), kly_FileError);
  EXPECT_NEAR(f.getZMin(), 0.05, 1e-15);
  EXPECT_GT(f.getField(0.09, 0), 0.0);
  f.shift(-1e9);  // 1e-7 mm resolution: still a grid
  EXPECT_NEAR(f.getZMax() - f.getZMin(), 0.08, 1e-6);
  // A position that is not a number is carried through, as everywhere in the model.
  f.shift(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(std::isnan(f.getZMin()));
  EXPECT_EQ(f.getField(0.09, 0), 0.0);
}

TEST(CavityField, AxisOnlyFileServesEveryRingFromTheAxis) {
  kly_CavityField f;
  f.load(dataFile("gap-field-axis.txt"), 0.0, std::vector<double>{0.001, 0.003, 0.006}, 0.002);
  EXPECT_EQ(f.getRadialLineCount(), 1);
  EXPECT_EQ(f.getAxialPointCount(), 121);
  EXPECT_NEAR(f.getZMin(), -0.035, 1e-15);
  for (double z : {-0.01, 0.0, 0.004}) {
    EXPECT_EQ(f.getField(z, 1), f.getField(z, 0));
    EXPECT_EQ(f.getField(z, 2), f.getField(z, 0));
  }
  // The weight uses the file's own z steps, the integral the uniform spacing;
  // the file's coordinates (five decimals) are off the uniform grid by up to
  // 6e-5 of a step.
  EXPECT_NEAR(f.getFieldIntegral(0), 1.0, 2e-4);
}

TEST(CavityField, NegativeFieldHasTheSameWeightAndCoupling) {
  ScratchDir dir("negative-field");
  const std::string positive = dir.write("positive.txt", gridFile(40, "X", 1));
  std::string text = gridFile(40, "X", 1);
  // Negate every field value (third number of each point line).
  std::istringstream in(text);
  std::ostringstream out;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (n >= 4) {
      std::istringstream p(line);
      double z, r, e;
      p >> z >> r >> e;
      std::ostringstream l;
      l << z << " " << r << " " << -e << " 0 0 0";
      line = l.str();
    }
    out << line << "\n";
  }
  const std::string negative = dir.write("negative.txt", out.str());
  kly_CavityField a;
  kly_CavityField b;
  a.load(positive, 0.0, std::vector<double>{0.0}, 0.0);
  b.load(negative, 0.0, std::vector<double>{0.0}, 0.0);
  EXPECT_LT(b.getField(0.0, 0), 0.0);
  EXPECT_EQ(b.getField(0.001, 0), -a.getField(0.001, 0));
  EXPECT_EQ(b.getFieldIntegral(0), a.getFieldIntegral(0));
  EXPECT_NEAR(a.getFieldIntegral(0), 1.0, 1e-12);
  EXPECT_EQ(b.getCoupling(500.0), a.getCoupling(500.0));
  EXPECT_GT(a.getCoupling(500.0), 0.0);
  EXPECT_LT(a.getCoupling(500.0), 1.0);
}

TEST(CavityField, LengthUnits) {
  kly_CavityField f;
  f.load(dataFile("gap-field-mm.txt"), 0.0, std::vector<double>{0.002}, 0.002);
  EXPECT_EQ(f.getUnitsPerMetre(), 1000.0);
  EXPECT_NEAR(f.getZMin(), -0.03, 1e-15);
  // An unknown unit (micrometres here) reads as metres.
  ScratchDir dir("units");
  std::string text = kly_test::readText(dataFile("gap-field-mm.txt"));
  text.replace(text.find("(mm) (mm)"), 4, "(um)");
  kly_CavityField g;
  g.load(dir.write("um.txt", text), 0.0, std::vector<double>{2.0}, 2.0);
  EXPECT_EQ(g.getUnitsPerMetre(), 1.0);
  EXPECT_NEAR(g.getZMin(), -30.0, 1e-12);
}

TEST(CavityField, HeaderLinesMayHoldNinetyNineCharacters) {
  ScratchDir dir("long-lines");
  const std::string text = gridFile(20, "2", 3);
  kly_CavityField f;
  f.load(dir.write("99.txt", replaceLine(text, 3, std::string(99, '-'))), 0.0, std::vector<double>{0.0}, 0.0);
  EXPECT_EQ(f.getRadialLineCount(), 3);
  // The line before "increments:" is read token by token and may be of any length.
  f.load(dir.write("title.txt", replaceLine(text, 1, std::string(500, 'x'))), 0.0, std::vector<double>{0.0}, 0.0);
  EXPECT_EQ(f.getRadialLineCount(), 3);
}

TEST(CavityField, RejectsSampleCountsOutsideOneToFifty) {
  kly_CavityField f;
  EXPECT_THROW(f.load(dataFile("gap-field-axis.txt"), 0.0, std::vector<double>{}, 0.0), std::invalid_argument);
  EXPECT_THROW(f.load(dataFile("gap-field-axis.txt"), 0.0, std::vector<double>(51, 0.001), 0.0), std::invalid_argument);
}

// Every unusable file fails with a message naming the file, the line and the
// problem, and leaves the object as it was.
TEST(CavityField, UnusableFilesAreReportedWithFileAndLine) {
  ScratchDir dir("bad-files");
  const std::string good = gridFile(20, "2", 3);  // points from line 6, 21 per radial line
  struct Case {
    const char* name;
    std::string text;
    int line;
    const char* problem;
  };
  std::string truncated = good.substr(0, good.find("\n-5 2 "));
  const std::vector<Case> cases = {
      {"no-increments", "Just a title\n(mm)\n1 2 3 4 5 6\n", 3, "no \"increments:\" token"},
      {"axial-zero", replaceLine(good, 2, "Number of Z and R increments: 0 2"), 2, "at least 1"},
      {"axial-text", replaceLine(good, 2, "Number of Z and R increments: many 2"), 2,
       "expected the number of axial increments, found \"many\""},
      {"radial-negative", replaceLine(good, 2, "Number of Z and R increments: 20 -2"), 2, "negative"},
      {"ends-in-header", "Number of Z and R increments: 20 2\n", 1, "ends early"},
      {"ends-early", truncated, 47, "ends early: expected 63 points (21 axial by 3 radial), found 42"},
      {"not-a-number", replaceLine(good, 9, "-3.5 0 Ez 0 0 0"), 9,
       "expected the axial field of axial point 4 of 21 on radial line 1 of 3, found \"Ez\""},
      // Line breaks do not matter, so a point short of numbers shows at the end.
      {"short-point", replaceLine(good, 30, "-3.5 1"), 68,
       "ends early: expected the axial field of axial point 21 of 21 on radial line 3 of 3"},
      {"overflow", replaceLine(good, 9, "-3.5 0 1e999 0 0 0"), 9, "out of range"},
      {"not-uniform", replaceLine(good, 30, "0.6 1 1 0 0 0"), 30,
       "z spacing is not uniform: z of axial point 4 of 21 on radial line 2 of 3"},
      {"same-z", "Number of Z and R increments: 2 0\n\nZ R Ez\n(mm)\n1 0 1 0 0 0\n1 0 2 0 0 0\n1 0 1 0 0 0\n", 5,
       "all points have the same z"},
      {"long-skipped-line", replaceLine(good, 3, std::string(100, '-')), 3, "longer than 99 characters"},
  };
  kly_CavityField f;
  f.load(dataFile("gap-field-axis.txt"), 0.0, std::vector<double>{0.0}, 0.0);
  for (const Case& c : cases) {
    const std::string path = dir.write(std::string(c.name) + ".txt", c.text);
    try {
      f.load(path, 0.0, std::vector<double>{0.0, 0.001}, 0.0);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const kly_FileError& e) {
      const std::string message = e.what();
      const std::string where = "field file '" + path + "' line " + std::to_string(c.line) + ": ";
      EXPECT_NE(message.find(where), std::string::npos) << c.name << ": " << message;
      EXPECT_NE(message.find(c.problem), std::string::npos) << c.name << ": " << message;
    }
  }
  EXPECT_EQ(f.getRadialLineCount(), 1);
  EXPECT_EQ(f.getRings(), 1);
  try {
    f.load("/nonexistent/field.txt", 0.0, std::vector<double>{0.0}, 0.0);
    ADD_FAILURE() << "a missing file loaded";
  } catch (const kly_FileError& e) {
    EXPECT_STREQ(e.what(), "field file '/nonexistent/field.txt': cannot be opened (No such file or directory)");
  }
  // Both open and read as nothing; neither has a line to blame.
  const std::string empty = dir.write("empty.txt", "");
  const std::string folder = std::filesystem::path(empty).parent_path().string();
  for (const auto& [path, problem] : {std::pair{empty, "the file is empty"}, std::pair{folder, "is a directory"}}) {
    try {
      f.load(path, 0.0, std::vector<double>{0.0}, 0.0);
      ADD_FAILURE() << path << " loaded";
    } catch (const kly_FileError& e) {
      EXPECT_EQ(e.what(), "field file '" + path + "': " + problem);
    }
  }
  EXPECT_EQ(f.getRings(), 1);
}

// The file-name entry point reads the file and parses it as text: both give
// the same profile to the last bit, and the text's problems name its source.
TEST(CavityField, TextInMemoryLoadsAsTheFileDoes) {
  const std::vector<double> samples = {0.0005, 0.002, 0.004, 0.0061};
  const std::string file = dataFile("gap-field-radial.txt");
  kly_CavityField fromFile, fromText;
  fromFile.load(file, 0.0, samples, 0.0031);
  fromText.loadText(kly_test::readText(file), "radial profile", 0.0, samples, 0.0031);
  ASSERT_EQ(fromText.getZMin(), fromFile.getZMin());
  ASSERT_EQ(fromText.getZMax(), fromFile.getZMax());
  EXPECT_EQ(fromText.getCoupling(107.4), fromFile.getCoupling(107.4));
  for (int ring = 0; ring < 4; ++ring) {
    EXPECT_EQ(fromText.getFieldIntegral(ring), fromFile.getFieldIntegral(ring)) << ring;
    for (int i = 1; i < 40; ++i) {
      const double z = fromFile.getZMin() + (fromFile.getZMax() - fromFile.getZMin()) * i / 40;
      ASSERT_EQ(fromText.getField(z, ring), fromFile.getField(z, ring)) << ring << " " << i;
    }
  }
  try {
    fromText.loadText(replaceLine(gridFile(20, "X", 1), 7, "x"), "pasted text", 0.0, samples, 0.0);
    ADD_FAILURE() << "loaded a malformed text";
  } catch (const kly_FileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "field file 'pasted text' line 7: expected z of axial point 4 of 21 on radial line 1 of 1, found \"x\"");
  }
  EXPECT_THROW(fromText.loadText("", "nothing", 0.0, samples, 0.0), kly_FileError);
  EXPECT_EQ(fromText.getFieldIntegral(3), fromFile.getFieldIntegral(3));  // kept what it held
}
