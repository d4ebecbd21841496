#pragma once

// What a simulation hands to the writers of the analysis tools' formats.
//
// A replicate attempt emits, in this order: the locus listing (BeginLoci, one
// Locus per chosen locus in catalogue order, EndLoci) while the map is read;
// one Individual per accepted individual, in acceptance order, with its whole
// genotype row; and, when the attempt succeeds, Finish with the replicate's
// truth. Each format is one writer that owns its files; format logic stays
// out of the models.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
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
};

// What the closing step of a successful attempt knows: the 1-based positions
// among all chosen loci of the causal locus (qualitative) or of each chosen
// QTL (quantitative). A position of 0 marks no locus.
struct ReplicateTruth {
  std::vector<int> causalPositionsAll;
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
};

}  // namespace korvane
