// Feeds arbitrary bytes to the beam-file reader. Every input must either load
// or be refused with kly_FileError; a loaded beam must give finite rows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/kly_FuzzChecks.h"
#include "fuzz/kly_FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kly_FuzzInput input;
  const std::string problem = kly_fuzz::beamFileProblem(input.write(data, size));
  if (!problem.empty()) {
    std::fprintf(stderr, "beam file reader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
