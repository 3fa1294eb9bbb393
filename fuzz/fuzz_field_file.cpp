// Feeds arbitrary bytes to the field-profile reader. Every input must either
// load or be refused with kly_FileError; a loaded profile must answer its
// queries with finite values.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fuzz/kly_FuzzInput.h"
#include "model/kly_CavityField.h"
#include "model/kly_Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kly_FuzzInput input;
  const std::string& name = input.write(data, size);
  const double positions[] = {0.0005, 0.002, 0.004, 0.0061};
  kly_CavityField field;
  try {
    field.load(name, 0.0, positions, 0.003);
  } catch (const kly_FileError&) {
    return 0;
  }
  field.shift(-0.25);
  const double zmin = field.getZMin(), zmax = field.getZMax();
  for (int ring = 0; ring < 4; ++ring) {
    for (int i = 0; i <= 16; ++i) {
      const double z = zmin + (zmax - zmin) * i / 16.0;
      if (!std::isfinite(field.getField(z, ring))) std::abort();
    }
    if (!std::isfinite(field.getFieldIntegral(ring))) std::abort();
  }
  if (std::isnan(field.getCoupling(100.0))) std::abort();
  return 0;
}
