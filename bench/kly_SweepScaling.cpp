// How a sweep scales over workers: a drive sweep of the round-beam example
// (16 points, 1 W to 1 kW evenly spaced in the logarithm, each point's
// simulation serial) run on one worker and on C workers. The scaling
// efficiency is the single-worker sum of the point times divided by C, over
// the wall time on C workers: 100 % when C workers finish C times sooner.
// Also printed: how much slower a point runs beside others (the cores share
// their caches and memory), and that the records are the same bits.
//
//   klystron_sweep_scaling [WORKERS [POINTS [REPEATS]]]   (defaults 2, 16, 3)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "klystron/driver/kly_Sweep.h"
#include "tools/kly_TubeFile.h"

namespace {

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

struct Timing {
  double wall = 0;  // [s]
  double sum = 0;   // of the points' own times [s]
  std::vector<std::optional<kly_PointResult>> results;
};

Timing runOn(const kly_SweepPlan& plan, int workers) {
  kly_ThreadExecutor executor(workers);
  const auto start = std::chrono::steady_clock::now();
  Timing t;
  t.results = kly_Sweep::run(plan, executor, {});
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const auto& r : t.results) t.sum += r->seconds;
  return t;
}

bool sameRecords(const Timing& a, const Timing& b) {
  for (std::size_t i = 0; i < a.results.size(); ++i) {
    kly_PointResult x = *a.results[i], y = *b.results[i];
    x.seconds = y.seconds = 0;
    if (!x.identical(y)) return false;
  }
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int workers = argc > 1 ? std::atoi(argv[1]) : 2;
  const int points = argc > 2 ? std::atoi(argv[2]) : 16;
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
  if (workers < 1 || points < 2 || repeats < 1) {
    std::fprintf(stderr, "usage: klystron_sweep_scaling [WORKERS [POINTS [REPEATS]]]\n");
    return 2;
  }
  const kly_TubeFileContents tube = kly_TubeFile::read(KLY_EXAMPLES_DIR "/sband-round.json");
  std::vector<double> drive;
  for (int i = 0; i < points; ++i) drive.push_back(std::pow(10.0, 3.0 * i / (points - 1)));
  const kly_SweepPlan plan = kly_Sweep::grid(
      tube.description, {{"beam.inputPower", drive, [](kly_TubeDescription& t, double p) { t.beam.inputPower = p; }}});

  std::printf("drive sweep of %s: %d points, %d x %d x %d, %s near field, %u hardware threads\n", tube.name.c_str(),
              points, tube.description.simulation->disks, tube.description.simulation->rings,
              tube.description.simulation->steps,
              tube.description.simulation->nearField == kly_NearField::finite ? "finite" : "thin",
              std::thread::hardware_concurrency());
  std::printf("load average before: %s\n", loadAverage().c_str());
  std::vector<double> efficiency, slowdown, serialWall, parallelWall;
  bool same = true;
  for (int r = 0; r < repeats; ++r) {
    const Timing one = runOn(plan, 1);
    const Timing many = runOn(plan, workers);
    same = same && sameRecords(one, many);
    serialWall.push_back(one.wall);
    parallelWall.push_back(many.wall);
    efficiency.push_back(one.sum / workers / many.wall);
    slowdown.push_back(many.sum / one.sum);
    std::printf("  repeat %d: 1 worker %.3f s (points %.3f s), %d workers %.3f s (points %.3f s): efficiency %.1f %%\n",
                r + 1, one.wall, one.sum, workers, many.wall, many.sum, 100 * efficiency.back());
  }
  std::printf("load average after:  %s\n", loadAverage().c_str());
  std::printf(
      "median: 1 worker %.3f s, %d workers %.3f s; scaling efficiency %.1f %% (sum of single-worker point "
      "times / %d over the wall time); a point beside others takes %.3f times as long; records %s\n",
      median(serialWall), workers, median(parallelWall), 100 * median(efficiency), workers, median(slowdown),
      same ? "identical" : "DIFFER");
  return same ? 0 : 1;
}
