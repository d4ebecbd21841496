// The AVX2 kernel of the lane generator's DrawBelowBits: the eight lanes as
// two sets of four, each state word of a set in one vector. Only the
// functions marked with the target attribute use AVX2 instructions, so the
// file builds with the project's portable flags and the kernel runs only
// where the dispatch (random/cpu_features.h) found AVX2.

#include "random/lane_generator.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace korvane::detail {
namespace {

// Word w of lanes 4h .. 4h + 3 in set h.
struct Lanes {
  __m256i s0, s1, s2, s3;
};

template <int k>
__attribute__((target("avx2"))) inline __m256i Rotl(__m256i x) {
  return _mm256_or_si256(_mm256_slli_epi64(x, k), _mm256_srli_epi64(x, 64 - k));
}

// One step of four lanes: their outputs, the state advanced. x * 5 and x * 9
// as shifts and additions (AVX2 has no 64-bit multiplication).
__attribute__((target("avx2"))) inline __m256i Step(Lanes& v) {
  const __m256i times5 = _mm256_add_epi64(_mm256_slli_epi64(v.s1, 2), v.s1);
  const __m256i rotated = Rotl<7>(times5);
  const __m256i result = _mm256_add_epi64(_mm256_slli_epi64(rotated, 3), rotated);
  const __m256i t = _mm256_slli_epi64(v.s1, 17);
  v.s2 = _mm256_xor_si256(v.s2, v.s0);
  v.s3 = _mm256_xor_si256(v.s3, v.s1);
  v.s1 = _mm256_xor_si256(v.s1, v.s2);
  v.s0 = _mm256_xor_si256(v.s0, v.s3);
  v.s2 = _mm256_xor_si256(v.s2, t);
  v.s3 = Rotl<45>(v.s3);
  return result;
}

// Four bits: value below threshold, unsigned, both offset by 2^63 for the
// signed comparison.
__attribute__((target("avx2"))) inline unsigned Below(__m256i value, __m256i flippedThreshold, __m256i sign) {
  const __m256i below = _mm256_cmpgt_epi64(flippedThreshold, _mm256_xor_si256(value, sign));
  return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(below)));
}

__attribute__((target("avx2"))) inline __m256i Load(const std::uint64_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline void Store(std::uint64_t* p, __m256i x) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x);
}

inline void OrBits(std::uint64_t* bits, int position, std::uint64_t word, int count) {
  const int shift = position % 64;
  bits[position / 64] |= word << shift;
  if (shift != 0 && shift + count > 64) bits[position / 64 + 1] |= word >> (64 - shift);
}

// One step of both sets: eight bits, values below thresholds[first ..
// first + 7] or (kUniform) the flipped uniform threshold; the outputs left in
// outA, outB.
template <bool kUniform>
__attribute__((target("avx2"))) inline std::uint64_t StepBits(Lanes& a, Lanes& b, __m256i& outA, __m256i& outB,
                                                              const std::uint64_t* thresholds, int first,
                                                              __m256i flippedUniform, __m256i sign) {
  outA = Step(a);
  outB = Step(b);
  __m256i thresholdA = flippedUniform;
  __m256i thresholdB = flippedUniform;
  if (!kUniform) {
    thresholdA = _mm256_xor_si256(Load(thresholds + first), sign);
    thresholdB = _mm256_xor_si256(Load(thresholds + first + 4), sign);
  }
  return static_cast<std::uint64_t>(Below(outA, thresholdA, sign) | (Below(outB, thresholdB, sign) << 4));
}

template <bool kUniform>
__attribute__((target("avx2"))) void Run(LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform,
                                         int steps, std::uint64_t* bits, int first, std::uint64_t* last) {
  constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
  const __m256i sign = _mm256_set1_epi64x(static_cast<long long>(kSignBit));
  const __m256i flippedUniform = _mm256_xor_si256(_mm256_set1_epi64x(static_cast<long long>(uniform)), sign);
  Lanes a{Load(&state[0][0]), Load(&state[1][0]), Load(&state[2][0]), Load(&state[3][0])};
  Lanes b{Load(&state[0][4]), Load(&state[1][4]), Load(&state[2][4]), Load(&state[3][4])};
  __m256i outA = _mm256_setzero_si256();
  __m256i outB = _mm256_setzero_si256();
  // Eight steps make a word of bits; the last word may have fewer.
  for (int base = 0; base < steps; base += 8) {
    std::uint64_t word = 0;
    if (steps - base >= 8) {
#pragma GCC unroll 2
      for (int k = 0; k < 8; ++k) {
        word |= StepBits<kUniform>(a, b, outA, outB, thresholds, 8 * (base + k), flippedUniform, sign) << (8 * k);
      }
      OrBits(bits, first + 8 * base, word, 64);
    } else {
      for (int k = 0; k < steps - base; ++k) {
        word |= StepBits<kUniform>(a, b, outA, outB, thresholds, 8 * (base + k), flippedUniform, sign) << (8 * k);
      }
      OrBits(bits, first + 8 * base, word, 8 * (steps - base));
    }
  }
  if (steps <= 0) return;
  Store(&state[0][0], a.s0);
  Store(&state[1][0], a.s1);
  Store(&state[2][0], a.s2);
  Store(&state[3][0], a.s3);
  Store(&state[0][4], b.s0);
  Store(&state[1][4], b.s1);
  Store(&state[2][4], b.s2);
  Store(&state[3][4], b.s3);
  Store(last, outA);
  Store(last + 4, outB);
}

}  // namespace

void LaneStepsBelowBitsAvx2(LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform, int steps,
                            std::uint64_t* bits, int first, std::uint64_t* last) {
  if (thresholds) {
    Run<false>(state, thresholds, uniform, steps, bits, first, last);
  } else {
    Run<true>(state, thresholds, uniform, steps, bits, first, last);
  }
}

}  // namespace korvane::detail

#else

namespace korvane::detail {

void LaneStepsBelowBitsAvx2(LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform, int steps,
                            std::uint64_t* bits, int first, std::uint64_t* last) {
  LaneStepsBelowBitsPortable(state, thresholds, uniform, steps, bits, first, last);
}

}  // namespace korvane::detail

#endif
