#pragma once

// Results as bit patterns, for the tests that hold two ways of computing the
// same thing to the last bit: equal fingerprints mean identical values, signed
// zeros and NaNs included.

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/model/kly_Beam.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"

namespace kly_test {

using Fingerprint = std::vector<std::uint64_t>;

inline void add(Fingerprint& f, double v) { f.push_back(std::bit_cast<std::uint64_t>(v)); }
inline void add(Fingerprint& f, std::initializer_list<double> values) {
  for (double v : values) add(f, v);
}

// Every derived quantity of a beam.
inline Fingerprint fingerprint(const kly_Beam& b) {
  Fingerprint f{static_cast<std::uint64_t>(b.getBeamType())};
  add(f, {b.getDepressedBeamVoltage(),
          b.getBeamConductance(),
          b.getCurrentDensity(),
          b.getBeamVelocity(),
          b.getVOverC(),
          b.getPerveance(),
          b.getPlasmaReductionFactor(),
          b.getSigma(),
          b.getGamma(),
          b.getGammaA(),
          b.getGammaB(),
          b.getOmega(),
          b.getPlasmaFrequency(),
          b.getReducedPlasmaFrequency(),
          b.getBetaE(),
          b.getBetaP(),
          b.getBetaQ(),
          b.getRfWavelength(),
          b.getPlasmaWavelength(),
          b.getReducedPlasmaWavelength()});
  return f;
}

// The beam and everything the models read of the cavity objects, the gap
// field sampled across its extent on every ring of a file profile.
inline Fingerprint fingerprint(const kly_BuiltTube& t) {
  Fingerprint f = fingerprint(t.beam());
  for (int k = 0; k < t.cavityCount(); ++k) {
    const kly_Cavity& c = t.cavity(k);
    add(f, {c.getM(), c.getGb(), c.getBb(), c.getQb(), c.getQL(), c.getQT(), c.getFieldZMin(), c.getFieldZMax(),
            c.getGapImpedance().real(), c.getGapImpedance().imag(), c.getCircuitImpedance().real(),
            c.getCircuitImpedance().imag(), c.getLoadedFrequency(), c.getAlpha(), c.getEquivalentRadius(),
            c.driveVoltage(t.description().beam.frequency, t.description().beam.inputPower)});
    for (int ring = 0; ring < std::max(1, c.getFieldRings()); ++ring) {
      add(f, c.getFieldIntegral(ring));
      for (int i = 0; i <= 16; ++i)
        add(f, c.getField(c.getFieldZMin() + (c.getFieldZMax() - c.getFieldZMin()) * i / 16, ring));
    }
  }
  return f;
}

// Every result of an analytic run and its sweep.
inline Fingerprint fingerprint(const kly_Analytic& a) {
  Fingerprint f;
  add(f, {a.getOutputPower(), a.getGain(), a.getMultipleOutputPower(), a.getMultipleOutputLoss(),
          a.getMultipleOutputGain(), a.getMultipleOutputCircuitEfficiency(), a.getMultipleOutputElectronicEfficiency(),
          a.getMultipleOutputTotalEfficiency(), a.getI1I0ZStart(), a.getI1I0ZEnd()});
  for (int c = 0; c < kly_Analytic::kMaxCavities; ++c) add(f, {a.getCavityVoltage(c), a.getCavityVoltagePhase(c)});
  for (int i = 0; i < kly_Analytic::kProfilePoints; ++i) add(f, {a.getI1I0Z(i), a.getI1I0Sample(i)});
  return f;
}

// Every result of a completed simulation, trajectories and crossing
// velocities included.
inline Fingerprint fingerprint(const kly_DiskSimulation& s) {
  Fingerprint f;
  f.push_back(static_cast<std::uint64_t>(s.getSimulatedIterations()));
  f.push_back(static_cast<std::uint64_t>(s.isDiskReflected()) * 2 + s.isFieldOverlapping());
  add(f, {s.getSimulatedGain(), s.getSimulatedOutputPower(), s.getSimulatedElectronicEfficiency(),
          s.getSimulatedKineticEfficiency(), s.getSimulatedTotalEfficiency(), s.getSimulatedCircuitEfficiency(),
          s.getSimulatedMultipleOutputPower(), s.getSimulatedMultipleOutputWallPower(),
          s.getSimulatedMultipleOutputGain(), s.getSimulatedMultipleOutputElectronicEfficiency(), s.getSimulatedGb1(),
          s.getSimulatedBb1(), s.getSimulatedMaxI1I0(), s.getSimulatedMaxI1I0ZLocation(), s.getSimulatedMinVOverC(),
          s.getSimulatedMinVOverCLocation()});
  for (int c = 0; c < kly_DiskSimulation::kMaxCavities; ++c) {
    add(f, {s.getSimulatedCavityVoltage(c), s.getSimulatedCavityVoltagePhase(c)});
    for (int h = 0; h < kly_DiskSimulation::kHarmonics; ++h)
      add(f, {s.getSimulatedCavityCurrentMagnitude(c, h), s.getSimulatedCavityCurrentPhase(c, h)});
  }
  for (int i = 0; i < kly_DiskSimulation::kGridPoints; ++i)
    add(f, {s.getBunchingGridZ(i), s.getSimulatedI1I0Sample(i), s.getSimulatedI1I0PhaseSample(i),
            s.getSimulatedI2I0Sample(i)});
  for (int d = 0; d < s.getDisks(); ++d) {
    for (int r = 0; r < s.getRings(); ++r) {
      add(f, {s.getSimulatedEntryVelocity(d, r), s.getSimulatedExitVelocity(d, r), s.getVelocityAtMinimumBeta(d, r)});
      for (int t = 0; t < s.getSimulatedMaxTimeStep(); ++t)
        add(f, {s.getSimulatedDiskPosition(d, r, t), s.getSimulatedDiskVelocity(d, r, t)});
    }
  }
  return f;
}

}  // namespace kly_test
