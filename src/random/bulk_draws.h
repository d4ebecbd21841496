#pragma once

// Many U(0,1) draws compared with thresholds at once, one bit per draw.
//
// A draw u = U(0,1) is the generator's 15-bit output r reduced to thousandths,
// r mod 1000, and every comparison the models make with it is u < t/1000 for
// an integer number of thousandths t (0..1000). Without the division:
//
//   (r mod 1000) < t   exactly when   ((r * 33555) & 0x1FFFFFF) < 33555 * t
//
// for every r in 0..32767 and t in 0..1000. 33555 / 2^25 is 1/1000 rounded
// up: writing r = 1000q + m, the low 25 bits of r * 33555 are
// m * 33555 + q * 568 (33555000 = 2^25 + 568, and the sum stays below 2^25),
// and q * 568 <= 18176 never reaches the next multiple of 33555. The test
// suite checks every pair.
//
// The generator is affine, so the states of 64 consecutive draws follow from
// the current one by 64 fixed affine maps (random/random_generator.h, JumpOf);
// the AVX2 kernel keeps them in eight vectors of eight lanes and advances
// every lane by 64 steps at a time, which reproduces the stream exactly. The
// portable kernel runs the same stream one draw at a time. Either leaves the
// generator exactly where n single draws would.

#include <cstdint>

#include "random/cpu_features.h"
#include "random/random_generator.h"

namespace korvane {

inline constexpr std::int32_t kThousandthScale = 33555;

// The scaled form of "u below t thousandths", t clamped to 0..1000 (a
// threshold below 0 never holds, one above 1000 always does, as with u).
constexpr std::int32_t ScaledThreshold(int thousandths) {
  return kThousandthScale * (thousandths < 0 ? 0 : thousandths > 1000 ? 1000 : thousandths);
}

// Whether output r (0..32767) is below the scaled threshold.
constexpr bool BelowScaled(std::uint32_t r, std::int32_t scaled) {
  return static_cast<std::int32_t>((r * static_cast<std::uint32_t>(kThousandthScale)) & 0x1FFFFFFu) < scaled;
}

// n draws (n >= 0): bit p of `bits` is set when draw p lies below scaled[p].
// Writes WordsForBits(n) words, the bits above n in the last one cleared.
void DrawBelowBits(RandomGenerator& gen, const std::int32_t* scaled, int n, std::uint64_t* bits);

// The same with one threshold for all n draws.
void DrawBelowBits(RandomGenerator& gen, std::int32_t scaled, int n, std::uint64_t* bits);

constexpr int WordsForBits(int n) { return (n + 63) / 64; }

namespace detail {
// The kernels behind DrawBelowBits: each takes the state before the first
// draw and returns the state after the last; `scaled` null means `uniform`
// for every draw.
std::uint32_t DrawBelowBitsPortable(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform, int n,
                                    std::uint64_t* bits);
std::uint32_t DrawBelowBitsAvx2(std::uint32_t state, const std::int32_t* scaled, std::int32_t uniform, int n,
                                std::uint64_t* bits);
}  // namespace detail

}  // namespace korvane
