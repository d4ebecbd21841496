#pragma once

// What a simulation hands to the writers of the analysis tools' formats.
//
// A replicate attempt emits, in this order: the locus listing (BeginLoci, one
// Locus per chosen locus in catalogue order, EndLoci) while the map is read;
// one Individual per accepted individual, in acceptance order, with its whole
// genotype row; and, when the attempt succeeds, Finish with the replicate's
// truth. Each format is one writer that owns its files; format logic stays
// out of the models.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "refdata/marker_set.h"

namespace korvane {

// The genotype of an individual at one locus: the allele classes (1: A or T,
// 2: C or G) of haplotype 1 and haplotype 2; both 0 when missing.
struct Genotype {
  std::uint8_t first = 0;
  std::uint8_t second = 0;

  bool Missing() const { return first == 0; }
  // The EIGENSOFT genotype: the number of class-1 alleles, 0..2.
  int ClassOneCount() const { return (first == 1) + (second == 1); }
};

enum class Sex { kMale = 1, kFemale = 2 };

// How Origin.txt prints the ancestry column: "1.0" / "0.0" for an individual
// of a source pool (discrete model), "%f" of its own ancestry (continuous).
enum class AncestryFormat { kSourcePool, kExact };

// Whether an individual of a case-control study is affected. Each writer
// stores it as its own format's code.
enum class Affection { kUnaffected, kAffected };  // a control, a case

// Where an individual of the sample was drawn from: a source pool of the
// discrete model, or the admixed population of the continuous model.
enum class SampleSource { kYriPool, kSecondPool, kAdmixed };

// Its name in Individuals.tsv and the evaluation: "YRI_pool", "second_pool"
// or "admixed".
constexpr std::string_view SampleSourceName(SampleSource source) {
  switch (source) {
    case SampleSource::kYriPool:
      return "YRI_pool";
    case SampleSource::kSecondPool:
      return "second_pool";
    case SampleSource::kAdmixed:
      break;
  }
  return "admixed";
}

struct IndividualRecord {
  int id = 0;  // IndividualId: 1 for the first individual of the attempt
  Sex sex = Sex::kMale;
  // Qualitative study: a case or a control. Absent in a quantitative study,
  // whose individuals have a phenotype value instead.
  std::optional<Affection> affection;
  // Quantitative study: the phenotype value. Absent in a qualitative study.
  std::optional<double> phenotype;
  // The expected YRI share of the individual's genome, for Origin.txt: 1.0 or
  // 0.0 in the discrete model (the source pool it came from).
  double ancestry = 0.0;

  // The truth of the individual, for the truth files.
  SampleSource source = SampleSource::kAdmixed;
  // The population of the attempt the individual was drawn from: 1 for the
  // first one built (re-founded pools or an admixed population), 2 for the
  // next, ... The specified sampling takes individuals from a new population
  // in every cycle until the sample is full.
  int populationDraw = 0;
  // The share of its alleles copied from YRI reference haplotypes, when
  // known: always in the discrete model (1 or 0, its pool's), with local
  // ancestry in the continuous model.
  std::optional<double> realizedAncestry{};

  // The affection of a case-control individual; throws std::invalid_argument
  // for a record without one, so that no file gets a made-up status.
  Affection CaseOrControl() const {
    if (!affection) throw std::invalid_argument("individual " + std::to_string(id) + ": no case-control status");
    return *affection;
  }
};

// The genotypes of one individual at every chosen locus (global index), with
// the null-locus flags that decide where each goes in the split formats.
struct GenotypeRow {
  std::span<const Genotype> genotypes;
  std::span<const std::uint8_t> isNull;
  // When local ancestry is tracked: the ancestry of each allele, one packed
  // row per haplotype over all chosen loci like the haplotype rows (bit g
  // set: allele g was copied from a YRI reference haplotype); null otherwise.
  std::array<const std::uint64_t*, 2> ancestry{nullptr, nullptr};
};

// The truth of one trait locus of a replicate: the causal locus of a
// case-control study or one QTL of a quantitative study.
struct TraitLocusTruth {
  int position = 0;          // 1-based among all chosen loci; 0: none was chosen
  int qtl = 0;               // 0 for the causal locus, k for the row numbered k among the active QTLs
  int riskClass = 1;         // the allele class whose frequency was tested (1: A or T, 2: C or G)
  double riskFrequency = 0;  // that class's frequency, which qualified the locus
  // The causal locus: the disease model, its penetrances as derived and the
  // thresholds through which they were applied (a U(0,1) draw in thousandths
  // below t makes a case, so a penetrance acts as t / 1000).
  double prevalence = 0;
  double relativeRisk = 0;
  double f0 = 0, f1 = 0, f2 = 0;
  int t0 = 0, t1 = 0, t2 = 0;
  // The calibrated model applies the penetrances as derived (a full-
  // resolution draw below f makes a case), not through the thresholds.
  bool appliedAsDerived = false;
  // A QTL: its additive effect a (genotype values +a, 0, -a for two, one and
  // no copies of the risk class) and the share of the phenotype variance asked.
  double effect = 0;
  double varianceShare = 0;
  // The share of the written sample's phenotype variance that the QTL's
  // genotype values explain; absent without two individuals to measure.
  std::optional<double> realizedShare{};
};

// What the closing step of a successful attempt knows: the 1-based positions
// among all chosen loci of the causal locus (qualitative) or of each chosen
// QTL (quantitative), a position of 0 marking no locus; and, for the truth
// files, the trait loci and the frequencies they were chosen from.
struct ReplicateTruth {
  std::vector<int> causalPositionsAll;
  std::vector<TraitLocusTruth> traitLoci{};
  // Class-1 frequency of every chosen locus in the population the trait loci
  // were chosen from: the two source pools of the discrete model, or the
  // admixed population of the continuous model; empty where it does not apply.
  std::vector<float> classOneYri{}, classOneSecond{}, classOneAdmixed{};
  // The null-locus (AIM) flag of every chosen locus.
  std::vector<std::uint8_t> isNull{};
  // The phenotype means of the discrete model's YRI and second groups.
  std::optional<double> groupMeanYri{}, groupMeanSecond{};
};

class FormatWriter {
 public:
  virtual ~FormatWriter() = default;

  virtual void BeginLoci() {}
  virtual void Locus(const MapEntry& /*entry*/) {}
  virtual void EndLoci() {}
  virtual void Individual(const IndividualRecord& individual, const GenotypeRow& row) = 0;
  virtual void Finish(const ReplicateTruth& /*truth*/) {}
  // Closes the writer's files in its closing order; throws OutputError.
  virtual void Close() = 0;

  // A writer with a step that can take minutes for a large replicate calls
  // `checkpoint` now and then during it; the call may throw to end the
  // attempt (a run asked to stop), and the exception passes out of the step.
  // A writer whose steps are all short ignores it.
  virtual void SetCheckpoint(const std::function<void()>& /*checkpoint*/) {}
  // Threads a writer that compresses its files may start to compress them,
  // besides its own: the cores of the work team it is written on, but one.
  // Its files are the same whatever the number.
  virtual void SetCompressionThreads(int /*threads*/) {}
};

}  // namespace korvane
