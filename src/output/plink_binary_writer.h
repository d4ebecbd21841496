#pragma once

// PLINK 1 binary files, beside Plink.ped and Plink.map and holding the same
// sample:
//
// - Plink.fam: one line per accepted individual, the first six columns of
//   its Plink.ped line (identifiers, no parents, sex, status or phenotype);
// - Plink.bim, written by Finish: one line per chosen locus, tab-separated:
//   the region number (the chromosome of Plink.map), the locus name, the
//   genetic position in cM within the region from its first chosen locus
//   (Plink.map's distances summed), the base-pair position, and the allele
//   codes 1 and 2 (the allele classes, as Plink.ped writes them) in the
//   order PLINK gives them when it reads Plink.ped: allele 1 the rarer in
//   the sample, on a tie the one seen second, and 0 for an allele that no
//   individual carries;
// - Plink.bed, written by Finish: the magic bytes 6c 1b 01 (SNP-major), then
//   per locus in file order 2 bits per individual in sample order, lowest
//   bits first, 00 homozygous for allele 1, 10 heterozygous, 11 homozygous
//   for allele 2, 01 missing, each locus padded with zero bits to a whole byte.
//
// So PLINK reads Plink.bed/.bim/.fam as it reads Plink.ped/.map, with the
// same allele 1 and 2 at every locus. The genotypes come from a
// GenotypeStore (genotype_store.h): an OutputSet's shared store, or the
// writer's own. An attempt that never reaches Finish leaves Plink.bed and
// Plink.bim empty. Plink.bed is binary: its bytes are the same whatever the
// run's line ends.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "output/format_writer.h"
#include "output/genotype_store.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class PlinkBinaryWriter : public FormatWriter {
 public:
  // Creates Plink.bed, Plink.bim and Plink.fam, in this order, with a store
  // of its own whose genotypes take at most about `memoryBound` bytes.
  PlinkBinaryWriter(const std::filesystem::path& folder, LineEnds lineEnds,
                    std::size_t memoryBound = GenotypeStore::kDefaultMemoryBound);
  // The same files, the genotypes read from `shared`, which the caller fills
  // (AddLocus, Append) and keeps until the writer is closed.
  PlinkBinaryWriter(const std::filesystem::path& folder, LineEnds lineEnds, GenotypeStore& shared);

  void Locus(const MapEntry& entry) override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Finish(const ReplicateTruth& truth) override;
  // Called between the loci of Plink.bed, about every `bytesBetween` bytes
  // of it; it may throw to end the writing (a run asked to stop).
  static constexpr std::size_t kCheckpointBytes = std::size_t{16} << 20;
  void SetCheckpoint(std::function<void()> checkpoint, std::size_t bytesBetween) {
    checkpoint_ = std::move(checkpoint);
    checkpointBytes_ = bytesBetween;
  }
  void SetCheckpoint(const std::function<void()>& checkpoint) override { SetCheckpoint(checkpoint, kCheckpointBytes); }
  // Closes Plink.bed, Plink.bim, Plink.fam, and the store's scratch file if
  // the store is the writer's own.
  void Close() override;

 private:
  PlinkBinaryWriter(const std::filesystem::path& folder, LineEnds lineEnds, std::unique_ptr<GenotypeStore> own,
                    GenotypeStore* shared);

  // Notes the allele class each locus shows first in sample order (haplotype
  // 1 before 2), which decides allele 1 on a tie.
  void NoteFirstAlleles(const GenotypeRow& row);
  // Writes Plink.bed and fills alleles_.
  void WriteGenotypes();
  void WriteLoci();

  OutputFile bed_;
  OutputFile bim_;
  OutputFile fam_;
  std::unique_ptr<GenotypeStore> own_;
  GenotypeStore* store_;
  std::vector<MapEntry> entries_;
  std::size_t individualCount_ = 0;
  // Per locus: the allele class seen first (0 while none is), and the loci
  // that have seen none yet.
  std::vector<std::uint8_t> firstAllele_;
  std::vector<std::size_t> unseen_;
  // Per locus: the codes ('0', '1', '2') of allele 1 and allele 2.
  std::vector<char> allele1_;
  std::vector<char> allele2_;
  std::function<void()> checkpoint_;
  std::size_t checkpointBytes_ = kCheckpointBytes;
  output_detail::TextBuffer line_;
};

}  // namespace korvane
