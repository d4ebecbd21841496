#include "quan/QUAN.h"

#include <fmt/format.h>

#include <filesystem>
#include <string>
#include <vector>

#include "population/admixture.h"
#include "quan/quantitative.h"
#include "run/run_driver.h"

namespace korvane {
namespace {

// Parameters under which a replicate would divide by zero, draw from an
// empty span or never end, refused before anything is written.
std::vector<std::string> QuanRefusals(const QuanParameters& p, double residualShare, bool calibrated) {
  std::vector<std::string> reasons;
  if (p.replicateCount == 0 || p.sampleSize == 0) return reasons;
  const bool discrete = p.modelKind == ModelKind::kDiscrete;
  if (calibrated) {
    // The calibrated model draws the residual exactly, at any spread; what it
    // needs is a residual share of at least 0 and, for a stratification
    // share, both groups.
    const double calibratedShare = CalibratedResidualShare(p);
    if (calibratedShare < 0) {
      reasons.push_back(fmt::format(
          "the ticked QTLs' Phenotype variance explained{} add up to {:.15g}, more than 1, so the calibrated model "
          "has no residual variance left",
          discrete ? " and Variance explained by population stratification:" : "", 1 - calibratedShare));
    }
    const GroupQuotas quotas = ComputeGroupQuotas(p);
    if (discrete && p.stratificationVariance > 0 && (quotas.yri == 0 || quotas.second == 0)) {
      reasons.push_back(fmt::format(
          "Variance explained by population stratification: {} needs both groups, but Proportion of YRI in final "
          "population: {} with Sample size: {} puts every individual in one",
          p.stratificationVariance, p.yriFinalDiscrete, p.sampleSize));
    }
  } else if (residualShare > 0) {
    if (!NormalDensityTopFits(residualShare * p.phenotypeVariance)) {
      reasons.push_back(fmt::format(
          "Phenotype variance: {} and the QTLs' Phenotype variance explained leave a residual share of {:.9g}, so "
          "the residual draw's spread, share x variance = {:.3g}, is too small to draw from: it must be at least "
          "about 1.86e-7, or the shares must add up to exactly 1 for no residual at all",
          p.phenotypeVariance, residualShare, residualShare * p.phenotypeVariance));
    } else if (!NormalDrawHasSpan(residualShare * p.phenotypeVariance, p.phenotypeVariance)) {
      reasons.push_back(fmt::format(
          "Phenotype variance: {} with a residual share of {} leaves no values for the residual draw (the variance "
          "must be at least 0.001 and the residual share x variance at most about 398.94)",
          p.phenotypeVariance, residualShare));
    }
  }
  if (discrete && p.yriFinalDiscrete == 1 && !calibrated) {
    reasons.push_back("Proportion of YRI in final population: 1 leaves no second population to set the group means");
  }
  for (std::size_t k = 0; k < p.qtlRows.size(); ++k) {
    const QtlRow& row = p.qtlRows[k];
    if (row.enabled == 0) continue;
    if (row.freqMin > row.freqMax) {
      reasons.push_back(fmt::format("QTL{} Frequency of disease susceptible allele: min {} is above max {}", k + 1,
                                    row.freqMin, row.freqMax));
    }
    const QtlDifferenceRow& diff = p.qtlDifferenceRows[k];
    if (discrete && diff.diffMin > diff.diffMax) {
      reasons.push_back(
          fmt::format("QTL{} Frequency difference: min {} is above max {}", k + 1, diff.diffMin, diff.diffMax));
    }
  }
  if (!discrete) {
    if (auto reason = UnreachableTargetReason(p.yriPerGeneration, p.yriFinal)) reasons.push_back(*reason);
  }
  return reasons;
}

}  // namespace

RunOutcome QuanStudy::Run(const RunOptions& options, FormHost& host) {
  const QuanParameters& p = parameters;
  QuantitativeRun run;
  run.qtls = ActiveQtls(p);
  run.residualShare = ResidualVarianceShare(p);
  if (const auto reasons = QuanRefusals(p, run.residualShare, options.calibrated); !reasons.empty()) {
    return RefusedRun(reasons);
  }
  if (!options.calibrated && run.residualShare < 0) {
    // The variance check opens and closes the logs, writing nothing.
    if (p.outputDirectory.empty()) return RefusedRun({"Output directory: is empty"});
    try {
      std::error_code ec;
      std::filesystem::create_directories(p.outputDirectory, ec);
      CausalLogs logs(p.outputDirectory, StudyKind::kQuantitative, options.lineEnds);
      logs.Close();
    } catch (const OutputError& e) {
      RunOutcome outcome;
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = e.what();
      return outcome;
    }
    return RefusedRun({fmt::format("QTL variance shares add up to {:.15g}, more than 1", 1 - run.residualShare)});
  }

  DriverPlan plan;
  plan.study = StudyKind::kQuantitative;
  plan.outputDirectory = p.outputDirectory;
  plan.replicateCount = p.replicateCount;
  plan.sampleSize = p.sampleSize;
  plan.nullLociRequested = p.nullLocusCount;
  plan.locusCount = p.totalLocusCount;
  plan.missingRate = p.missingRate;
  plan.formats.Choose("eigensoft", p.writeEigensoft != 0)
      .Choose("plink", p.writePlink != 0)
      .Choose("gc", p.writeGc != 0);
  plan.activeQtlCount = static_cast<int>(run.qtls.size());
  plan.statusText = &parameters.statusText;
  plan.model = [this] { return parameters.modelKind; };
  plan.simulate = [this, &run](ModelKind model, AttemptContext& ctx) {
    if (ctx.calibrated) {
      return model == ModelKind::kDiscrete ? SimulateCalibratedDiscreteQuantitative(parameters, run, ctx)
                                           : SimulateCalibratedContinuousQuantitative(parameters, run, ctx);
    }
    return model == ModelKind::kDiscrete ? SimulateDiscreteQuantitative(parameters, run, ctx)
                                         : SimulateContinuousQuantitative(parameters, run, ctx);
  };
  plan.logEntries = [](CausalLogs& logs, ModelKind model, const AttemptResult& result) {
    logs.QtlEntries(result.positionsAll, result.positionsCandidate, model == ModelKind::kContinuous);
  };
  return RunReplicates(plan, options, host);
}

}  // namespace korvane
