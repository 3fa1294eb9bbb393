#pragma once

#include <memory>
#include <vector>

#include "klystron/model/kly_Beam.h"
#include "klystron/model/kly_Cavity.h"
#include "klystron/model/kly_TubeDescription.h"

// The objects the models compute with, built from a tube description: the
// beam set up for the operating point and one cavity object per cavity, with
// its gap field read from its field file where one is named. A built tube
// never changes, so one may be shared (through the std::shared_ptr that build
// returns) by any number of calculations on any number of threads.
class kly_BuiltTube {
public:
  // A tube without cavities whose beam is not set up (beam type 0).
  kly_BuiltTube() = default;
  kly_BuiltTube(const kly_BuiltTube&) = delete;
  kly_BuiltTube& operator=(const kly_BuiltTube&) = delete;

  // Sets up the beam and builds every cavity in order, reading each named
  // field file. Throws kly_FileError for a field file that cannot be used and
  // std::invalid_argument for a field ring count outside 1 to 50, each naming
  // the cavity; std::bad_alloc when memory runs out.
  static std::shared_ptr<const kly_BuiltTube> build(const kly_TubeDescription& description);

  // This tube's beam without any cavity object; its description has no cavities.
  std::shared_ptr<const kly_BuiltTube> withoutCavities() const;

  // The description this tube was built from, except that the M of a cavity
  // with a field file is the coupling coefficient of its profile.
  const kly_TubeDescription& description() const { return description_; }
  const kly_Beam& beam() const { return beam_; }
  int cavityCount() const { return static_cast<int>(cavities_.size()); }
  // Cavity object 0 to cavityCount() - 1; std::out_of_range outside.
  const kly_Cavity& cavity(int cavity) const;

private:
  kly_TubeDescription description_;
  kly_Beam beam_;
  std::vector<std::unique_ptr<const kly_Cavity>> cavities_;
};
