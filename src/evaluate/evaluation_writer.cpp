#include "evaluate/evaluation_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace korvane {

EvaluationWriter::EvaluationWriter(int replicate, StudyKind study, AncestryFormat ancestry, Deliver deliver)
    : ancestry_(ancestry), deliver_(std::move(deliver)) {
  input_.replicate = replicate;
  input_.study = study;
}

void EvaluationWriter::Locus(const MapEntry& entry) {
  GenotypeTable& g = input_.genotypes;
  // The genetic position within the region, as Loci.tsv sums it.
  if (input_.region.empty() || input_.region.back() != entry.regionNumber) {
    centimorgans_ = 0;
  } else {
    centimorgans_ += entry.distance.value_or(0.0);
  }
  input_.region.push_back(entry.regionNumber);
  input_.centimorgans.push_back(AsPrintedWithSixDecimals(centimorgans_));
  g.locusIds.push_back(fmt::format("snp{}", entry.snpNumber));
  g.chromosome.push_back(entry.regionNumber);
  g.positionBp.push_back(static_cast<std::int64_t>(entry.position));
  ++g.loci;
}

void EvaluationWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  GenotypeTable& g = input_.genotypes;
  g.individualIds.push_back(std::to_string(individual.id));
  ++g.individuals;
  // One row of dosages per individual, written in place.
  const std::size_t start = byIndividual_.size();
  byIndividual_.resize(start + row.genotypes.size());
  std::int8_t* out = byIndividual_.data() + start;
  for (const Genotype genotype : row.genotypes) {
    *out++ = genotype.Missing() ? std::int8_t{-1} : static_cast<std::int8_t>(genotype.ClassOneCount());
  }
  EvaluatedIndividual e;
  if (individual.affection) e.affected = *individual.affection == Affection::kAffected;
  e.phenotype = individual.phenotype;
  e.source = individual.source;
  e.populationDraw = individual.populationDraw;
  // Origin.txt's value: the pool's 1.0 or 0.0, or six decimals.
  e.originAncestry =
      ancestry_ == AncestryFormat::kSourcePool ? individual.ancestry : AsPrintedWithSixDecimals(individual.ancestry);
  if (individual.realizedAncestry) e.realizedAncestry = AsPrintedWithSixDecimals(*individual.realizedAncestry);
  input_.individuals.push_back(e);
}

void EvaluationWriter::Finish(const ReplicateTruth& truth) {
  input_.isNull.assign(static_cast<std::size_t>(input_.genotypes.loci), 0);
  for (std::size_t j = 0; j < truth.isNull.size() && j < input_.isNull.size(); ++j) input_.isNull[j] = truth.isNull[j];
  const auto riskOf = [](const std::vector<float>& table, std::size_t j, int riskClass) -> std::optional<double> {
    if (j >= table.size()) return std::nullopt;
    const double classOne = table[j];
    return AsPrintedWithSixDecimals(riskClass == 1 ? classOne : 1.0 - classOne);
  };
  for (const TraitLocusTruth& locus : truth.traitLoci) {
    if (locus.position == 0) continue;
    const auto j = static_cast<std::size_t>(locus.position - 1);
    EvaluatedTraitLocus e;
    e.locus = locus.position - 1;
    e.role = locus.qtl == 0 ? std::string("causal") : fmt::format("qtl{}", locus.qtl);
    e.riskClass = locus.riskClass;
    e.riskFrequency = AsPrintedWithSixDecimals(locus.riskFrequency);
    e.riskFrequencyYri = riskOf(truth.classOneYri, j, locus.riskClass);
    e.riskFrequencySecond = riskOf(truth.classOneSecond, j, locus.riskClass);
    e.riskFrequencyAdmixed = riskOf(truth.classOneAdmixed, j, locus.riskClass);
    if (input_.study == StudyKind::kQualitative) {
      e.prevalence = locus.prevalence;
      e.relativeRisk = locus.relativeRisk;
      e.penetrance = {locus.f0, locus.f1, locus.f2};
      if (locus.appliedAsDerived) {
        // The calibrated model: the penetrances act as derived, within [0, 1].
        const auto applied = [](double f) { return std::clamp(f, 0.0, 1.0); };
        e.penetranceApplied = {applied(locus.f0), applied(locus.f1), applied(locus.f2)};
      } else {
        e.penetranceApplied = {locus.t0 / 1000.0, locus.t1 / 1000.0, locus.t2 / 1000.0};
      }
    } else {
      e.effect = locus.effect;
      e.varianceShare = AsPrintedWithSixDecimals(locus.varianceShare);
      if (locus.realizedShare) e.realizedShare = AsPrintedWithSixDecimals(*locus.realizedShare);
    }
    input_.traitLoci.push_back(std::move(e));
  }
  if (input_.study == StudyKind::kQuantitative) {
    input_.groupMeanYri = truth.groupMeanYri;
    input_.groupMeanSecond = truth.groupMeanSecond;
  }
  finished_ = true;
}

void EvaluationWriter::Close() {
  if (!finished_) return;
  finished_ = false;
  // Locus-major, as the statistics read it.
  GenotypeTable& g = input_.genotypes;
  const auto n = static_cast<std::size_t>(g.individuals);
  const auto loci = static_cast<std::size_t>(g.loci);
  g.dosage.resize(n * loci);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t l = 0; l < loci; ++l) g.dosage[l * n + i] = byIndividual_[i * loci + l];
  }
  byIndividual_.clear();
  byIndividual_.shrink_to_fit();
  deliver_(std::move(input_));
}

}  // namespace korvane
