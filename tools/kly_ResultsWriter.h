#pragma once

#include <string>

#include <nlohmann/json.hpp>

class kly_TubeRun;

// results.json: every scalar getter of the Java class under its name without
// the get or is prefix and with a lower-case first letter; per-cavity getters
// as arrays over the cavities, per-cavity-and-harmonic ones as arrays of five
// values; the profiles along the tube as {"z": [...], "value": [...]}.
// Simulated results appear only when the simulation ran. Non-finite numbers
// are written as null. Last come "completed" (false for a run stopped before
// its end, whose simulated results are those of the passes done) and
// "warnings", a list of {"key": key path or null, "message": ...}.
class kly_ResultsWriter {
public:
  static nlohmann::ordered_json toJson(const kly_TubeRun& run);
  // The JSON text, indented, with a final newline.
  static std::string render(const kly_TubeRun& run);
};
