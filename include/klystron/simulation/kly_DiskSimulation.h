#pragma once

#include <array>
#include <functional>
#include <string>

#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_TubeDescription.h"

class kly_BeamImport;
class kly_BuiltTube;
class kly_Klystron;

// Progress of a run, reported after every pass.
struct kly_PassReport {
  int pass;              // index of the pass, from 0
  double convergence;    // convergence measure after the voltage update (1.0 until it is first measured)
  double outputVoltage;  // voltage magnitude of the last (output) cavity after the update [V]
};

// Called after every pass; returning false ends the run cleanly after that pass.
using kly_PassObserver = std::function<bool(const kly_PassReport&)>;

// Progress within a pass, reported every few time steps.
struct kly_StepReport {
  int pass;   // index of the pass, from 0
  int step;   // time steps done in this pass, 1 to steps
  int steps;  // time steps of one pass
};

// Called during a pass; it sees the run only through its report.
using kly_StepObserver = std::function<void(const kly_StepReport&)>;

// How a pass forms its space-charge sums. Both give the same results to the
// last bit.
enum class kly_PassKernel {
  fast,       // the sums arranged for speed and shared out over the run's threads
  reference,  // the plain serial pass, term by term: the yardstick of tests and benchmarks
};

struct kly_SimulationOptions {
  kly_PassObserver observer;  // may be empty; called on the calling thread
  // Threads of a run: 0 for as many as the hardware runs, 1 for strictly
  // serial on the calling thread. The run starts and ends on the calling
  // thread; its other threads live only while it runs. The results do not
  // depend on the count. The reference kernel always runs serially.
  int threads = 0;
  // The threads above are the most a run uses. A time step whose work is too
  // small to share is not shared: a run uses one thread for every
  // kPairsPerThread pair interactions of a step, 2 (disks x rings)^2, at
  // least one (so 32 disks x 4 rings, the example tubes' own counts, use 1,
  // 64 x 4 up to 2 and 64 x 10 up to 12). exactThreads = true makes it use all
  // of them (up to one per 4 disks) whatever the step, as the tests of the
  // threads do.
  static constexpr long kPairsPerThread = 65536;
  bool exactThreads = false;
  kly_PassKernel kernel = kly_PassKernel::fast;
  // May be empty; called on the calling thread after every stepInterval-th
  // time step of every pass (between steps, so that it changes no result).
  kly_StepObserver stepObserver = nullptr;
  int stepInterval = 256;  // 1 or more
};

// Large-signal model of the tube. One RF period of the beam is cut into
// charge disks, each split radially into rings (a round beam) or strips (a
// sheet beam); the disks are pushed along the axis through the gap fields of
// all cavities and through their own space-charge field, pass after pass, and
// after each pass every cavity's voltage is updated from the current the
// bunched beam induced in it, until the output cavity's voltage settles.
//
// A run either completes or changes nothing: every count and the cavity list
// are checked before anything is computed, the whole run is built aside, and
// its results replace those of the previous run only when it completed. The
// results stay until the next completed run.
//
// Units are SI (m, m/s, V, A, W); phases in radians, gains in dB. Getters of
// trajectories and crossing velocities throw kly_StateError before the first
// completed run and std::out_of_range for a disk, ring or step outside the
// counts of that run; per-cavity getters take cavity 0 to 19 and harmonic 0
// to 4 and throw std::out_of_range outside.
class kly_DiskSimulation {
public:
  static constexpr int kMaxCavities = kly::kMaxCavities;   // rows of the per-cavity tables
  static constexpr int kMaxRings = kly::kMaxRings;         // rings the space-charge table can hold
  static constexpr int kHarmonics = kly::kHarmonics;       // harmonics 0 to 4 of the induced currents
  static constexpr int kGridPoints = kly::kProfilePoints;  // positions of the bunching profile along z

  kly_DiskSimulation();
  virtual ~kly_DiskSimulation();
  kly_DiskSimulation(const kly_DiskSimulation&) = delete;
  kly_DiskSimulation& operator=(const kly_DiskSimulation&) = delete;

  // Settings of the following runs: whether they start from the beam in the
  // beam file fileName (a name of any length), and whether the imported disks
  // are placed relative to injectionPosition [m] instead of the start
  // position the file gives. Reads no file.
  void importBeam(bool useImportedBeam, const std::string& fileName, bool useGivenInjectionPosition,
                  double injectionPosition);

  // Runs the simulation of a built tube, which it never changes, with the
  // counts and the beam import of `settings` (the import settings of this
  // object are not used).
  // Throws std::invalid_argument (naming the value) for disks, steps or
  // maxIterations below 1, rings outside 1 to 20, a step interval below 1,
  // a near field that is neither thin nor finite, no cavity or more than 20,
  // a cavity harmonic of 0 or beyond +-4, a cavity whose field file is
  // tabulated for fewer rings than the run uses, a
  // beam file with fewer rows than disks, a negative thread count, and for
  // counts whose trajectory tables would exceed the int range of a time step
  // or the physical memory; kly_FileError for a beam file that cannot be read.
  // std::bad_alloc if memory runs out all the same. In every case the results
  // of the previous run are kept.
  void simulate(const kly_BuiltTube& tube, const kly_SimulationSettings& settings,
                const kly_SimulationOptions& options = {});

  // The run of the Java method: the counts are checked on the model's values,
  // the beam file of the import settings of this object is read, the model
  // is rebuilt (see kly_Klystron::initializeInternalData) and its built tube
  // simulated with `disks` disks per RF period, `rings` rings per disk,
  // `steps` time steps per RF period and at most `maxIterations` passes.
  // Throws what the other form throws, and whatever the rebuild throws; a
  // refused count or beam file leaves the model unbuilt.
  void simulate(kly_Klystron& klystron, int disks, int rings, int steps, int maxIterations,
                const kly_SimulationOptions& options = {});

  bool hasResults() const { return hasResults_; }  // a run has completed

  // Import settings.
  bool isBeamImported() const { return import_; }
  const std::string& getBeamFileName() const { return beamFileName_; }
  bool isInjectionPositionGiven() const { return overrideStart_; }
  double getInjectionPosition() const { return startPosition_; }  // [m]

  // The counts of the last run (0 before any).
  int getDisks() const { return r_.disks; }
  int getRings() const { return r_.rings; }
  int getSteps() const { return r_.steps; }
  int getMaxIterations() const { return r_.maxIterations; }
  int getThreads() const { return r_.threads; }                   // the thread option of the last run
  int getThreadsUsed() const { return r_.threadsUsed; }           // the threads the last run used
  kly_NearField getNearField() const { return r_.nearField; }     // the near field of the last run
  int getSimulatedIterations() const { return r_.iterations; }    // passes made
  int getSimulatedMaxTimeStep() const { return r_.maxTimeStep; }  // time steps of one pass

  double getSimulatedGain() const { return r_.gain; }                // [dB]
  double getSimulatedOutputPower() const { return r_.outputPower; }  // into the last cavity's load [W]
  double getSimulatedElectronicEfficiency() const { return r_.electronicEfficiency; }
  double getSimulatedKineticEfficiency() const { return r_.kineticEfficiency; }
  double getSimulatedTotalEfficiency() const { return r_.totalEfficiency; }
  double getSimulatedCircuitEfficiency() const { return r_.circuitEfficiency; }  // Qo / (Qo + Qe) of the last cavity

  // Every cavity after the first with an external load (Qe below kly::kNoExternalLoadQe) as an output.
  double getSimulatedMultipleOutputPower() const { return r_.multipleOutputPower; }          // [W]
  double getSimulatedMultipleOutputWallPower() const { return r_.multipleOutputWallPower; }  // [W]
  double getSimulatedMultipleOutputGain() const { return r_.multipleOutputGain; }            // [dB]
  double getSimulatedMultipleOutputCircuitEfficiency() const { return r_.multipleOutputCircuitEfficiency; }
  double getSimulatedMultipleOutputElectronicEfficiency() const { return r_.multipleOutputElectronicEfficiency; }
  double getSimulatedMultipleOutputTotalEfficiency() const { return r_.multipleOutputTotalEfficiency; }

  double getSimulatedGb1() const { return r_.gb1; }  // beam-loading conductance of the input gap [S]
  double getSimulatedBb1() const { return r_.bb1; }  // beam-loading susceptance of the input gap [S]
  double getSimulatedMaxI1I0() const { return r_.maxI1I0; }
  double getSimulatedMaxI1I0ZLocation() const { return r_.maxI1I0Location; }     // [m]
  double getSimulatedMinVOverC() const { return r_.minVOverC; }                  // of the innermost ring
  double getSimulatedMinVOverCLocation() const { return r_.minVOverCLocation; }  // [m]
  bool isDiskReflected() const { return r_.diskReflected; }                      // in the last pass
  bool isFieldOverlapping() const { return r_.fieldOverlapping; }

  double getSimulatedCavityVoltage(int cavity) const;                         // [V]
  double getSimulatedCavityVoltagePhase(int cavity) const;                    // [rad]
  double getSimulatedCavityCurrentMagnitude(int cavity, int harmonic) const;  // induced current [A]
  double getSimulatedCavityCurrentPhase(int cavity, int harmonic) const;      // [rad]

  // Bunching along z, interpolated linearly in the 200-point profile; 0
  // outside it (and before any run).
  double getSimulatedI1I0(double z) const;
  double getSimulatedI1I0Phase(double z) const;  // [rad], not unwrapped
  double getSimulatedI2I0(double z) const;
  // The profile itself, points 0 to kGridPoints - 1.
  double getBunchingGridZ(int i) const;                         // [m]
  double getBunchingGridStart() const { return r_.gridStart; }  // the profile is 0 upstream of it [m]
  double getBunchingGridEnd() const { return r_.gridEnd; }      // and downstream of this [m]
  double getSimulatedI1I0Sample(int i) const;
  double getSimulatedI1I0PhaseSample(int i) const;  // [rad]
  double getSimulatedI2I0Sample(int i) const;

  // Trajectories of the last pass and crossing velocities.
  double getSimulatedDiskPosition(int disk, int ring, int step) const;  // [m]
  double getSimulatedDiskVelocity(int disk, int ring, int step) const;  // [m/s]
  // Velocity [m/s] as the disk ring crossed the upstream and the downstream end of
  // the last cavity's field, and the position of the smallest v/c; 0 where it never did.
  double getSimulatedEntryVelocity(int disk, int ring) const;
  double getSimulatedExitVelocity(int disk, int ring) const;
  double getVelocityAtMinimumBeta(int disk, int ring) const;

  double getZStart() const { return r_.zStart; }  // upstream launch position of the first disk [m]
  double getZEnd() const { return r_.zEnd; }      // downstream end of the simulated region [m]
  double getStepAdvance() const {
    return r_.stepAdvance;
  }  // distance a disk at the beam velocity moves in one step [m]

private:
  class Run;  // one run's set-up, passes, voltage iteration and results

  // A [rows][cols] row-pointer array of the array routines, released with its counts.
  class Array2D {
  public:
    Array2D() = default;
    Array2D(int rows, int cols);
    ~Array2D();
    Array2D(Array2D&& other) noexcept { swap(other); }
    Array2D& operator=(Array2D&& other) noexcept {
      swap(other);
      return *this;
    }
    double* operator[](int i) const { return a_[i]; }
    explicit operator bool() const { return a_ != nullptr; }

  private:
    void swap(Array2D& other) noexcept;
    double** a_ = nullptr;
    int rows_ = 0;
  };

  // A [ni][nj][nk] row-pointer array of the array routines.
  class Array3D {
  public:
    Array3D() = default;
    Array3D(int ni, int nj, int nk);
    ~Array3D();
    Array3D(Array3D&& other) noexcept { swap(other); }
    Array3D& operator=(Array3D&& other) noexcept {
      swap(other);
      return *this;
    }
    double* const* operator[](int i) const { return a_[i]; }
    double* const* const* rows() const { return a_; }
    explicit operator bool() const { return a_ != nullptr; }

  private:
    void swap(Array3D& other) noexcept;
    double*** a_ = nullptr;
    int ni_ = 0;
    int nj_ = 0;
  };

  // Everything a run produces.
  struct Results {
    int disks = 0;
    int rings = 0;
    int steps = 0;
    int maxIterations = 0;
    int threads = 0;
    int threadsUsed = 0;
    kly_NearField nearField = kly_NearField::thin;
    int maxTimeStep = 0;
    int iterations = 0;
    double outputPower = 0;  // [W]
    double gain = 0;         // [dB]
    double circuitEfficiency = 0;
    double electronicEfficiency = 0;
    double kineticEfficiency = 0;
    double totalEfficiency = 0;
    double minVOverC = 1.0;
    double minVOverCLocation = 0;  // [m]
    double maxI1I0 = 0;
    double maxI1I0Location = 0;                                                   // [m]
    double gb1 = 0;                                                               // [S]
    double bb1 = 0;                                                               // [S]
    double zStart = 0;                                                            // [m]
    double zEnd = 0;                                                              // [m]
    double stepAdvance = 0;                                                       // [m]
    std::array<double, kMaxCavities> cavityVoltage{};                             // [V]
    std::array<double, kMaxCavities> cavityVoltagePhase{};                        // [rad]
    std::array<std::array<double, kHarmonics>, kMaxCavities> currentMagnitude{};  // [A]
    std::array<std::array<double, kHarmonics>, kMaxCavities> currentPhase{};      // [rad]
    Array2D entryVelocity;                                                        // [disk][ring], m/s
    Array2D exitVelocity;                                                         // [disk][ring], m/s
    Array2D velocityAtMinimumBeta;                                                // [disk][ring], m/s
    Array3D position;                                                             // [disk][ring][step], m
    Array3D velocity;                                                             // [disk][ring][step], m/s
    std::array<double, kGridPoints> i1Phase{};                                    // [rad]
    std::array<double, kGridPoints> i1i0{};
    std::array<double, kGridPoints> i2i0{};
    std::array<double, kGridPoints> grid{};  // [m]
    double gridStart = 0;                    // [m]
    double gridEnd = 0;                      // [m]
    double multipleOutputPower = 0;          // [W]
    double multipleOutputWallPower = 0;      // [W]
    double multipleOutputElectronicEfficiency = 0;
    double multipleOutputCircuitEfficiency = 0;
    double multipleOutputTotalEfficiency = 0;
    double multipleOutputGain = 0;  // [dB]
    bool fieldOverlapping = false;
    bool diskReflected = false;
  };

  void run(const kly_BuiltTube& tube, const kly_SimulationSettings& settings, kly_BeamImport&& beam,
           const kly_SimulationOptions& options);
  void checkDiskRing(int disk, int ring, const char* what) const;
  double profileAt(const std::array<double, kGridPoints>& profile, double z) const;

  Results r_;  // of the last completed run
  bool hasResults_ = false;
  bool import_ = false;
  std::string beamFileName_;
  bool overrideStart_ = false;
  double startPosition_ = 0;  // [m]
};
