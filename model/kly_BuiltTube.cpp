#include "klystron/model/kly_BuiltTube.h"

#include <stdexcept>
#include <string>

#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"

std::shared_ptr<const kly_BuiltTube> kly_BuiltTube::build(const kly_TubeDescription& description) {
  std::shared_ptr<kly_BuiltTube> tube(new kly_BuiltTube);
  tube->description_ = description;
  const kly_BeamDescription& b = description.beam;
  if (b.round) {
    tube->beam_.initRoundBeam(b.voltage, b.current, b.frequency, b.tubeRadius, b.beamRadius);
  } else {
    tube->beam_.initSheetBeam(b.voltage, b.current, b.frequency, b.beamWidth, b.beamHeight, b.tubeWidth, b.tubeHeight);
  }

  const kly_Beam& beam = tube->beam_;
  tube->cavities_.reserve(description.cavities.size());
  for (std::size_t q = 0; q < description.cavities.size(); ++q) {
    const kly_CavityDescription& c = description.cavities[q];
    auto cavity = std::make_unique<kly_Cavity>(c.z, c.frequency, c.m, c.harmonic, c.gapWidth, c.rq, c.qo, c.qe, beam);
    if (c.hasFieldFile) {
      if (c.fieldRings < 1 || c.fieldRings > kly::kMaxFieldRings) {
        throw std::invalid_argument("cavity " + std::to_string(q) + ": field ring count " +
                                    std::to_string(c.fieldRings) + " is outside 1 to " +
                                    std::to_string(kly::kMaxFieldRings));
      }
      try {
        cavity->loadField(c.fieldFile, 0.0, c.fieldRings, beam);
      } catch (const kly_FileError& e) {
        throw kly_FileError("cavity " + std::to_string(q) + ": " + e.what());
      }
      tube->description_.cavities[q].m = cavity->getM();
    }
    tube->cavities_.push_back(std::move(cavity));
  }
  return tube;
}

std::shared_ptr<const kly_BuiltTube> kly_BuiltTube::withoutCavities() const {
  std::shared_ptr<kly_BuiltTube> tube(new kly_BuiltTube);
  tube->description_.beam = description_.beam;
  tube->description_.simulation = description_.simulation;
  tube->beam_ = beam_;
  return tube;
}

const kly_Cavity& kly_BuiltTube::cavity(int cavity) const {
  const int count = cavityCount();
  if (cavity < 0 || cavity >= count) {
    throw std::out_of_range("cavity index " + std::to_string(cavity) + " is out of range: the tube has " +
                            std::to_string(count) + (count == 1 ? " cavity object" : " cavity objects"));
  }
  return *cavities_[static_cast<std::size_t>(cavity)];
}
