#include "qual/QUAL.h"

#include <fmt/format.h>

#include <string>
#include <vector>

#include "population/admixture.h"
#include "qual/case_control.h"
#include "run/run_driver.h"

namespace korvane {
namespace {

// Parameters under which no replicate could ever complete, refused before
// anything is written, with the fields' form labels.
std::vector<std::string> QualRefusals(const QualParameters& p) {
  std::vector<std::string> reasons;
  if (p.replicateCount == 0 || p.sampleSize == 0) return reasons;
  const bool discrete = p.modelKind == ModelKind::kDiscrete;
  if (p.totalLocusCount == 0) {
    reasons.push_back("Total number of loci: is 0, so no causal locus can exist");
  }
  int cases = 0;
  if (discrete) {
    const GroupTargets t = ComputeGroupTargets(p);
    cases = t.casesYri + t.casesSecond;
  } else {
    cases = ComputeCaseControlCounts(p).cases;
  }
  if (p.prevalence == 0 && cases > 0) {
    reasons.push_back(fmt::format("Disease prevalence: is 0, so none of the {} cases requested can arise", cases));
  }
  if (p.susceptibilityFreqMin > p.susceptibilityFreqMax) {
    reasons.push_back(fmt::format("Frequency of disease susceptible allele: min {} is above max {}",
                                  p.susceptibilityFreqMin, p.susceptibilityFreqMax));
  }
  if (discrete && p.freqDifferenceMin > p.freqDifferenceMax) {
    reasons.push_back(
        fmt::format("Frequency difference: min {} is above max {}", p.freqDifferenceMin, p.freqDifferenceMax));
  }
  if (!discrete) {
    if (auto reason = UnreachableTargetReason(p.yriPerGeneration, p.yriFinal)) reasons.push_back(*reason);
  }
  return reasons;
}

}  // namespace

RunOutcome QualStudy::Run(const RunOptions& options, FormHost& host) {
  const QualParameters& p = parameters;
  if (const auto reasons = QualRefusals(p); !reasons.empty()) return RefusedRun(reasons);
  DriverPlan plan;
  plan.study = StudyKind::kQualitative;
  plan.outputDirectory = p.outputDirectory;
  plan.replicateCount = p.replicateCount;
  plan.sampleSize = p.sampleSize;
  plan.nullLociRequested = p.nullLocusCount;
  plan.locusCount = p.totalLocusCount;
  plan.missingRate = p.missingRate;
  plan.formats.Choose("eigensoft", p.writeEigensoft == 1)
      .Choose("admixmap", p.writeAdmixmap == 1)
      .Choose("plink", p.writePlink == 1)
      .Choose("structure-strat", p.writeStructureStrat == 1)
      .Choose("gc", p.writeGc == 1);
  plan.statusText = &parameters.statusText;
  plan.model = [this] { return parameters.modelKind; };
  plan.simulate = [this](ModelKind model, AttemptContext& ctx) {
    if (ctx.calibrated) {
      return model == ModelKind::kDiscrete ? SimulateCalibratedDiscreteCaseControl(parameters, ctx)
                                           : SimulateCalibratedContinuousCaseControl(parameters, ctx);
    }
    return model == ModelKind::kDiscrete ? SimulateDiscreteCaseControl(parameters, ctx)
                                         : SimulateContinuousCaseControl(parameters, ctx);
  };
  plan.logEntries = [](CausalLogs& logs, ModelKind, const AttemptResult& result) {
    logs.CausalEntry(result.positionsAll.at(0), result.positionsCandidate.at(0));
  };
  return RunReplicates(plan, options, host);
}

}  // namespace korvane
