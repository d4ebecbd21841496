#pragma once

// Phased VCF of a replicate, written through htslib: Genotypes.vcf.gz
// (bgzipped text with a tabix index, Genotypes.vcf.gz.tbi) or Genotypes.bcf
// (BCF with a CSI index, Genotypes.bcf.csi), one record per chosen locus in
// the order of Plink.map.
//
// - The header: the file format (VCFv4.2), the program and its release, one
//   contig per region (ID the region number, the chromosome of Plink.map;
//   length the position of its last chosen locus, none for a region without
//   one), the region's name (##korvane_region=<ID=1,Name=ENm010_7p15.2>), the
//   INFO fields ROLE and PLACEHOLDER_ALLELES, the FORMAT field GT, and the
//   samples: "<family id>_<individual id>" of Plink.ped ("7_7"), which PLINK
//   splits back into its two columns.
// - A record: the region number, the position in base pairs (1-based, as in
//   Plink.map), the locus name ("snp70"), REF the letter of allele class 1
//   (A or T) and ALT that of class 2 (C or G) in the reference panels; a
//   class whose panels show no single letter gets a placeholder, A for class
//   1 and C for class 2, and the record the flag PLACEHOLDER_ALLELES. ROLE is
//   the locus's role in the replicate (causal, qtl1 .. qtl5, both of two
//   QTLs that share a locus, null or other), as in Loci.tsv. GT is phased,
//   haplotype 1 first ("0|1": haplotype 1 class 1, haplotype 2 class 2),
//   ".|." when missing.
// - With local ancestry tracked (the rows carry GenotypeRow::ancestry), the
//   FORMAT fields AN1 and AN2 give the population each haplotype's allele
//   was copied from, 0 YRI and 1 the second population, as the header line
//   ##ANCESTRY=<YRI=0,SECOND=1> says.
//
// VCF is written locus by locus, so the records are written in Finish from
// a phased GenotypeStore (genotype_store.h): the attempt's shared one, or the
// writer's own. The index is made as the records are written and saved
// when the file is closed after Finish; an attempt that never reaches
// Finish leaves the file without a header and without an index. With
// compression threads (SetCompressionThreads) htslib compresses the blocks
// on them; the bytes are the same. Every htslib call is checked; a failure
// is an OutputError naming the file.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "output/format_writer.h"
#include "output/genotype_store.h"

namespace korvane {

enum class VcfKind { kVcfGz, kBcf };

class VcfWriter : public FormatWriter {
 public:
  static constexpr const char* kVcfGzName = "Genotypes.vcf.gz";
  static constexpr const char* kBcfName = "Genotypes.bcf";
  // The file's name in a replicate folder, and its index's.
  static std::string FileName(VcfKind kind);
  static std::string IndexName(VcfKind kind);

  // Creates the file with a phased store of its own whose genotypes take at
  // most about `memoryBound` bytes.
  VcfWriter(const std::filesystem::path& folder, VcfKind kind,
            std::size_t memoryBound = GenotypeStore::kDefaultMemoryBound);
  // The same file, the genotypes read from `shared`, a phased store that the
  // caller fills (AddLocus, Append) and keeps until the writer is closed.
  VcfWriter(const std::filesystem::path& folder, VcfKind kind, GenotypeStore& shared);
  ~VcfWriter() override;
  VcfWriter(const VcfWriter&) = delete;
  VcfWriter& operator=(const VcfWriter&) = delete;

  void Locus(const MapEntry& entry) override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Finish(const ReplicateTruth& truth) override;
  // Called between records, every kCheckpointLoci of them.
  static constexpr std::size_t kCheckpointLoci = 256;
  void SetCheckpoint(const std::function<void()>& checkpoint) override { checkpoint_ = checkpoint; }
  void SetCompressionThreads(int threads) override;
  // Closes the file, then builds its index if the records were written.
  void Close() override;

 private:
  struct Hts;

  VcfWriter(const std::filesystem::path& folder, VcfKind kind, std::unique_ptr<GenotypeStore> own,
            GenotypeStore* shared);

  // The role of every locus, as in Loci.tsv.
  std::vector<std::string> Roles(const ReplicateTruth& truth) const;
  void WriteHeader();
  void WriteRecords(const ReplicateTruth& truth);

  VcfKind kind_;
  std::filesystem::path path_;
  std::unique_ptr<Hts> hts_;
  std::unique_ptr<GenotypeStore> own_;
  GenotypeStore* store_;
  std::vector<MapEntry> entries_;
  std::vector<std::string> samples_;
  bool finished_ = false;
  std::string indexPath_;  // the index's path, which htslib reads when it saves the index
  std::function<void()> checkpoint_;
};

}  // namespace korvane
