#pragma once

#include <array>
#include <complex>

#include "klystron/core/kly_Constants.h"

class kly_BuiltTube;
class kly_Klystron;
struct kly_TubeDescription;

// Small-signal (linear) model of the tube: the drive voltage on the input
// cavity modulates the beam, the modulation travels as space-charge waves of
// propagation constants betaE +- betaQ and induces a current in every later
// gap, and each induced current sets a gap voltage through that cavity's
// beam-loaded impedance. Every quantity is a phasor at the drive frequency.
//
// The model reads a built tube and never changes it. Results stay until the
// next run. A run that fails (no cavity, more than 20, a rebuild error) throws
// and leaves the previous results as they were.
class kly_Analytic {
public:
  static constexpr int kMaxCavities = kly::kMaxCavities;      // size of the result tables
  static constexpr int kProfilePoints = kly::kProfilePoints;  // samples of the I1/I0 sweep

  kly_Analytic();
  virtual ~kly_Analytic();
  kly_Analytic(const kly_Analytic&) = delete;
  kly_Analytic& operator=(const kly_Analytic&) = delete;

  // Voltages, output power, gain and the multiple-output figures of a built
  // tube. Throws std::invalid_argument for no cavity or more than 20.
  void calculateAnalytics(const kly_BuiltTube& tube);

  // I1/I0 along the built tube of the last calculateAnalytics: the last cavity
  // is moved back as a probe from its own position to the first cavity's in
  // 200 samples (in a copy of the positions; the tube is not touched). Needs
  // an earlier calculateAnalytics (kly_StateError otherwise); the voltage of
  // the input gap is that run's.
  void calculateAnalyticI1I0(const kly_BuiltTube& tube);

  // The two runs of the Java methods on a tube model. calculateAnalytics
  // rebuilds the model first (see kly_Klystron::initializeInternalData) and
  // then runs on its built tube. calculateAnalyticI1I0 does not rebuild: it
  // sweeps the model's values as they are now (positions, M, harmonics, beam
  // current) with the beam and cavity objects of its last rebuild, and
  // throws kly_StateError when the cavity list no longer matches those
  // objects.
  void calculateAnalytics(kly_Klystron& klystron);
  void calculateAnalyticI1I0(const kly_Klystron& klystron);

  // I1/I0 at z [m], interpolated linearly in the sweep; 0 outside it. When
  // the sweep has zero length (one cavity, or first and last at the same
  // position) the curve is that one sample: its value at exactly that
  // position, 0 elsewhere. Before any sweep: 0.
  double getAnalyticI1I0(double z) const;

  bool hasResults() const { return hasResults_; }
  bool hasI1I0() const { return hasSweep_; }

  double getOutputPower() const { return outputPower_; }  // power into the last cavity's load [W]
  double getGain() const { return gain_; }                // output over input power [dB]
  // Gap voltage magnitude [V] and phase relative to the input gap [rad, in
  // (-pi, pi]] of cavity 0 to 19; std::out_of_range outside.
  double getCavityVoltage(int cavity) const;
  double getCavityVoltagePhase(int cavity) const;
  double getMultipleOutputPower() const { return multipleOutputPower_; }  // [W]
  double getMultipleOutputLoss() const { return multipleOutputLoss_; }    // wall loss of those cavities [W]
  double getMultipleOutputGain() const { return multipleOutputGain_; }    // [dB]
  double getMultipleOutputCircuitEfficiency() const { return multipleOutputCircuitEfficiency_; }
  double getMultipleOutputElectronicEfficiency() const { return multipleOutputElectronicEfficiency_; }
  double getMultipleOutputTotalEfficiency() const { return multipleOutputTotalEfficiency_; }
  // The sweep's samples: position [m] and I1/I0 of sample 0 to kProfilePoints - 1.
  double getI1I0Z(int sample) const;
  double getI1I0Sample(int sample) const;
  double getI1I0ZStart() const { return i1i0ZStart_; }  // [m]
  double getI1I0ZEnd() const { return i1i0ZEnd_; }      // [m]

private:
  // The sweep of `values` (positions, M, harmonics, beam current) with the
  // beam and cavity objects of `objects`.
  void sweep(const kly_TubeDescription& values, const kly_BuiltTube& objects);

  bool hasResults_ = false;
  bool hasSweep_ = false;
  std::array<double, kMaxCavities> cavityVoltage_{};       // [V]
  std::array<double, kMaxCavities> cavityVoltagePhase_{};  // [rad]
  std::array<double, kProfilePoints> i1i0_{};
  std::array<double, kProfilePoints> i1i0Z_{};  // [m], increasing
  double outputPower_ = 0;                      // [W]
  double gain_ = 0;                             // [dB]
  double multipleOutputPower_ = 0;              // [W]
  double multipleOutputLoss_ = 0;               // [W]
  double multipleOutputElectronicEfficiency_ = 0;
  double multipleOutputCircuitEfficiency_ = 0;
  double multipleOutputTotalEfficiency_ = 0;
  double multipleOutputGain_ = 0;  // [dB]
  double i1i0ZStart_ = 0;          // [m]
  double i1i0ZEnd_ = 0;            // [m]
  double i1i0Step_ = 0;            // [m]
};
