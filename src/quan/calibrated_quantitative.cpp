// The calibrated model of the quantitative study: one population
// realization per replicate (both source pools, or the admixed population,
// built once with the specified generations) and a sample of children of its
// final generation. The QTL effects are scaled so that, among those
// children, each QTL's genotype values have the variance its share asks; the
// residual is an exact normal draw with the variance the shares leave; in
// the discrete model the groups' means differ by the stratification share.
// The phenotype's mean and variance are then the ones asked.

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "population/admixture.h"
#include "population/allele_frequencies.h"
#include "population/calibrated_population.h"
#include "population/population_size.h"
#include "population/source_pools.h"
#include "quan/quantitative.h"
#include "run/sampling.h"

namespace korvane {
namespace {

// The frequency of the class-`effectClass` raising allele at `locus` among
// the haplotypes of `store`, in double precision.
double RaisingFrequency(const HaplotypeStore& store, int locus, int effectClass) {
  const AlleleClass raising = effectClass == 1 ? 1 : 2;
  long long count = 0;
  for (int i = 0; i < store.IndividualCount(); ++i) {
    count += (store.Allele(i, 0, locus) == raising) + (store.Allele(i, 1, locus) == raising);
  }
  return static_cast<double>(count) / (2.0 * store.IndividualCount());
}

// A group of the sample: the final generation its children come from, its
// share of the sample, its phenotype mean and, per QTL, the mean genotype
// value its children have.
struct TraitGroup {
  const HaplotypeStore* parents = nullptr;
  const std::vector<double>* ancestry = nullptr;  // per parent (continuous model)
  SampleSource label = SampleSource::kAdmixed;
  int quota = 0;     // individuals of the sample
  double share = 1;  // of the sample
  double mean = 0;
  std::vector<double> centre;  // per QTL, in units of the effect
  std::uint64_t streamGroup = 0;
  long long next = 0;  // the next child's number
};

class CalibratedTrait {
 public:
  CalibratedTrait(const QuanParameters& p, const QuantitativeRun& run, MarkerSet& markers, IndividualWriter& writer)
      : p_(p), qtls_(run.qtls), markers_(markers), writer_(writer) {}

  // The QTLs from the candidates of the frequency pass, each chosen uniformly
  // among all its candidates; the reason when a QTL has none.
  std::optional<std::string> Choose(std::span<const double> frequency, const std::vector<double>* difference,
                                    const CalibratedKeys& keys) {
    for (ActiveQtl& qtl : qtls_) qtl.candidates.clear();
    CollectQtlCandidates(frequency, difference, qtls_);
    if (!EveryQtlHasCandidates(qtls_)) return std::string("a QTL without candidate locus");
    LaneGenerator gen(keys.Key(CalibratedStream::kTraitChoice, 0, 0));
    for (ActiveQtl& qtl : qtls_) {
      const QtlCandidate& chosen = qtl.candidates[UniformBelow(gen, qtl.candidates.size())];
      qtl.locus = chosen.locus;
      qtl.effectClass = chosen.effectClass;
      qtl.frequency = chosen.frequency;
      writer_.SetNeverMissing(qtl.locus);
    }
    chosen_ = true;
    sums_.assign(qtls_.size(), {});
    return std::nullopt;
  }

  // The null loci outside the QTLs' regions; the replicate goes on with
  // fewer than asked when there are not enough, as in the specified model.
  void ChooseNull(std::span<const double> frequency) {
    std::vector<int> excluded;
    for (const ActiveQtl& qtl : qtls_) excluded.push_back(markers_.RegionOf(qtl.locus));
    ChooseNullLoci(markers_, NullEligibility(frequency, p_.nullMafMin, p_.nullMafMax), p_.nullLocusCount, excluded);
  }

  // The effects and the groups' centres and means. A child's two alleles at
  // a QTL are independent draws at its group's frequency q (its parents are
  // drawn independently), so its genotype value (+a, 0, -a) has mean
  // a (2q - 1) and variance 2q(1 - q) a^2. Each value is centred on its
  // group's mean, so the QTL adds nothing between the groups, and a is set
  // so that the variance over the groups, weighted by their shares, is the
  // QTL's share of the phenotype variance.
  void Calibrate(std::vector<TraitGroup>& groups, double residualShare) {
    for (TraitGroup& group : groups) group.centre.assign(qtls_.size(), 0.0);
    for (std::size_t k = 0; k < qtls_.size(); ++k) {
      ActiveQtl& qtl = qtls_[k];
      double variance = 0;
      for (TraitGroup& group : groups) {
        const double q = RaisingFrequency(*group.parents, qtl.locus, qtl.effectClass);
        group.centre[k] = 2 * q - 1;
        variance += group.share * 2 * q * (1 - q);
      }
      qtl.effect = variance > 0 ? std::sqrt(qtl.varianceComponent / variance) : 0.0;
    }
    residualSd_ = std::sqrt(std::max(0.0, residualShare) * p_.phenotypeVariance);
  }

  double ResidualSd() const { return residualSd_; }

  // The phenotype of individual i of `store` of `group` with the residual
  // `residual`; its QTL contributions join the sums of the realized shares.
  double Phenotype(const TraitGroup& group, const HaplotypeStore& store, int i, double residual) {
    double phenotype = group.mean + residual;
    for (std::size_t k = 0; k < qtls_.size(); ++k) {
      const ActiveQtl& qtl = qtls_[k];
      const double value =
          QtlEffect(qtl.effectClass, 1.0, store.Allele(i, 0, qtl.locus), store.Allele(i, 1, qtl.locus));
      const double contribution = qtl.effect * (value - group.centre[k]);
      sums_[k].Add(contribution);
      phenotype += contribution;
    }
    phenotypeSums_.Add(phenotype);
    return phenotype;
  }

  AttemptResult Result(OutputSet& output, std::optional<double> meanYri, std::optional<double> meanSecond,
                       const std::vector<float>& yri, const std::vector<float>& second,
                       const std::vector<float>& admixed) const {
    AttemptResult result;
    ReplicateTruth truth;
    truth.classOneYri = yri;
    truth.classOneSecond = second;
    truth.classOneAdmixed = admixed;
    truth.groupMeanYri = meanYri;
    truth.groupMeanSecond = meanSecond;
    for (std::size_t k = 0; k < qtls_.size(); ++k) {
      const ActiveQtl& qtl = qtls_[k];
      const bool known = chosen_ && writer_.Written() > 0;
      result.positionsAll.push_back(known ? qtl.locus + 1 : 0);
      result.positionsCandidate.push_back(known ? CandidatePosition(markers_, qtl.locus) : 0);
      if (!chosen_) continue;
      TraitLocusTruth locus;
      locus.position = qtl.locus + 1;
      locus.qtl = static_cast<int>(k) + 1;
      locus.riskClass = qtl.effectClass == 1 ? 1 : 2;
      locus.riskFrequency = qtl.frequency;
      locus.effect = qtl.effect;
      locus.varianceShare = p_.phenotypeVariance > 0 ? qtl.varianceComponent / p_.phenotypeVariance : 0.0;
      const double phenotypeVariance = phenotypeSums_.Variance();
      if (phenotypeSums_.count > 1 && phenotypeVariance > 0) {
        locus.realizedShare = sums_[k].Variance() / phenotypeVariance;
      }
      truth.traitLoci.push_back(locus);
    }
    result.nullLoci = markers_.nullCount;
    truth.causalPositionsAll = result.positionsAll;
    truth.isNull = markers_.isNull;
    output.Finish(truth);
    return result;
  }

 private:
  const QuanParameters& p_;
  std::vector<ActiveQtl> qtls_;
  MarkerSet& markers_;
  IndividualWriter& writer_;
  bool chosen_ = false;
  double residualSd_ = 0;
  std::vector<VarianceSums> sums_;
  VarianceSums phenotypeSums_;
};

// The sample: each group's quota of children of its final generation, with
// their residuals, in an order drawn uniformly; built in batches and written
// in that order.
void WriteSample(AttemptContext& ctx, const CalibratedKeys& keys, const MarkerSet& markers,
                 std::vector<TraitGroup>& groups, CalibratedTrait& trait, IndividualWriter& writer) {
  CalibratedBreeders breeders(ctx.team, markers);
  OffspringBatches batches(breeders, markers.total, ctx.localAncestry, -1);
  std::vector<int> order;
  for (std::size_t g = 0; g < groups.size(); ++g) order.insert(order.end(), groups[g].quota, static_cast<int>(g));
  LaneGenerator shuffle(keys.Key(CalibratedStream::kOffspringChoice, 0xFFFFFFFF, 0));
  for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[UniformBelow(shuffle, i)]);
  struct Taken {
    double ancestry, residual;
  };
  std::vector<Taken> taken;
  auto flush = [&] {
    batches.Flush(
        *groups[0].parents, groups.size() > 1 ? groups[1].parents : nullptr,
        [&](const HaplotypeStore& store, int index, int source, int tag) {
          const Taken& child = taken[static_cast<std::size_t>(tag)];
          const TraitGroup& group = groups[static_cast<std::size_t>(source)];
          const double phenotype = trait.Phenotype(group, store, index, child.residual);
          LaneGenerator gen(keys.Key(CalibratedStream::kWriting, 0, static_cast<std::uint64_t>(writer.NextId())));
          writer.Write(gen, store, index, child.ancestry, group.label, std::nullopt, phenotype);
        });
    taken.clear();
    ctx.refresh();
  };
  for (const int g : order) {
    TraitGroup& group = groups[static_cast<std::size_t>(g)];
    const long long k = group.next++;
    LaneGenerator gen(keys.Key(CalibratedStream::kOffspringChoice, group.streamGroup, static_cast<std::uint64_t>(k)));
    ChildPlan plan;
    const auto n = static_cast<std::uint64_t>(group.parents->IndividualCount());
    plan.parentA = static_cast<int>(UniformBelow(gen, n));
    plan.parentB = static_cast<int>(UniformBelow(gen, n));
    plan.key = keys.Key(CalibratedStream::kOffspring, group.streamGroup, static_cast<std::uint64_t>(k));
    const double residual = trait.ResidualSd() > 0 ? trait.ResidualSd() * StandardNormal(gen) : 0.0;
    const double ancestry = group.ancestry ? ((*group.ancestry)[static_cast<std::size_t>(plan.parentA)] +
                                              (*group.ancestry)[static_cast<std::size_t>(plan.parentB)]) /
                                                 2
                                           : (group.label == SampleSource::kYriPool ? 1.0 : 0.0);
    batches.Add(g, plan, static_cast<int>(taken.size()));
    taken.push_back({ancestry, residual});
    if (batches.Full()) flush();
  }
  if (!batches.Empty()) flush();
}

}  // namespace

CalibratedGroupMeans CalibratedDiscreteGroupMeans(const QuanParameters& p) {
  // The YRI group is the share s of the sample; the groups' means differ by
  // b with s (1 - s) b^2 = Vs Vp and average to the mean asked.
  const GroupQuotas quotas = ComputeGroupQuotas(p);
  const double s = p.sampleSize > 0 ? static_cast<double>(quotas.yri) / p.sampleSize : 0.0;
  const double b = s > 0 && s < 1 ? std::sqrt(p.stratificationVariance * p.phenotypeVariance / (s * (1 - s))) : 0.0;
  return {p.phenotypeMean + (1 - s) * b, p.phenotypeMean - s * b};
}

AttemptResult SimulateCalibratedDiscreteQuantitative(const QuanParameters& p, const QuantitativeRun& run,
                                                     AttemptContext& ctx) {
  CalibratedKeys keys{ctx.calibratedKey, 0};
  LaneGenerator markerGen(keys.Key(CalibratedStream::kMarkers, 0, 0));
  ReplicateLoci loci = PrepareCalibratedLoci(ctx, p.totalLocusCount, markerGen);
  IndividualWriter writer(loci.markers, p.missingRate, ctx.output);
  CalibratedTrait trait(p, run, loci.markers, writer);
  SourcePools pools(ctx.localAncestry);
  DiscardBudget discards;
  const CalibratedGroupMeans means = CalibratedDiscreteGroupMeans(p);
  std::vector<float> fYri, fSecond;
  if (p.sampleSize > 0) {
    for (;; ++keys.realization) {
      BuildCalibratedPools(keys, loci.markers, loci.panel, std::max(1, p.generationCount - 1), pools, ctx.refresh,
                           ctx.team);
      fYri = ClassOneFrequencies(pools.yri.current);
      fSecond = ClassOneFrequencies(pools.second.current);
      std::vector<double> pooled(loci.markers.total), difference(loci.markers.total);
      for (int g = 0; g < loci.markers.total; ++g) {
        pooled[g] = (static_cast<double>(fYri[g]) + static_cast<double>(fSecond[g])) / 2;
        difference[g] = std::fabs(static_cast<double>(fYri[g]) - static_cast<double>(fSecond[g]));
      }
      if (const std::optional<std::string> reason = trait.Choose(pooled, &difference, keys)) {
        if (!discards.Discard()) return AttemptResult{false, *reason, {}, {}};
        continue;
      }
      trait.ChooseNull(pooled);
      break;
    }
    writer.NextPopulation();
    std::vector<TraitGroup> groups(2);
    const GroupQuotas quotas = ComputeGroupQuotas(p);
    const double s = static_cast<double>(quotas.yri) / p.sampleSize;
    groups[0] = {&pools.yri.current, nullptr, SampleSource::kYriPool, quotas.yri, s, means.yri, {}, 0};
    groups[1] = {&pools.second.current, nullptr, SampleSource::kSecondPool, quotas.second, 1 - s, means.second, {}, 1};
    trait.Calibrate(groups, CalibratedResidualShare(p));
    WriteSample(ctx, keys, loci.markers, groups, trait, writer);
  }
  return trait.Result(ctx.output, means.yri, means.second, fYri, fSecond, {});
}

AttemptResult SimulateCalibratedContinuousQuantitative(const QuanParameters& p, const QuantitativeRun& run,
                                                       AttemptContext& ctx) {
  CalibratedKeys keys{ctx.calibratedKey, 0};
  LaneGenerator markerGen(keys.Key(CalibratedStream::kMarkers, 0, 0));
  ReplicateLoci loci = PrepareCalibratedLoci(ctx, p.totalLocusCount, markerGen);
  IndividualWriter writer(loci.markers, p.missingRate, ctx.output);
  CalibratedTrait trait(p, run, loci.markers, writer);
  AdmixedPopulation population(ctx.localAncestry);
  DiscardBudget discards;
  const int migrants = MigrantCount(p.yriPerGeneration);
  std::vector<float> admixed;
  if (p.sampleSize > 0) {
    for (;; ++keys.realization) {
      BuildCalibratedAdmixed(keys, loci.markers, loci.panel, migrants, p.yriFinal, MigrantPick::kPerRegion, population,
                             ctx.refresh, ctx.team);
      admixed = ClassOneFrequencies(population.current);
      const std::vector<double> f = Widen(admixed);
      if (const std::optional<std::string> reason = trait.Choose(f, nullptr, keys)) {
        if (!discards.Discard()) return AttemptResult{false, *reason, {}, {}};
        continue;
      }
      trait.ChooseNull(f);
      break;
    }
    writer.NextPopulation();
    std::vector<TraitGroup> groups(1);
    groups[0] = {
        &population.current, &population.ancestry, SampleSource::kAdmixed, p.sampleSize, 1.0, p.phenotypeMean, {}, 2};
    trait.Calibrate(groups, CalibratedResidualShare(p));
    WriteSample(ctx, keys, loci.markers, groups, trait, writer);
  }
  return trait.Result(ctx.output, std::nullopt, std::nullopt, {}, {}, admixed);
}

}  // namespace korvane
