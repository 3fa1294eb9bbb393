// Feeds arbitrary bytes, straight from memory, to the beam-file parser.
// Every input must either load or be refused with kly_FileError; a loaded
// beam must give finite rows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/kly_FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = kly_fuzz::beamTextProblem(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "beam file reader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
