#include "tools/kly_SweepSetup.h"

#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "klystron/driver/kly_TubeHash.h"
#include "tools/kly_RunChecks.h"

using nlohmann::json;

namespace {

// The problems of a refused point without the tube file's name, which every
// line of them starts with.
std::string reasons(const kly_TubeFileError& e, const std::string& source) {
  std::vector<std::string> lines;
  for (const std::string& p : e.problems())
    lines.push_back(p.rfind(source + ": ", 0) == 0 ? p.substr(source.size() + 2) : p);
  return fmt::format("{}", fmt::join(lines, "; "));
}

}  // namespace

kly_SweepSetup kly_SweepSetup::prepare(const kly_SweepRequest& request) {
  kly_SweepSetup setup;
  // The file as `klystron run` reads it, then as JSON for the key paths.
  setup.base = kly_TubeFile::read(request.tube);
  std::ifstream in(request.tube, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const json doc = json::parse(text.str());

  if (request.vary.empty()) throw kly_VaryError("give the parameter to vary: --vary KEY=RANGE");
  if (request.vary.size() > kMaxAxes)
    throw kly_VaryError(
        fmt::format("at most {} --vary options (a grid of two parameters), found {}", kMaxAxes, request.vary.size()));
  std::size_t points = 1;
  for (const std::string& option : request.vary) {
    kly_Vary v = kly_SweepKeys::parse(doc, option);
    for (const kly_Vary& earlier : setup.vary) {
      if (earlier.key.pointer == v.key.pointer)
        throw kly_VaryError(fmt::format("--vary {}: {} is varied twice", option, v.key.text));
    }
    points *= v.values.size();
    if (points > kly_SweepKeys::kMaxPoints)
      throw kly_VaryError(
          fmt::format("--vary {}: the grid would have more than {} points", option, kly_SweepKeys::kMaxPoints));
    setup.vary.push_back(std::move(v));
  }

  kly_SweepPlan& plan = setup.plan;
  plan.simulate = !request.noSim;
  for (const kly_Vary& v : setup.vary) plan.axes.push_back(kly_SweepAxis{v.key.text, v.values});
  std::optional<kly_NearField> nearField;
  if (!request.nearField.empty()) nearField = kly_nearFieldFromName(request.nearField);
  const kly_RunCheckOptions checks{.simulate = plan.simulate,
                                   .threads = 1,
                                   .checkResolution = false,
                                   .maxPasses = request.maxPasses,
                                   .force = request.force};
  const std::string source = request.tube.string();
  kly_TubeHash hash;
  plan.points.resize(points);
  for (std::size_t i = 0; i < points; ++i) {
    kly_SweepPoint& point = plan.points[i];
    json tube = doc;
    const std::vector<std::size_t> at = plan.indices(i);
    for (std::size_t a = 0; a < setup.vary.size(); ++a) {
      point.values.push_back(setup.vary[a].values[at[a]]);
      kly_SweepKeys::apply(tube, setup.vary[a].key, point.values.back());
    }
    try {
      kly_TubeFileContents contents = kly_TubeFile::parse(tube.dump(), request.tube);
      kly_RunChecks::check(contents, checks);
      if (nearField && contents.description.simulation) contents.description.simulation->nearField = *nearField;
      point.hash = hash.of(contents.description, plan.simulate);
      point.tube = std::move(contents.description);
    } catch (const kly_TubeFileError& e) {
      point.refusal = reasons(e, source);
    }
  }
  return setup;
}
