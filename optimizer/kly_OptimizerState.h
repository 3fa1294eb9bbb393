#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "klystron/driver/kly_PointResult.h"

// One evaluation of an optimisation: the step it belongs to (0 the first
// population, 1 to G the generations, G + 1 the local refinement), its
// number within the step, the values of the variables and the record.
struct kly_OptimizationEvaluation {
  unsigned step = 0;
  std::size_t index = 0;
  std::vector<double> values;
  kly_PointResult result;
};

// Everything an optimisation needs to go on from the end of a step exactly
// as if it had not stopped: the steps done, the algorithm with its random
// state and what it has learnt (in pagmo's own serialised form), the
// population and every evaluation so far. Written as text, numbers to the
// last bit, after every step; a run resumed from it reaches the same result
// as one that ran through.
struct kly_OptimizerState {
  static constexpr const char* kHeader = "klystron optimizer checkpoint 1";

  std::string problem;    // the text of the problem and settings it belongs to (see kly_Optimizer::describe)
  unsigned steps = 0;     // steps done; 0 with no evaluation: nothing done yet
  bool started = false;   // the first population is evaluated
  bool refined = false;   // the local refinement is done
  std::string algorithm;  // the serialised algorithm
  std::vector<std::vector<double>> x, f;  // the population: values and fitness
  std::vector<kly_OptimizationEvaluation> evaluations;

  std::string write() const;
  // The state of a text that write made; std::invalid_argument naming the
  // line for anything else (a file cut short included).
  static kly_OptimizerState read(std::string_view text);
};
