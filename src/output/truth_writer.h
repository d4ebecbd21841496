#pragma once

// The truth of a replicate, in tab-separated files that join with the
// specified ones by their identifiers (the "snp%d" names of every file, the
// individual ids of Plink.ped):
//   Loci.tsv         one row per chosen locus in file order: its name, place,
//                    role (causal, qtl<k>, null, other) and class-1 frequencies
//                    in the populations and in the written sample;
//   Truth.tsv        one row per trait locus: the risk allele and its
//                    frequencies, and the disease model (penetrances as derived
//                    and as applied) or the QTL's effect and variance shares;
//   Individuals.tsv  one row per written individual in file order: status or
//                    phenotype, sex, where it was drawn from, which population
//                    of the attempt, and its expected and realized YRI shares.
// Values that do not apply are written NA.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/study_kind.h"

namespace korvane {

class TruthWriter : public FormatWriter {
 public:
  TruthWriter(const std::filesystem::path& folder, StudyKind study, AncestryFormat ancestry, LineEnds lineEnds);

  void Locus(const MapEntry& entry) override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Finish(const ReplicateTruth& truth) override;
  void Close() override;

 private:
  void WriteLoci(const ReplicateTruth& truth);
  void WriteTraitLoci(const ReplicateTruth& truth);

  StudyKind study_;
  AncestryFormat ancestry_;
  OutputFile loci_;
  OutputFile traitLoci_;
  OutputFile individuals_;
  std::vector<MapEntry> entries_;
  // Per locus, over the written individuals' genotypes that are not missing.
  std::vector<std::int64_t> classOneAlleles_;
  std::vector<std::int64_t> alleles_;
};

// The run's truth loci beside its causal-locus logs: Truth_Loci.tsv in the
// output directory, appended to by every run (the header when the file is
// new), one row per replicate and trait locus.
class TruthLociLog {
 public:
  TruthLociLog(const std::string& outputDirectory, LineEnds lineEnds);

  // The rows of replicate n: positions among all chosen loci and among the
  // non-null loci, the causal locus's (one) or each QTL's in order; a
  // position of 0 (no locus chosen) gives no row.
  void Replicate(int n, StudyKind study, const std::vector<int>& positionsAll,
                 const std::vector<int>& positionsCandidate);
  void Close();

 private:
  OutputFile file_;
};

}  // namespace korvane
