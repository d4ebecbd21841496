#include "output/genotype_columns.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {
namespace {

// The code of each genotype text (TextIndex): missing, 1 1, 1 2, 2 1, 2 2.
constexpr std::uint16_t kCodeOfText[5] = {GenotypeColumns::kMissingCode, 2, 1, 1, 0};

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

// The eight characters of the codes of one word, lowest bits first.
inline void PutWord(char* out, std::uint16_t word) {
  std::memcpy(out, kByteCharacters[word & 0xFF].data(), 4);
  std::memcpy(out + 4, kByteCharacters[word >> 8].data(), 4);
}

}  // namespace

void GenotypeColumns::SetLocusCount(std::size_t locusCount) {
  if (individualCount_ != 0 && locusCount != locusCount_) {
    throw std::logic_error("genotype columns: the locus count cannot change once rows are stored");
  }
  // Chunks kept for reuse were cut for the old count.
  if (locusCount != locusCount_) chunks_.clear();
  locusCount_ = locusCount;
}

void GenotypeColumns::Append(std::span<const Genotype> row) {
  if (row.size() != locusCount_) {
    throw std::invalid_argument(
        fmt::format("genotype row of {} loci where the replicate has {}", row.size(), locusCount_));
  }
  const std::size_t slot = individualCount_ % kPerWord;
  const std::size_t blockIndex = individualCount_ / kPerWord;
  if (slot == 0 && blockIndex / kBlocksPerChunk == chunks_.size()) {
    chunks_.push_back(std::make_unique<std::uint16_t[]>(kBlocksPerChunk * locusCount_));
  }
  std::uint16_t* block = chunks_[blockIndex / kBlocksPerChunk].get() + (blockIndex % kBlocksPerChunk) * locusCount_;
  const int shift = static_cast<int>(slot) * kCodeBits;
  std::size_t j = 0;
#if defined(__SSE2__)
  // Eight loci at a time: the codes (class-1 count, or 3 when missing) in the
  // 16-bit lanes of the genotypes, shifted into place and added to the words.
  static_assert(sizeof(Genotype) == 2, "a genotype is two allele-class bytes");
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (; j + 8 <= locusCount_; j += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.data() + j));
    const __m128i isOne = _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(1)), _mm_set1_epi8(1));
    const __m128i count = _mm_add_epi16(_mm_and_si128(isOne, lowBytes), _mm_srli_epi16(isOne, 8));
    const __m128i missing = _mm_cmpeq_epi16(_mm_and_si128(v, lowBytes), _mm_setzero_si128());
    const __m128i codes = _mm_or_si128(count, _mm_and_si128(missing, _mm_set1_epi16(kMissingCode)));
    auto* words = reinterpret_cast<__m128i*>(block + j);
    _mm_storeu_si128(words, _mm_or_si128(_mm_loadu_si128(words), _mm_sll_epi16(codes, shiftCount)));
  }
#endif
  for (; j < locusCount_; ++j) {
    block[j] = static_cast<std::uint16_t>(block[j] | kCodeOfText[output_detail::TextIndex(row[j])] << shift);
  }
  ++individualCount_;
}

void GenotypeColumns::AppendColumn(std::size_t locus, output_detail::TextBuffer& text) const {
  const std::size_t used = text.size();
  text.resize(used + individualCount_);
  PutColumn(locus, text.data() + used);
}

char* GenotypeColumns::PutColumn(std::size_t locus, char* out) const {
  if (locus >= locusCount_) throw std::out_of_range(fmt::format("genotype columns: no locus {}", locus));
  const std::size_t fullBlocks = individualCount_ / kPerWord;
  const std::size_t rest = individualCount_ % kPerWord;
  for (std::size_t first = 0; first < fullBlocks; first += kBlocksPerChunk) {
    const std::size_t count = std::min(kBlocksPerChunk, fullBlocks - first);
    const std::uint16_t* word = chunks_[first / kBlocksPerChunk].get() + locus;
    for (std::size_t b = 0; b < count; ++b, word += locusCount_, out += kPerWord) PutWord(out, *word);
  }
  if (rest != 0) {
    const std::size_t b = fullBlocks;
    out = PutCodes(&chunks_[b / kBlocksPerChunk][(b % kBlocksPerChunk) * locusCount_ + locus], rest, out);
  }
  return out;
}

void GenotypeColumns::PutWords(std::size_t locus, std::uint16_t* out) const {
  if (locus >= locusCount_) throw std::out_of_range(fmt::format("genotype columns: no locus {}", locus));
  const std::size_t blocks = BlockCount();
  for (std::size_t b = 0; b < blocks; ++b)
    *out++ = chunks_[b / kBlocksPerChunk][(b % kBlocksPerChunk) * locusCount_ + locus];
}

void GenotypeColumns::PutLociWords(std::size_t first, std::size_t count, std::uint16_t* out) const {
  if (first > locusCount_ || count > locusCount_ - first) {
    throw std::out_of_range(fmt::format("genotype columns: no loci {} to {}", first, first + count));
  }
  // A block's words of the loci are read in one sweep and go to one slot of
  // each locus's row, so the rows' current cache lines stay in the cache.
  const std::size_t blocks = BlockCount();
  const auto blockWords = [&](std::size_t b) {
    return chunks_[b / kBlocksPerChunk].get() + (b % kBlocksPerChunk) * locusCount_ + first;
  };
  std::size_t b0 = 0;
#if defined(__SSE2__)
  // Eight blocks by eight loci at a time: the 8 x 8 words transposed in
  // registers, so that each locus's eight words are stored at once.
  for (; b0 + 8 <= blocks; b0 += 8) {
    std::array<const std::uint16_t*, 8> rows{};
    for (std::size_t i = 0; i < 8; ++i) rows[i] = blockWords(b0 + i);
    std::size_t k0 = 0;
    for (; k0 + 8 <= count; k0 += 8) {
      __m128i r[8];
      for (std::size_t i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + k0));
      const __m128i t0 = _mm_unpacklo_epi16(r[0], r[1]), t1 = _mm_unpackhi_epi16(r[0], r[1]);
      const __m128i t2 = _mm_unpacklo_epi16(r[2], r[3]), t3 = _mm_unpackhi_epi16(r[2], r[3]);
      const __m128i t4 = _mm_unpacklo_epi16(r[4], r[5]), t5 = _mm_unpackhi_epi16(r[4], r[5]);
      const __m128i t6 = _mm_unpacklo_epi16(r[6], r[7]), t7 = _mm_unpackhi_epi16(r[6], r[7]);
      const __m128i u0 = _mm_unpacklo_epi32(t0, t2), u1 = _mm_unpackhi_epi32(t0, t2);
      const __m128i u2 = _mm_unpacklo_epi32(t1, t3), u3 = _mm_unpackhi_epi32(t1, t3);
      const __m128i u4 = _mm_unpacklo_epi32(t4, t6), u5 = _mm_unpackhi_epi32(t4, t6);
      const __m128i u6 = _mm_unpacklo_epi32(t5, t7), u7 = _mm_unpackhi_epi32(t5, t7);
      const __m128i columns[8] = {_mm_unpacklo_epi64(u0, u4), _mm_unpackhi_epi64(u0, u4), _mm_unpacklo_epi64(u1, u5),
                                  _mm_unpackhi_epi64(u1, u5), _mm_unpacklo_epi64(u2, u6), _mm_unpackhi_epi64(u2, u6),
                                  _mm_unpacklo_epi64(u3, u7), _mm_unpackhi_epi64(u3, u7)};
      for (std::size_t k = 0; k < 8; ++k) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (k0 + k) * blocks + b0), columns[k]);
      }
    }
    for (; k0 < count; ++k0) {
      for (std::size_t i = 0; i < 8; ++i) out[k0 * blocks + b0 + i] = rows[i][k0];
    }
  }
#endif
  for (std::size_t b = b0; b < blocks; ++b) {
    const std::uint16_t* words = blockWords(b);
    std::uint16_t* to = out + b;
    for (std::size_t k = 0; k < count; ++k, to += blocks) *to = words[k];
  }
}

void GenotypeColumns::Clear() {
  const std::size_t blocks = BlockCount();
  for (std::size_t first = 0; first < blocks; first += kBlocksPerChunk) {
    const std::size_t count = std::min(kBlocksPerChunk, blocks - first);
    std::memset(chunks_[first / kBlocksPerChunk].get(), 0, count * locusCount_ * sizeof(std::uint16_t));
  }
  individualCount_ = 0;
}

char* GenotypeColumns::PutCodes(const std::uint16_t* words, std::size_t codes, char* out) {
  for (; codes >= kPerWord; codes -= kPerWord, out += kPerWord) PutWord(out, *words++);
  if (codes != 0) {
    char characters[kPerWord];
    PutWord(characters, *words);
    std::memcpy(out, characters, codes);
    out += codes;
  }
  return out;
}

}  // namespace korvane
