#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/kly_OutputFolder.h"

class kly_OptimizeReport;

// What an optimisation leaves in its output folder besides its checkpoint:
// history.csv (every evaluation: its step, number, status, feasibility and
// why not, its values under their key paths and every scalar result under
// its results.json name), front.csv (the front or the best points, with
// their objectives, values and tube files), best/NN.json (those tubes, as
// `klystron run` takes them), the plots and the summary.
class kly_OptimizeFiles {
public:
  static kly_OutputFolder collect(const kly_OptimizeReport& report, const std::filesystem::path& folder,
                                  const std::string& summary);
  // Every name an optimisation may write here (those of an earlier run this
  // one does not make are removed).
  static const std::vector<std::string>& allNames();
  // The name of the i-th best tube: best/00.json, best/01.json, ...
  static std::string bestName(std::size_t i);

  static std::string history(const kly_OptimizeReport& report);
  static std::string front(const kly_OptimizeReport& report);
};

// The plots of an optimisation, as SVG by file name: front.svg (the first
// two objectives of every feasible evaluation, the front and the starting
// tube; with several objectives only), progress.svg (the best value of each
// objective in each generation and up to it) and parameters.svg (each
// variable's range over the front within its bounds, the best point's and
// the starting tube's values).
class kly_OptimizePlots {
public:
  static std::map<std::string, std::string> all(const kly_OptimizeReport& report);
  static const std::vector<std::string>& allNames();
};

// The summary of an optimisation: what was optimised and how, the
// evaluations and the time, the starting tube, the best tube and how much it
// improves on the starting one, the front, the files.
class kly_OptimizeSummary {
public:
  static std::string text(const kly_OptimizeReport& report);
  // A result's value as the summary shows it: efficiencies in %, gains in
  // dB, frequencies and powers with their SI prefix.
  static std::string shown(const std::string& name, double value);
};
