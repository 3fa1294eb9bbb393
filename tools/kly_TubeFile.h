#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "klystron/model/kly_TubeDescription.h"

// One tube as a JSON tube file describes it: the description the engine
// computes with (relative names of field and beam files resolved against
// the tube file's folder into absolute ones) and what the reports call it.
struct kly_TubeFileContents {
  std::string name;              // the file's "name", else the file name without extension
  std::string about;             // the file's "description": what the tube is, what it is modelled on; may be empty
  std::filesystem::path source;  // the tube file as given
  kly_TubeDescription description;
};

// The near field as the tube file and the command write it ("thin",
// "finite"), and back; nullopt for any other name.
const char* kly_nearFieldName(kly_NearField nearField);
std::optional<kly_NearField> kly_nearFieldFromName(std::string_view name);

// A tube file that cannot be used. what() holds one line per problem, each
// naming the file and the key path: `tube.json: cavities[2].qe: expected a
// number, found "abc"`.
class kly_TubeFileError : public std::runtime_error {
public:
  explicit kly_TubeFileError(std::vector<std::string> problems);
  const std::vector<std::string>& problems() const { return problems_; }

private:
  std::vector<std::string> problems_;
};

// Reader of the JSON tube description. Everything is checked before anything
// runs: unknown keys (most likely typos), missing keys, keys given twice,
// values of the wrong type, counts and physical values out of range, cavities
// out of order, field and beam files that cannot be opened. All problems of a
// file are reported together.
class kly_TubeFile {
public:
  // The near field of a simulation section that names none.
  static constexpr kly_NearField kDefaultNearField = kly_NearField::finite;

  // Reads and checks the tube file; throws kly_TubeFileError.
  static kly_TubeFileContents read(const std::filesystem::path& file);
  // Checks a tube description given as text; `source` names it in messages
  // and its folder is the base of relative file names.
  static kly_TubeFileContents parse(std::string_view text, const std::filesystem::path& source);
};
