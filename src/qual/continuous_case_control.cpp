#include <fmt/format.h>

#include <vector>

#include "population/admixture.h"
#include "population/bounds.h"
#include "qual/case_control.h"

#include "population/population_size.h"
#include "qual/disease_model.h"
#include "run/sampling.h"

namespace korvane {

CaseControlCounts ComputeCaseControlCounts(const QualParameters& p) {
  CaseControlCounts counts;
  counts.cases = static_cast<int>(p.sampleSize * p.caseProportion);
  counts.controls = p.sampleSize - counts.cases;
  return counts;
}

AttemptResult SimulateContinuousCaseControl(const QualParameters& p, AttemptContext& ctx) {
  constexpr int n = kPopulationSize;
  RandomGenerator& gen = ctx.gen;
  const CaseControlCounts wanted = ComputeCaseControlCounts(p);
  int cases = 0, controls = 0;
  ReplicateLoci loci = PrepareLoci(ctx, p.totalLocusCount);
  MarkerSet& markers = loci.markers;
  const ReferencePanel& panel = loci.panel;
  const int migrants = MigrantCount(p.yriPerGeneration);
  DiscardBudget discards;

  const IndexPicker panelPicker(panel.panelSize);
  const FrequencyRange susceptibility{p.susceptibilityFreqMin, p.susceptibilityFreqMax};
  IndividualWriter writer(markers, p.missingRate, ctx.output);
  DiseaseModel model;
  AdmixedPopulation population(ctx.localAncestry);
  std::vector<DiseaseStatus> status(n);
  int unproductive = 0;
  bool statusesDrawn = false;
  ReplicateTruth truth;  // the frequencies the causal locus was chosen from

  auto drawStatuses = [&] {
    const HaplotypeStore& pop = population.current;
    for (int i = 0; i < n; ++i) {
      status[i] =
          DiseaseStatusOf(model, pop.Allele(i, 0, model.locus), pop.Allele(i, 1, model.locus), DrawThousandths(gen));
    }
  };

  while (cases < wanted.cases || controls < wanted.controls) {
    writer.NextPopulation();
    BuildAdmixedPopulation(gen, markers, panel, panelPicker, migrants, p.yriFinal, MigrantPick::kPerIndividual,
                           population, ctx.refresh, ctx.team);
    statusesDrawn = false;
    if (!model.chosen) {
      const std::vector<float> freq = ClassOneFrequencies(population.current);
      std::vector<bool> eligible(markers.total);
      std::vector<CausalCandidate> candidates;
      for (int g = 0; g < markers.total; ++g) {
        eligible[g] = IsNullEligible(freq[g], p.nullMafMin, p.nullMafMax);
        if (auto c = CandidateByFrequency(freq[g], susceptibility, g)) candidates.push_back(*c);
      }
      std::string reason;
      if (candidates.empty()) {
        reason = "no causal-locus candidate";
      } else {
        model = DerivePenetrances(ChooseCausalLocus(gen, candidates), p.prevalence, p.relativeRisk);
        truth.classOneAdmixed = freq;
        writer.SetNeverMissing(model.locus);
        CheckSampleCanFill(model, cases < wanted.cases, controls < wanted.controls);
        drawStatuses();
        statusesDrawn = true;
        const int causalRegion[] = {markers.RegionOf(model.locus)};
        const int found = ChooseNullLoci(markers, eligible, p.nullLocusCount, causalRegion);
        if (found < p.nullLocusCount) reason = fmt::format("too few null loci ({} of {})", found, p.nullLocusCount);
      }
      if (!reason.empty()) {
        if (!discards.Discard()) return AttemptResult{false, reason, {}, {}};
        continue;
      }
    }
    if (!statusesDrawn) drawStatuses();

    const int before = writer.Written();
    for (int i = 0; i < n; ++i) {
      if (status[i] == kCase && cases < wanted.cases) {
        ++cases;
        writer.Write(gen, population.current, i, population.ancestry[i], SampleSource::kAdmixed, Affection::kAffected);
      } else if (status[i] == kControl && controls < wanted.controls) {
        ++controls;
        writer.Write(gen, population.current, i, population.ancestry[i], SampleSource::kAdmixed,
                     Affection::kUnaffected);
      }
    }
    unproductive = writer.Written() == before ? unproductive + 1 : 0;
    if ((cases < wanted.cases || controls < wanted.controls) && unproductive >= kMaxUnproductiveCycles) {
      throw RunFailure(fmt::format("{} consecutive populations added nobody to the sample ({} of {} written)",
                                   kMaxUnproductiveCycles, writer.Written(), p.sampleSize));
    }
  }

  // The positions follow from the chosen model, also when no case was
  // written; without a model (an empty sample) both are 0.
  const int all = model.chosen ? model.locus + 1 : 0;
  const int candidate = model.chosen ? CandidatePosition(markers, model.locus) : 0;
  truth.causalPositionsAll = {all};
  if (model.chosen) truth.traitLoci.push_back(CausalLocusTruth(model, p.prevalence, p.relativeRisk));
  truth.isNull = markers.isNull;
  ctx.output.Finish(truth);
  return AttemptResult{true, {}, {all}, {candidate}, markers.nullCount};
}

}  // namespace korvane
