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
// attempt that never reaches Finish leaves the three files empty.
//
// The genotypes are read from a GenotypeStore (genotype_store.h), which
// keeps them within a memory bound, spilling to a scratch file: the store
// an OutputSet shares among its locus-major writers, which fills it itself,
// or the writer's own, which it fills with each individual. The files are
// the same either way.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "output/format_writer.h"
#include "output/genotype_store.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class EigensoftWriter : public FormatWriter {
 public:
  static constexpr std::size_t kDefaultMemoryBound = GenotypeStore::kDefaultMemoryBound;
  static constexpr const char* kSpillName = GenotypeStore::kSpillName;

  // Creates Eigensoft_Pca.snp, Eigensoft.phen, Eigensoft_Pca.geno,
  // Eigensoft_Strat.geno and Eigensoft_Pca.ind, in this order, with a store
  // of its own whose genotypes take at most about `memoryBound` bytes.
  EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds,
                  std::size_t memoryBound = kDefaultMemoryBound);
  // The same files, the genotypes read from `shared`, which the caller fills
  // (AddLocus, Append) and keeps until the writer is closed.
  EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds, GenotypeStore& shared);

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
  EigensoftWriter(const std::filesystem::path& folder, LineEnds lineEnds, std::unique_ptr<GenotypeStore> own,
                  GenotypeStore* shared);

  // The individuals accepted so far.
  std::size_t individualCount_ = 0;
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
  std::unique_ptr<GenotypeStore> own_;
  GenotypeStore* store_;
  std::function<void()> checkpoint_;
  std::size_t checkpointBytes_ = kCheckpointBytes;
  output_detail::TextBuffer line_;
};

}  // namespace korvane
