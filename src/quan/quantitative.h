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

// The discrete model's group quotas.
struct GroupQuotas {
  int yri = 0;
  int second = 0;
};
GroupQuotas ComputeGroupQuotas(const QuanParameters& p);

}  // namespace korvane
