#include "random/lane_generator.h"

#include <cmath>

#include "random/bulk_draws.h"
#include "random/cpu_features.h"

namespace korvane {
namespace {

inline std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// One step of lane l: its output, and the state advanced.
inline std::uint64_t Step(detail::LaneState& s, int l) {
  const std::uint64_t result = Rotl(s[1][l] * 5, 7) * 9;
  const std::uint64_t t = s[1][l] << 17;
  s[2][l] ^= s[0][l];
  s[3][l] ^= s[1][l];
  s[1][l] ^= s[2][l];
  s[0][l] ^= s[3][l];
  s[2][l] ^= t;
  s[3][l] = Rotl(s[3][l], 45);
  return result;
}

// ORs the low `count` bits of `word` (1..64, none above them set) into
// `bits` at bit `position`.
inline void OrBits(std::uint64_t* bits, int position, std::uint64_t word, int count) {
  const int shift = position % 64;
  bits[position / 64] |= word << shift;
  if (shift != 0 && shift + count > 64) bits[position / 64 + 1] |= word >> (64 - shift);
}

// Up to eight steps of lane l, whose state stays in registers meanwhile:
// the bits of its values at bits l, l + 8, ... of the block's word, and its
// output at the last of them.
template <bool kUniform>
inline std::uint64_t LaneBlock(detail::LaneState& state, int l, const std::uint64_t* thresholds, std::uint64_t uniform,
                               int count, std::uint64_t& last) {
  std::uint64_t s0 = state[0][l], s1 = state[1][l], s2 = state[2][l], s3 = state[3][l];
  std::uint64_t output = 0;
  std::uint64_t word = 0;
#pragma GCC unroll 8
  for (int k = 0; k < count; ++k) {
    output = Rotl(s1 * 5, 7) * 9;
    const std::uint64_t t = s1 << 17;
    s2 ^= s0;
    s3 ^= s1;
    s1 ^= s2;
    s0 ^= s3;
    s2 ^= t;
    s3 = Rotl(s3, 45);
    const std::uint64_t threshold = kUniform ? uniform : thresholds[8 * k + l];
    word |= static_cast<std::uint64_t>(output < threshold) << (8 * k + l);
  }
  state[0][l] = s0;
  state[1][l] = s1;
  state[2][l] = s2;
  state[3][l] = s3;
  last = output;
  return word;
}

// Blocks of eight steps (a word of bits), lane by lane within a block.
template <bool kUniform>
void PortableSteps(detail::LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform, int steps,
                   std::uint64_t* bits, int first, std::uint64_t* last) {
  for (int base = 0; base < steps; base += 8) {
    const int count = steps - base < 8 ? steps - base : 8;
    const std::uint64_t* blockThresholds = kUniform ? nullptr : thresholds + 8 * base;
    std::uint64_t word = 0;
    for (int l = 0; l < LaneGenerator::kLanes; ++l) {
      word |= count == 8 ? LaneBlock<kUniform>(state, l, blockThresholds, uniform, 8, last[l])
                         : LaneBlock<kUniform>(state, l, blockThresholds, uniform, count, last[l]);
    }
    OrBits(bits, first + 8 * base, word, 8 * count);
  }
}

}  // namespace

LaneGenerator::LaneGenerator(std::uint64_t key) {
  SplitMix64 mix(key);
  for (int l = 0; l < kLanes; ++l) {
    for (int w = 0; w < 4; ++w) state[w][l] = mix.Next();
    if ((state[0][l] | state[1][l] | state[2][l] | state[3][l]) == 0) state[0][l] = 1;
  }
}

void LaneGenerator::Refill() {
  for (int l = 0; l < kLanes; ++l) buffer_[l] = Step(state, l);
  position_ = 0;
}

std::uint64_t ThresholdOf(double probability) {
  if (!(probability > 0.0)) return 0;
  if (probability >= 1.0) return ~std::uint64_t{0};
  // probability x 2^64 is at most 2^64 - 2^11 here: it fits.
  return static_cast<std::uint64_t>(std::nearbyint(std::ldexp(probability, 64)));
}

void LaneGenerator::DrawBelow(const std::uint64_t* thresholds, std::uint64_t uniform, int n, std::uint64_t* bits) {
  const int words = WordsForBits(n);
  for (int w = 0; w < words; ++w) bits[w] = 0;
  const auto take = [&](int p) {
    const std::uint64_t value = buffer_[position_++];
    if (value < (thresholds ? thresholds[p] : uniform)) bits[p / 64] |= std::uint64_t{1} << (p % 64);
  };
  // The head: the values left in the buffer.
  int p = 0;
  for (; p < n && position_ < kLanes; ++p) take(p);
  // The whole steps, on the kernel chosen (bulk_draws.h's choice).
  const int steps = (n - p) / kLanes;
  if (steps > 0) {
    const std::uint64_t* rest = thresholds ? thresholds + p : nullptr;
    if (ActiveDrawKernel() == DrawKernel::kAvx2) {
      detail::LaneStepsBelowBitsAvx2(state, rest, uniform, steps, bits, p, buffer_.data());
    } else {
      detail::LaneStepsBelowBitsPortable(state, rest, uniform, steps, bits, p, buffer_.data());
    }
    p += kLanes * steps;
  }
  // The tail: one more step into the buffer, of which a part is taken.
  if (p < n) {
    Refill();
    for (; p < n; ++p) take(p);
  }
}

void DrawBelowBits(LaneGenerator& gen, const std::uint64_t* thresholds, int n, std::uint64_t* bits) {
  gen.DrawBelow(thresholds, 0, n, bits);
}

void DrawBelowBits(LaneGenerator& gen, std::uint64_t threshold, int n, std::uint64_t* bits) {
  gen.DrawBelow(nullptr, threshold, n, bits);
}

std::uint64_t StreamKey(std::uint64_t base, std::uint64_t what, std::uint64_t which) {
  std::uint64_t key = SplitMix64(base ^ (what * 0xD1B54A32D192ED03u)).Next();
  return SplitMix64(key + which * 0x9E3779B97F4A7C15u).Next();
}

namespace detail {

void LaneStepsBelowBitsPortable(LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform, int steps,
                                std::uint64_t* bits, int first, std::uint64_t* last) {
  if (steps <= 0) return;
  if (thresholds) {
    PortableSteps<false>(state, thresholds, uniform, steps, bits, first, last);
  } else {
    PortableSteps<true>(state, thresholds, uniform, steps, bits, first, last);
  }
}

}  // namespace detail
}  // namespace korvane
