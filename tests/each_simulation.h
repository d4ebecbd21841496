#pragma once

// The four simulations of a study that the output tests run one after the
// other: the specified model on one thread and the calibrated model on a
// team of three, each of the discrete and the continuous population model.

#include <gtest/gtest.h>

#include <string>

#include "run/model_kind.h"
#include "run/study_run.h"

namespace korvane::testing {

// Sets each simulation in `parameters` (a study's record) and `options`,
// and calls visit(name), `name` naming the simulation for its output
// directory ("specified-discrete", "calibrated-continuous", ...).
template <class Parameters, class Visit>
void ForEachSimulation(Parameters& parameters, RunOptions& options, Visit visit) {
  for (const bool calibrated : {false, true}) {
    for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
      SCOPED_TRACE(::testing::Message() << "calibrated " << calibrated << ", model " << static_cast<int>(model));
      parameters.modelKind = model;
      options.calibrated = calibrated;
      options.threads = calibrated ? 3 : 1;
      visit(std::string(calibrated ? "calibrated-" : "specified-") +
            (model == ModelKind::kDiscrete ? "discrete" : "continuous"));
    }
  }
}

}  // namespace korvane::testing
