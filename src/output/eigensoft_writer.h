#pragma once

// EIGENSOFT (EIGENSTRAT layout): Eigensoft_Pca.ind and Eigensoft.phen grow
// with each accepted individual; the genotype files and the locus file are
// written by Finish, when the causal loci are known:
//
// - Eigensoft_Pca.geno: one line per non-causal locus, in catalogue order,
//   one genotype character per individual ('0', '1', '2' = the number of
//   class-1 alleles, '9' = missing);
// - Eigensoft_Strat.geno: the same for the causal loci;
// - Eigensoft_Pca.snp: one line per non-causal locus, from the map entries
//   as received, followed by the allele columns " 1 2" that EIGENSOFT 8
//   requires (allele 1 is class 1, the allele the genotype digit counts).
//
// A locus is causal when its 1-based position is one of the truth's causal
// positions (0 names no locus; a repeated position is still one locus). An
// attempt that never reaches Finish leaves the three files empty. The
// genotypes are kept in GenotypeColumns (2 bits each) until then.
//
// Memory stays within a bound whatever the sample: when the columns held
// would pass it, they are moved to a scratch file in the folder
// (kSpillName, spilled run after run), and Finish writes the .geno lines a
// band of loci at a time from the file, each band within the bound too. The
// files are the same either way.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <vector>

#include "output/format_writer.h"
#include "output/genotype_columns.h"
#include "output/genotype_spill.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class EigensoftWriter : public FormatWriter {
 public:
  // The memory the genotypes may take by default: a replicate of up to about
  // 83000 individuals at 12867 loci stays in memory.
  static constexpr std::size_t kDefaultMemoryBound = std::size_t{256} << 20;
  // The scratch file's name: hidden, and unlike any output file's.
  static constexpr const char* kSpillName = ".eigensoft-columns.spill";

  // Creates Eigensoft_Pca.snp, Eigensoft.phen, Eigensoft_Pca.geno,
  // Eigensoft_Strat.geno and Eigensoft_Pca.ind, in this order. The
  // genotypes take at most about `memoryBound` bytes (at least a block of 8
  // individuals, and a locus of every individual while Finish writes).
  EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds,
                  std::size_t memoryBound = kDefaultMemoryBound);

  void Locus(const MapEntry& entry) override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Finish(const ReplicateTruth& truth) override;
  // Called between the lines of the .geno files, about every `bytesBetween`
  // bytes of them (they can take minutes for a large sample): it may throw to
  // end the writing (a run asked to stop).
  static constexpr std::size_t kCheckpointBytes = std::size_t{16} << 20;
  void SetCheckpoint(std::function<void()> checkpoint, std::size_t bytesBetween) {
    checkpoint_ = std::move(checkpoint);
    checkpointBytes_ = bytesBetween;
  }
  void SetCheckpoint(const std::function<void()>& checkpoint) override { SetCheckpoint(checkpoint, kCheckpointBytes); }
  // Closes Eigensoft_Pca.geno, Eigensoft_Strat.geno, Eigensoft.phen,
  // Eigensoft_Pca.snp, Eigensoft_Pca.ind, and the scratch file.
  void Close() override;

 private:
  // The individuals accepted so far, held or spilled.
  std::size_t IndividualCount() const { return columns_.IndividualCount() + spilled_.IndividualCount(); }
  // Per locus, whether it is causal; throws for a position beyond the loci.
  std::vector<bool> CausalFlags(const ReplicateTruth& truth) const;
  void WriteGenotypes(const std::vector<bool>& causal);
  void WriteLoci(const std::vector<bool>& causal);

  OutputFile snp_;
  OutputFile phen_;
  OutputFile pcaGeno_;
  OutputFile stratGeno_;
  OutputFile ind_;
  std::vector<MapEntry> entries_;
  GenotypeColumns columns_;
  SpilledColumns spilled_;
  std::size_t memoryBound_;
  std::function<void()> checkpoint_;
  std::size_t checkpointBytes_ = kCheckpointBytes;
  output_detail::TextBuffer line_;
};

}  // namespace korvane
