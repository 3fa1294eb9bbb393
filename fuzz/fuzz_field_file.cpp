// Feeds arbitrary bytes to the field-profile reader. Every input must either
// load or be refused with kly_FileError; a loaded profile must answer its
// queries with finite values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/kly_FuzzChecks.h"
#include "fuzz/kly_FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kly_FuzzInput input;
  const std::string problem = kly_fuzz::fieldFileProblem(input.write(data, size));
  if (!problem.empty()) {
    std::fprintf(stderr, "field file reader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
