#include "model/kly_Klystron.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "model/kly_CavityField.h"
#include "model/kly_Errors.h"

kly_Klystron::kly_Klystron() = default;

kly_Klystron::~kly_Klystron() { deleteAllCavities(); }

void kly_Klystron::setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                                          double tubeRadius, double beamRadius) {
  beamVoltage_ = beamVoltage;
  beamCurrent_ = beamCurrent;
  frequency_ = frequency;
  inputPower_ = inputPower;
  tubeRadius_ = tubeRadius;
  beamRadius_ = beamRadius;
  beamWidth_ = 0;
  beamHeight_ = 0;
  tubeWidth_ = 0;
  tubeHeight_ = 0;
  roundBeam_ = true;
}

void kly_Klystron::setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                                          double beamWidth, double beamHeight, double tubeWidth, double tubeHeight) {
  beamVoltage_ = beamVoltage;
  beamCurrent_ = beamCurrent;
  frequency_ = frequency;
  inputPower_ = inputPower;
  tubeRadius_ = 0;
  beamRadius_ = 0;
  beamWidth_ = beamWidth;
  beamHeight_ = beamHeight;
  tubeWidth_ = tubeWidth;
  tubeHeight_ = tubeHeight;
  roundBeam_ = false;
}

void kly_Klystron::addCavity(double zCenter, double frequency, double m, int harmonic, double gapWidth, double rq,
                             double qo, double qe) {
  if (harmonic == 0) return;
  zCenter_.push_back(zCenter);
  cavityFrequency_.push_back(frequency);
  m_.push_back(m);
  harmonic_.push_back(harmonic);
  gapWidth_.push_back(gapWidth);
  rq_.push_back(rq);
  qo_.push_back(qo);
  qe_.push_back(qe);
  hasFieldFile_.push_back(false);
  fieldFileName_.emplace_back();
  fieldRings_.push_back(1);
}

void kly_Klystron::deleteLastCavity() {
  if (rq_.empty()) return;
  zCenter_.pop_back();
  cavityFrequency_.pop_back();
  m_.pop_back();
  harmonic_.pop_back();
  gapWidth_.pop_back();
  rq_.pop_back();
  qo_.pop_back();
  qe_.pop_back();
  hasFieldFile_.pop_back();
  fieldFileName_.pop_back();
  fieldRings_.pop_back();
}

void kly_Klystron::deleteAllCavities() {
  cavities_.clear();
  zCenter_.clear();
  cavityFrequency_.clear();
  m_.clear();
  harmonic_.clear();
  gapWidth_.clear();
  rq_.clear();
  qo_.clear();
  qe_.clear();
  hasFieldFile_.clear();
  fieldFileName_.clear();
  fieldRings_.clear();
}

void kly_Klystron::loadCavityField(int cavity, const std::string& fileName, double /*ignored*/, int rings) {
  checkCavity(cavity);
  // The name is copied before any list changes, so a failed copy changes nothing.
  std::string name = fileName;
  const auto i = static_cast<std::size_t>(cavity);
  fieldFileName_[i].swap(name);
  hasFieldFile_[i] = true;
  fieldRings_[i] = rings;
}

void kly_Klystron::checkCavity(int cavity) const {
  const int count = getCavityCount();
  if (cavity < 0 || cavity >= count) {
    throw std::out_of_range("cavity index " + std::to_string(cavity) + " is out of range: the tube has " +
                            std::to_string(count) + (count == 1 ? " cavity" : " cavities"));
  }
}

#define KLY_CAVITY_ACCESSORS(Setter, Getter, Type, list) \
  void kly_Klystron::Setter(int cavity, Type v) {        \
    checkCavity(cavity);                                 \
    list[static_cast<std::size_t>(cavity)] = v;          \
  }                                                      \
  Type kly_Klystron::Getter(int cavity) const {          \
    checkCavity(cavity);                                 \
    return list[static_cast<std::size_t>(cavity)];       \
  }

KLY_CAVITY_ACCESSORS(setCavityZCenter, getZ, double, zCenter_)
KLY_CAVITY_ACCESSORS(setCavityFrequency, getFrequency, double, cavityFrequency_)
KLY_CAVITY_ACCESSORS(setCavityM, getM, double, m_)
KLY_CAVITY_ACCESSORS(setCavityGapWidth, getGapWidth, double, gapWidth_)
KLY_CAVITY_ACCESSORS(setCavityRQ, getRQ, double, rq_)
KLY_CAVITY_ACCESSORS(setCavityQe, getQe, double, qe_)
KLY_CAVITY_ACCESSORS(setCavityQo, getQo, double, qo_)
KLY_CAVITY_ACCESSORS(setCavityHarmonic, getHarmonic, int, harmonic_)
#undef KLY_CAVITY_ACCESSORS

bool kly_Klystron::hasFieldFile(int cavity) const {
  checkCavity(cavity);
  return hasFieldFile_[static_cast<std::size_t>(cavity)];
}

int kly_Klystron::getFieldRings(int cavity) const {
  checkCavity(cavity);
  return fieldRings_[static_cast<std::size_t>(cavity)];
}

const std::string& kly_Klystron::getFieldFileName(int cavity) const {
  checkCavity(cavity);
  return fieldFileName_[static_cast<std::size_t>(cavity)];
}

const kly_Cavity& kly_Klystron::getCavity(int cavity) const {
  const int count = getCavityObjectCount();
  if (cavity < 0 || cavity >= count) {
    throw std::out_of_range("cavity index " + std::to_string(cavity) + " is out of range: the last rebuild made " +
                            std::to_string(count) + (count == 1 ? " cavity" : " cavities"));
  }
  return *cavities_[static_cast<std::size_t>(cavity)];
}

void kly_Klystron::initializeInternalData() {
  // Everything is built aside and swapped in only when all of it succeeded.
  kly_Beam beam;
  if (roundBeam_) {
    beam.initRoundBeam(beamVoltage_, beamCurrent_, frequency_, tubeRadius_, beamRadius_);
  } else {
    beam.initSheetBeam(beamVoltage_, beamCurrent_, frequency_, beamWidth_, beamHeight_, tubeWidth_, tubeHeight_);
  }

  std::vector<double> m = m_;
  std::vector<std::unique_ptr<kly_Cavity>> cavities;
  cavities.reserve(rq_.size());
  for (std::size_t q = 0; q < rq_.size(); ++q) {
    auto cavity = std::make_unique<kly_Cavity>(zCenter_[q], cavityFrequency_[q], m_[q], harmonic_[q], gapWidth_[q],
                                               rq_[q], qo_[q], qe_[q], beam);
    if (hasFieldFile_[q]) {
      const int rings = fieldRings_[q];
      if (rings < 1 || rings > kly_CavityField::kMaxRings) {
        throw std::invalid_argument("cavity " + std::to_string(q) + ": field ring count " + std::to_string(rings) +
                                    " is outside 1 to " + std::to_string(kly_CavityField::kMaxRings));
      }
      try {
        cavity->loadField(fieldFileName_[q], 0.0, rings, beam);
      } catch (const kly_FileError& e) {
        throw kly_FileError("cavity " + std::to_string(q) + ": " + e.what());
      }
      m[q] = cavity->getM();
    }
    cavities.push_back(std::move(cavity));
  }

  beam_ = beam;
  cavities_.swap(cavities);
  m_.swap(m);
}
