// The calibrated model of the case-control study: one population
// realization per replicate (both source pools, or the admixed population,
// built once with the specified generations), and a sample of children of
// its final generation, each taken as a case or a control by its status,
// drawn from its genotype at the causal locus with the penetrances at full
// resolution. Cases and controls are thus exchangeable draws from one
// population, and a locus unlinked to the causal one is null at any sample
// size.

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <vector>

#include "population/bounds.h"
#include "population/calibrated_population.h"
#include "population/population_size.h"
#include "qual/case_control.h"
#include "qual/disease_model.h"
#include "run/sampling.h"

namespace korvane {
namespace {

// Children considered in a row without one taken before the run gives up:
// a status that never arises among the children of the population.
constexpr long long kMaxChildrenWithoutSample = 50'000'000;

// The statuses' probabilities by the number of risk alleles.
std::array<double, 3> Penetrances(const DiseaseModel& model) { return {model.f0, model.f1, model.f2}; }

void CheckCalibratedSampleCanFill(const DiseaseModel& model, bool casesShort, bool controlsShort) {
  const std::array<double, 3> f = Penetrances(model);
  const bool cases = f[0] > 0 || f[1] > 0 || f[2] > 0;
  const bool controls = f[0] < 1 || f[1] < 1 || f[2] < 1;
  const char* missing = casesShort && !cases ? "case" : controlsShort && !controls ? "control" : nullptr;
  if (missing) {
    throw RunFailure(fmt::format("no {} can ever arise: the penetrances are f0 = {:.6g}, f1 = {:.6g}, f2 = {:.6g}",
                                 missing, model.f0, model.f1, model.f2));
  }
}

// One source of children: a final generation and the next child's number.
struct ChildSource {
  const HaplotypeStore* parents = nullptr;
  const std::vector<double>* ancestry = nullptr;  // per parent (continuous model)
  std::uint64_t group = 0;
  SampleSource label = SampleSource::kAdmixed;
  long long next = 0;
};

// Decides the next child of `source`: its parents, the strands they pass on
// at the causal locus and, from the alleles there, whether it is affected.
bool DecideChild(const CalibratedKeys& keys, const DiseaseModel& model, ChildSource& source, ChildPlan& plan) {
  const long long k = source.next++;
  LaneGenerator gen(keys.Key(CalibratedStream::kOffspringChoice, source.group, static_cast<std::uint64_t>(k)));
  const auto n = static_cast<std::uint64_t>(source.parents->IndividualCount());
  plan.parentA = static_cast<int>(UniformBelow(gen, n));
  plan.parentB = static_cast<int>(UniformBelow(gen, n));
  plan.strandA = static_cast<int>(gen.Next() >> 63);
  plan.strandB = static_cast<int>(gen.Next() >> 63);
  plan.key = keys.Key(CalibratedStream::kOffspring, source.group, static_cast<std::uint64_t>(k));
  const AlleleClass a = source.parents->Allele(plan.parentA, plan.strandA, model.locus);
  const AlleleClass b = source.parents->Allele(plan.parentB, plan.strandB, model.locus);
  const int risk = (a == model.riskClass) + (b == model.riskClass);
  return UniformUnit(gen) < Penetrances(model)[static_cast<std::size_t>(risk)];
}

// A place of the sample: a case or a control, and the source it is drawn
// from. The counts of each are those asked, as in the specified model: a
// case-control sample matched on its sources, whose allelic test is then
// conservative at loci whose frequencies differ between the sources (the
// pooled frequency's variance includes the difference between them).
struct Slot {
  Affection affection;
  int source;
};

// The places of a sample: the counts of cases and controls of each source
// (the discrete model's four group targets, or the continuous model's two
// counts), in an order drawn uniformly, so that the files list the groups
// mixed as a random sample would.
std::vector<Slot> SampleSlots(const CalibratedKeys& keys, std::span<const std::array<int, 2>> countsBySource) {
  std::vector<Slot> slots;
  for (std::size_t source = 0; source < countsBySource.size(); ++source) {
    const auto [cases, controls] = countsBySource[source];
    for (int i = 0; i < cases; ++i) slots.push_back({Affection::kAffected, static_cast<int>(source)});
    for (int i = 0; i < controls; ++i) slots.push_back({Affection::kUnaffected, static_cast<int>(source)});
  }
  LaneGenerator gen(keys.Key(CalibratedStream::kOffspringChoice, 0xFFFFFFFF, 0));
  for (std::size_t i = slots.size(); i > 1; --i) std::swap(slots[i - 1], slots[UniformBelow(gen, i)]);
  return slots;
}

// What the routines share once the population and the causal locus are
// there: for each place of the sample, children of its source are decided
// until one has the place's status; the children are built in batches and
// written in the order of the places.
class CaseControlSample {
 public:
  CaseControlSample(AttemptContext& ctx, const CalibratedKeys& keys, const MarkerSet& markers,
                    const DiseaseModel& model, IndividualWriter& writer)
      : ctx_(ctx), keys_(keys), markers_(markers), model_(model), writer_(writer) {}

  // Returns the causal locus's positions once a case was written (0 and 0
  // otherwise).
  std::pair<int, int> Write(std::span<ChildSource> sources, const std::vector<Slot>& slots) {
    CalibratedBreeders breeders(ctx_.team, markers_);
    OffspringBatches batches(breeders, markers_.total, ctx_.localAncestry, model_.locus);
    int causalAll = 0, causalCandidate = 0;
    // The expected ancestry and the affection of each child of the batch.
    std::vector<std::pair<double, Affection>> taken;
    auto flush = [&] {
      batches.Flush(
          *sources[0].parents, sources.size() > 1 ? sources[1].parents : nullptr,
          [&](const HaplotypeStore& store, int index, int source, int tag) {
            const auto [ancestry, affection] = taken[static_cast<std::size_t>(tag)];
            LaneGenerator gen(keys_.Key(CalibratedStream::kWriting, 0, static_cast<std::uint64_t>(writer_.NextId())));
            writer_.Write(gen, store, index, ancestry, sources[static_cast<std::size_t>(source)].label, affection);
            if (affection == Affection::kAffected && causalAll == 0) {
              causalAll = model_.locus + 1;
              causalCandidate = CandidatePosition(markers_, model_.locus);
            }
          });
      taken.clear();
      ctx_.refresh();
    };
    for (const Slot& slot : slots) {
      ChildSource& source = sources[static_cast<std::size_t>(slot.source)];
      ChildPlan plan;
      for (long long tries = 1;; ++tries) {
        const bool affected = DecideChild(keys_, model_, source, plan);
        if (affected == (slot.affection == Affection::kAffected)) break;
        if (tries % (1 << 20) == 0) ctx_.refresh();
        if (tries >= kMaxChildrenWithoutSample) {
          throw RunFailure(fmt::format(
              "{} children in a row were not a {} ({} of {} written)", kMaxChildrenWithoutSample,
              slot.affection == Affection::kAffected ? "case" : "control", writer_.Written(), slots.size()));
        }
      }
      const std::vector<double>* parentAncestry = source.ancestry;
      const double ancestry = parentAncestry ? ((*parentAncestry)[static_cast<std::size_t>(plan.parentA)] +
                                                (*parentAncestry)[static_cast<std::size_t>(plan.parentB)]) /
                                                   2
                                             : (source.label == SampleSource::kYriPool ? 1.0 : 0.0);
      batches.Add(slot.source, plan, static_cast<int>(taken.size()));
      taken.emplace_back(ancestry, slot.affection);
      if (batches.Full()) flush();
    }
    if (!batches.Empty()) flush();
    return {causalAll, causalCandidate};
  }

 private:
  AttemptContext& ctx_;
  const CalibratedKeys& keys_;
  const MarkerSet& markers_;
  const DiseaseModel& model_;
  IndividualWriter& writer_;
};

TraitLocusTruth CalibratedCausalTruth(const DiseaseModel& model, const QualParameters& p) {
  TraitLocusTruth truth = CausalLocusTruth(model, p.prevalence, p.relativeRisk);
  truth.appliedAsDerived = true;
  return truth;
}

}  // namespace

AttemptResult SimulateCalibratedDiscreteCaseControl(const QualParameters& p, AttemptContext& ctx) {
  CalibratedKeys keys{ctx.calibratedKey, 0};
  LaneGenerator markerGen(keys.Key(CalibratedStream::kMarkers, 0, 0));
  ReplicateLoci loci = PrepareCalibratedLoci(ctx, p.totalLocusCount, markerGen);
  MarkerSet& markers = loci.markers;
  const FrequencyRange susceptibility{p.susceptibilityFreqMin, p.susceptibilityFreqMax};
  const FrequencyRange difference{p.freqDifferenceMin, p.freqDifferenceMax};
  IndividualWriter writer(markers, p.missingRate, ctx.output);
  SourcePools pools(ctx.localAncestry);
  DiscardBudget discards;
  DiseaseModel model;
  ReplicateTruth truth;
  std::pair<int, int> causal{0, 0};

  if (p.sampleSize > 0) {
    for (;; ++keys.realization) {
      BuildCalibratedPools(keys, markers, loci.panel, std::max(1, p.generationCount), pools, ctx.refresh, ctx.team);
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
      if (candidates.empty()) {
        if (!discards.Discard()) return AttemptResult{false, "no causal-locus candidate", {}, {}};
        continue;
      }
      LaneGenerator choice(keys.Key(CalibratedStream::kTraitChoice, 0, 0));
      model = DerivePenetrances(candidates[UniformBelow(choice, candidates.size())], p.prevalence, p.relativeRisk);
      truth.classOneYri = freqYri;
      truth.classOneSecond = freqSecond;
      writer.SetNeverMissing(model.locus);
      const CaseControlCounts counts = ComputeCaseControlCounts(p);
      CheckCalibratedSampleCanFill(model, counts.cases > 0, counts.controls > 0);
      // Too few null loci: the replicate goes on with those there are, as in
      // the specified model.
      const int causalRegion[] = {markers.RegionOf(model.locus)};
      ChooseNullLoci(markers, eligible, p.nullLocusCount, causalRegion);
      break;
    }
    writer.NextPopulation();
    ChildSource sources[] = {{&pools.yri.current, nullptr, 0, SampleSource::kYriPool},
                             {&pools.second.current, nullptr, 1, SampleSource::kSecondPool}};
    const GroupTargets targets = ComputeGroupTargets(p);
    const std::array<int, 2> counts[] = {{targets.casesYri, targets.controlsYri},
                                         {targets.casesSecond, targets.controlsSecond}};
    const std::vector<Slot> slots = SampleSlots(keys, counts);
    causal = CaseControlSample(ctx, keys, markers, model, writer).Write(sources, slots);
  }

  truth.causalPositionsAll = {causal.first};
  if (model.chosen) truth.traitLoci.push_back(CalibratedCausalTruth(model, p));
  truth.isNull = markers.isNull;
  ctx.output.Finish(truth);
  return AttemptResult{true, {}, {causal.first}, {causal.second}, markers.nullCount};
}

AttemptResult SimulateCalibratedContinuousCaseControl(const QualParameters& p, AttemptContext& ctx) {
  CalibratedKeys keys{ctx.calibratedKey, 0};
  LaneGenerator markerGen(keys.Key(CalibratedStream::kMarkers, 0, 0));
  ReplicateLoci loci = PrepareCalibratedLoci(ctx, p.totalLocusCount, markerGen);
  MarkerSet& markers = loci.markers;
  const CaseControlCounts wanted = ComputeCaseControlCounts(p);
  const FrequencyRange susceptibility{p.susceptibilityFreqMin, p.susceptibilityFreqMax};
  const int migrants = MigrantCount(p.yriPerGeneration);
  IndividualWriter writer(markers, p.missingRate, ctx.output);
  AdmixedPopulation population(ctx.localAncestry);
  DiscardBudget discards;
  DiseaseModel model;
  ReplicateTruth truth;
  std::pair<int, int> causal{0, 0};

  if (p.sampleSize > 0) {
    for (;; ++keys.realization) {
      BuildCalibratedAdmixed(keys, markers, loci.panel, migrants, p.yriFinal, MigrantPick::kPerIndividual, population,
                             ctx.refresh, ctx.team);
      const std::vector<float> freq = ClassOneFrequencies(population.current);
      std::vector<bool> eligible(markers.total);
      std::vector<CausalCandidate> candidates;
      for (int g = 0; g < markers.total; ++g) {
        eligible[g] = IsNullEligible(freq[g], p.nullMafMin, p.nullMafMax);
        if (auto c = CandidateByFrequency(freq[g], susceptibility, g)) candidates.push_back(*c);
      }
      if (candidates.empty()) {
        if (!discards.Discard()) return AttemptResult{false, "no causal-locus candidate", {}, {}};
        continue;
      }
      LaneGenerator choice(keys.Key(CalibratedStream::kTraitChoice, 0, 0));
      model = DerivePenetrances(candidates[UniformBelow(choice, candidates.size())], p.prevalence, p.relativeRisk);
      truth.classOneAdmixed = freq;
      writer.SetNeverMissing(model.locus);
      CheckCalibratedSampleCanFill(model, wanted.cases > 0, wanted.controls > 0);
      const int causalRegion[] = {markers.RegionOf(model.locus)};
      ChooseNullLoci(markers, eligible, p.nullLocusCount, causalRegion);
      break;
    }
    writer.NextPopulation();
    ChildSource source{&population.current, &population.ancestry, 2, SampleSource::kAdmixed};
    const std::array<int, 2> counts[] = {{wanted.cases, wanted.controls}};
    const std::vector<Slot> slots = SampleSlots(keys, counts);
    CaseControlSample(ctx, keys, markers, model, writer).Write(std::span<ChildSource>(&source, 1), slots);
  }
  // The positions follow from the chosen model, also when no case was
  // written; without a model (an empty sample) both are 0.
  if (model.chosen) causal = {model.locus + 1, CandidatePosition(markers, model.locus)};

  truth.causalPositionsAll = {causal.first};
  if (model.chosen) truth.traitLoci.push_back(CalibratedCausalTruth(model, p));
  truth.isNull = markers.isNull;
  ctx.output.Finish(truth);
  return AttemptResult{true, {}, {causal.first}, {causal.second}, markers.nullCount};
}

}  // namespace korvane
