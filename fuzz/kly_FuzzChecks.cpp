#include "fuzz/kly_FuzzChecks.h"

#include <cmath>

#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_CavityField.h"
#include "klystron/simulation/kly_BeamImport.h"

namespace kly_fuzz {

std::string fieldTextProblem(std::string_view text) {
  const double positions[] = {0.0005, 0.002, 0.004, 0.0061};
  kly_CavityField field;
  try {
    field.loadText(text, "fuzz input", 0.0, positions, 0.003);
    field.shift(-0.25);  // as a cavity with its gap centre at 0.25 m places it
  } catch (const kly_FileError&) {
    return {};
  }
  const double zmin = field.getZMin(), zmax = field.getZMax();
  if (!(std::isfinite(zmin) && std::isfinite(zmax) && zmin < zmax))
    return "loaded and placed with an axial extent that is empty or not finite";
  for (int ring = 0; ring < 4; ++ring) {
    for (int i = 0; i <= 16; ++i) {
      const double z = zmin + (zmax - zmin) * i / 16.0;
      if (!std::isfinite(field.getField(z, ring)))
        return "loaded, but the field on ring " + std::to_string(ring) + " is not finite";
    }
    if (!std::isfinite(field.getFieldIntegral(ring)))
      return "loaded, but the field integral on ring " + std::to_string(ring) + " is not finite";
  }
  if (std::isnan(field.getCoupling(100.0))) return "loaded, but the coupling coefficient is not a number";
  return {};
}

std::string beamTextProblem(std::string_view text) {
  kly_BeamImport beam;
  try {
    beam.readBeamText(text, "fuzz input");
  } catch (const kly_FileError&) {
    return {};
  }
  if (beam.getRowCount() < 1) return "loaded without rows";
  for (int d = 0; d < beam.getRowCount(); ++d) {
    if (!std::isfinite(beam.velocity(d)) || !std::isfinite(beam.initialPosition(d, false, 0.0)))
      return "loaded, but row " + std::to_string(d + 1) + " has a velocity or position that is not finite";
  }
  return {};
}

}  // namespace kly_fuzz
