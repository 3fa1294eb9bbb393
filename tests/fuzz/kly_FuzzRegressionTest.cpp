#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fuzz/kly_FuzzChecks.h"
#include "kly_Files.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_CavityField.h"
#include "klystron/simulation/kly_BeamImport.h"

namespace {

const std::string kRegressionDir = kly_test::dataFile("regression");

struct Finding {
  const char* file;     // in tests/data/regression
  const char* message;  // what the refusal must say, after the file name
};

// Each input a reader once accepted and then answered with infinities or an
// empty field, or refused for a wrong reason. Every one must now be refused
// for its real reason.
const std::vector<Finding> kFieldFindings = {
    // Found by fuzz_field_file: a 1e-31 m grid collapsed onto one position at the gap centre.
    {"field-fuzz-grid-below-resolution.txt",
     "': the axial grid from -1e-31 m to 0 m (spacing 1e-31 m) cannot be moved by 0.25 m: the positions there "
     "cannot resolve its spacing"},
    {"field-subnormal-spacing.txt",
     "': the axial field normalised to unit integral at 0.003 m from the axis exceeds the range of a double "
     "(grid spacing 1e-310 m)"},
    // Found by fuzz_field_file: a point 1e308 m away made the phase of the coupling integral overflow.
    {"field-fuzz-phase-overflows.txt",
     "' line 4: z of axial point 2 of 2 on radial line 1 of 1 is 1e+308 m: a field profile must lie within 1000 m "
     "of the file's origin"},
    {"field-outer-line-overflows.txt",
     "': the axial field normalised to unit integral at 0.003 m from the axis exceeds the range of a double "
     "(grid spacing 1 m)"},
};

const std::vector<Finding> kBeamFindings = {
    // Found by fuzz_beam_file: the time difference is finite, its product with the velocity is not.
    {"beam-fuzz-distance-overflows.txt",
     "' line 6: time of row 1 of 3 (2) lies too far from the earliest arrival (-1e+308) for a position along the "
     "tube"},
    {"beam-times-far-apart.txt",
     "' line 6: time of row 1 of 2 (1e+308) lies too far from the earliest arrival (-1e+308) for a position along "
     "the tube"},
};

std::string path(const Finding& f) { return kRegressionDir + "/" + f.file; }

TEST(FuzzRegression, EveryStoredInputIsListedHere) {
  std::set<std::string> listed;
  for (const auto* list : {&kFieldFindings, &kBeamFindings})
    for (const Finding& f : *list) listed.insert(f.file);
  std::set<std::string> stored;
  for (const auto& entry : std::filesystem::directory_iterator(kRegressionDir)) stored.insert(entry.path().filename());
  EXPECT_EQ(stored, listed);
}

TEST(FuzzRegression, FieldFilesAreRefusedForTheirRealReason) {
  const double positions[] = {0.0005, 0.002, 0.004, 0.0061};
  for (const Finding& f : kFieldFindings) {
    EXPECT_EQ(kly_fuzz::fieldTextProblem(kly_test::readText(path(f))), "") << f.file;
    kly_CavityField field;
    try {
      field.load(path(f), 0.0, positions, 0.003);
      field.shift(-0.25);
      ADD_FAILURE() << f.file << ": loaded and placed";
    } catch (const kly_FileError& e) {
      EXPECT_EQ(e.what(), "field file '" + path(f) + f.message) << f.file;
    }
  }
}

TEST(FuzzRegression, BeamFilesAreRefusedForTheirRealReason) {
  for (const Finding& f : kBeamFindings) {
    EXPECT_EQ(kly_fuzz::beamTextProblem(kly_test::readText(path(f))), "") << f.file;
    kly_BeamImport beam;
    try {
      beam.readBeamFile(path(f));
      ADD_FAILURE() << f.file << ": loaded";
    } catch (const kly_FileError& e) {
      EXPECT_EQ(e.what(), "beam file '" + path(f) + f.message) << f.file;
    }
  }
}

// The seed inputs must pass the same checks, and load: a check that refused
// everything would pass the findings too.
TEST(FuzzRegression, SampleFilesPassTheChecksAndLoad) {
  const double positions[] = {0.0005, 0.002, 0.004, 0.0061};
  for (const char* name : {"gap-field-axis.txt", "gap-field-mm.txt", "gap-field-radial.txt"}) {
    const std::string file = kly_test::dataFile(name);
    EXPECT_EQ(kly_fuzz::fieldTextProblem(kly_test::readText(file)), "") << name;
    kly_CavityField field;
    EXPECT_NO_THROW(field.load(file, 0.0, positions, 0.003)) << name;
  }
  const std::string beamFile = kly_test::dataFile("prebunched-beam.txt");
  EXPECT_EQ(kly_fuzz::beamTextProblem(kly_test::readText(beamFile)), "");
  kly_BeamImport beam;
  EXPECT_NO_THROW(beam.readBeamFile(beamFile));
}

}  // namespace
