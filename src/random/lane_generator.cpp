#include "random/lane_generator.h"

#include <cmath>

#include "random/bulk_draws.h"

namespace korvane {
namespace {

inline std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// One step of lane l: its output, and the state advanced.
inline std::uint64_t Step(std::array<std::array<std::uint64_t, LaneGenerator::kLanes>, 4>& s, int l) {
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

void DrawBelowBits(LaneGenerator& gen, const std::uint64_t* thresholds, int n, std::uint64_t* bits) {
  const int words = WordsForBits(n);
  for (int w = 0; w < words; ++w) bits[w] = 0;
  for (int p = 0; p < n; ++p) {
    if (gen.Next() < thresholds[p]) bits[p / 64] |= std::uint64_t{1} << (p % 64);
  }
}

void DrawBelowBits(LaneGenerator& gen, std::uint64_t threshold, int n, std::uint64_t* bits) {
  const int words = WordsForBits(n);
  for (int w = 0; w < words; ++w) bits[w] = 0;
  for (int p = 0; p < n; ++p) {
    if (gen.Next() < threshold) bits[p / 64] |= std::uint64_t{1} << (p % 64);
  }
}

std::uint64_t StreamKey(std::uint64_t base, std::uint64_t what, std::uint64_t which) {
  std::uint64_t key = SplitMix64(base ^ (what * 0xD1B54A32D192ED03u)).Next();
  return SplitMix64(key + which * 0x9E3779B97F4A7C15u).Next();
}

}  // namespace korvane
