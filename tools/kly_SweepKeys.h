#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// A numeric value of a tube file named by its key path, as a sweep varies it:
// "beam.inputPower", "cavities[1].frequency", "simulation.rings".
struct kly_KeyPath {
  std::string text;                      // the path as given
  nlohmann::json::json_pointer pointer;  // where the value is (or goes) in the file
  bool integer = false;                  // a count or a harmonic: whole numbers only
  bool writtenAsInteger = false;         // the file writes the value without a fraction
};

// One --vary option: the key and its values in order.
struct kly_Vary {
  kly_KeyPath key;
  std::string range;  // as given
  std::vector<double> values;
  bool log = false;  // start:stop:count:log
};

// A --vary option that cannot be used; what() names the option and the problem.
class kly_VaryError : public std::invalid_argument {
public:
  using std::invalid_argument::invalid_argument;
};

// Key paths and ranges of the sweep command.
class kly_SweepKeys {
public:
  // Points of one parameter, and of a whole grid, at most.
  static constexpr std::size_t kMaxValues = 100000;
  static constexpr std::size_t kMaxPoints = 1000000;

  // Reads "KEY=RANGE" against the tube file's JSON: the key must name a
  // number of the file (or an optional number it may have: a cavity's
  // fieldRings, the imported beam's injectionPosition), and the range is
  // start:stop:count (evenly spaced, both ends included), start:stop:count:log
  // (evenly spaced in the logarithm) or a list v1,v2,... A count or harmonic
  // takes whole numbers only. Throws kly_VaryError.
  static kly_Vary parse(const nlohmann::json& tube, std::string_view option);

  // The key path's value in the tube file: resolves the path, or throws
  // kly_VaryError naming it (with the closest key path of the file for a
  // typo, the indices there are for one out of range).
  static kly_KeyPath resolve(const nlohmann::json& tube, std::string_view path);

  // The values of a range (without the key); throws kly_VaryError with the
  // reason.
  static std::vector<double> values(std::string_view range, bool& log);

  // Sets the value in the JSON: a whole number as the file writes it (for a
  // count always without a fraction), else as a fraction.
  static void apply(nlohmann::json& tube, const kly_KeyPath& key, double value);

  // The SI unit of the value at a key path ("Hz" for a frequency, "m" for a
  // position or a size); empty for counts, Q values and other pure numbers.
  static std::string unit(std::string_view path);

  // Every key path of the file that holds a number, keys of an object in
  // alphabetical order.
  static std::vector<std::string> numericPaths(const nlohmann::json& tube);
};
