#pragma once

// What the evaluation of one replicate reads: its genotypes, and its truth as
// the truth files hold it (Loci.tsv, Truth.tsv, Individuals.tsv). A replicate
// evaluated as it is simulated gets the same values, rounded as the files
// round them, so that both ways give the same results.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "evaluate/genotype_table.h"
#include "output/format_writer.h"
#include "output/study_kind.h"

namespace korvane {

struct EvaluatedIndividual {
  std::optional<bool> affected;     // case-control: a case
  std::optional<double> phenotype;  // quantitative: the phenotype's full value
  SampleSource source = SampleSource::kAdmixed;
  int populationDraw = 0;
  double originAncestry = 0;  // as in Origin.txt
  std::optional<double> realizedAncestry;
};

// A trait locus: the causal locus or a QTL.
struct EvaluatedTraitLocus {
  int locus = 0;     // index among the chosen loci, from 0
  std::string role;  // "causal", "qtl1" ... "qtl5"
  int riskClass = 1;
  double riskFrequency = 0;
  std::optional<double> riskFrequencyYri, riskFrequencySecond, riskFrequencyAdmixed;
  // Case-control: the disease model, the penetrances as derived and as applied.
  double prevalence = 0, relativeRisk = 0;
  std::array<double, 3> penetrance{}, penetranceApplied{};
  // Quantitative: the additive effect and the variance shares.
  double effect = 0, varianceShare = 0;
  std::optional<double> realizedShare;
};

struct ReplicateInput {
  int replicate = 0;
  StudyKind study = StudyKind::kQualitative;
  GenotypeTable genotypes;
  std::vector<int> region;           // of every locus, 1 to 10
  std::vector<double> centimorgans;  // within the region, from its first chosen locus
  std::vector<std::uint8_t> isNull;  // a null locus (AIM)
  std::vector<EvaluatedIndividual> individuals;
  std::vector<EvaluatedTraitLocus> traitLoci;
  std::optional<double> groupMeanYri, groupMeanSecond;
};

// A value as the truth files print it with six decimals.
double AsPrintedWithSixDecimals(double value);

// Reads replicate `replicate` from its folder: Plink.ped and Plink.map, and
// the truth files. Throws std::runtime_error naming the file, and the line
// where there is one, when a file is missing or does not read.
ReplicateInput ReadReplicateFolder(const std::filesystem::path& folder, int replicate);

}  // namespace korvane
