// Feeds arbitrary bytes, straight from memory, to the field-profile parser.
// Every input must either load or be refused with kly_FileError; a loaded
// profile must answer its queries with finite values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/kly_FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = kly_fuzz::fieldTextProblem(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "field file reader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
