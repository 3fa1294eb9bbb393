#include "tools/kly_OptimizeCommand.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "klystron/driver/kly_PointExecutor.h"
#include "optimizer/kly_Optimizer.h"
#include "tools/kly_OptimizeFiles.h"
#include "tools/kly_OptimizeReport.h"
#include "tools/kly_OptimizeSetup.h"
#include "tools/kly_Text.h"

namespace {

namespace fs = std::filesystem;

// The checkpoint written under a temporary name, flushed to the disk and
// renamed into place, the folder flushed after: a crash at any moment leaves
// the last whole checkpoint.
void writeAtomically(const fs::path& file, const std::string& text) {
  const fs::path temporary = file.string() + ".part";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  auto fail = [&file](const char* what) {
    throw std::runtime_error(
        fmt::format("cannot write the checkpoint '{}': {}: {}", file.string(), what, std::strerror(errno)));
  };
  if (fd < 0) fail("open");
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      fail("write");
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    ::close(fd);
    fail("fsync");
  }
  if (::close(fd) != 0) fail("close");
  if (::rename(temporary.c_str(), file.c_str()) != 0) fail("rename");
  const int dir = ::open(file.parent_path().empty() ? "." : file.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("cannot read the checkpoint '{}'", file.string()));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string stepName(unsigned step, const kly_OptimizerSettings& s) {
  if (step == 0) return "first population";
  if (step > s.generations) return "compass search";
  return fmt::format("generation {}/{}", step, s.generations);
}

}  // namespace

std::filesystem::path kly_OptimizeCommand::defaultFolder(const std::filesystem::path& tube) {
  return tube.stem().string() + "-optimize";
}

int kly_OptimizeCommand::run(const kly_OptimizeCommandOptions& options, std::ostream& out, std::ostream& err,
                             const std::function<bool()>& stop, kly_PointExecutor* executor) {
  const auto started = std::chrono::steady_clock::now();
  const std::unique_ptr<kly_OptimizeSetup> setup = kly_OptimizeSetup::prepare(options);
  const kly_OptimizerSettings& settings = setup->settings();
  kly_OutputFolder folder(options.output.empty() ? defaultFolder(options.tube) : options.output);
  folder.prepare();
  const fs::path checkpoint = folder.folder() / kCheckpoint;

  kly_OptimizerState state;
  state.problem = setup->description();
  if (options.resume) {
    if (!fs::exists(checkpoint))
      throw std::runtime_error(
          fmt::format("--resume: there is no checkpoint '{}' to resume from; leave out --resume "
                      "to start afresh",
                      checkpoint.string()));
    try {
      state = kly_OptimizerState::read(readFile(checkpoint));
    } catch (const std::invalid_argument& e) {
      throw std::runtime_error(fmt::format("--resume: '{}': {}", checkpoint.string(), e.what()));
    }
    if (state.problem != setup->description())
      throw std::runtime_error(fmt::format(
          "--resume: the checkpoint '{}' is of another optimisation (another tube, variable, objective, constraint, "
          "algorithm, population, seed or refinement); start afresh without --resume or in another folder\n"
          "  checkpoint: {}\n  now:        {}",
          checkpoint.string(), state.problem, setup->description()));
    if (state.refined && state.steps < settings.generations)
      throw std::runtime_error(
          fmt::format("--resume: the run in '{}' ended with its compass search after {} "
                      "generations; start afresh for more",
                      folder.folder().string(), state.steps));
    err << fmt::format("klystron: resuming after {} with {} evaluations\n",
                       state.started ? stepName(state.steps, settings) : "nothing", state.evaluations.size());
  }

  kly_ThreadExecutor threads(options.jobs);
  kly_PointExecutor& workers = executor ? *executor : threads;
  const unsigned total = settings.generations + (settings.refine > 0 ? 1u : 0u);
  double stepSeconds = 0;
  unsigned stepsHere = 0;
  kly_Optimizer::Callbacks callbacks;
  callbacks.stop = stop;
  callbacks.checkpoint = [&checkpoint](const kly_OptimizerState& s) { writeAtomically(checkpoint, s.write()); };
  callbacks.progress = [&](const kly_GenerationReport& r) {
    stepSeconds += r.seconds;
    ++stepsHere;
    std::vector<std::string> best;
    for (std::size_t j = 0; j < r.best.size(); ++j) {
      const std::string& name = setup->problem().objectives()[j].result;
      best.push_back(fmt::format("{} {}", name, kly_OptimizeSummary::shown(name, r.best[j])));
    }
    const unsigned left = total - std::min(total, r.step);
    err << fmt::format(
        "optimize: {}: {} evaluations, {} feasible ({}%), best {}, {}{}\n", stepName(r.step, settings), r.evaluations,
        r.feasible, r.evaluations > 0 ? static_cast<int>(std::lround(100.0 * r.feasible / r.evaluations)) : 0,
        fmt::join(best, ", "), kly_text::duration(r.seconds),
        left > 0 && r.step > 0 ? fmt::format(", about {} left", kly_text::duration(stepSeconds / stepsHere * left))
                               : "");
  };
  const kly_Optimizer::Outcome outcome = kly_Optimizer::run(setup->problem(), settings, workers, state, callbacks);

  kly_OptimizeReport::Timing timing;
  timing.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  timing.workers = workers.workers();
  timing.resumed = options.resume;
  timing.stopped = outcome == kly_Optimizer::Outcome::stopped;
  timing.folder = folder.folder().string();
  const kly_OptimizeReport report(*setup, state, timing);
  const std::string summary = kly_OptimizeSummary::text(report);
  const kly_OutputFolder files = kly_OptimizeFiles::collect(report, folder.folder(), summary);
  files.write(kly_OptimizeFiles::allNames());
  out << summary
      << fmt::format("\nWrote {} files to {}/ (and the checkpoint {})\n", files.names().size(),
                     folder.folder().string(), kCheckpoint);
  if (timing.stopped) return kStopped;
  return report.front().empty() ? kNoFeasible : 0;
}
