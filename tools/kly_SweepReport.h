#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "klystron/driver/kly_PointResult.h"
#include "klystron/driver/kly_SweepAnalysis.h"
#include "tools/kly_SweepSetup.h"

// A sweep's points with their records, and what its files, plots and summary
// read off them: the kind of sweep, the curves and their figures.
class kly_SweepReport {
public:
  enum class Kind {
    drive,      // beam.inputPower alone: a transfer curve
    frequency,  // beam.frequency alone: a frequency response
    single,     // any other parameter alone
    grid,       // two parameters
  };

  // One model's view of a curve, when it has points to show.
  struct Transfer {
    kly_Saturation saturation;
    kly_Compression compression;
  };
  struct Response {
    kly_Band band1;  // -1 dB
    kly_Band band3;  // -3 dB
  };
  // The best point of a grid for one result.
  struct Best {
    std::string result;  // its results.json name
    std::size_t point = 0;
    double value = 0;
  };

  struct Timing {
    double wallSeconds = 0;  // of this run of the command
    int workers = 1;
    std::size_t resumed = 0;  // points taken from the journal
  };

  kly_SweepReport(const kly_SweepSetup& setup, std::vector<std::optional<kly_PointResult>> results, Timing timing);

  const kly_SweepSetup& setup() const { return setup_; }
  const std::vector<std::optional<kly_PointResult>>& results() const { return results_; }
  const Timing& timing() const { return timing_; }
  Kind kind() const { return kind_; }
  bool simulated() const;  // some point ran the simulation

  std::size_t count(kly_PointStatus status) const;
  std::size_t missing() const;  // points a stop kept from running
  double pointSeconds() const;  // sum of the points' wall times

  // The names of the scalar results that some point has, in results.json order.
  const std::vector<std::string>& scalarNames() const { return names_; }
  // A result at every point (NaN where a point lacks it); with `okOnly`,
  // NaN also where the point did not end ok.
  std::vector<double> series(std::string_view name, bool okOnly = false) const;
  // The values of axis `a` at every point.
  std::vector<double> axisValues(std::size_t a) const;

  // A drive sweep's transfer curves, a frequency sweep's bands, a grid's
  // best points; empty where the sweep is of another kind or the model has
  // no point to read them from. The analytic curves take every point with
  // results, the simulated ones only the points that ended ok.
  const std::optional<Transfer>& transfer(bool simulated) const { return simulated ? simTransfer_ : anaTransfer_; }
  const std::optional<Response>& response(bool simulated) const { return simulated ? simResponse_ : anaResponse_; }
  const std::vector<Best>& best() const { return best_; }

  // The names of the results a drive sweep and a grid read.
  static const char* outputPowerName(bool simulated);
  static const char* gainName(bool simulated);
  static const char* efficiencyName(bool simulated);

private:
  const kly_SweepSetup& setup_;
  std::vector<std::optional<kly_PointResult>> results_;
  Timing timing_;
  Kind kind_ = Kind::single;
  std::vector<std::string> names_;
  std::optional<Transfer> anaTransfer_, simTransfer_;
  std::optional<Response> anaResponse_, simResponse_;
  std::vector<Best> best_;
};
