// The AVX2 kernel of the bulk draws. Only the functions marked with the
// target attribute use AVX2 instructions, so the file builds with the
// project's portable flags and the kernel runs only where the dispatch in
// bulk_draws.cpp found AVX2.

#include "random/bulk_draws.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace korvane::detail {
namespace {

// Lane l of chain c holds the state of draw 8c + l of a block of 64; lane
// maps are the jumps 1..64 from the state before the block, and every lane
// moves on by 64 draws per block.
constexpr int kChains = 8;
constexpr int kBlock = 8 * kChains;

struct LaneJumps {
  alignas(32) std::uint32_t multiplier[kBlock];
  alignas(32) std::uint32_t increment[kBlock];
};

constexpr LaneJumps MakeLaneJumps() {
  LaneJumps jumps{};
  for (int k = 0; k < kBlock; ++k) {
    const LcgJump jump = JumpOf(static_cast<std::uint64_t>(k) + 1);
    jumps.multiplier[k] = jump.multiplier;
    jumps.increment[k] = jump.increment;
  }
  return jumps;
}

constexpr LaneJumps kLaneJumps = MakeLaneJumps();
constexpr LcgJump kBlockJump = JumpOf(kBlock);

// The multiplier is odd, hence invertible modulo 2^32; Newton's iteration
// doubles the correct low bits from 3 at every step.
constexpr std::uint32_t InverseOf(std::uint32_t odd) {
  std::uint32_t x = odd;
  for (int i = 0; i < 5; ++i) x *= 2u - odd * x;
  return x;
}
constexpr std::uint32_t kInverseMultiplier = InverseOf(RandomGenerator::kMultiplier);
static_assert(kInverseMultiplier * RandomGenerator::kMultiplier == 1u);

// Below this many draws the lanes cost more than they save.
constexpr int kShortRun = 24;

struct Constants {
  __m256i blockMultiplier, blockIncrement, low15, scale, low25;
};

__attribute__((target("avx2"))) inline Constants MakeConstants() {
  return Constants{_mm256_set1_epi32(static_cast<int>(kBlockJump.multiplier)),
                   _mm256_set1_epi32(static_cast<int>(kBlockJump.increment)), _mm256_set1_epi32(0x7FFF),
                   _mm256_set1_epi32(kThousandthScale), _mm256_set1_epi32(0x1FFFFFF)};
}

// The 64 bits of one block, thresholds from `scaled` or `uniform`; the lanes
// then move to the next block. A partial block (kPartial) reads only the
// first `rest` thresholds and its bits above them are left for the caller to
// clear.
template <bool kUniform, bool kPartial>
__attribute__((target("avx2"))) inline std::uint64_t Block(__m256i* lanes, const Constants& k,
                                                           const std::int32_t* scaled, __m256i uniform, int rest) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  std::uint64_t word = 0;
  // Unrolled, so that the lanes stay in registers.
#pragma GCC unroll 8
  for (int c = 0; c < kChains; ++c) {
    const __m256i r = _mm256_and_si256(_mm256_srli_epi32(lanes[c], 16), k.low15);
    const __m256i fraction = _mm256_and_si256(_mm256_mullo_epi32(r, k.scale), k.low25);
    __m256i threshold = uniform;
    if (!kUniform && !kPartial) {
      threshold = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(scaled + 8 * c));
    } else if (!kUniform) {
      // Lanes past the end are neither read nor below anything.
      const __m256i inside = _mm256_cmpgt_epi32(_mm256_set1_epi32(rest - 8 * c), lane);
      threshold = _mm256_maskload_epi32(reinterpret_cast<const int*>(scaled + 8 * c), inside);
    }
    const __m256i below = _mm256_cmpgt_epi32(threshold, fraction);
    word |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(below))))
            << (8 * c);
    lanes[c] = _mm256_add_epi32(_mm256_mullo_epi32(lanes[c], k.blockMultiplier), k.blockIncrement);
  }
  return word;
}

template <bool kUniform>
__attribute__((target("avx2"))) std::uint32_t Run(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform,
                                                  int n, std::uint64_t* bits) {
  const Constants k = MakeConstants();
  const __m256i uniformLanes = _mm256_set1_epi32(uniform);
  const __m256i start = _mm256_set1_epi32(static_cast<int>(state));
  __m256i lanes[kChains];
#pragma GCC unroll 8
  for (int c = 0; c < kChains; ++c) {
    const __m256i multiplier = _mm256_load_si256(reinterpret_cast<const __m256i*>(kLaneJumps.multiplier + 8 * c));
    const __m256i increment = _mm256_load_si256(reinterpret_cast<const __m256i*>(kLaneJumps.increment + 8 * c));
    lanes[c] = _mm256_add_epi32(_mm256_mullo_epi32(start, multiplier), increment);
  }
  const int fullBlocks = n / kBlock;
  for (int b = 0; b < fullBlocks; ++b) {
    bits[b] = Block<kUniform, false>(lanes, k, scaled + (kUniform ? 0 : kBlock * b), uniformLanes, kBlock);
  }
  // Lane 0 now holds the state of the draw after the last full block.
  const auto nextState = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(lanes[0]));
  const int rest = n - kBlock * fullBlocks;
  if (rest == 0) return kInverseMultiplier * (nextState - RandomGenerator::kIncrement);
  const std::uint64_t word =
      Block<kUniform, true>(lanes, k, scaled + (kUniform ? 0 : kBlock * fullBlocks), uniformLanes, rest);
  bits[fullBlocks] = word & (~std::uint64_t{0} >> (kBlock - rest));
  // The last draw is rest - 1 draws after nextState's.
  return rest == 1 ? nextState : kLaneJumps.multiplier[rest - 2] * nextState + kLaneJumps.increment[rest - 2];
}

}  // namespace

std::uint32_t DrawBelowBitsAvx2(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform, int n,
                                std::uint64_t* bits) {
  if (n < kShortRun) return DrawBelowBitsPortable(state, scaled, uniform, n, bits);
  return scaled ? Run<false>(state, scaled, uniform, n, bits) : Run<true>(state, scaled, uniform, n, bits);
}

}  // namespace korvane::detail

#else

namespace korvane::detail {

std::uint32_t DrawBelowBitsAvx2(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform, int n,
                                std::uint64_t* bits) {
  return DrawBelowBitsPortable(state, scaled, uniform, n, bits);
}

}  // namespace korvane::detail

#endif
