#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/driver/kly_PointResult.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_TubeDescription.h"
#include "klystron/simulation/kly_DiskSimulation.h"

struct kly_EvaluationOptions {
  bool simulate = true;         // run the disk simulation when the description has simulation settings
  bool analyticProfile = true;  // the analytic I1/I0 sweep along the tube (no scalar result depends on it)
  // Threads of the simulation (kly_SimulationOptions::threads): 0 for one per
  // hardware thread, 1 for serial. The results do not depend on it.
  int threads = 1;
  kly_PassObserver observer;      // after every pass; returning false ends the simulation there
  kly_StepObserver stepObserver;  // every stepInterval time steps of a pass
  int stepInterval = 256;
  std::function<bool()> skipSimulation;  // asked before the simulation starts: true leaves it out
};

// One evaluation of a tube point, the one that `klystron run`, a sweep, an
// optimiser and every process of a distributed run make: the tube built from
// its description, the analytic model (and its I1/I0 sweep), then, when the
// description has simulation settings and it is asked for, the disk
// simulation on a tube built afresh from the description the first build left
// (where a cavity takes its gap field from a file, M is that profile's), as
// the Java class's runs rebuild their model. The same description and
// options give the same results to the last bit on any thread and in any
// process.
//
// An object keeps the models of its last run for readers that want more than
// the record (the trajectories, the profiles); evaluate() is the form that
// keeps only the record.
class kly_PointEvaluation {
public:
  // Convergence measure below which the simulation has settled.
  static constexpr double kConvergence = kly::kConvergence;

  kly_PointEvaluation();
  kly_PointEvaluation(const kly_PointEvaluation&) = delete;
  kly_PointEvaluation& operator=(const kly_PointEvaluation&) = delete;

  // Runs the models; throws what they throw (std::invalid_argument for counts
  // the simulation refuses, kly_FileError for unreadable field or beam files,
  // std::bad_alloc), with the results of the models that ran kept.
  void run(const kly_TubeDescription& tube, const kly_EvaluationOptions& options = {});

  // The record of the last run: status ok, or not converged when the
  // simulation iterates and its last pass's measure is not below
  // kConvergence. Its wall time is that of the last run.
  kly_PointResult result() const;

  // A whole evaluation as a record; any error becomes a failed record with
  // the error's message. Never throws but std::bad_alloc from the record itself.
  static kly_PointResult evaluate(const kly_TubeDescription& tube, const kly_EvaluationOptions& options = {});

  // The names of the scalar results of a record, in its order: the analytic
  // model's, then, when `simulated`, the simulation's. Lets a caller check a
  // result name before anything runs.
  static const std::vector<std::string>& scalarNames(bool simulated);

  // The built tube of the last model that ran (the simulation's, when it ran).
  const kly_BuiltTube& built() const { return *built_; }
  const kly_Analytic& analytic() const { return analytic_; }
  // The simulation, or nullptr when it did not run.
  const kly_DiskSimulation* simulation() const { return simulated_ ? &simulation_ : nullptr; }
  // Every pass of the simulation, in order.
  const std::vector<kly_PassReport>& passes() const { return passes_; }
  // The last pass's convergence measure is below kConvergence.
  bool converged() const;
  // The simulation has something to iterate: a cavity after the driven one,
  // or an imported beam that drives every cavity.
  bool iterates() const;
  // The simulation was asked for but skipSimulation left it out.
  bool simulationSkipped() const { return skipped_; }
  // A pass observer ended the simulation before its pass limit or convergence.
  bool simulationStopped() const { return stopped_; }

  double analyticSeconds() const { return analyticSeconds_; }      // wall time [s]
  double simulationSeconds() const { return simulationSeconds_; }  // wall time [s]

private:
  std::shared_ptr<const kly_BuiltTube> built_;
  kly_TubeDescription description_;
  kly_Analytic analytic_;
  kly_DiskSimulation simulation_;
  bool simulated_ = false;
  bool skipped_ = false;
  bool stopped_ = false;
  std::vector<kly_PassReport> passes_;
  double analyticSeconds_ = 0;
  double simulationSeconds_ = 0;
};
