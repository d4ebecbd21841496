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

// The PLINK code of each store code (the number of class-1 alleles, 3 when
// missing), when allele 1 is class 1 and when it is class 2.
constexpr std::array<std::uint8_t, 4> kCodeClassOneFirst = {0b11, 0b10, 0b00, 0b01};
constexpr std::array<std::uint8_t, 4> kCodeClassTwoFirst = {0b00, 0b10, 0b11, 0b01};

// The byte of four PLINK codes for each byte of four store codes.
constexpr std::array<std::uint8_t, 256> MakeByteTable(const std::array<std::uint8_t, 4>& code) {
  std::array<std::uint8_t, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    int out = 0;
    for (int k = 0; k < 4; ++k) out |= code[static_cast<std::size_t>((byte >> (2 * k)) & 3)] << (2 * k);
    table[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(out);
  }
  return table;
}

constexpr auto kBytesClassOneFirst = MakeByteTable(kCodeClassOneFirst);
constexpr auto kBytesClassTwoFirst = MakeByteTable(kCodeClassTwoFirst);

// For each byte of four store codes, how many of them are 0, 1 and 2, in
// lanes of 21 bits (bits 0, 21 and 42), so that the counts of many bytes add
// up in one word: a lane holds the codes of kCountChunk bytes.
constexpr int kLaneBits = 21;
constexpr std::size_t kCountChunk = std::size_t{1} << 18;
constexpr std::array<std::uint64_t, 256> MakeCountTable() {
  std::array<std::uint64_t, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    std::uint64_t counts = 0;
    for (int k = 0; k < 4; ++k) {
      const int code = (byte >> (2 * k)) & 3;
      if (code != GenotypeColumns::kMissingCode) counts += std::uint64_t{1} << (kLaneBits * code);
    }
    table[static_cast<std::size_t>(byte)] = counts;
  }
  return table;
}

constexpr auto kCounts = MakeCountTable();

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
  // The unused slots of a locus's last byte hold code 0, which the counts
  // take for class-2 homozygotes and the .bed must hold as zero bits.
  const std::size_t padding = locusBytes * 4 - individuals;
  const auto lastMask = static_cast<std::uint8_t>(0xFF >> (2 * padding));
  std::vector<std::uint16_t> column(words);
  // Four codes per byte, lowest bits first: each word's low byte, then its high byte.
  std::vector<std::uint8_t> bytes(2 * words);
  allele1_.assign(entries_.size(), '0');
  allele2_.assign(entries_.size(), '0');
  const std::size_t lociPerCheckpoint = std::max<std::size_t>(1, checkpointBytes_ / (locusBytes + 1));
  store_->ForEachLocus([&](std::size_t j) {
    if (checkpoint_ && j % lociPerCheckpoint == 0) checkpoint_();
    store_->PutWords(j, column.data());
    if constexpr (std::endian::native == std::endian::little) {
      // An empty sample has no words, and no buffer to copy from.
      if (!bytes.empty()) std::memcpy(bytes.data(), column.data(), bytes.size());
    } else {
      for (std::size_t w = 0; w < words; ++w) {
        bytes[2 * w] = static_cast<std::uint8_t>(column[w] & 0xFF);
        bytes[2 * w + 1] = static_cast<std::uint8_t>(column[w] >> 8);
      }
    }
    std::size_t counts[3] = {0, 0, 0};
    for (std::size_t first = 0; first < locusBytes; first += kCountChunk) {
      std::uint64_t packed = 0;
      const std::size_t last = std::min(locusBytes, first + kCountChunk);
      for (std::size_t b = first; b < last; ++b) packed += kCounts[bytes[b]];
      for (std::size_t code = 0; code < 3; ++code) {
        counts[code] += (packed >> (kLaneBits * code)) & ((std::uint64_t{1} << kLaneBits) - 1);
      }
    }
    const std::size_t classOne = 2 * counts[2] + counts[1];
    const std::size_t classTwo = 2 * (counts[0] - padding) + counts[1];
    const AlleleOrder order = OrderAlleles(classOne, classTwo, firstAllele_.empty() ? 0 : firstAllele_[j]);
    allele1_[j] = order.allele1;
    allele2_[j] = order.allele2;
    const auto& table = order.classOneFirst ? kBytesClassOneFirst : kBytesClassTwoFirst;
    auto* out = reinterpret_cast<std::uint8_t*>(bed_.Reserve(locusBytes));
    for (std::size_t b = 0; b < locusBytes; ++b) out[b] = table[bytes[b]];
    if (locusBytes != 0) out[locusBytes - 1] &= lastMask;
    bed_.Commit(reinterpret_cast<char*>(out + locusBytes));
  });
}

void PlinkBinaryWriter::WriteLoci() {
  int region = 0;
  double cm = 0;
  for (std::size_t j = 0; j < entries_.size(); ++j) {
    const MapEntry& entry = entries_[j];
    // The genetic position within the region, from its first chosen locus.
    if (entry.regionNumber != region) {
      region = entry.regionNumber;
      cm = 0;
    } else {
      cm += entry.distance.value_or(0.0);
    }
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
