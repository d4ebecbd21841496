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
  // A copy of the state the compiler can keep apart from `bits`.
  LaneState s = state;
  std::uint64_t out[LaneGenerator::kLanes] = {};
  for (int base = 0; base < steps; base += 8) {
    // Eight steps of eight lanes: one word of bits.
    const int count = steps - base < 8 ? steps - base : 8;
    std::uint64_t word = 0;
    for (int k = 0; k < count; ++k) {
      const std::uint64_t* threshold = thresholds ? thresholds + LaneGenerator::kLanes * (base + k) : nullptr;
      for (int l = 0; l < LaneGenerator::kLanes; ++l) {
        out[l] = Step(s, l);
        word |= static_cast<std::uint64_t>(out[l] < (threshold ? threshold[l] : uniform)) << (8 * k + l);
      }
    }
    OrBits(bits, first + 64 * (base / 8), word, 8 * count);
  }
  if (steps <= 0) return;
  state = s;
  for (int l = 0; l < LaneGenerator::kLanes; ++l) last[l] = out[l];
}

}  // namespace detail
}  // namespace korvane
