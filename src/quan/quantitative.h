#pragma once

// The two simulation routines of the quantitative study, one replicate
// attempt each.

#include <vector>

#include "quan/quan_parameters.h"
#include "quan/trait_model.h"
#include "run/attempt.h"

namespace korvane {

// What the driver prepares once per run: the ticked QTLs (with empty
// candidate lists, a fresh copy for every attempt) and the residual share.
struct QuantitativeRun {
  std::vector<ActiveQtl> qtls;
  double residualShare = 0;
};

// Discrete model: two source pools mated for max(1, G - 1) generations; the
// sample takes trunc(N x "Proportion of YRI in final population: ") YRI
// individuals and the rest from the second population, alternating.
AttemptResult SimulateDiscreteQuantitative(const QuanParameters& p, const QuantitativeRun& run, AttemptContext& ctx);

// Continuous migration model: admixed populations written in index order
// until the sample is complete.
AttemptResult SimulateContinuousQuantitative(const QuanParameters& p, const QuantitativeRun& run, AttemptContext& ctx);

// The calibrated model's routines (quan/calibrated_quantitative.cpp): one
// population realization per replicate, the sample drawn from the children
// of its final generation, effects and residual scaled to the shares asked.
AttemptResult SimulateCalibratedDiscreteQuantitative(const QuanParameters& p, const QuantitativeRun& run,
                                                     AttemptContext& ctx);
AttemptResult SimulateCalibratedContinuousQuantitative(const QuanParameters& p, const QuantitativeRun& run,
                                                       AttemptContext& ctx);

// The calibrated discrete model's group means: the YRI group's quota is the
// share s of the sample (as in the specified model), and the means differ by
// b with s (1 - s) b^2 = Vs Vp around the mean asked.
struct CalibratedGroupMeans {
  double yri = 0;
  double second = 0;
};
CalibratedGroupMeans CalibratedDiscreteGroupMeans(const QuanParameters& p);

// The discrete model's group quotas.
struct GroupQuotas {
  int yri = 0;
  int second = 0;
};
GroupQuotas ComputeGroupQuotas(const QuanParameters& p);

}  // namespace korvane
