#pragma once

#include <string>
#include <string_view>

#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/driver/kly_PointResult.h"
#include "klystron/model/kly_TubeDescription.h"

// One evaluation of a tube point as text: the options that decide its record
// (whether to simulate, the I1/I0 sweep, the simulation's threads) and the
// tube (kly_DescriptionText), to the last bit, so that another process
// evaluates exactly the point this one planned and sends back the same
// record. Observers and skips do not travel: they belong to the process that
// watches.
struct kly_PointTask {
  kly_TubeDescription tube;
  kly_EvaluationOptions options;

  static std::string write(const kly_TubeDescription& tube, const kly_EvaluationOptions& options);
  // The task of a text that write made; std::invalid_argument for anything else.
  static kly_PointTask read(std::string_view text);

  // kly_PointEvaluation::evaluate of the task in the text; a text that is no
  // task gives a failed record saying so.
  static kly_PointResult evaluate(std::string_view text);
};
