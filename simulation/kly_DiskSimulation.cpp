#include "klystron/simulation/kly_DiskSimulation.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "core/kly_Format.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_Klystron.h"
#include "numeric/kly_Arrays.h"
#include "simulation/kly_DiskSimulationRun.h"

namespace {

using kly::formatNumber;

std::string gibibytes(double bytes) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(3);
  out << bytes / (1024.0 * 1024.0 * 1024.0) << " GiB";
  return out.str();
}

void checkAtLeastOne(int value, const char* what) {
  if (value < 1)
    throw std::invalid_argument("simulate: " + std::string(what) + " " + std::to_string(value) + " is below 1");
}

// Everything that can be checked before the tube is built.
void checkRun(const kly_TubeDescription& tube, const kly_SimulationSettings& settings,
              const kly_SimulationOptions& options) {
  const int rings = settings.rings;
  checkAtLeastOne(settings.disks, "disk count");
  if (rings < 1 || rings > kly_DiskSimulation::kMaxRings)
    throw std::invalid_argument("simulate: ring count " + std::to_string(rings) + " is outside 1 to " +
                                std::to_string(kly_DiskSimulation::kMaxRings));
  checkAtLeastOne(settings.steps, "time step count");
  checkAtLeastOne(settings.maxIterations, "iteration limit");
  if (options.threads < 0)
    throw std::invalid_argument("simulate: thread count " + std::to_string(options.threads) + " is negative");
  if (options.stepInterval < 1)
    throw std::invalid_argument("simulate: step interval " + std::to_string(options.stepInterval) + " is below 1");
  if (settings.nearField != kly_NearField::thin && settings.nearField != kly_NearField::finite)
    throw std::invalid_argument("simulate: near field " + std::to_string(static_cast<int>(settings.nearField)) +
                                " is neither thin nor finite");

  const int n = static_cast<int>(tube.cavities.size());
  if (n < 1) throw std::invalid_argument("simulate: the tube has no cavity");
  if (n > kly_DiskSimulation::kMaxCavities)
    throw std::invalid_argument("simulate: the tube has " + std::to_string(n) +
                                " cavities; the simulation takes at most " +
                                std::to_string(kly_DiskSimulation::kMaxCavities));
  for (int k = 0; k < n; ++k) {
    const kly_CavityDescription& c = tube.cavities[static_cast<std::size_t>(k)];
    const int h = c.harmonic;
    if (h == 0 || h < -kly::kMaxHarmonic || h > kly::kMaxHarmonic)
      throw std::invalid_argument("simulate: cavity " + std::to_string(k) + " has harmonic " + std::to_string(h) +
                                  "; the simulation takes harmonics 1 to " + std::to_string(kly::kMaxHarmonic) +
                                  " and -1 to -" + std::to_string(kly::kMaxHarmonic));
    // The pass reads the profile and its integral on every ring of the run.
    if (c.hasFieldFile && c.fieldRings < rings)
      throw std::invalid_argument("simulate: cavity " + std::to_string(k) + ": field file '" + c.fieldFile +
                                  "' is tabulated for " + std::to_string(c.fieldRings) + " rings, fewer than the " +
                                  std::to_string(rings) + " rings of the run");
  }
}

// The beam file of a run that starts from one, read and checked against the disk count.
kly_BeamImport readBeam(const kly_SimulationSettings& settings) {
  kly_BeamImport beam;
  if (!settings.importBeam) return beam;
  const std::string& file = settings.importBeam->file;
  beam.readBeamFile(file);
  if (beam.getRowCount() < settings.disks)
    throw std::invalid_argument("simulate: beam file '" + file + "' has " + std::to_string(beam.getRowCount()) +
                                " rows, fewer than the " + std::to_string(settings.disks) + " disks of the run");
  return beam;
}

// Physical memory of the machine [bytes]; infinite when it cannot be told.
double physicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return std::numeric_limits<double>::infinity();
  return static_cast<double>(pages) * static_cast<double>(size);
}

}  // namespace

// ---- Arrays --------------------------------------------------------------------

kly_DiskSimulation::Array2D::Array2D(int rows, int cols) : a_(kly::allocate2D(rows, cols)), rows_(rows) {}
kly_DiskSimulation::Array2D::~Array2D() { kly::free2D(a_, rows_); }
void kly_DiskSimulation::Array2D::swap(Array2D& other) noexcept {
  std::swap(a_, other.a_);
  std::swap(rows_, other.rows_);
}

kly_DiskSimulation::Array3D::Array3D(int ni, int nj, int nk) : a_(kly::allocate3D(ni, nj, nk)), ni_(ni), nj_(nj) {}
kly_DiskSimulation::Array3D::~Array3D() { kly::free3D(a_, ni_, nj_); }
void kly_DiskSimulation::Array3D::swap(Array3D& other) noexcept {
  std::swap(a_, other.a_);
  std::swap(ni_, other.ni_);
  std::swap(nj_, other.nj_);
}

// ---- The simulation object -----------------------------------------------------

kly_DiskSimulation::kly_DiskSimulation() = default;
kly_DiskSimulation::~kly_DiskSimulation() = default;

void kly_DiskSimulation::importBeam(bool useImportedBeam, const std::string& fileName, bool useGivenInjectionPosition,
                                    double injectionPosition) {
  std::string name = fileName;  // the only step that can fail: nothing changes if it does
  import_ = useImportedBeam;
  beamFileName_.swap(name);
  overrideStart_ = useGivenInjectionPosition;
  startPosition_ = injectionPosition;
}

void kly_DiskSimulation::simulate(kly_Klystron& klystron, int disks, int rings, int steps, int maxIterations,
                                  const kly_SimulationOptions& options) {
  kly_SimulationSettings settings;
  settings.disks = disks;
  settings.rings = rings;
  settings.steps = steps;
  settings.maxIterations = maxIterations;
  if (import_) settings.importBeam = kly_BeamImportSettings{beamFileName_, overrideStart_, startPosition_};
  checkRun(klystron.getDescription(), settings, options);
  kly_BeamImport beam = readBeam(settings);
  // All or nothing: a failed rebuild leaves the tube as it was.
  klystron.initializeInternalData();
  const std::shared_ptr<const kly_BuiltTube> tube = klystron.getBuiltTube();
  run(*tube, settings, std::move(beam), options);
}

void kly_DiskSimulation::simulate(const kly_BuiltTube& tube, const kly_SimulationSettings& settings,
                                  const kly_SimulationOptions& options) {
  checkRun(tube.description(), settings, options);
  run(tube, settings, readBeam(settings), options);
}

void kly_DiskSimulation::run(const kly_BuiltTube& tube, const kly_SimulationSettings& settings, kly_BeamImport&& beam,
                             const kly_SimulationOptions& options) {
  Run run(tube, settings, std::move(beam), options);
  run.iterate();
  run.deriveResults();

  r_ = std::move(run.results);
  hasResults_ = true;
}

// ---- Set-up of a run -----------------------------------------------------------

kly_DiskSimulation::Run::Run(const kly_BuiltTube& tube, const kly_SimulationSettings& settings,
                             kly_BeamImport&& beamImport, const kly_SimulationOptions& options)
    : tube_(tube),
      values_(tube.description()),
      beam_(tube.beam()),
      options_(options),
      nc_(tube.cavityCount()),
      last_(nc_ - 1),
      Nd_(settings.disks),
      Nr_(settings.rings),
      Ns_(settings.steps),
      M_(settings.maxIterations),
      I0_(beam_.getBeamCurrent()),
      f_(beam_.getFrequency()),
      u0_(beam_.getBeamVelocity()),
      lambda_(beam_.getRfWavelength()),
      omega_(beam_.getOmega()),
      Vd_(beam_.getDepressedBeamVoltage()),
      imported_(settings.importBeam.has_value()),
      overrideStart_(imported_ && settings.importBeam->useGivenInjectionPosition),
      startPosition_(imported_ ? settings.importBeam->injectionPosition : 0.0),
      beamImport_(std::move(beamImport)) {
  results.disks = Nd_;
  results.rings = Nr_;
  results.steps = Ns_;
  results.maxIterations = M_;
  results.threads = options.threads;
  results.threadsUsed = 1;
  results.nearField = settings.nearField;
  takeCavities();
  placeRegion();
  allocate();
  setInitialVoltages();
  buildSpaceCharge();
  results.iterations = 0;
  if (options.kernel == kly_PassKernel::fast) prepareFastPass();
}

void kly_DiskSimulation::Run::takeCavities() {
  for (int k = 0; k < nc_; ++k) {
    const auto q = static_cast<std::size_t>(k);
    cavity_[q] = &tube_.cavity(k);
    harmonic_[q] = values_.cavities[q].harmonic;
    // The build read each field file for the ring count checked before it.
    const int fieldRings = cavity_[q]->getFieldRings();
    if (fieldRings != 0 && fieldRings < Nr_)
      throw std::invalid_argument("simulate: cavity " + std::to_string(k) + ": the field profile has " +
                                  std::to_string(fieldRings) + " rings, fewer than the " + std::to_string(Nr_) +
                                  " rings of the run");
  }
}

// The simulated region, from 3 electronic wavelengths upstream of the first
// gap's field to 3 downstream of the last one's, and the time steps a pass
// takes through it. Checked before anything is allocated.
void kly_DiskSimulation::Run::placeRegion() {
  const kly_Cavity& first = *cavity_[0];
  const kly_Cavity& output = *cavity_[static_cast<std::size_t>(last_)];
  results.zStart = first.getFieldZMin() - 3 * lambda_;
  results.zEnd = output.getFieldZMax() + 3 * lambda_;

  // The RF periods a disk at the beam velocity needs from z start to z end,
  // plus 6, make one pass.
  const double periods = (results.zEnd - results.zStart) / lambda_;
  if (!(periods >= 0 && periods < static_cast<double>(std::numeric_limits<int>::max())))
    throw std::invalid_argument("simulate: the simulated region from " + formatNumber(results.zStart) + " m to " +
                                formatNumber(results.zEnd) + " m spans " + formatNumber(periods) +
                                " electronic wavelengths of " + formatNumber(lambda_) +
                                " m; it must be a finite length downstream (check the beam voltage, the frequency and "
                                "the cavity positions)");
  const long long timeSteps = (static_cast<long long>(std::trunc(periods)) + 6) * Ns_;
  if (timeSteps > std::numeric_limits<int>::max())
    throw std::invalid_argument("simulate: a pass of " + std::to_string(timeSteps) + " time steps (" +
                                std::to_string(Ns_) + " per period) exceeds the largest count, " +
                                std::to_string(std::numeric_limits<int>::max()));
  Nt_ = static_cast<int>(timeSteps);
  const double diskRings = static_cast<double>(Nd_) * Nr_;
  // The trajectories, nine [disk][ring] tables and the induced currents of every cavity.
  const double cavityRows = kMaxCavities;
  const double bytes = sizeof(double) * (diskRings * (2.0 * Nt_ + 9.0) + cavityRows * Ns_) +
                       sizeof(double*) * (2.0 * diskRings + 11.0 * Nd_ + cavityRows);
  const double memory = physicalMemory();
  if (bytes > memory)
    throw std::invalid_argument("simulate: " + std::to_string(Nd_) + " disks x " + std::to_string(Nr_) + " rings x " +
                                std::to_string(Nt_) + " time steps need " + gibibytes(bytes) +
                                " of trajectory tables, more than the " + gibibytes(memory) + " of physical memory");

  Q_ = I0_ / (f_ * Nd_);
  dt_ = 1 / (f_ * Ns_);
  dz_ = lambda_ / Nd_;
  results.stepAdvance = u0_ * dt_;
  epsilon_ = 1.0;
}

// The working arrays of the passes and the tables of the results.
void kly_DiskSimulation::Run::allocate() {
  zPrev_ = Array2D(Nd_, Nr_);
  zCur_ = Array2D(Nd_, Nr_);
  vPrev_ = Array2D(Nd_, Nr_);
  vCur_ = Array2D(Nd_, Nr_);
  eSc_ = Array2D(Nd_, Nr_);
  eCav_ = Array2D(Nd_, Nr_);
  results.entryVelocity = Array2D(Nd_, Nr_);
  results.exitVelocity = Array2D(Nd_, Nr_);
  results.velocityAtMinimumBeta = Array2D(Nd_, Nr_);
  results.minVOverC = 1.0;
  results.minVOverCLocation = 0;
  induced_ = Array2D(kMaxCavities, Ns_);
  results.maxTimeStep = Nt_;
  results.position = Array3D(Nd_, Nr_, Nt_);
  results.velocity = Array3D(Nd_, Nr_, Nt_);
}

// The input gap starts at the drive voltage of the input power, unless the
// run starts from an imported beam, which drives every gap itself; and the
// plane downstream of which the disks feel fields.
void kly_DiskSimulation::Run::setInitialVoltages() {
  const kly_Cavity& first = *cavity_[0];
  if (!imported_) {
    const double drive = first.driveVoltage(f_, values_.beam.inputPower);
    V_[0] = Complex(drive, 0.0);
    results.cavityVoltage[0] = std::abs(drive);
    results.cavityVoltagePhase[0] = 0;
  }
  if (imported_)
    zInj_ = overrideStart_ ? startPosition_ : beamImport_.getFileStartPosition();
  else
    zInj_ = first.getFieldZMin() - lambda_;
}

void kly_DiskSimulation::Run::buildSpaceCharge() {
  const kly_BeamDescription& b = values_.beam;
  if (b.round)
    spaceCharge_.buildRoundBeamTable(Q_, u0_, b.beamRadius, b.tubeRadius, Nr_);
  else
    spaceCharge_.buildSheetBeamTable(Q_, u0_, b.beamWidth, b.beamHeight, b.tubeWidth, b.tubeHeight, Nr_);
  if (results.nearField == kly_NearField::finite) {
    // The disks' thickness along the axis, u0 / (f N_d), in the rest-frame units of the lookups.
    const double beta = u0_ / kly::kSpeedOfLight;
    spaceCharge_.regulariseNearField(dz_ / std::sqrt(1 - beta * beta));
  }
  const kly_Cavity& output = *cavity_[static_cast<std::size_t>(last_)];
  za_ = output.getFieldZMin();
  zb_ = output.getFieldZMax();
}

void kly_DiskSimulation::Run::prepareFastPass() {
  sum_.prepare(spaceCharge_, Nd_);
  integral_.resize(static_cast<std::size_t>(nc_) * Nr_);
  for (int k = 0; k < nc_; ++k)
    for (int r = 0; r < Nr_; ++r)
      integral_[static_cast<std::size_t>(k) * Nr_ + r] = cavity_[static_cast<std::size_t>(k)]->getFieldIntegral(r);
  const double ringCharge = -(Q_ / Nr_);
  finiteTerms_.resize(integral_.size());
  for (std::size_t n = 0; n < integral_.size(); ++n)
    finiteTerms_[n] = std::isfinite(ringCharge) && std::isfinite(integral_[n]) && integral_[n] != 0;
  inducedTerms_.resize(static_cast<std::size_t>(nc_) * Nd_ * Nr_);
  // More threads than there are groups of disks to share out would only wait,
  // and a step too small to share would wait on the threads' exchange of it
  // (kly_SimulationOptions::kPairsPerThread).
  const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int threads = std::min(options_.threads == 0 ? hardware : options_.threads, groups());
  if (!options_.exactThreads) {
    const double diskRings = static_cast<double>(Nd_) * Nr_;
    const double pairs = 2 * diskRings * diskRings;
    const double worth = std::max(1.0, std::floor(pairs / static_cast<double>(kly_SimulationOptions::kPairsPerThread)));
    threads = static_cast<int>(std::min(static_cast<double>(threads), worth));
  }
  pool_ = std::make_unique<kly_WorkerPool>(threads);
  shareOut(pool_->threads());
  results.threadsUsed = pool_->threads();
}
