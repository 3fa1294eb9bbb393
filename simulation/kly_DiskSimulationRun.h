#pragma once

// The working state of one disk-simulation run, shared by the sources of
// kly_DiskSimulation; not part of the public interface.

#include <array>
#include <complex>
#include <memory>
#include <vector>

#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_Beam.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Cavity.h"
#include "klystron/model/kly_TubeDescription.h"
#include "klystron/simulation/kly_BeamImport.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "numeric/kly_Fourier.h"
#include "simulation/kly_SpaceCharge.h"
#include "simulation/kly_SpaceChargeSum.h"
#include "simulation/kly_WorkerPool.h"

// One run, built aside from the simulation's results: the set-up (the
// constructor), the passes with the voltage iteration (iterate) and the
// derived results (deriveResults). The results it fills replace the
// simulation's only when the run completed.
class kly_DiskSimulation::Run {
public:
  using Complex = std::complex<double>;

  // The counts and the cavities are checked; `beamImport` holds the read
  // beam file when the settings import one.
  Run(const kly_BuiltTube& tube, const kly_SimulationSettings& settings, kly_BeamImport&& beamImport,
      const kly_SimulationOptions& options);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  void iterate();
  void deriveResults();

  Results results;

private:
  // Steps of the set-up.
  void takeCavities();
  void placeRegion();
  void allocate();
  void setInitialVoltages();
  void buildSpaceCharge();
  void prepareFastPass();

  void pass(int i);
  void plainPass(int i);
  void fastPass(int i);
  void launch();
  // Tells the step observer, if any, that step s of pass i is done.
  void reportStep(int i, int s) const {
    if (options_.stepObserver && (s + 1) % options_.stepInterval == 0)
      options_.stepObserver(kly_StepReport{i, s + 1, Nt_});
  }
  bool push(int d, int r, int s, double minimumLocation);
  void findMinimumVOverC();
  double spaceChargeField(int d, int r, int s) const;
  double cavityField(int d, int r, double t) const;
  kly_PassTrajectories trajectories() const {
    return {results.position.rows(), results.velocity.rows(), Nd_, Nr_, Ns_};
  }
  // Parts of the fast pass.
  int groups() const;
  void shareOut(int threads);
  void fastFields(int unit, bool spaceCharge, bool lastPeriod, const double* cosine);
  void fastSources(int firstDisk, int endDisk, int s);
  void harmonicCurrents();
  void updateVoltages();
  void bunching();

  const kly_BuiltTube& tube_;
  const kly_TubeDescription& values_;  // the description the tube was built from
  const kly_Beam& beam_;
  const kly_SimulationOptions& options_;
  std::array<const kly_Cavity*, kMaxCavities> cavity_{};
  std::array<double, kMaxCavities> harmonic_{};  // signed harmonic of each cavity, as a double
  int nc_;                                       // cavities
  int last_;                                     // the output cavity, nc_ - 1
  int Nd_;                                       // disks per RF period
  int Nr_;                                       // rings per disk
  int Ns_;                                       // time steps per RF period
  int Nt_ = 0;                                   // time steps of one pass
  int M_;                                        // pass limit
  double I0_;                                    // beam current [A]
  double f_;                                     // operating frequency [Hz]
  double u0_;                                    // beam velocity [m/s]
  double lambda_;                                // electronic wavelength u0 / f [m]
  double omega_;                                 // [rad/s]
  double Vd_;                                    // depressed beam voltage [V]
  double Q_ = 0;                                 // charge of one disk [C]
  double dt_ = 0;                                // time step [s]
  double dz_ = 0;                                // launch spacing [m]
  double zInj_ = 0;                              // plane downstream of which the disks feel fields [m]
  double za_ = 0;                                // start of the last cavity's field [m]
  double zb_ = 0;                                // end of the last cavity's field [m]
  double epsilon_ = 1.0;                         // convergence measure
  bool imported_;
  bool overrideStart_;
  double startPosition_;  // [m]
  kly_BeamImport beamImport_;
  kly_SpaceCharge spaceCharge_;
  Fourier fourier_;

  // Per disk and ring, over one step.
  Array2D zPrev_, zCur_, vPrev_, vCur_, eSc_, eCav_;
  Array2D induced_;  // induced-current samples [cavity][step within the period], A

  // The fast pass: the sums, each cavity's field integral per ring and the
  // terms of the induced current of one step [cavity][disk * N_r + ring] [A],
  // and the threads.
  kly_SpaceChargeSum sum_;
  std::vector<double> integral_;  // [cavity * N_r + ring]
  // Whether the ring charge is finite and the integral finite and not 0, so
  // that a gap without field on the ring gives an induced term of 0
  // [cavity * N_r + ring]; and whether a gap's voltage and cosine of the
  // step are finite, so that it gives a gap field of 0 there.
  std::vector<char> finiteTerms_;
  std::array<bool, kMaxCavities> finiteGap_{};
  std::vector<double> inducedTerms_;
  std::unique_ptr<kly_WorkerPool> pool_;
  // Each thread's share of a step: the groups of kLanes disks from
  // groupHome_[t], their fields (all rings) and their push; the threads
  // keep the data of their disks from step to step. The push job begins with
  // the induced current of each cavity, on the calling thread.
  std::vector<int> groupHome_, fieldHome_, pushHome_;

  // Per cavity: the voltage the next pass uses, the estimate from the latest
  // pass's current and the one before, the voltage the previous pass used,
  // and a copy taken at the start of an update [V]; the harmonic currents [A].
  std::array<Complex, kMaxCavities> V_{}, F_{}, Fp_{}, Vp_{}, W_{};
  std::array<std::array<Complex, kHarmonics>, kMaxCavities> H_{};
};
