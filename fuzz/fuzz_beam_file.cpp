// Feeds arbitrary bytes to the beam-file reader. Every input must either load
// or be refused with kly_FileError; a loaded beam must give finite rows.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fuzz/kly_FuzzInput.h"
#include "model/kly_Errors.h"
#include "simulation/kly_BeamImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kly_FuzzInput input;
  const std::string& name = input.write(data, size);
  kly_BeamImport beam;
  try {
    beam.readBeamFile(name);
  } catch (const kly_FileError&) {
    return 0;
  }
  if (beam.getRowCount() < 1) std::abort();
  for (int d = 0; d < beam.getRowCount(); ++d) {
    if (!std::isfinite(beam.velocity(d)) || !std::isfinite(beam.initialPosition(d, false, 0.0))) std::abort();
  }
  return 0;
}
