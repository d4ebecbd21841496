#pragma once

// Every genotype of a replicate attempt, collected individual by individual
// and read back locus by locus: what the locus-major formats (EIGENSOFT's
// .geno lines, PLINK's .bed) need, since they can only be written when the
// last individual is known.
//
// One store serves every locus-major writer of an attempt, so the memory of
// the genotypes grows once however many such formats are chosen. It holds
// them in GenotypeColumns (2 bits each) within a memory bound: when the
// columns held would pass it, they are moved to a scratch file in the folder
// (SpilledColumns, run after run), and the loci are read back a band at a
// time, each band within the bound too.
//
// A phased store (for the formats that write each haplotype's allele, VCF)
// keeps a second plane beside the codes: per genotype, the class-1 count of
// haplotype 1 alone (0 or 1, missing as in the codes), in GenotypeColumns of
// its own that spill to a scratch file of their own at the same moments.
// When its rows carry the ancestry of each allele (local ancestry tracked),
// a phased store keeps two more planes, whether haplotype 1's and haplotype
// 2's allele came from YRI. The planes share the memory bound. The codes,
// and so everything read from them, are the same with the planes and
// without them.
//
// Filling: AddLocus for every listed locus, then Append for every individual,
// in acceptance order. Reading: ForEachLocus visits the loci in order, and
// during the visit of locus j its column is read with PutColumn or PutWords.
// A store can be read any number of times (one writer after another); it is
// not read by two threads at once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "output/format_writer.h"
#include "output/genotype_columns.h"
#include "output/genotype_spill.h"

namespace korvane {

class GenotypeStore {
 public:
  // The memory the genotypes may take by default: a replicate of up to about
  // 83000 individuals at 12867 loci stays in memory.
  static constexpr std::size_t kDefaultMemoryBound = std::size_t{256} << 20;
  // The scratch file's name: hidden, and unlike any output file's.
  static constexpr const char* kSpillName = ".genotype-columns.spill";
  // The scratch files of the phase plane and the two ancestry planes.
  static constexpr const char* kPhaseSpillName = ".genotype-phase.spill";
  static constexpr const char* kAncestrySpillNames[2] = {".genotype-ancestry1.spill", ".genotype-ancestry2.spill"};

  // The scratch file, if one is needed, is `folder`/kSpillName. The
  // genotypes take at most about `memoryBound` bytes (at least a block of 8
  // individuals, and a locus of every individual while they are read).
  // With `phased`, the store keeps which haplotype carries each allele.
  explicit GenotypeStore(const std::filesystem::path& folder, std::size_t memoryBound = kDefaultMemoryBound,
                         bool phased = false);

  bool Phased() const { return phased_; }

  // One more locus of the map listing; only before the first individual.
  void AddLocus();
  // The next individual's genotypes: one per listed locus (without a
  // listing, every row has the first row's loci); and in a phased store, the
  // ancestry rows of its two haplotypes (GenotypeRow::ancestry), which every
  // row has if the first one has them.
  void Append(std::span<const Genotype> row, std::array<const std::uint64_t*, 2> ancestry = {nullptr, nullptr});
  // Whether the store keeps the ancestry of each allele.
  bool HasAncestry() const { return planes_.size() == 3; }

  std::size_t IndividualCount() const { return columns_.IndividualCount() + spilled_.IndividualCount(); }
  // The loci listed, or those of the rows when none was.
  std::size_t LocusCount() const;
  // The 16-bit words of one locus's column: 8 individuals each.
  std::size_t WordCount() const {
    return (IndividualCount() + GenotypeColumns::kPerWord - 1) / GenotypeColumns::kPerWord;
  }
  // Whether some rows went to the scratch file.
  bool Spilled() const { return spilled_.RunCount() != 0; }

  // Calls visit(j) for every locus j in order, with locus j readable.
  void ForEachLocus(const std::function<void(std::size_t locus)>& visit);
  // Calls visit(first, count) for consecutive bands of at most `maxLoci`
  // loci (at least one), in order, with every locus of the band readable:
  // a writer that reads many loci at once (PutLociWords) reads the store in
  // long sequential sweeps instead of one word per block and locus.
  void ForEachBand(std::size_t maxLoci, const std::function<void(std::size_t first, std::size_t count)>& visit);
  // The EIGENSOFT characters of the column of `locus` ('0', '1', '2': the
  // number of class-1 alleles; '9': missing), IndividualCount() of them, to
  // `out`; returns the new end. Only during the visit of `locus`.
  char* PutColumn(std::size_t locus, char* out) const;
  // The words of the column of `locus`, WordCount() of them, to `out`, in
  // the codes of GenotypeColumns (class-1 count, 3 missing; 2 bits each,
  // individual 8w + s in bits 2s and 2s + 1 of word w; the unused slots of
  // the last word 0). Only during the visit of `locus`.
  void PutWords(std::size_t locus, std::uint16_t* out) const;
  // The words of loci first .. first + count - 1, locus after locus:
  // WordCount() words each, those of locus first + k from out + k *
  // WordCount(). Only during the visit of a band that holds them.
  void PutLociWords(std::size_t first, std::size_t count, std::uint16_t* out) const;
  // The genotypes of the column of `locus` as they were appended: the
  // classes of haplotype 1 and 2, {0, 0} when missing; IndividualCount() of
  // them to `out`. Only in a phased store, during the visit of `locus`.
  void PutGenotypes(std::size_t locus, Genotype* out) const;
  // Whether each allele of the column of `locus` came from YRI: for
  // individual t, out[2t] for haplotype 1 and out[2t + 1] for haplotype 2
  // (1 YRI, 0 the second population). Only when HasAncestry(), during the
  // visit of `locus`.
  void PutAncestry(std::size_t locus, std::uint8_t* out) const;

  // Closes the scratch file and gives its memory back.
  void Close() noexcept;

 private:
  // A plane besides the codes: one 2-bit code per genotype, held and spilled
  // like them.
  struct Plane {
    explicit Plane(std::filesystem::path path) : spilled(std::move(path)) {}
    GenotypeColumns held;
    SpilledColumns spilled;
  };

  // The bound of each plane, the codes' included.
  std::size_t PlaneBound() const { return memoryBound_ / (1 + planes_.size()); }
  // The words of `locus` of `plane`, WordCount() of them.
  std::vector<std::uint16_t> PlaneWords(const Plane& plane, std::size_t locus) const;

  std::filesystem::path folder_;
  std::size_t listedLoci_ = 0;
  std::size_t memoryBound_;
  bool phased_;
  GenotypeColumns columns_;
  SpilledColumns spilled_;
  // Phased: the phase plane, then the two ancestry planes when the rows
  // carry ancestry; and the row a plane is made from.
  std::vector<std::unique_ptr<Plane>> planes_;
  std::vector<Genotype> planeRow_;
};

}  // namespace korvane
