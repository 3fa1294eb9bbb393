#pragma once

#include <string>
#include <string_view>

// What the file readers must do with any input, shared by the fuzz targets and
// the regression tests that replay their findings: either read the text and
// then answer every query with finite values, or refuse it with kly_FileError.
// Each function returns what went wrong, or an empty string when nothing did;
// any other exception escapes.
namespace kly_fuzz {

// The field-profile reader, tabulating at four sample radii up to 6.1 mm, and
// the profile placed at a gap centre 0.25 m along the tube.
std::string fieldTextProblem(std::string_view text);

// The beam-file reader.
std::string beamTextProblem(std::string_view text);

}  // namespace kly_fuzz
