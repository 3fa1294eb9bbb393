#include "tools/kly_OptimizeSetup.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/driver/kly_TubeHash.h"
#include "tools/kly_Closest.h"
#include "tools/kly_RunChecks.h"

using nlohmann::json;

struct kly_OptimizeSetup::Shared {
  json doc;
  std::vector<kly_KeyPath> keys;
  std::filesystem::path source;
  kly_RunCheckOptions checks;
  std::optional<kly_NearField> nearField;
};

namespace {

std::optional<double> number(std::string_view s) {
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc{} || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// The problems of a refused point without the tube file's name, which every
// line of them starts with.
std::string reasons(const kly_TubeFileError& e, const std::string& source) {
  std::vector<std::string> lines;
  for (const std::string& p : e.problems())
    lines.push_back(p.rfind(source + ": ", 0) == 0 ? p.substr(source.size() + 2) : p);
  return fmt::format("{}", fmt::join(lines, "; "));
}

// A result name that no point will have: refused with the closest one.
void checkName(const std::string& name, const std::vector<std::string>& known, const std::string& option,
               bool simulate) {
  if (std::find(known.begin(), known.end(), name) != known.end()) return;
  const std::vector<std::string> all = kly_OptimizationProblem::resultNames(true, true);
  if (!simulate && std::find(all.begin(), all.end(), name) != all.end()) return;  // the problem says why
  std::vector<std::string_view> names(known.begin(), known.end());
  const std::string closest = kly_closest(name, names, 4);
  throw kly_OptimizationError(fmt::format("{}: unknown result \"{}\"{}", option, name,
                                          closest.empty() ? " (the names of results.json, and " +
                                                                std::string(kly_OptimizationProblem::kBandwidth1dB) +
                                                                ", " + kly_OptimizationProblem::kBandwidth3dB + ")"
                                                          : fmt::format(" (did you mean \"{}\"?)", closest)));
}

}  // namespace

std::unique_ptr<kly_OptimizeSetup> kly_OptimizeSetup::prepare(const kly_OptimizeCommandOptions& o) {
  auto setup = std::unique_ptr<kly_OptimizeSetup>(new kly_OptimizeSetup);
  auto shared = std::make_shared<Shared>();
  setup->base_ = kly_TubeFile::read(o.tube);
  {
    std::ifstream in(o.tube, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    shared->doc = json::parse(text.str());
  }
  shared->source = o.tube;
  const bool simulate = !o.noSim && setup->base_.description.simulation.has_value();
  shared->checks = kly_RunCheckOptions{
      .simulate = simulate, .threads = 1, .checkResolution = false, .maxPasses = o.maxPasses, .force = o.force};
  if (!o.nearField.empty()) shared->nearField = kly_nearFieldFromName(o.nearField);

  // The varied keys and their bounds.
  if (o.vary.empty()) throw kly_VaryError("give the parameters to vary: --vary KEY=LOW:HIGH");
  std::vector<kly_OptimizationVariable> variables;
  for (const std::string& option : o.vary) {
    const std::size_t eq = option.find('=');
    if (eq == std::string::npos)
      throw kly_VaryError(
          fmt::format("--vary {}: expected KEY=LOW:HIGH, for example cavities[1].frequency=2.85e9:2.9e9", option));
    kly_KeyPath key = kly_SweepKeys::resolve(shared->doc, std::string_view(option).substr(0, eq));
    if (key.integer)
      throw kly_VaryError(fmt::format("--vary {}: {} takes whole numbers; the optimiser varies continuous values only",
                                      option, key.text));
    for (const kly_KeyPath& k : shared->keys) {
      if (k.pointer == key.pointer) throw kly_VaryError(fmt::format("--vary {}: {} is varied twice", option, key.text));
    }
    const std::string_view range = std::string_view(option).substr(eq + 1);
    const std::size_t colon = range.find(':');
    const std::optional<double> lo = colon == std::string_view::npos ? std::nullopt : number(range.substr(0, colon));
    const std::optional<double> hi = colon == std::string_view::npos ? std::nullopt : number(range.substr(colon + 1));
    if (!lo || !hi)
      throw kly_VaryError(
          fmt::format("--vary {}: expected LOW:HIGH, two numbers, after the key, found \"{}\"", option, range));
    if (*lo >= *hi)
      throw kly_VaryError(
          fmt::format("--vary {}: LOW must be below HIGH, found LOW >= HIGH ({} >= {})", option, *lo, *hi));
    kly_OptimizationVariable v;
    v.name = key.text;
    v.lower = *lo;
    v.upper = *hi;
    if (shared->doc.contains(key.pointer) && shared->doc.at(key.pointer).is_number())
      v.start = shared->doc.at(key.pointer).get<double>();
    variables.push_back(v);
    shared->keys.push_back(std::move(key));
  }

  // Objectives and constraints, their names checked with a suggestion.
  kly_FigureSettings figures;
  figures.bandSamples = o.bandSamples;
  if (!o.saturationDrives.empty()) {
    bool log = false;
    try {
      figures.saturationDrives = kly_SweepKeys::values(o.saturationDrives, log);
    } catch (const kly_VaryError& e) {
      throw kly_OptimizationError(fmt::format("--saturation-drives {}: {}", o.saturationDrives, e.what()));
    }
  }
  const std::vector<std::string> known =
      kly_OptimizationProblem::resultNames(simulate, !figures.saturationDrives.empty());
  std::vector<kly_Objective> objectives;
  for (const std::string& text : o.objectives) {
    objectives.push_back(kly_Objective::parse(text));
    checkName(objectives.back().result, known, "--objective " + text, simulate);
  }
  std::vector<kly_Constraint> constraints;
  for (const std::string& text : o.constraints) {
    constraints.push_back(kly_Constraint::parse(text));
    checkName(constraints.back().result, known, "--constraint '" + text + "'", simulate);
  }

  // The starting tube as its points are computed.
  {
    kly_TubeFileContents c = setup->base_;
    kly_RunChecks::check(c, shared->checks);
    if (shared->nearField && c.description.simulation) c.description.simulation->nearField = *shared->nearField;
    setup->start_ = std::move(c.description);
  }
  setup->keys_ = shared->keys;
  setup->shared_ = shared;
  kly_OptimizationProblem::Make make = [shared](const std::vector<double>& values) {
    json t = shared->doc;
    for (std::size_t k = 0; k < shared->keys.size(); ++k) kly_SweepKeys::apply(t, shared->keys[k], values.at(k));
    try {
      kly_TubeFileContents c = kly_TubeFile::parse(t.dump(), shared->source);
      kly_RunChecks::check(c, shared->checks);
      if (shared->nearField && c.description.simulation) c.description.simulation->nearField = *shared->nearField;
      return c.description;
    } catch (const kly_TubeFileError& e) {
      throw std::invalid_argument(reasons(e, shared->source.string()));
    }
  };
  setup->problem_.emplace(std::move(variables), std::move(objectives), std::move(constraints), std::move(make),
                          simulate, figures);

  kly_OptimizerSettings s;
  s.algorithm = o.algorithm;
  s.population = o.population;
  s.generations = o.generations;
  s.seed = o.seed;
  s.refine = o.refine;
  setup->settings_ = kly_Optimizer::resolve(*setup->problem_, s);
  kly_TubeHash hash;
  setup->description_ = kly_Optimizer::describe(*setup->problem_, setup->settings_, hash.of(setup->start_, simulate));
  return setup;
}

std::string kly_OptimizeSetup::tubeFile(const std::vector<double>& values) const {
  json t = shared_->doc;
  for (std::size_t k = 0; k < shared_->keys.size(); ++k) kly_SweepKeys::apply(t, shared_->keys[k], values.at(k));
  // Files named relative to the starting tube's folder, named so that the
  // tube file can lie anywhere.
  const std::filesystem::path folder = std::filesystem::absolute(shared_->source).parent_path();
  auto absolute = [&folder](json& name) {
    if (name.is_string() && std::filesystem::path(name.get<std::string>()).is_relative())
      name = (folder / name.get<std::string>()).lexically_normal().string();
  };
  if (t.contains("cavities") && t["cavities"].is_array()) {
    for (json& c : t["cavities"]) {
      if (c.is_object() && c.contains("fieldFile")) absolute(c["fieldFile"]);
    }
  }
  if (t.contains("simulation") && t["simulation"].is_object()) {
    json& sim = t["simulation"];
    if (sim.contains("importBeam") && sim["importBeam"].is_object() && sim["importBeam"].contains("file"))
      absolute(sim["importBeam"]["file"]);
    if (shared_->nearField) t["simulation"]["nearField"] = kly_nearFieldName(*shared_->nearField);
    if (shared_->checks.maxPasses) t["simulation"]["maxIterations"] = *shared_->checks.maxPasses;
  }
  return t.dump(2) + "\n";
}
