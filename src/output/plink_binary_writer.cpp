#include "output/plink_binary_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "output/plink_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

constexpr char kMagic[] = {0x6c, 0x1b, 0x01};

// The store's codes, 2 bits each (the number of class-1 alleles, 3 when
// missing; unused slots 0), 32 to a 64-bit word, are turned into PLINK's
// codes (00 homozygous for allele 1, 01 missing, 10 heterozygous, 11
// homozygous for allele 2) and counted bit-parallel: the low and high bit of
// every slot apart, in the even bit positions.
constexpr std::uint64_t kLowBits = 0x5555555555555555ULL;

// The PLINK codes of 32 store codes, when allele 1 is class 1
// (2 -> 00, 1 -> 10, 0 -> 11, 3 -> 01) and when it is class 2
// (0 -> 00, 1 -> 10, 2 -> 11, 3 -> 01).
inline std::uint64_t PlinkCodes(std::uint64_t codes, bool classOneFirst) {
  const std::uint64_t low = codes & kLowBits;
  const std::uint64_t high = (codes >> 1) & kLowBits;
  if (classOneFirst) return ((~high & kLowBits) << 1) | (~(high ^ low) & kLowBits);
  return ((high ^ low) << 1) | high;
}

// How many of a locus's store codes are 1 (heterozygous), 2 (class-1
// homozygous) and 3 (missing), 32 codes to a word; unused slots hold 0 and
// count for none of them.
struct CodeCounts {
  std::size_t one = 0, two = 0, missing = 0;
};

[[gnu::always_inline]] inline CodeCounts CountCodesIn(const std::uint64_t* codes, std::size_t count) {
  CodeCounts counts;
  for (std::size_t w = 0; w < count; ++w) {
    const std::uint64_t low = codes[w] & kLowBits;
    const std::uint64_t high = (codes[w] >> 1) & kLowBits;
    counts.one += static_cast<std::size_t>(std::popcount(low & ~high));
    counts.two += static_cast<std::size_t>(std::popcount(high & ~low));
    counts.missing += static_cast<std::size_t>(std::popcount(high & low));
  }
  return counts;
}

// The same, built for processors with a population-count instruction.
__attribute__((target("popcnt"))) CodeCounts CountCodesWithPopcnt(const std::uint64_t* codes, std::size_t count) {
  return CountCodesIn(codes, count);
}

// Chooses the build once, by what the processor has (no ifunc, which the
// sanitizers' runtimes cannot start before).
CodeCounts CountCodes(const std::uint64_t* codes, std::size_t count) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool popcnt = __builtin_cpu_supports("popcnt") != 0;
  if (popcnt) return CountCodesWithPopcnt(codes, count);
#endif
  return CountCodesIn(codes, count);
}

// The loci read from the store at once: a sweep over each block's words,
// long enough for the processor to fetch them ahead, within a buffer of
// about a megabyte.
constexpr std::size_t kBandLoci = 1024;
constexpr std::size_t kBandBytes = std::size_t{1} << 20;

// How PLINK orders the alleles of a locus read from a pedigree file: the
// rarer one first; on a tie the one seen second; an allele no one carries
// is 0. `classOne` and `classTwo` are the allele counts.
struct AlleleOrder {
  char allele1;
  char allele2;
  bool classOneFirst;  // whether a class-1 homozygote is homozygous for allele 1
};

AlleleOrder OrderAlleles(std::size_t classOne, std::size_t classTwo, std::uint8_t firstSeen) {
  if (classOne == 0 && classTwo == 0) return {'0', '0', true};
  if (classOne == 0) return {'0', '2', true};
  if (classTwo == 0) return {'0', '1', false};
  const bool classOneFirst = classOne < classTwo || (classOne == classTwo && firstSeen == 2);
  return classOneFirst ? AlleleOrder{'1', '2', true} : AlleleOrder{'2', '1', false};
}

}  // namespace

PlinkBinaryWriter::PlinkBinaryWriter(const std::filesystem::path& folder, LineEnds lineEnds, std::size_t memoryBound)
    : PlinkBinaryWriter(folder, lineEnds, std::make_unique<GenotypeStore>(folder, memoryBound), nullptr) {}

PlinkBinaryWriter::PlinkBinaryWriter(const std::filesystem::path& folder, LineEnds lineEnds, GenotypeStore& shared)
    : PlinkBinaryWriter(folder, lineEnds, nullptr, &shared) {}

PlinkBinaryWriter::PlinkBinaryWriter(const std::filesystem::path& folder, LineEnds lineEnds,
                                     std::unique_ptr<GenotypeStore> own, GenotypeStore* shared)
    : bed_(CreateBinaryIn(folder, "Plink.bed")),
      bim_(CreateIn(folder, "Plink.bim", lineEnds)),
      fam_(CreateIn(folder, "Plink.fam", lineEnds)),
      own_(std::move(own)),
      store_(shared != nullptr ? shared : own_.get()) {}

void PlinkBinaryWriter::Locus(const MapEntry& entry) {
  if (individualCount_ != 0) throw std::logic_error("PLINK binary: a locus after the first individual");
  entries_.push_back(entry);
  if (own_) own_->AddLocus();
}

void PlinkBinaryWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  // An individual refused for a missing status leaves no trace.
  if (!individual.phenotype) static_cast<void>(individual.CaseOrControl());
  if (own_) own_->Append(row.genotypes);
  NoteFirstAlleles(row);
  ++individualCount_;
  AppendPedigreeColumns(line_, individual);
  Append(line_, "\n");
  WriteOut(fam_, line_);
}

void PlinkBinaryWriter::NoteFirstAlleles(const GenotypeRow& row) {
  if (individualCount_ == 0) {
    firstAllele_.assign(entries_.empty() ? row.genotypes.size() : entries_.size(), 0);
    unseen_.resize(firstAllele_.size());
    std::iota(unseen_.begin(), unseen_.end(), std::size_t{0});
  }
  if (row.genotypes.size() != firstAllele_.size()) {
    throw std::invalid_argument(
        fmt::format("genotype row of {} loci where the replicate has {}", row.genotypes.size(), firstAllele_.size()));
  }
  // After the first individuals only loci missing in all of them are left.
  std::size_t kept = 0;
  for (std::size_t j : unseen_) {
    const Genotype g = row.genotypes[j];
    if (g.Missing()) {
      unseen_[kept++] = j;
    } else {
      firstAllele_[j] = g.first;
    }
  }
  unseen_.resize(kept);
}

void PlinkBinaryWriter::Finish(const ReplicateTruth& /*truth*/) {
  const std::size_t loci = store_->LocusCount();
  if (store_->IndividualCount() != individualCount_) {
    throw std::logic_error(fmt::format("PLINK binary: {} individuals written but {} in the genotype store",
                                       individualCount_, store_->IndividualCount()));
  }
  if (entries_.size() != loci) {
    throw std::invalid_argument(
        fmt::format("PLINK binary: {} loci listed but genotypes of {} loci", entries_.size(), loci));
  }
  WriteGenotypes();
  WriteLoci();
}

void PlinkBinaryWriter::WriteGenotypes() {
  bed_.Write(std::string_view(kMagic, sizeof kMagic));
  const std::size_t individuals = individualCount_;
  const std::size_t locusBytes = (individuals + 3) / 4;
  const std::size_t words = store_->WordCount();
  // A locus's words as 64-bit words, the last one padded with zeros (unused
  // slots), which the counts take for nothing and the last byte's mask
  // clears from the .bed.
  const std::size_t wideWords = (words + 3) / 4;
  const std::size_t padding = locusBytes * 4 - individuals;
  const auto lastMask = static_cast<std::uint8_t>(0xFF >> (2 * padding));
  const std::size_t lociPerCheckpoint = std::max<std::size_t>(1, checkpointBytes_ / (locusBytes + 1));
  // Bands no longer than the loci between two checkpoints, so that a stop
  // is answered as often as asked.
  const std::size_t bandLoci = std::clamp<std::size_t>(kBandBytes / std::max<std::size_t>(1, 2 * words), 1,
                                                       std::min(kBandLoci, lociPerCheckpoint));
  std::vector<std::uint16_t> band(bandLoci * words);
  std::vector<std::uint64_t> codes(wideWords);
  allele1_.assign(entries_.size(), '0');
  allele2_.assign(entries_.size(), '0');
  std::size_t sinceCheckpoint = lociPerCheckpoint;
  store_->ForEachBand(bandLoci, [&](std::size_t first, std::size_t count) {
    if (checkpoint_ && sinceCheckpoint >= lociPerCheckpoint) {
      checkpoint_();
      sinceCheckpoint = 0;
    }
    sinceCheckpoint += count;
    store_->PutLociWords(first, count, band.data());
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t j = first + k;
      const std::uint16_t* column = band.data() + k * words;
      if (!codes.empty()) codes.back() = 0;
      if constexpr (std::endian::native == std::endian::little) {
        // An empty sample has no words, and no buffer to copy from.
        if (words != 0) std::memcpy(codes.data(), column, words * sizeof(std::uint16_t));
      } else {
        for (std::size_t w = 0; w < words; ++w) {
          codes[w / 4] = (w % 4 == 0 ? 0 : codes[w / 4]) | std::uint64_t{column[w]} << (16 * (w % 4));
        }
      }
      const CodeCounts counts = CountCodes(codes.data(), codes.size());
      const std::size_t zero = individuals - counts.one - counts.two - counts.missing;
      const std::size_t classOne = 2 * counts.two + counts.one;
      const std::size_t classTwo = 2 * zero + counts.one;
      const AlleleOrder order = OrderAlleles(classOne, classTwo, firstAllele_.empty() ? 0 : firstAllele_[j]);
      allele1_[j] = order.allele1;
      allele2_[j] = order.allele2;
      // The room of whole 64-bit words, of which the locus's bytes are kept.
      auto* out = reinterpret_cast<std::uint8_t*>(bed_.Reserve(8 * wideWords));
      for (std::size_t w = 0; w < wideWords; ++w) {
        const std::uint64_t plink = PlinkCodes(codes[w], order.classOneFirst);
        if constexpr (std::endian::native == std::endian::little) {
          std::memcpy(out + 8 * w, &plink, 8);
        } else {
          for (std::size_t b = 0; b < 8; ++b) out[8 * w + b] = static_cast<std::uint8_t>(plink >> (8 * b));
        }
      }
      if (locusBytes != 0) out[locusBytes - 1] &= lastMask;
      bed_.Commit(reinterpret_cast<char*>(out + locusBytes));
    }
  });
}

void PlinkBinaryWriter::WriteLoci() {
  RegionCentimorgans centimorgans;
  for (std::size_t j = 0; j < entries_.size(); ++j) {
    const MapEntry& entry = entries_[j];
    const double cm = centimorgans.Next(entry);
    AppendInt(line_, entry.regionNumber);
    Append(line_, "\tsnp");
    AppendInt(line_, entry.snpNumber);
    Append(line_, "\t");
    AppendFixed6(line_, cm);
    Append(line_, "\t");
    AppendFixed0(line_, entry.position);
    const char alleles[] = {'\t', allele1_[j], '\t', allele2_[j], '\n'};
    Append(line_, std::string_view(alleles, sizeof alleles));
    if (line_.size() >= 64 * 1024) WriteOut(bim_, line_);
  }
  WriteOut(bim_, line_);
}

void PlinkBinaryWriter::Close() {
  if (own_) own_->Close();
  CloseInOrder({&bed_, &bim_, &fam_});
}

}  // namespace korvane
