#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "population/bounds.h"
#include "qual/case_control.h"

#include "population/population_size.h"
#include "population/source_pools.h"
#include "qual/disease_model.h"
#include "run/sampling.h"

namespace korvane {

GroupTargets ComputeGroupTargets(const QualParameters& p) {
  const double n = p.sampleSize;
  GroupTargets t;
  t.casesYri = static_cast<int>(n * p.caseProportion * p.yriInCases);
  t.casesSecond = static_cast<int>(n * p.caseProportion) - t.casesYri;
  t.controlsYri = static_cast<int>(n * (1 - p.caseProportion) * p.yriInControls);
  t.controlsSecond = p.sampleSize - t.casesYri - t.casesSecond - t.controlsYri;
  return t;
}

AttemptResult SimulateDiscreteCaseControl(const QualParameters& p, AttemptContext& ctx) {
  RandomGenerator& gen = ctx.gen;
  const GroupTargets targets = ComputeGroupTargets(p);
  std::array<int, 4> written{};  // casesYri, casesSecond, controlsYri, controlsSecond
  const std::array<int, 4> wanted{targets.casesYri, targets.casesSecond, targets.controlsYri, targets.controlsSecond};
  ReplicateLoci loci = PrepareLoci(ctx, p.totalLocusCount);
  MarkerSet& markers = loci.markers;
  const ReferencePanel& panel = loci.panel;

  const IndexPicker panelPicker(panel.panelSize);
  const FrequencyRange susceptibility{p.susceptibilityFreqMin, p.susceptibilityFreqMax};
  const FrequencyRange difference{p.freqDifferenceMin, p.freqDifferenceMax};
  IndividualWriter writer(markers, p.missingRate, ctx.output);
  DiseaseModel model;
  SourcePools pools(ctx.localAncestry);
  std::array<DiseaseStatus, kPopulationSize> statusYri{}, statusSecond{};
  DiscardBudget discards;
  int unproductive = 0;
  int causalAll = 0, causalCandidate = 0;
  ReplicateTruth truth;  // the frequencies the causal locus was chosen from

  auto shortOf = [&](int group) { return written[group] < wanted[group]; };
  auto anyShort = [&] { return shortOf(0) || shortOf(1) || shortOf(2) || shortOf(3); };
  auto drawStatuses = [&] {
    for (int i = 0; i < kPopulationSize; ++i) {
      const auto& y = pools.yri.current;
      statusYri[i] =
          DiseaseStatusOf(model, y.Allele(i, 0, model.locus), y.Allele(i, 1, model.locus), DrawThousandths(gen));
      const auto& s = pools.second.current;
      statusSecond[i] =
          DiseaseStatusOf(model, s.Allele(i, 0, model.locus), s.Allele(i, 1, model.locus), DrawThousandths(gen));
    }
  };

  std::string reason;
  while (anyShort()) {
    writer.NextPopulation();
    BuildFounders(gen, markers, panel, panelPicker, pools, ctx.refresh, ctx.team);
    RunGenerations(gen, markers, std::max(1, p.generationCount), pools, ctx.refresh, ctx.team);

    if (!model.chosen) {
      const std::vector<float> freqYri = ClassOneFrequencies(pools.yri.current);
      const std::vector<float> freqSecond = ClassOneFrequencies(pools.second.current);
      std::vector<bool> eligible(markers.total);
      std::vector<CausalCandidate> candidates;
      for (int g = 0; g < markers.total; ++g) {
        const double m = (static_cast<double>(freqYri[g]) + static_cast<double>(freqSecond[g])) / 2;
        eligible[g] = IsNullEligible(m, p.nullMafMin, p.nullMafMax);
        if (auto c = IsCausalCandidate(freqYri[g], freqSecond[g], susceptibility, difference, g)) {
          candidates.push_back(*c);
        }
      }
      bool failed = candidates.empty();
      if (failed) {
        reason = "no causal-locus candidate";
      } else {
        model = DerivePenetrances(ChooseCausalLocus(gen, candidates), p.prevalence, p.relativeRisk);
        truth.classOneYri = freqYri;
        truth.classOneSecond = freqSecond;
        writer.SetNeverMissing(model.locus);
        CheckSampleCanFill(model, shortOf(0) || shortOf(1), shortOf(2) || shortOf(3));
        drawStatuses();
        const int causalRegion[] = {markers.RegionOf(model.locus)};
        const int found = ChooseNullLoci(markers, eligible, p.nullLocusCount, causalRegion);
        if (found < p.nullLocusCount) {
          failed = true;
          reason = fmt::format("too few null loci ({} of {})", found, p.nullLocusCount);
        }
      }
      if (failed) {
        if (!discards.Discard()) return AttemptResult{false, reason, {}, {}};
        continue;
      }
    } else {
      drawStatuses();
    }

    // The sweep: each pool index can give a YRI and a second-population
    // individual, each as a case or as a control.
    const int before = writer.Written();
    auto take = [&](int group, const HaplotypeStore& pool, int i, double ancestry, Affection affection) {
      ++written[group];
      writer.Write(gen, pool, i, ancestry, ancestry == 1.0 ? SampleSource::kYriPool : SampleSource::kSecondPool,
                   affection);
      if (affection == Affection::kAffected && causalAll == 0) {
        causalAll = model.locus + 1;
        causalCandidate = CandidatePosition(markers, model.locus);
      }
    };
    for (int i = 0; i < kPopulationSize; ++i) {
      if (statusYri[i] == kCase && shortOf(0)) take(0, pools.yri.current, i, 1.0, Affection::kAffected);
      if (statusSecond[i] == kCase && shortOf(1)) take(1, pools.second.current, i, 0.0, Affection::kAffected);
      if (statusYri[i] == kControl && shortOf(2)) take(2, pools.yri.current, i, 1.0, Affection::kUnaffected);
      if (statusSecond[i] == kControl && shortOf(3)) take(3, pools.second.current, i, 0.0, Affection::kUnaffected);
    }
    unproductive = writer.Written() == before ? unproductive + 1 : 0;
    if (anyShort() && unproductive >= kMaxUnproductiveCycles) {
      throw RunFailure(fmt::format("{} consecutive cycles added nobody to the sample ({} of {} written)",
                                   kMaxUnproductiveCycles, writer.Written(), p.sampleSize));
    }
  }

  truth.causalPositionsAll = {causalAll};
  if (model.chosen) truth.traitLoci.push_back(CausalLocusTruth(model, p.prevalence, p.relativeRisk));
  truth.isNull = markers.isNull;
  ctx.output.Finish(truth);
  return AttemptResult{true, {}, {causalAll}, {causalCandidate}, markers.nullCount};
}

}  // namespace korvane
