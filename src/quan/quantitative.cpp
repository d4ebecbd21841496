#include "quan/quantitative.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "population/admixture.h"
#include "population/allele_frequencies.h"
#include "population/population_size.h"
#include "population/source_pools.h"
#include "run/sampling.h"

namespace korvane {
namespace {

constexpr int kN = kPopulationSize;

// The QTLs of one attempt: chosen in the first cycle whose candidate check
// passes, fixed for the rest of the attempt.
class TraitState {
 public:
  TraitState(const QuanParameters& p, const QuantitativeRun& run, ReplicateLoci& loci, IndividualWriter& writer)
      : p_(p), run_(run), qtls_(run.qtls), markers_(loci.markers), writer_(writer) {}

  bool Chosen() const { return chosen_; }
  const std::vector<ActiveQtl>& Qtls() const { return qtls_; }

  // The first cycle's trait steps up to the phenotypes: the frequency pass,
  // the candidate check and the QTL choice. Returns the reason when the
  // check fails.
  // `yri` and `second` are the two pools' frequencies (discrete model), or
  // `admixed` the admixed population's, kept for the truth files.
  std::optional<std::string> ChooseFrom(std::span<const double> frequency, const std::vector<double>* difference,
                                        RandomGenerator& gen, const std::vector<float>& yri,
                                        const std::vector<float>& second, const std::vector<float>& admixed) {
    CollectQtlCandidates(frequency, difference, qtls_);
    if (!EveryQtlHasCandidates(qtls_)) return std::string("a QTL without candidate locus");
    ChooseQtls(gen, qtls_);
    chosen_ = true;
    truth_.classOneYri = yri;
    truth_.classOneSecond = second;
    truth_.classOneAdmixed = admixed;
    sums_.assign(qtls_.size(), {});
    for (const ActiveQtl& qtl : qtls_) writer_.SetNeverMissing(qtl.locus);
    return std::nullopt;
  }

  // The null-locus choice after the first cycle's phenotypes: the regions of
  // the QTLs contribute none.
  std::optional<std::string> ChooseNull(std::span<const double> frequency) {
    std::vector<int> excluded;
    for (const ActiveQtl& qtl : qtls_) excluded.push_back(markers_.RegionOf(qtl.locus));
    const std::vector<bool> eligible = NullEligibility(frequency, p_.nullMafMin, p_.nullMafMax);
    const int found = ChooseNullLoci(markers_, eligible, p_.nullLocusCount, excluded);
    if (found < p_.nullLocusCount) return fmt::format("too few null loci ({} of {})", found, p_.nullLocusCount);
    return std::nullopt;
  }

  double Phenotype(RandomGenerator& gen, double start, const HaplotypeStore& population, int i) const {
    return start + Residual{run_.residualShare, p_.phenotypeVariance}.Draw(gen) + QtlSum(qtls_, population, i);
  }

  // An individual written with `phenotype`: its QTL genotype values join the
  // sums from which the realized variance shares are measured.
  void Observe(const HaplotypeStore& population, int i, double phenotype) {
    phenotypeSums_.Add(phenotype);
    for (std::size_t k = 0; k < qtls_.size(); ++k) {
      const ActiveQtl& qtl = qtls_[k];
      sums_[k].Add(QtlEffect(qtl.effectClass, qtl.effect, population.Allele(i, 0, qtl.locus),
                             population.Allele(i, 1, qtl.locus)));
    }
  }

  void SetGroupMeans(const GroupMeans& means) {
    truth_.groupMeanYri = means.yri;
    truth_.groupMeanSecond = means.other;
  }

  // The logs' entries: each QTL's position among all loci and among the
  // non-null loci, once an individual was written; 0 otherwise.
  AttemptResult Result(OutputSet& output) const {
    AttemptResult result;
    for (const ActiveQtl& qtl : qtls_) {
      const bool known = chosen_ && writer_.Written() > 0;
      result.positionsAll.push_back(known ? qtl.locus + 1 : 0);
      result.positionsCandidate.push_back(known ? CandidatePosition(markers_, qtl.locus) : 0);
    }
    result.nullLoci = markers_.nullCount;
    ReplicateTruth truth = truth_;
    truth.causalPositionsAll = result.positionsAll;
    for (std::size_t k = 0; chosen_ && k < qtls_.size(); ++k) {
      const ActiveQtl& qtl = qtls_[k];
      TraitLocusTruth locus;
      locus.position = qtl.locus + 1;
      locus.qtl = static_cast<int>(k) + 1;
      locus.riskClass = qtl.effectClass == 1 ? 1 : 2;
      locus.riskFrequency = qtl.frequency;
      locus.effect = qtl.effect;
      locus.varianceShare = p_.phenotypeVariance > 0 ? qtl.varianceComponent / p_.phenotypeVariance : 0.0;
      const double phenotypeVariance = phenotypeSums_.Variance();
      if (phenotypeSums_.count > 1 && phenotypeVariance > 0)
        locus.realizedShare = sums_[k].Variance() / phenotypeVariance;
      truth.traitLoci.push_back(locus);
    }
    truth.isNull = markers_.isNull;
    output.Finish(truth);
    return result;
  }

 private:
  const QuanParameters& p_;
  const QuantitativeRun& run_;
  std::vector<ActiveQtl> qtls_;
  MarkerSet& markers_;
  IndividualWriter& writer_;
  bool chosen_ = false;

  ReplicateTruth truth_;
  std::vector<VarianceSums> sums_;
  VarianceSums phenotypeSums_;
};

}  // namespace

GroupQuotas ComputeGroupQuotas(const QuanParameters& p) {
  GroupQuotas quotas;
  quotas.yri = static_cast<int>(p.sampleSize * p.yriFinalDiscrete);
  quotas.second = p.sampleSize - quotas.yri;
  return quotas;
}

AttemptResult SimulateDiscreteQuantitative(const QuanParameters& p, const QuantitativeRun& run, AttemptContext& ctx) {
  RandomGenerator& gen = ctx.gen;
  const GroupMeans means = DiscreteGroupMeans(p);
  const GroupQuotas quotas = ComputeGroupQuotas(p);
  int yriWritten = 0, secondWritten = 0;
  ReplicateLoci loci = PrepareLoci(ctx, p.totalLocusCount);
  DiscardBudget discards;

  const IndexPicker panelPicker(loci.panel.panelSize);
  IndividualWriter writer(loci.markers, p.missingRate, ctx.output);
  TraitState trait(p, run, loci, writer);
  trait.SetGroupMeans(means);
  SourcePools pools(ctx.localAncestry);
  std::vector<double> phenotypeYri(kN), phenotypeSecond(kN);
  auto compose = [&] {
    for (int i = 0; i < kN; ++i) {
      phenotypeYri[i] = trait.Phenotype(gen, means.yri, pools.yri.current, i);
      phenotypeSecond[i] = trait.Phenotype(gen, means.other, pools.second.current, i);
    }
  };

  while (yriWritten < quotas.yri || secondWritten < quotas.second) {
    writer.NextPopulation();
    BuildFounders(gen, loci.markers, loci.panel, panelPicker, pools, ctx.refresh, ctx.team);
    RunGenerations(gen, loci.markers, std::max(1, p.generationCount - 1), pools, ctx.refresh, ctx.team);
    if (!trait.Chosen()) {
      const std::vector<float> fYri = ClassOneFrequencies(pools.yri.current);
      const std::vector<float> fOther = ClassOneFrequencies(pools.second.current);
      std::vector<double> pooled(loci.markers.total), difference(loci.markers.total);
      for (int g = 0; g < loci.markers.total; ++g) {
        pooled[g] = (static_cast<double>(fYri[g]) + static_cast<double>(fOther[g])) / 2;
        difference[g] = std::fabs(static_cast<double>(fYri[g]) - static_cast<double>(fOther[g]));
      }
      std::optional<std::string> reason = trait.ChooseFrom(pooled, &difference, gen, fYri, fOther, {});
      if (!reason) {
        compose();
        reason = trait.ChooseNull(pooled);
      }
      if (reason) {
        if (!discards.Discard()) return AttemptResult{false, *reason, {}, {}};
        continue;
      }
    } else {
      compose();
    }
    // The two groups alternate until the smaller quota is full.
    for (int i = 0; i < kN; ++i) {
      if (yriWritten < quotas.yri) {
        ++yriWritten;
        writer.Write(gen, pools.yri.current, i, 1.0, SampleSource::kYriPool, std::nullopt, phenotypeYri[i]);
        trait.Observe(pools.yri.current, i, phenotypeYri[i]);
      }
      if (secondWritten < quotas.second) {
        ++secondWritten;
        writer.Write(gen, pools.second.current, i, 0.0, SampleSource::kSecondPool, std::nullopt, phenotypeSecond[i]);
        trait.Observe(pools.second.current, i, phenotypeSecond[i]);
      }
    }
  }
  return trait.Result(ctx.output);
}

AttemptResult SimulateContinuousQuantitative(const QuanParameters& p, const QuantitativeRun& run, AttemptContext& ctx) {
  RandomGenerator& gen = ctx.gen;
  ReplicateLoci loci = PrepareLoci(ctx, p.totalLocusCount);
  const int migrants = MigrantCount(p.yriPerGeneration);
  DiscardBudget discards;

  const IndexPicker panelPicker(loci.panel.panelSize);
  IndividualWriter writer(loci.markers, p.missingRate, ctx.output);
  TraitState trait(p, run, loci, writer);
  AdmixedPopulation population(ctx.localAncestry);
  std::vector<double> phenotype(kN);
  auto compose = [&] {
    for (int i = 0; i < kN; ++i) phenotype[i] = trait.Phenotype(gen, p.phenotypeMean, population.current, i);
  };

  while (writer.Written() < p.sampleSize) {
    writer.NextPopulation();
    BuildAdmixedPopulation(gen, loci.markers, loci.panel, panelPicker, migrants, p.yriFinal, MigrantPick::kPerRegion,
                           population, ctx.refresh, ctx.team);
    if (!trait.Chosen()) {
      const std::vector<float> admixed = ClassOneFrequencies(population.current);
      const std::vector<double> f = Widen(admixed);
      std::optional<std::string> reason = trait.ChooseFrom(f, nullptr, gen, {}, {}, admixed);
      if (!reason) {
        compose();
        reason = trait.ChooseNull(f);
      }
      if (reason) {
        if (!discards.Discard()) return AttemptResult{false, *reason, {}, {}};
        continue;
      }
    } else {
      compose();
    }
    for (int s = 0; s < kN && writer.Written() < p.sampleSize; ++s) {
      writer.Write(gen, population.current, s, population.ancestry[s], SampleSource::kAdmixed, std::nullopt,
                   phenotype[s]);
      trait.Observe(population.current, s, phenotype[s]);
    }
  }
  return trait.Result(ctx.output);
}

}  // namespace korvane
