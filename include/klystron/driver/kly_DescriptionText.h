#pragma once

#include <string>
#include <string_view>

#include "klystron/model/kly_TubeDescription.h"

// A tube description as text and back, to the last bit: one `key=value` line
// per value, numbers in hexadecimal floating point, names of files as given
// (already resolved, so another process on the same files reads the same
// ones). For sending a point's tube to another process without its tube
// file, and the text a tube's fingerprint is taken of.
class kly_DescriptionText {
public:
  static std::string write(const kly_TubeDescription& tube);
  // The description of a text that write made; std::invalid_argument naming
  // the line for anything else.
  static kly_TubeDescription read(std::string_view text);
};
