#include "klystron/model/kly_Klystron.h"

#include <stdexcept>
#include <string>
#include <utility>

kly_Klystron::kly_Klystron() : built_(std::make_shared<const kly_BuiltTube>()) {}

kly_Klystron::kly_Klystron(kly_TubeDescription description)
    : description_(std::move(description)), built_(std::make_shared<const kly_BuiltTube>()) {
  description_.simulation.reset();
}

kly_Klystron::~kly_Klystron() = default;

void kly_Klystron::setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                                          double tubeRadius, double beamRadius) {
  kly_BeamDescription& b = description_.beam;
  b.voltage = beamVoltage;
  b.current = beamCurrent;
  b.frequency = frequency;
  b.inputPower = inputPower;
  b.tubeRadius = tubeRadius;
  b.beamRadius = beamRadius;
  b.beamWidth = 0;
  b.beamHeight = 0;
  b.tubeWidth = 0;
  b.tubeHeight = 0;
  b.round = true;
}

void kly_Klystron::setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                                          double beamWidth, double beamHeight, double tubeWidth, double tubeHeight) {
  kly_BeamDescription& b = description_.beam;
  b.voltage = beamVoltage;
  b.current = beamCurrent;
  b.frequency = frequency;
  b.inputPower = inputPower;
  b.tubeRadius = 0;
  b.beamRadius = 0;
  b.beamWidth = beamWidth;
  b.beamHeight = beamHeight;
  b.tubeWidth = tubeWidth;
  b.tubeHeight = tubeHeight;
  b.round = false;
}

void kly_Klystron::addCavity(double zCenter, double frequency, double m, int harmonic, double gapWidth, double rq,
                             double qo, double qe) {
  if (harmonic == 0) return;
  kly_CavityDescription c;
  c.z = zCenter;
  c.frequency = frequency;
  c.m = m;
  c.harmonic = harmonic;
  c.gapWidth = gapWidth;
  c.rq = rq;
  c.qo = qo;
  c.qe = qe;
  description_.cavities.push_back(std::move(c));
}

void kly_Klystron::deleteLastCavity() {
  if (!description_.cavities.empty()) description_.cavities.pop_back();
}

void kly_Klystron::deleteAllCavities() {
  // The beam-only tube is made first: if that fails, nothing has changed.
  std::shared_ptr<const kly_BuiltTube> beamOnly = built_->withoutCavities();
  description_.cavities.clear();
  built_.swap(beamOnly);
}

void kly_Klystron::loadCavityField(int cavity, const std::string& fileName, double /*ignored*/, int rings) {
  kly_CavityDescription& c = at(cavity);
  // The name is copied before anything changes, so a failed copy changes nothing.
  std::string name = fileName;
  c.fieldFile.swap(name);
  c.hasFieldFile = true;
  c.fieldRings = rings;
}

kly_CavityDescription& kly_Klystron::at(int cavity) {
  return const_cast<kly_CavityDescription&>(std::as_const(*this).at(cavity));
}

const kly_CavityDescription& kly_Klystron::at(int cavity) const {
  const int count = getCavityCount();
  if (cavity < 0 || cavity >= count) {
    throw std::out_of_range("cavity index " + std::to_string(cavity) + " is out of range: the tube has " +
                            std::to_string(count) + (count == 1 ? " cavity" : " cavities"));
  }
  return description_.cavities[static_cast<std::size_t>(cavity)];
}

const kly_Cavity& kly_Klystron::getCavity(int cavity) const {
  const int count = getCavityObjectCount();
  if (cavity < 0 || cavity >= count) {
    throw std::out_of_range("cavity index " + std::to_string(cavity) + " is out of range: the last rebuild made " +
                            std::to_string(count) + (count == 1 ? " cavity" : " cavities"));
  }
  return built_->cavity(cavity);
}

void kly_Klystron::initializeInternalData() {
  // Everything is built aside and taken over only when all of it succeeded;
  // nothing below can fail.
  std::shared_ptr<const kly_BuiltTube> built = kly_BuiltTube::build(description_);
  const kly_TubeDescription& result = built->description();
  for (std::size_t q = 0; q < description_.cavities.size(); ++q) description_.cavities[q].m = result.cavities[q].m;
  built_.swap(built);
}
