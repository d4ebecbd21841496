#pragma once

// The two simulation routines of the case-control study, one replicate
// attempt each, and the quantities they derive from the parameters.

#include "qual/qual_parameters.h"
#include "run/attempt.h"

namespace korvane {

// The discrete model's four group targets for a sample of N individuals.
struct GroupTargets {
  int casesYri = 0;
  int casesSecond = 0;
  int controlsYri = 0;
  int controlsSecond = 0;
};
GroupTargets ComputeGroupTargets(const QualParameters& p);

// The continuous model's case and control counts.
struct CaseControlCounts {
  int cases = 0;
  int controls = 0;
};
CaseControlCounts ComputeCaseControlCounts(const QualParameters& p);

// Discrete model: two source pools mated for "Number of generation:"
// generations, cases and controls taken from both until four group targets
// are met.
AttemptResult SimulateDiscreteCaseControl(const QualParameters& p, AttemptContext& ctx);

// Continuous migration model: admixed populations built until their mean YRI
// ancestry reaches the target, cases and controls taken in index order.
AttemptResult SimulateContinuousCaseControl(const QualParameters& p, AttemptContext& ctx);

// The calibrated model's routines (qual/calibrated_case_control.cpp): one
// population realization per replicate, cases and controls drawn from the
// children of its final generation, draws at full resolution.
AttemptResult SimulateCalibratedDiscreteCaseControl(const QualParameters& p, AttemptContext& ctx);
AttemptResult SimulateCalibratedContinuousCaseControl(const QualParameters& p, AttemptContext& ctx);

}  // namespace korvane
