#include "klystron/driver/kly_PointTask.h"

#include <charconv>
#include <stdexcept>

#include "klystron/driver/kly_DescriptionText.h"

namespace {

constexpr std::string_view kHeader = "klystron point task 1 simulate=";

}  // namespace

std::string kly_PointTask::write(const kly_TubeDescription& tube, const kly_EvaluationOptions& options) {
  std::string out(kHeader);
  out += options.simulate ? '1' : '0';
  out += " profile=";
  out += options.analyticProfile ? '1' : '0';
  out += " threads=" + std::to_string(options.threads) + "\n";
  out += kly_DescriptionText::write(tube);
  return out;
}

kly_PointTask kly_PointTask::read(std::string_view text) {
  const auto bad = [](const std::string& why) { return std::invalid_argument("not a point task: " + why); };
  const std::size_t end = text.find('\n');
  if (end == std::string_view::npos || text.substr(0, kHeader.size()) != kHeader)
    throw bad("the first line is not \"" + std::string(kHeader) + "...\"");
  const std::string_view line = text.substr(kHeader.size(), end - kHeader.size());
  constexpr std::string_view kProfile = " profile=", kThreads = " threads=";
  if (line.size() < 1 + kProfile.size() + 1 + kThreads.size() + 1 || (line[0] != '0' && line[0] != '1') ||
      line.substr(1, kProfile.size()) != kProfile ||
      (line[1 + kProfile.size()] != '0' && line[1 + kProfile.size()] != '1') ||
      line.substr(2 + kProfile.size(), kThreads.size()) != kThreads)
    throw bad("its options are not simulate=0|1 profile=0|1 threads=N");
  kly_PointTask task;
  task.options.simulate = line[0] == '1';
  task.options.analyticProfile = line[1 + kProfile.size()] == '1';
  const std::string_view threads = line.substr(2 + kProfile.size() + kThreads.size());
  auto r = std::from_chars(threads.data(), threads.data() + threads.size(), task.options.threads);
  if (r.ec != std::errc() || r.ptr != threads.data() + threads.size() || task.options.threads < 0)
    throw bad("threads is not a whole number of at least 0");
  try {
    task.tube = kly_DescriptionText::read(text.substr(end + 1));
  } catch (const std::invalid_argument& e) {
    throw bad(e.what());
  }
  return task;
}

kly_PointResult kly_PointTask::evaluate(std::string_view text) {
  kly_PointTask task;
  try {
    task = read(text);
  } catch (const std::invalid_argument& e) {
    kly_PointResult failed;
    failed.message = e.what();
    return failed;
  }
  return kly_PointEvaluation::evaluate(task.tube, task.options);
}
