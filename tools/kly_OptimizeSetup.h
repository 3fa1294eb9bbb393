#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "optimizer/kly_OptimizationProblem.h"
#include "optimizer/kly_Optimizer.h"
#include "tools/kly_OptimizeCommand.h"
#include "tools/kly_SweepKeys.h"
#include "tools/kly_TubeFile.h"

// An optimisation made ready from a tube file and the command's options:
// the varied key paths and bounds, the objectives and constraints checked
// against the results a point will have, the algorithm's settings, and the
// way from a vector of values to a tube, which is the tube file with the
// values put in at their key paths, read and checked as `klystron run` reads
// and checks a tube file.
class kly_OptimizeSetup {
public:
  // Throws kly_TubeFileError for a starting tube that cannot be used,
  // kly_VaryError for a --vary and kly_OptimizationError for anything else
  // of the request.
  static std::unique_ptr<kly_OptimizeSetup> prepare(const kly_OptimizeCommandOptions& options);

  const kly_TubeFileContents& base() const { return base_; }
  // The starting tube as every point is computed (near field and pass limit applied).
  const kly_TubeDescription& start() const { return start_; }
  const std::vector<kly_KeyPath>& keys() const { return keys_; }
  const kly_OptimizationProblem& problem() const { return *problem_; }
  const kly_OptimizerSettings& settings() const { return settings_; }
  // The text a checkpoint must have been written for.
  const std::string& description() const { return description_; }

  // The tube file of a point, as `klystron run` takes it and computes what
  // the optimisation computed: the values at their key paths, and the near
  // field and pass limit of the options written in.
  std::string tubeFile(const std::vector<double>& values) const;

private:
  struct Shared;
  std::shared_ptr<const Shared> shared_;
  kly_TubeFileContents base_;
  kly_TubeDescription start_;
  std::vector<kly_KeyPath> keys_;
  std::optional<kly_OptimizationProblem> problem_;
  kly_OptimizerSettings settings_;
  std::string description_;
};
