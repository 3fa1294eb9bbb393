#include "tools/kly_SweepCommand.h"

#include <chrono>
#include <sstream>

#include <fmt/format.h>

#include "klystron/driver/kly_PointExecutor.h"
#include "klystron/driver/kly_Sweep.h"
#include "tools/kly_SweepFiles.h"
#include "tools/kly_SweepJournal.h"
#include "tools/kly_SweepProgress.h"
#include "tools/kly_SweepReport.h"
#include "tools/kly_SweepSummary.h"

std::filesystem::path kly_SweepCommand::defaultFolder(const std::filesystem::path& tube) {
  return tube.stem().string() + "-sweep";
}

int kly_SweepCommand::run(const kly_SweepCommandOptions& options, std::ostream& out, std::ostream& err, bool inPlace,
                          const std::function<bool()>& stop, const Executors& executors) {
  const auto start = std::chrono::steady_clock::now();
  const kly_SweepSetup setup = kly_SweepSetup::prepare(options.request);
  const kly_SweepPlan& plan = setup.plan;
  kly_OutputFolder folder(options.output.empty() ? defaultFolder(options.request.tube) : options.output);
  folder.prepare();

  // Points of an earlier run of the same tubes, by fingerprint; failed ones run again.
  std::vector<std::optional<kly_PointResult>> done(plan.points.size());
  std::size_t resumed = 0, failedBefore = 0;
  if (options.resume) {
    const kly_SweepJournal::Contents journal = kly_SweepJournal::read(folder.folder() / kly_SweepJournal::kName);
    for (std::size_t i = 0; i < plan.points.size(); ++i) {
      const kly_SweepPoint& p = plan.points[i];
      if (!p.tube) continue;
      auto it = journal.byHash.find(p.hash);
      if (it == journal.byHash.end() || it->second.status == kly_PointStatus::failed) continue;
      done[i] = it->second;
      ++resumed;
    }
    err << fmt::format("klystron: resuming: {} of {} points are in the journal{}\n", resumed, plan.points.size(),
                       journal.ignored > 0
                           ? fmt::format(" ({} line(s) cut short or unreadable were passed over)", journal.ignored)
                           : "");
  }
  for (const kly_SweepPoint& p : plan.points) failedBefore += p.tube ? 0 : 1;
  kly_SweepJournal journal(folder.folder(), options.resume);

  const std::unique_ptr<kly_PointExecutor> workers =
      executors ? executors(options.jobs) : std::make_unique<kly_ThreadExecutor>(options.jobs);
  kly_PointExecutor& executor = *workers;
  kly_SweepProgress progress(err, inPlace, plan.points.size(), resumed + failedBefore, failedBefore);
  kly_Sweep::Options sweepOptions;
  sweepOptions.stop = stop;
  sweepOptions.observer = [&journal, &progress, &plan](std::size_t point, const kly_PointResult& result) {
    journal.append(plan.points[point].hash, point, result);
    progress.pointDone(result.status == kly_PointStatus::failed);
  };
  std::vector<std::optional<kly_PointResult>> results;
  std::string journalError;
  try {
    results = kly_Sweep::run(plan, executor, sweepOptions, std::move(done));
  } catch (const std::runtime_error& e) {
    // The journal could not be written: nothing more can be kept.
    progress.finish();
    throw std::runtime_error(fmt::format("{}; the sweep was stopped", e.what()));
  }
  journal.sync();
  progress.finish();

  kly_SweepReport::Timing timing;
  timing.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timing.workers = executor.workers();
  timing.resumed = resumed;
  const kly_SweepReport report(setup, std::move(results), timing);
  std::ostringstream summary;
  kly_SweepSummary::print(summary, report);
  const kly_OutputFolder files = kly_SweepFiles::collect(report, folder.folder(), summary.str());
  files.write(kly_SweepFiles::allNames());
  out << summary.str()
      << fmt::format("\nWrote {} files to {}/ (and the journal {})\n", files.names().size(), folder.folder().string(),
                     kly_SweepJournal::kName);
  if (report.missing() > 0) return kStopped;
  return report.count(kly_PointStatus::failed) > 0 ? kFailedPoints : 0;
}
