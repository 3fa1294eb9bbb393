// Speed of the engine: the space-charge sums of both kernels and of a
// straightforward loop (pair interactions per second), one pass, whole disk simulations of the example
// tubes at their own counts and at 64 disks x 10 rings x 60 steps, the
// rebuild, the analytic run, its I1/I0 sweep and the space-charge table. The
// ratios reference / fast are printed at the end from the same run, with the
// speed goals of whole simulations, and the peak resident memory of the
// largest runs.
//
// usage: klystron_bench [Google Benchmark flags]

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/kly_BenchTubes.h"
#include "klystron/analytic/kly_Analytic.h"
#include "simulation/kly_SpaceCharge.h"
#include "simulation/kly_SpaceChargeSum.h"

extern char** environ;

namespace {

constexpr double kC0 = 299792458.0;
// The fine resolution; the pass limit is each example's own.
const kly_BenchCounts kLarge{64, 10, 60, 0};
// Whole simulations at the fine resolution stop after this many passes (the
// first without space charge): the plain pass takes seconds a pass there, and
// both kernels make the same passes, so the ratio of their times is that of
// runs of this many passes.
constexpr int kFinePasses = 4;
constexpr int kSampledSteps = 24;  // steps of a pass whose sums the kernel benchmarks form

int hardwareThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

kly_SimulationOptions reference() {
  kly_SimulationOptions o;
  o.threads = 1;
  o.kernel = kly_PassKernel::reference;
  return o;
}

kly_SimulationOptions fast(int threads) {
  kly_SimulationOptions o;
  o.threads = threads;
  return o;
}

const kly_BenchTube& tube(const std::string& name) {
  static std::map<std::string, std::unique_ptr<kly_BenchTube>> tubes;
  auto& t = tubes[name];
  if (!t) t = std::make_unique<kly_BenchTube>(name);
  return *t;
}

kly_BenchCounts large(const std::string& name) {
  kly_BenchCounts c = kLarge;
  c.maxIterations = tube(name).exampleCounts().maxIterations;
  return c;
}

// ---- The sums on the trajectories of a run ------------------------------------

// The last pass of a run of a tube to convergence, its space-charge table, and the steps and
// disk rings whose sums the kernel benchmarks form: the disk rings between 2
// wavelengths downstream of z start and 2 upstream of z end, at steps spread
// over the pass.
struct PassSnapshot {
  int disks = 0, rings = 0, steps = 0, periodSteps = 0;
  std::vector<double> z, v;
  std::vector<double*> zRows, vRows;
  std::vector<double* const*> zDisks;
  std::vector<double* const*> vDisks;
  kly_SpaceCharge table;
  std::vector<int> sampled;                  // steps
  std::vector<std::vector<int>> targetList;  // per sampled step: d * rings + r
  double pairs = 0;                          // interactions summed over one round of all sampled steps
  double inRange = 0;                        // of which inside the table's range

  kly_PassTrajectories view() const { return {zDisks.data(), vDisks.data(), disks, rings, periodSteps}; }
  double position(int d, int r, int s) const { return z[(std::size_t(d) * rings + r) * steps + s]; }
  double velocity(int d, int r, int s) const { return v[(std::size_t(d) * rings + r) * steps + s]; }
};

std::unique_ptr<PassSnapshot> makeSnapshot(const std::string& name, const kly_BenchCounts& counts) {
  auto p = std::make_unique<PassSnapshot>();
  kly_DiskSimulation s;
  tube(name).simulate(s, counts, fast(hardwareThreads()));

  p->disks = counts.disks;
  p->rings = counts.rings;
  p->steps = s.getSimulatedMaxTimeStep();
  p->periodSteps = counts.steps;
  const std::size_t n = std::size_t(p->disks) * p->rings * p->steps;
  p->z.resize(n);
  p->v.resize(n);
  for (int d = 0; d < p->disks; ++d)
    for (int r = 0; r < p->rings; ++r) {
      const std::size_t row = (std::size_t(d) * p->rings + r) * p->steps;
      for (int t = 0; t < p->steps; ++t) {
        p->z[row + t] = s.getSimulatedDiskPosition(d, r, t);
        p->v[row + t] = s.getSimulatedDiskVelocity(d, r, t);
      }
      p->zRows.push_back(&p->z[row]);
      p->vRows.push_back(&p->v[row]);
    }
  for (int d = 0; d < p->disks; ++d) {
    p->zDisks.push_back(&p->zRows[std::size_t(d) * p->rings]);
    p->vDisks.push_back(&p->vRows[std::size_t(d) * p->rings]);
  }

  const auto built = kly_BuiltTube::build(tube(name).description(counts.rings));
  const kly_Beam& beam = built->beam();
  const kly_BeamDescription& b = built->description().beam;
  const double q = beam.getBeamCurrent() / (beam.getFrequency() * counts.disks);
  if (b.round)
    p->table.buildRoundBeamTable(q, beam.getBeamVelocity(), b.beamRadius, b.tubeRadius, counts.rings);
  else
    p->table.buildSheetBeamTable(q, beam.getBeamVelocity(), b.beamWidth, b.beamHeight, b.tubeWidth, b.tubeHeight,
                                 counts.rings);

  const double lambda = beam.getRfWavelength();
  const double from = s.getZStart() + 2 * lambda, to = s.getZEnd() - 2 * lambda;
  const int first = p->periodSteps, last = p->steps - p->periodSteps - 1;
  for (int i = 0; i < kSampledSteps; ++i) {
    const int step = first + (last - first) * i / (kSampledSteps - 1);
    std::vector<int> list;
    for (int d = 0; d < p->disks; ++d)
      for (int r = 0; r < p->rings; ++r) {
        const double zc = p->position(d, r, step);
        if (zc >= from && zc <= to) list.push_back(d * p->rings + r);
      }
    if (list.empty()) continue;
    p->sampled.push_back(step);
    p->targetList.push_back(list);
    const double perTarget = (2.0 * p->disks + 1) * p->rings - 1;
    p->pairs += perTarget * static_cast<double>(list.size());
  }
  // In range: the lookups that do not give 0 for lying beyond the table.
  const double zmax = p->table.getZMax();
  for (std::size_t i = 0; i < p->sampled.size(); ++i) {
    const int st = p->sampled[i];
    for (int dr : p->targetList[i]) {
      const int d = dr / p->rings, r = dr % p->rings;
      const double beta = p->velocity(d, r, st) / kC0;
      const double contraction = std::sqrt(1 - beta * beta);
      const auto count = [&](int dp, int rp, int at) {
        if (!(p->velocity(dp, rp, at) > 0)) return;
        const double a = std::abs((p->position(d, r, st) - p->position(dp, rp, at)) / contraction) / zmax * 999;
        if (a < 999) p->inRange += 1;
      };
      for (int dp = d; dp < p->disks; ++dp)
        for (int rp = 0; rp < p->rings; ++rp) count(dp, rp, st - p->periodSteps);
      for (int dp = 0; dp < p->disks; ++dp)
        for (int rp = 0; rp < p->rings; ++rp)
          if (dp != d || rp != r) count(dp, rp, st);
      for (int dp = 0; dp <= d; ++dp)
        for (int rp = 0; rp < p->rings; ++rp) count(dp, rp, st + p->periodSteps);
    }
  }
  return p;
}

// Made when a benchmark first asks for it, and kept for the others.
PassSnapshot& snapshot(const std::string& name, const kly_BenchCounts& counts) {
  static std::map<std::string, std::unique_ptr<PassSnapshot>> snapshots;
  auto& p = snapshots[name + "/" + counts.label()];
  if (!p) p = makeSnapshot(name, counts);
  return *p;
}

bool sameBits(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].size() != b[i].size() || std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(double)) != 0)
      return false;
  return true;
}

// The fields of all targets of the sampled steps, into field[sampled step][d * rings + r].
void plainSums(PassSnapshot& p, std::vector<std::vector<double>>& field) {
  for (std::size_t i = 0; i < p.sampled.size(); ++i) {
    const int s = p.sampled[i];
    for (int dr : p.targetList[i]) {
      const int d = dr / p.rings, r = dr % p.rings;
      field[i][std::size_t(dr)] =
          kly_SpaceChargeSum::plainField(p.table, p.view(), d, r, s, p.position(d, r, s), p.velocity(d, r, s));
    }
  }
}

// The same sums written out independently in one plain loop, as a reader
// would write them from the model: for every source in the model's order
// the separation in rest-frame units, the four table reads, the two
// interpolations, their difference and the sign. The yardstick that shows the
// reference kernel is no slower than such a loop.
struct PlainTable {
  std::vector<double> T;  // T[k][j][i]
  int rings = 0;
  double zmax = 0;
  explicit PlainTable(const kly_SpaceCharge& table) : rings(table.getRingCount()), zmax(table.getZMax()) {
    for (int k = 0; k < kly_SpaceCharge::kTablePoints; ++k)
      for (int j = 0; j <= rings; ++j)
        for (int i = 0; i < rings; ++i) T.push_back(table.tableValue(k, j, i));
  }
};

void straightforwardSums(const PassSnapshot& p, const PlainTable& t, std::vector<std::vector<double>>& field) {
  const int N = p.rings;
  const double* T = t.T.data();
  // The trajectories as the simulation holds them: [disk][ring][step].
  double* const* const* position = p.view().position;
  double* const* const* velocity = p.view().velocity;
  for (std::size_t n = 0; n < p.sampled.size(); ++n) {
    const int s = p.sampled[n];
    for (int dr : p.targetList[n]) {
      const int d = dr / N, J = dr % N;
      const double z = p.position(d, J, s);
      const double beta = p.velocity(d, J, s) / kC0;
      const double contraction = std::sqrt(1 - beta * beta);
      double e = 0;
      for (int period = 0; period < 3; ++period) {
        const int at = s + (period - 1) * p.periodSteps;
        const int from = period == 0 ? d : 0, to = period == 2 ? d : p.disks - 1;
        for (int dp = from; dp <= to; ++dp)
          for (int i = 0; i < N; ++i) {
            if (period == 1 && dp == d && i == J) continue;
            if (!(velocity[dp][i][at] > 0)) continue;
            const double x = (z - position[dp][i][at]) / contraction;
            const double a = std::abs(x) / t.zmax * 999;
            if (!(a >= 0 && a < 999)) continue;
            const int b = static_cast<int>(a);
            const double* lower = T + (static_cast<std::size_t>(b) * (N + 1) + J) * N + i;
            const double* upper = lower + (N + 1) * N;
            const double vJ = lower[0] + (a - b) * (upper[0] - lower[0]);
            const double vJ1 = lower[N] + (a - b) * (upper[N] - lower[N]);
            e += x < 0 ? vJ1 - vJ : -(vJ1 - vJ);
          }
      }
      field[n][std::size_t(dr)] = e;
    }
  }
}

long fastSums(const PassSnapshot& p, kly_SpaceChargeSum& sum, std::vector<std::vector<double>>& field) {
  constexpr int L = kly_SpaceChargeSum::kLanes;
  long lookups = 0;
  std::vector<char> wanted(std::size_t(p.disks) * p.rings);
  for (std::size_t i = 0; i < p.sampled.size(); ++i) {
    const int s = p.sampled[i];
    for (int d = 0; d < p.disks; ++d) {
      sum.setSources(kly_SpaceChargeSum::kTrailing, d, p.view(), s - p.periodSteps);
      sum.setSources(kly_SpaceChargeSum::kSame, d, p.view(), s);
      sum.setSources(kly_SpaceChargeSum::kLeading, d, p.view(), s + p.periodSteps);
    }
    std::fill(wanted.begin(), wanted.end(), 0);
    for (int dr : p.targetList[i]) wanted[std::size_t(dr)] = 1;
    for (int r = 0; r < p.rings; ++r)
      for (int first = 0; first < p.disks; first += L) {
        double z[L], c[L], f[L];
        unsigned lanes = 0;
        for (int l = 0; l < L; ++l) {
          const int d = first + l;
          z[l] = std::nan("");
          c[l] = 1;
          if (d >= p.disks || !wanted[std::size_t(d) * p.rings + r]) continue;
          z[l] = p.position(d, r, s);
          const double beta = p.velocity(d, r, s) / kC0;
          c[l] = std::sqrt(1 - beta * beta);
          lanes |= 1u << l;
        }
        if (lanes == 0) continue;
        lookups += sum.sum(first, r, z, c, lanes, f);
        for (int l = 0; l < L; ++l)
          if (lanes & (1u << l)) field[i][std::size_t(first + l) * p.rings + r] = f[l];
      }
  }
  return lookups;
}

// Kernel: the sums of the sampled steps, with the plain lookups (vectors ==
// nullptr), the straightforward loop (straightforward) or with the fast sums
// of the given width.
void benchmarkKernel(benchmark::State& state, const std::string& name, kly_BenchCounts counts,
                     const kly_SpaceChargeSum::Vectors* vectors, bool straightforward) {
  PassSnapshot* p = &snapshot(name, counts);
  std::vector<std::vector<double>> field(p->sampled.size(), std::vector<double>(std::size_t(p->disks) * p->rings));
  std::vector<std::vector<double>> expected = field;
  plainSums(*p, expected);
  kly_SpaceChargeSum sum;
  if (straightforward) {
    const PlainTable table(p->table);
    straightforwardSums(*p, table, field);
    // Written independently from the same formulas, it gives the same bits.
    if (!sameBits(field, expected)) {
      state.SkipWithError("the straightforward sums differ from the plain ones");
      return;
    }
    for (auto _ : state) {
      straightforwardSums(*p, table, field);
      benchmark::DoNotOptimize(field.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * p->pairs));
    state.counters["in_range"] = p->inRange / p->pairs;
    state.counters["evaluated"] = 1.0;
    return;
  }
  if (vectors) {
    sum.prepare(p->table, p->disks, *vectors);
    fastSums(*p, sum, field);
    if (!sameBits(field, expected)) {
      state.SkipWithError("the fast sums differ from the plain ones");
      return;
    }
  }
  long lookups = 0;
  for (auto _ : state) {
    if (vectors)
      lookups = fastSums(*p, sum, field);
    else
      plainSums(*p, field);
    benchmark::DoNotOptimize(field.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * p->pairs));
  state.counters["in_range"] = p->inRange / p->pairs;
  // The plain sums evaluate every pair.
  state.counters["evaluated"] = vectors ? static_cast<double>(lookups) / p->pairs : 1.0;
}

// ---- Runs -------------------------------------------------------------------

// Pass: the first pass with space charge (the second of a run), timed from
// the report of the first pass to that of the second.
void benchmarkPass(benchmark::State& state, const std::string& name, kly_BenchCounts counts,
                   kly_SimulationOptions options) {
  counts.maxIterations = 2;
  std::chrono::steady_clock::time_point reported[2];
  options.observer = [&](const kly_PassReport& r) {
    reported[r.pass] = std::chrono::steady_clock::now();
    return true;
  };
  for (auto _ : state) {
    kly_DiskSimulation s;
    tube(name).simulate(s, counts, options);
    state.SetIterationTime(std::chrono::duration<double>(reported[1] - reported[0]).count());
  }
}

// Simulate: one whole run, from the rebuild to the results.
void benchmarkSimulate(benchmark::State& state, const std::string& name, kly_BenchCounts counts,
                       kly_SimulationOptions options) {
  int passes = 0, used = 0;
  for (auto _ : state) {
    state.PauseTiming();
    kly_DiskSimulation s;
    state.ResumeTiming();
    tube(name).simulate(s, counts, options);
    passes = s.getSimulatedIterations();
    used = s.getThreadsUsed();
  }
  state.counters["passes"] = passes;
  state.counters["threads"] = used;
}

void benchmarkRebuild(benchmark::State& state, const std::string& name) {
  const kly_TubeDescription d = tube(name).description(tube(name).exampleCounts().rings);
  for (auto _ : state) benchmark::DoNotOptimize(kly_BuiltTube::build(d));
}

void benchmarkAnalytic(benchmark::State& state, const std::string& name, bool sweep) {
  const auto built = kly_BuiltTube::build(tube(name).description(tube(name).exampleCounts().rings));
  kly_Analytic a;
  a.calculateAnalytics(*built);
  for (auto _ : state) {
    if (sweep)
      a.calculateAnalyticI1I0(*built);
    else
      a.calculateAnalytics(*built);
  }
}

void benchmarkTable(benchmark::State& state, bool round, int rings) {
  kly_SpaceCharge table;
  const double u = 0.55 * kC0;
  for (auto _ : state) {
    if (round)
      table.buildRoundBeamTable(1e-10, u, 0.0062, 0.0095, rings);
    else
      table.buildSheetBeamTable(1e-10, u, 0.020, 0.0016, 0.024, 0.0032, rings);
  }
}

// ---- Ratios -----------------------------------------------------------------

// The console report, and for every benchmark NAME/reference with siblings
// NAME/VARIANT the ratio of the reference's time to each variant's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      // The name as registered, without what Google Benchmark appends.
      std::string name = run.benchmark_name();
      for (const char* suffix : {"/manual_time", "/real_time", "/iterations:"}) {
        const std::size_t at = name.find(suffix);
        if (at == std::string::npos) continue;
        const std::size_t end = name.find('/', at + 1);
        name.erase(at, end == std::string::npos ? std::string::npos : end - at);
      }
      seconds_[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
      const auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) rates_[name] = items->second.value;
      const auto used = run.counters.find("threads");
      if (used != run.counters.end()) threads_[name] = static_cast<int>(used->second.value);
      order_.push_back(name);
    }
  }

  void Finalize() override {
    std::FILE* out = stdout;
    std::fprintf(out, "\nRatios reference / fast (times from this run):\n");
    for (const std::string& name : order_) {
      const std::size_t slash = name.rfind('/');
      if (name.compare(slash + 1, std::string::npos, "reference") != 0) continue;
      const std::string base = name.substr(0, slash);
      const double ref = seconds_[name];
      std::fprintf(out, "  %-40s reference %10.4f s", base.c_str(), ref);
      if (rates_.count(name)) std::fprintf(out, " (%.3g pairs/s)", rates_[name]);
      std::fprintf(out, "\n");
      for (const std::string& other : order_) {
        if (other == name || other.compare(0, base.size() + 1, base + "/") != 0) continue;
        std::fprintf(out, "  %-40s %-18s %8.4f s  ratio %6.2f", "", other.substr(base.size() + 1).c_str(),
                     seconds_[other], ref / seconds_[other]);
        if (rates_.count(other)) std::fprintf(out, " (%.3g pairs/s)", rates_[other]);
        std::fprintf(out, "\n");
      }
    }
    goals(out);
    ConsoleReporter::Finalize();
  }

private:
  // The speed goals of whole simulations, from this run's times: the fast
  // pass on one thread against the plain pass (at least 6 times faster at
  // the examples' own counts, 10 at the fine counts), and two threads
  // against one (never slower; at least 1.8 times faster at the fine counts).
  void goals(std::FILE* out) {
    bool header = false;
    for (const std::string& name : order_) {
      const std::string prefix = "Simulate/", suffix = "/reference";
      if (name.compare(0, prefix.size(), prefix) != 0 || name.size() < suffix.size() ||
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        continue;
      const std::string base = name.substr(0, name.size() - suffix.size());
      const std::string one = base + "/fast:1", two = base + "/fast:2";
      if (!seconds_.count(one)) continue;
      if (!header) {
        std::fprintf(out,
                     "\nGoals of whole simulations (times from this run; 'no' marks a goal not met; runs at %s\n"
                     "stop after %d passes, the same passes for both kernels):\n",
                     kLarge.label().c_str(), kFinePasses);
        std::fprintf(out, "  %-40s %-24s %-30s\n", "", "plain / fast 1 thread", "fast 1 thread / 2 threads");
        header = true;
      }
      const std::string label = kLarge.label();
      const bool fine =
          base.size() > label.size() && base.compare(base.size() - label.size(), label.size(), label) == 0;
      const double speedup = seconds_[name] / seconds_[one];
      const double least = fine ? 10.0 : 6.0;
      std::fprintf(out, "  %-40s %6.2f (>= %4.1f: %-3s)     ", base.substr(prefix.size()).c_str(), speedup, least,
                   speedup >= least ? "yes" : "no");
      if (seconds_.count(two)) {
        const double scaling = seconds_[one] / seconds_[two];
        const double wanted = fine ? 1.8 : 1.0;
        // Where the run keeps to one thread it is the run on one thread: it
        // cannot be slower, whatever the noise of the two times says.
        if (threads_[two] == 1)
          std::fprintf(out, "%6.2f (1 thread used: the same run as on 1)", scaling);
        else
          std::fprintf(out, "%6.2f (>= %3.1f: %-3s, %d threads used)", scaling, wanted,
                       scaling >= wanted ? "yes" : "no", threads_[two]);
      }
      std::fprintf(out, "\n");
    }
    if (header)
      std::fprintf(out,
                   "  (a run given 2 threads uses 1 where its steps are too small to share: then the two times differ\n"
                   "   only by the machine's noise; other programs on the cores lower the figures, the 2-thread ones "
                   "most;\n   the ratios of the pass rows above are those of one pass with space charge)\n");
  }

  std::map<std::string, int> threads_;
  std::map<std::string, double> seconds_, rates_;
  std::vector<std::string> order_;
};

// ---- Memory -----------------------------------------------------------------

// Peak resident memory [KiB] of this program run afresh for one simulation
// of `name` at the large counts (see main), from the kernel's account of it.
long peakMemoryOfRun(const std::string& name) {
  std::string self = "/proc/self/exe";
  std::string flag = "--kly-memory-run=" + name;
  char* argv[] = {self.data(), flag.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

// A run of `name` at the large counts, two passes (the memory does not grow
// with passes), on all hardware threads; with no name, nothing: the program alone.
int memoryRun(const std::string& name) {
  if (name.empty()) return 0;
  kly_DiskSimulation s;
  kly_BenchCounts c = kLarge;
  c.maxIterations = 2;
  tube(name).simulate(s, c, fast(hardwareThreads()));
  return 0;
}

// Measured before the benchmarks: a process spawned while this one is large
// would count this one's pages until it executes.
std::string measureMemory() {
  std::string report = "\nPeak resident memory of a run at " + kLarge.label() + " (the benchmark program run afresh; " +
                       "alone it takes " + std::to_string(peakMemoryOfRun("") / 1024) + " MiB):\n";
  for (const std::string& name : kly_benchTubeNames()) {
    kly_DiskSimulation s;
    kly_BenchCounts c = kLarge;
    c.maxIterations = 1;
    tube(name).simulate(s, c, fast(1));
    const double trajectories =
        2.0 * kLarge.disks * kLarge.rings * s.getSimulatedMaxTimeStep() * sizeof(double) / (1024 * 1024);
    char line[200];
    std::snprintf(line, sizeof line, "  %-20s %7.1f MiB (trajectory tables %.1f MiB, %d steps a pass)\n", name.c_str(),
                  static_cast<double>(peakMemoryOfRun(name)) / 1024, trajectories, s.getSimulatedMaxTimeStep());
    report += line;
  }
  return report;
}

std::string machine() {
  std::ifstream cpu("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpu, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown processor";
}

void registerAll() {
  using Vectors = kly_SpaceChargeSum::Vectors;
  static const Vectors portable = Vectors::portable, avx2 = Vectors::avx2, avx2Fma = Vectors::avx2Fma;
  const int hardware = hardwareThreads();
  // One thread and two, each the most the run may use (it chooses fewer for small steps).
  std::vector<int> threads = {1};
  if (hardware > 1) threads.push_back(2);

  for (const std::string& name : kly_benchTubeNames()) {
    for (const kly_BenchCounts& counts : {tube(name).exampleCounts(), large(name)}) {
      const std::string at = name + "/" + counts.label();
      benchmark::RegisterBenchmark(("Kernel/" + at + "/reference").c_str(), benchmarkKernel, name, counts, nullptr,
                                   false)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("Kernel/" + at + "/straightforward").c_str(), benchmarkKernel, name, counts,
                                   nullptr, true)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("Kernel/" + at + "/fast-portable").c_str(), benchmarkKernel, name, counts,
                                   &portable, false)
          ->Unit(benchmark::kMillisecond);
      if (kly_SpaceChargeSum::isSupported(avx2))
        benchmark::RegisterBenchmark(("Kernel/" + at + "/fast-avx2").c_str(), benchmarkKernel, name, counts, &avx2,
                                     false)
            ->Unit(benchmark::kMillisecond);
      if (kly_SpaceChargeSum::isSupported(avx2Fma))
        benchmark::RegisterBenchmark(("Kernel/" + at + "/fast-avx2fma").c_str(), benchmarkKernel, name, counts,
                                     &avx2Fma, false)
            ->Unit(benchmark::kMillisecond);

      benchmark::RegisterBenchmark(("Pass/" + at + "/reference").c_str(), benchmarkPass, name, counts, reference())
          ->UseManualTime()
          ->Iterations(counts.disks > 32 ? 1 : 3)
          ->Unit(benchmark::kMillisecond);
      for (int t : threads)
        benchmark::RegisterBenchmark(("Pass/" + at + "/fast:" + std::to_string(t)).c_str(), benchmarkPass, name, counts,
                                     fast(t))
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
  }
  for (const std::string& name : kly_benchTubeNames()) {
    for (const kly_BenchCounts& counts : {tube(name).exampleCounts(), large(name)}) {
      const std::string at = name + "/" + counts.label();
      // Seconds at the examples' counts: three runs each, to convergence; at the
      // fine ones one run each, of kFinePasses passes.
      const bool fine = counts.disks > 32;
      const int runs = fine ? 1 : 3;
      kly_BenchCounts limited = counts;
      if (fine) limited.maxIterations = std::min(counts.maxIterations, kFinePasses);
      benchmark::RegisterBenchmark(("Simulate/" + at + "/reference").c_str(), benchmarkSimulate, name, limited,
                                   reference())
          ->UseRealTime()
          ->Iterations(runs)
          ->Unit(benchmark::kMillisecond);
      for (int t : threads)
        benchmark::RegisterBenchmark(("Simulate/" + at + "/fast:" + std::to_string(t)).c_str(), benchmarkSimulate, name,
                                     limited, fast(t))
            ->UseRealTime()
            ->Iterations(runs)
            ->Unit(benchmark::kMillisecond);
    }
  }
  for (const std::string& name : kly_benchTubeNames()) {
    benchmark::RegisterBenchmark(("Rebuild/" + name).c_str(), benchmarkRebuild, name)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Analytic/" + name).c_str(), benchmarkAnalytic, name, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("I1I0Sweep/" + name).c_str(), benchmarkAnalytic, name, true)
        ->Unit(benchmark::kMicrosecond);
  }
  for (int rings : {4, 10}) {
    benchmark::RegisterBenchmark(("SpaceChargeTable/round/" + std::to_string(rings)).c_str(), benchmarkTable, true,
                                 rings)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("SpaceChargeTable/sheet/" + std::to_string(rings)).c_str(), benchmarkTable, false,
                                 rings)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string memoryFlag = "--kly-memory-run=";
  if (argc == 2 && std::strncmp(argv[1], memoryFlag.c_str(), memoryFlag.size()) == 0)
    return memoryRun(argv[1] + memoryFlag.size());

  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("Machine: %s, %d hardware threads; load average %.2f at the start\n", machine().c_str(),
              hardwareThreads(), load[0]);
  std::printf("Runs at the examples' counts and at %s, each with its example's pass limit\n", kLarge.label().c_str());
  // The memory runs take a while: only for the whole suite.
  bool filtered = false;
  for (int i = 1; i < argc; ++i) filtered = filtered || std::strncmp(argv[i], "--benchmark_filter", 18) == 0;
  const std::string memory =
      filtered ? "\n(peak memory of the runs measured only when the whole suite runs)\n" : measureMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  registerAll();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  getloadavg(load, 3);
  std::printf("Load average %.2f at the end\n", load[0]);
  std::fputs(memory.c_str(), stdout);
  return 0;
}
