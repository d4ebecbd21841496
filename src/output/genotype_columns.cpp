#include "output/genotype_columns.h"

#include <array>
#include <stdexcept>

namespace korvane {
namespace {

// The four characters of the four codes held in one byte, lowest bits first.
constexpr std::array<std::array<char, 4>, 256> MakeByteCharacters() {
  constexpr char kCharacter[4] = {'0', '1', '2', '9'};
  std::array<std::array<char, 4>, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    for (int k = 0; k < 4; ++k) table[byte][k] = kCharacter[(byte >> (2 * k)) & 3];
  }
  return table;
}

constexpr auto kByteCharacters = MakeByteCharacters();

std::uint64_t CodeOf(const Genotype& genotype) {
  return genotype.Missing() ? GenotypeColumns::kMissingCode : static_cast<std::uint64_t>(genotype.ClassOneCount());
}

}  // namespace

void GenotypeColumns::SetLocusCount(std::size_t locusCount) {
  if (individualCount_ != 0 && locusCount != locusCount_) {
    throw std::logic_error("genotype columns: the locus count cannot change once rows are stored");
  }
  locusCount_ = locusCount;
}

void GenotypeColumns::Append(std::span<const Genotype> row) {
  if (row.size() != locusCount_) {
    throw std::invalid_argument(fmt::format("genotype row of {} loci where the replicate has {}", row.size(),
                                            locusCount_));
  }
  const std::size_t slot = individualCount_ % kPerWord;
  if (slot == 0) words_.resize(words_.size() + locusCount_, 0);
  std::uint64_t* block = words_.data() + (individualCount_ / kPerWord) * locusCount_;
  const int shift = static_cast<int>(slot) * kCodeBits;
  for (std::size_t j = 0; j < locusCount_; ++j) block[j] |= CodeOf(row[j]) << shift;
  ++individualCount_;
}

void GenotypeColumns::AppendColumn(std::size_t locus, output_detail::TextBuffer& text) const {
  if (locus >= locusCount_) throw std::out_of_range(fmt::format("genotype columns: no locus {}", locus));
  const std::size_t fullBlocks = individualCount_ / kPerWord;
  const std::size_t rest = individualCount_ % kPerWord;
  char characters[kPerWord];
  for (std::size_t b = 0; b <= fullBlocks; ++b) {
    const std::size_t count = b < fullBlocks ? kPerWord : rest;
    if (count == 0) break;
    std::uint64_t word = words_[b * locusCount_ + locus];
    for (int byte = 0; byte < 8; ++byte, word >>= 8) {
      const auto& four = kByteCharacters[word & 0xFF];
      for (int k = 0; k < 4; ++k) characters[4 * byte + k] = four[k];
    }
    text.append(characters, characters + count);
  }
}

}  // namespace korvane
