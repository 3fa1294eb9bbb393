// What the MPI coordinator costs, and how a sweep scales over ranks. Run as
// an MPI job (scripts/bench-mpi.sh runs it on 1 and on 2 ranks):
//
//   mpirun -n N klystron_mpi_overhead [analytic|simulation] [POINTS]
//
// Points: the round-beam example's drive sweep, either the analytic model
// alone (about a millisecond a point) or with its disk simulation at the
// example's counts (a real point). Printed:
//  - the points on one thread of rank 0 alone (the reference: their sum);
//  - with N ranks, all working, one worker each: the wall time and the
//    speed-up over the reference;
//  - with N ranks and rank 0 only handing out (N >= 2), at batches of at
//    most 1 and of at most 8: the wall time, the overhead per point (what the
//    wall time of the N - 1 working ranks is above their share of the
//    reference), and rank 0's own time per message and per point, which is
//    what bounds the ranks it can keep busy.
// Every record is checked against the reference, bit for bit.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "driver/mpi/kly_MpiExecutor.h"
#include "driver/mpi/kly_MpiWorker.h"
#include "klystron/driver/kly_PointTask.h"
#include "klystron/driver/kly_Sweep.h"
#include "tools/kly_TubeFile.h"

namespace {

struct Outcome {
  double wall = 0;   // [s]
  double sum = 0;    // of the points' own times [s]
  bool same = true;  // every record that of the reference
};

std::vector<kly_TubeDescription> drivePoints(bool simulate, std::size_t count) {
  kly_TubeDescription base = kly_TubeFile::read(std::string(KLY_EXAMPLES_DIR) + "/sband-round.json").description;
  if (!simulate) base.simulation.reset();
  std::vector<kly_TubeDescription> points;
  for (std::size_t i = 0; i < count; ++i) {
    kly_TubeDescription t = base;
    t.beam.inputPower =
        1.0 * std::pow(1000.0, static_cast<double>(i) / static_cast<double>(std::max<std::size_t>(1, count - 1)));
    points.push_back(t);
  }
  return points;
}

// As a sweep evaluates its points: an analytic one takes about a millisecond
// (the beam-loading integrals of the tube's build).
kly_EvaluationOptions optionsFor(bool simulate) { return kly_Sweep::pointOptions(simulate); }

Outcome runOn(kly_PointExecutor& executor, const std::vector<kly_TubeDescription>& points,
              const kly_EvaluationOptions& options, const std::vector<kly_PointResult>* reference) {
  Outcome o;
  std::vector<kly_PointResult> records(points.size());
  const auto start = std::chrono::steady_clock::now();
  executor.run(
      points.size(), [&](std::size_t i) { return kly_PointEvaluation::evaluate(points[i], options); },
      [&](std::size_t i, kly_PointResult&& r) { records[i] = std::move(r); }, nullptr);
  o.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (std::size_t i = 0; i < records.size(); ++i) {
    o.sum += records[i].seconds;
    if (reference) {
      kly_PointResult a = records[i], b = (*reference)[i];
      a.seconds = b.seconds = 0;
      o.same = o.same && a.identical(b);
    }
  }
  return o;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv) {
  kly_MpiSession session(argc, argv);
  if (!session.coordinator()) {
    kly_MpiWorker::serve(session, kly_PointTask::evaluate);
    return 0;
  }
  const bool simulate = argc > 1 && std::string(argv[1]) == "simulation";
  const std::size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : (simulate ? 24 : 2000);
  const std::vector<kly_TubeDescription> points = drivePoints(simulate, count);
  const kly_EvaluationOptions options = optionsFor(simulate);
  const auto describe = [&](std::size_t i) { return kly_PointTask::write(points[i], options); };
  const int ranks = session.size();
  std::printf("%s points: %zu; ranks: %d; load average before: %s\n", simulate ? "simulation" : "analytic", count,
              ranks, loadAverage().c_str());

  // The reference: rank 0 alone, one thread.
  std::vector<kly_PointResult> reference;
  {
    kly_ThreadExecutor one(1);
    std::vector<kly_PointResult> records(points.size());
    const auto start = std::chrono::steady_clock::now();
    one.run(
        points.size(), [&](std::size_t i) { return kly_PointEvaluation::evaluate(points[i], options); },
        [&](std::size_t i, kly_PointResult&& r) { records[i] = std::move(r); }, nullptr);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double sum = 0;
    for (const kly_PointResult& r : records) sum += r.seconds;
    reference = std::move(records);
    std::printf("one thread of rank 0:           %8.3f s, %9.1f us a point (the points' own: %.1f us)\n", wall,
                1e6 * wall / static_cast<double>(count), 1e6 * sum / static_cast<double>(count));
  }
  const double single = [&] {
    double s = 0;
    for (const kly_PointResult& r : reference) s += r.seconds;
    return s;
  }();

  {
    kly_MpiExecutor all(session, 1, true);
    all.describeTasks(describe);
    const Outcome o = runOn(all, points, options, &reference);
    std::printf("%d rank(s), all working:         %8.3f s, speed-up %.2f over one thread (%.0f %% of %d), records %s\n",
                ranks, o.wall, single / o.wall, 100.0 * single / o.wall / ranks, ranks, o.same ? "the same" : "DIFFER");
  }
  if (ranks >= 2) {
    double perPoint[2] = {0, 0};
    const int batches[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
      kly_MpiExecutor remote(session, 1, false, batches[k]);
      remote.describeTasks(describe);
      const Outcome o = runOn(remote, points, options, &reference);
      const kly_MpiExecutor::Statistics& s = remote.statistics();
      const double working = ranks - 1;
      const double overhead = (o.wall * working - o.sum) / static_cast<double>(count);
      perPoint[k] = s.busySeconds / static_cast<double>(count);
      std::printf(
          "%d rank(s) working, batch <= %d: %8.3f s; overhead %.1f us a point; rank 0: %zu messages, %.1f us a "
          "message, %.2f us a point; records %s\n",
          ranks - 1, batches[k], o.wall, 1e6 * overhead, s.messages,
          1e6 * s.busySeconds / static_cast<double>(std::max<std::size_t>(1, s.messages)), 1e6 * perPoint[k],
          o.same ? "the same" : "DIFFER");
    }
    std::printf("rank 0's time a point: %.2f us at batches of 1, %.2f us at batches of up to 8\n", 1e6 * perPoint[0],
                1e6 * perPoint[1]);
  }
  std::printf("load average after: %s\n", loadAverage().c_str());
  return 0;
}
