#include "tools/kly_TubeFile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "klystron/core/kly_Constants.h"
#include "tools/kly_Closest.h"

using nlohmann::json;

namespace {

// Collects the problems of one file, each prefixed with the file's name.
class Problems {
public:
  explicit Problems(std::string source) : source_(std::move(source)) {}
  void add(const std::string& path, const std::string& message) {
    list_.push_back(path.empty() ? fmt::format("{}: {}", source_, message)
                                 : fmt::format("{}: {}: {}", source_, path, message));
  }
  bool empty() const { return list_.empty(); }
  std::vector<std::string> take() { return std::move(list_); }

private:
  std::string source_;
  std::vector<std::string> list_;
};

// A JSON value as a message shows it.
std::string describe(const json& v) {
  if (v.is_object()) return "an object";
  if (v.is_array()) return "an array";
  std::string text = v.dump();
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

std::string number(double v) { return fmt::format("{}", v); }

enum class Bound { Any, Positive, NonNegative, OpenUnit };

// Reads the members of one JSON object, reporting unknown keys at once and
// every missing or malformed value as it is asked for.
class ObjectReader {
public:
  ObjectReader(const json& object, std::string path, Problems& problems, std::vector<std::string_view> keys)
      : object_(object), path_(std::move(path)), problems_(problems), keys_(std::move(keys)) {
    for (const auto& [key, value] : object_.items()) {
      if (std::find(keys_.begin(), keys_.end(), key) == keys_.end()) problems_.add(pathOf(key), unknownKey(key));
    }
  }

  std::string pathOf(std::string_view key) const {
    return path_.empty() ? std::string(key) : fmt::format("{}.{}", path_, key);
  }
  bool has(std::string_view key) const { return object_.contains(key); }
  const json* find(std::string_view key) const {
    auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
  }

  // The member or nullptr; a missing required member is reported.
  const json* get(std::string_view key, bool required) const {
    const json* v = find(key);
    if (!v && required) problems_.add(pathOf(key), "missing required key");
    return v;
  }

  std::optional<double> getNumber(std::string_view key, Bound bound, bool required = true) const {
    const json* v = get(key, required);
    if (!v) return std::nullopt;
    if (!v->is_number()) {
      problems_.add(pathOf(key), "expected a number, found " + describe(*v));
      return std::nullopt;
    }
    const double x = v->get<double>();
    const char* expected = nullptr;
    switch (bound) {
      case Bound::Any:
        break;
      case Bound::Positive:
        if (!(x > 0)) expected = "a positive number";
        break;
      case Bound::NonNegative:
        if (!(x >= 0)) expected = "a number of at least 0";
        break;
      case Bound::OpenUnit:
        if (!(x > 0 && x < 1)) expected = "a number between 0 and 1 (both excluded)";
        break;
    }
    if (expected) {
      problems_.add(pathOf(key), fmt::format("expected {}, found {}", expected, describe(*v)));
      return std::nullopt;
    }
    return x;
  }

  std::optional<int> getInteger(std::string_view key, int lo, int hi, bool required = true) const {
    const json* v = get(key, required);
    if (!v) return std::nullopt;
    const bool integral =
        v->is_number_integer() || (v->is_number_float() && std::trunc(v->get<double>()) == v->get<double>());
    const std::string expected =
        hi == INT_MAX ? fmt::format("an integer of at least {}", lo) : fmt::format("an integer from {} to {}", lo, hi);
    if (!integral) {
      problems_.add(pathOf(key), fmt::format("expected {}, found {}", expected, describe(*v)));
      return std::nullopt;
    }
    const double x = v->get<double>();
    if (x < lo || x > hi) {
      problems_.add(pathOf(key), fmt::format("expected {}, found {}", expected, describe(*v)));
      return std::nullopt;
    }
    return static_cast<int>(x);
  }

  std::optional<bool> getBoolean(std::string_view key, bool required = true) const {
    const json* v = get(key, required);
    if (!v) return std::nullopt;
    if (!v->is_boolean()) {
      problems_.add(pathOf(key), "expected true or false, found " + describe(*v));
      return std::nullopt;
    }
    return v->get<bool>();
  }

  std::optional<std::string> getString(std::string_view key, bool required = true) const {
    const json* v = get(key, required);
    if (!v) return std::nullopt;
    if (!v->is_string() || v->get_ref<const std::string&>().empty()) {
      problems_.add(pathOf(key), "expected a non-empty string, found " + describe(*v));
      return std::nullopt;
    }
    return v->get<std::string>();
  }

private:
  std::string unknownKey(std::string_view key) const {
    // The closest known key, letter case aside, when it is at most two edits away.
    const std::string best = kly_closest(key, keys_, 3);
    if (!best.empty()) return fmt::format("unknown key (did you mean \"{}\"?)", best);
    return fmt::format("unknown key; expected one of: {}", fmt::join(keys_, ", "));
  }

  const json& object_;
  std::string path_;
  Problems& problems_;
  std::vector<std::string_view> keys_;
};

// Parses the text, reporting syntax errors with their line and column and
// keys given twice in one object (which a JSON parser silently merges).
std::optional<json> parseJson(std::string_view text, Problems& problems) {
  struct Frame {
    bool isObject;
    std::set<std::string> keys;
    std::string key;
    long index = -1;
  };
  std::vector<Frame> frames;
  auto pathOf = [&frames] {
    std::string path;
    for (const Frame& f : frames) {
      if (f.isObject) {
        path += path.empty() ? f.key : "." + f.key;
      } else {
        path += fmt::format("[{}]", f.index);
      }
    }
    return path;
  };
  auto callback = [&](int, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        if (!frames.empty() && !frames.back().isObject) ++frames.back().index;
        frames.push_back(Frame{event == json::parse_event_t::object_start, {}, {}, -1});
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        frames.pop_back();
        break;
      case json::parse_event_t::key:
        frames.back().key = parsed.get<std::string>();
        if (!frames.back().keys.insert(frames.back().key).second) problems.add(pathOf(), "key given twice");
        break;
      case json::parse_event_t::value:
        if (!frames.empty() && !frames.back().isObject) ++frames.back().index;
        break;
    }
    return true;
  };
  try {
    return json::parse(text.begin(), text.end(), callback);
  } catch (const json::exception& e) {
    // Drop the library's "[json.exception.parse_error.101] parse error at " prefix.
    std::string message = e.what();
    if (auto p = message.find("] "); p != std::string::npos) message.erase(0, p + 2);
    if (auto p = message.find("parse error at "); p == 0) message.erase(0, 15);
    problems.add("", "not valid JSON: " + message);
    return std::nullopt;
  }
}

// A relative name from the tube file's folder, made absolute, so that every
// process of a run, whatever its working folder, opens the same file.
std::filesystem::path resolve(const std::filesystem::path& source, const std::string& name) {
  const std::filesystem::path p(name);
  if (p.is_absolute()) return p;
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::absolute(source.parent_path(), error);
  return ((error ? source.parent_path() : folder) / p).lexically_normal();
}

void checkReadable(const std::filesystem::path& file, const std::string& path, const std::string& name,
                   Problems& problems) {
  std::ifstream in(file);
  if (!in) {
    problems.add(path, name == file.string() ? fmt::format("cannot open '{}'", name)
                                             : fmt::format("cannot open '{}' (looked for '{}')", name, file.string()));
  }
}

void readBeam(const json& v, Problems& problems, kly_BeamDescription& beam) {
  if (!v.is_object()) {
    problems.add("beam", "expected an object, found " + describe(v));
    return;
  }
  ObjectReader r(v, "beam", problems,
                 {"voltage", "current", "frequency", "inputPower", "tubeRadius", "beamRadius", "beamWidth",
                  "beamHeight", "tubeWidth", "tubeHeight"});
  beam.voltage = r.getNumber("voltage", Bound::Positive).value_or(0);
  beam.current = r.getNumber("current", Bound::Positive).value_or(0);
  beam.frequency = r.getNumber("frequency", Bound::Positive).value_or(0);
  beam.inputPower = r.getNumber("inputPower", Bound::NonNegative).value_or(0);

  const bool round = r.has("tubeRadius") || r.has("beamRadius");
  const bool sheet = r.has("beamWidth") || r.has("beamHeight") || r.has("tubeWidth") || r.has("tubeHeight");
  constexpr const char* kSets =
      "tubeRadius and beamRadius (a round beam) or beamWidth, beamHeight, tubeWidth and tubeHeight (a sheet beam)";
  if (round && sheet) {
    problems.add("beam", fmt::format("give either {}, not both", kSets));
    return;
  }
  if (!round && !sheet) {
    problems.add("beam", fmt::format("missing the geometry: give {}", kSets));
    return;
  }
  beam.round = round;
  if (round) {
    auto a = r.getNumber("tubeRadius", Bound::Positive);
    auto b = r.getNumber("beamRadius", Bound::Positive);
    beam.tubeRadius = a.value_or(0);
    beam.beamRadius = b.value_or(0);
    if (a && b && !(*b < *a)) {
      problems.add("beam.beamRadius", fmt::format("{} is not smaller than tubeRadius ({}): the beam must fit inside "
                                                  "the drift tube",
                                                  number(*b), number(*a)));
    }
    return;
  }
  auto w = r.getNumber("beamWidth", Bound::Positive);
  auto h = r.getNumber("beamHeight", Bound::Positive);
  auto tw = r.getNumber("tubeWidth", Bound::Positive);
  auto th = r.getNumber("tubeHeight", Bound::Positive);
  beam.beamWidth = w.value_or(0);
  beam.beamHeight = h.value_or(0);
  beam.tubeWidth = tw.value_or(0);
  beam.tubeHeight = th.value_or(0);
  if (w && tw && *w > *tw) {
    problems.add("beam.beamWidth", fmt::format("{} is larger than tubeWidth ({}): the beam must fit inside the drift "
                                               "tube",
                                               number(*w), number(*tw)));
  }
  if (h && th && !(*h < *th)) {
    problems.add("beam.beamHeight", fmt::format("{} is not smaller than tubeHeight ({}): the beam must fit inside the "
                                                "drift tube",
                                                number(*h), number(*th)));
  }
}

void readCavities(const json& v, const std::filesystem::path& source, Problems& problems,
                  std::vector<kly_CavityDescription>& cavities) {
  if (!v.is_array()) {
    problems.add("cavities", "expected an array of cavities, found " + describe(v));
    return;
  }
  if (v.empty() || v.size() > static_cast<std::size_t>(kly::kMaxCavities)) {
    problems.add("cavities", fmt::format("expected 1 to {} cavities, found {}", kly::kMaxCavities, v.size()));
    return;
  }
  // Position of the cavity before, when it was readable.
  bool havePrevious = false;
  double previousZ = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::string path = fmt::format("cavities[{}]", i);
    kly_CavityDescription c;
    if (!v[i].is_object()) {
      problems.add(path, "expected an object, found " + describe(v[i]));
      havePrevious = false;
      cavities.push_back(c);
      continue;
    }
    ObjectReader r(v[i], path, problems,
                   {"z", "frequency", "qo", "qe", "rq", "m", "gapWidth", "harmonic", "fieldFile", "fieldRings"});
    auto z = r.getNumber("z", Bound::Any);
    c.z = z.value_or(0);
    c.frequency = r.getNumber("frequency", Bound::Positive).value_or(0);
    c.qo = r.getNumber("qo", Bound::Positive).value_or(0);
    c.qe = r.getNumber("qe", Bound::Positive).value_or(0);
    c.rq = r.getNumber("rq", Bound::Positive).value_or(0);
    c.m = r.getNumber("m", Bound::OpenUnit).value_or(0);
    c.gapWidth = r.getNumber("gapWidth", Bound::Positive).value_or(0);
    if (const json* h = r.get("harmonic", true)) {
      const bool integral =
          h->is_number_integer() || (h->is_number_float() && std::trunc(h->get<double>()) == h->get<double>());
      const double x = h->is_number() ? h->get<double>() : 0;
      if (!integral || x == 0 || std::abs(x) > kly::kMaxHarmonic) {
        problems.add(r.pathOf("harmonic"), fmt::format("expected a harmonic number from -{0} to {0} other than 0, "
                                                       "found {1}",
                                                       kly::kMaxHarmonic, describe(*h)));
      } else {
        c.harmonic = static_cast<int>(x);
      }
    }
    if (z && havePrevious && !(*z > previousZ)) {
      problems.add(r.pathOf("z"), fmt::format("{} does not lie after cavities[{}].z ({}): list the cavities in order "
                                              "along the tube",
                                              number(*z), i - 1, number(previousZ)));
    }
    havePrevious = z.has_value();
    previousZ = z.value_or(0);
    if (auto file = r.getString("fieldFile", false)) {
      const std::filesystem::path resolved = resolve(source, *file);
      c.hasFieldFile = true;
      c.fieldFile = resolved.string();
      checkReadable(resolved, r.pathOf("fieldFile"), *file, problems);
    }
    if (r.has("fieldRings")) {
      if (!r.has("fieldFile")) {
        problems.add(r.pathOf("fieldRings"), "given without fieldFile");
      } else {
        c.fieldRings = r.getInteger("fieldRings", 1, kly::kMaxFieldRings).value_or(1);
      }
    }
    cavities.push_back(c);
  }
}

void readSimulation(const json& v, const std::filesystem::path& source, Problems& problems,
                    kly_SimulationSettings& sim) {
  if (!v.is_object()) {
    problems.add("simulation", "expected an object, found " + describe(v));
    return;
  }
  ObjectReader r(v, "simulation", problems, {"disks", "rings", "steps", "maxIterations", "nearField", "importBeam"});
  sim.disks = r.getInteger("disks", 1, INT_MAX).value_or(0);
  sim.rings = r.getInteger("rings", 1, kly::kMaxRings).value_or(0);
  sim.steps = r.getInteger("steps", 1, INT_MAX).value_or(0);
  sim.maxIterations = r.getInteger("maxIterations", 1, INT_MAX).value_or(0);
  sim.nearField = kly_TubeFile::kDefaultNearField;
  if (const json* nf = r.find("nearField")) {
    const std::optional<kly_NearField> nearField =
        nf->is_string() ? kly_nearFieldFromName(nf->get_ref<const std::string&>()) : std::nullopt;
    if (nearField)
      sim.nearField = *nearField;
    else
      problems.add(r.pathOf("nearField"), "expected \"thin\" or \"finite\", found " + describe(*nf));
  }
  const json* ib = r.find("importBeam");
  if (!ib) return;
  if (!ib->is_object()) {
    problems.add("simulation.importBeam", "expected an object, found " + describe(*ib));
    return;
  }
  ObjectReader b(*ib, "simulation.importBeam", problems, {"file", "useGivenInjectionPosition", "injectionPosition"});
  kly_BeamImportSettings import;
  if (auto file = b.getString("file")) {
    const std::filesystem::path resolved = resolve(source, *file);
    import.file = resolved.string();
    checkReadable(resolved, b.pathOf("file"), *file, problems);
  }
  import.useGivenInjectionPosition = b.getBoolean("useGivenInjectionPosition", false).value_or(false);
  import.injectionPosition = b.getNumber("injectionPosition", Bound::Any, import.useGivenInjectionPosition).value_or(0);
  sim.importBeam = import;
}

}  // namespace

const char* kly_nearFieldName(kly_NearField nearField) {
  return nearField == kly_NearField::finite ? "finite" : "thin";
}

std::optional<kly_NearField> kly_nearFieldFromName(std::string_view name) {
  if (name == "thin") return kly_NearField::thin;
  if (name == "finite") return kly_NearField::finite;
  return std::nullopt;
}

kly_TubeFileError::kly_TubeFileError(std::vector<std::string> problems)
    : std::runtime_error(fmt::format("{}", fmt::join(problems, "\n"))), problems_(std::move(problems)) {}

kly_TubeFileContents kly_TubeFile::read(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    // Name the tube files it holds, the likely meaning.
    std::vector<std::string> tubes;
    for (const auto& entry : std::filesystem::directory_iterator(file, ec)) {
      if (entry.path().extension() == ".json") tubes.push_back(entry.path().filename().string());
    }
    std::sort(tubes.begin(), tubes.end());
    throw kly_TubeFileError(
        {fmt::format("{}: is a folder, not a tube file{}", file.string(),
                     tubes.empty() ? std::string() : fmt::format(" (it holds {})", fmt::join(tubes, ", ")))});
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw kly_TubeFileError({fmt::format("{}: cannot open the tube file", file.string())});
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw kly_TubeFileError({fmt::format("{}: cannot read the tube file", file.string())});
  return parse(text.str(), file);
}

kly_TubeFileContents kly_TubeFile::parse(std::string_view text, const std::filesystem::path& source) {
  Problems problems(source.string());
  std::optional<json> doc = parseJson(text, problems);
  if (!doc) throw kly_TubeFileError(problems.take());
  if (!doc->is_object()) {
    problems.add("", "expected a JSON object at the top level, found " + describe(*doc));
    throw kly_TubeFileError(problems.take());
  }

  kly_TubeFileContents contents;
  contents.source = source;
  kly_TubeDescription& tube = contents.description;
  ObjectReader root(*doc, "", problems, {"name", "description", "beam", "cavities", "simulation"});
  contents.name = root.getString("name", false).value_or(source.stem().string());
  contents.about = root.getString("description", false).value_or("");
  if (const json* beam = root.get("beam", true)) readBeam(*beam, problems, tube.beam);
  if (const json* cavities = root.get("cavities", true)) readCavities(*cavities, source, problems, tube.cavities);
  if (const json* sim = root.find("simulation")) {
    kly_SimulationSettings s;
    readSimulation(*sim, source, problems, s);
    tube.simulation = s;
    for (std::size_t i = 0; i < tube.cavities.size(); ++i) {
      const kly_CavityDescription& c = tube.cavities[i];
      if (c.hasFieldFile && s.rings > c.fieldRings) {
        const bool given = (*doc)["cavities"][i].contains("fieldRings");
        problems.add(fmt::format("cavities[{}].fieldRings", i),
                     fmt::format("{}{} is fewer than simulation.rings ({}): the simulation needs the field at every "
                                 "ring",
                                 c.fieldRings, given ? "" : " (the default)", s.rings));
      }
    }
  }
  if (!problems.empty()) throw kly_TubeFileError(problems.take());
  return contents;
}
