// The calibrated model's eight-lane stream: each lane is xoshiro256**
// (so the reference outputs carry over), DrawBelowBits is n calls of Next()
// on both kernels wherever the call starts in the buffer, and the thresholds
// and stream keys.

#include "random/lane_generator.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "random/bulk_draws.h"
#include "random/cpu_features.h"

namespace korvane {
namespace {

constexpr std::uint64_t kAll = ~std::uint64_t{0};

Xoshiro256 LaneOf(const LaneGenerator& gen, int l) {
  return Xoshiro256(std::array<std::uint64_t, 4>{gen.state[0][l], gen.state[1][l], gen.state[2][l], gen.state[3][l]});
}

TEST(LaneGeneratorTest, LanesAreXoshiroGeneratorsTakenInTurn) {
  // Lane l's words are SplitMix64 outputs 4l .. 4l + 3 of the key (the
  // reference outputs from 0 start lane 0).
  LaneGenerator gen(0);
  EXPECT_EQ(gen.state[0][0], 0xE220A8397B1DCDAFu);
  EXPECT_EQ(gen.state[1][0], 0x6E789E6AA1B965F4u);
  EXPECT_EQ(gen.state[2][0], 0x06C45D188009454Fu);
  SplitMix64 mix(0);
  for (int l = 0; l < LaneGenerator::kLanes; ++l) {
    for (int w = 0; w < 4; ++w) EXPECT_EQ(gen.state[w][l], mix.Next()) << "lane " << l << ", word " << w;
  }

  // Value p is lane p mod 8's output at its step p div 8.
  LaneGenerator lanes(0x1234);
  std::vector<Xoshiro256> single;
  for (int l = 0; l < LaneGenerator::kLanes; ++l) single.push_back(LaneOf(lanes, l));
  for (int p = 0; p < 8 * 300; ++p) ASSERT_EQ(lanes.Next(), single[p % 8].Next()) << "value " << p;

  // The reference outputs from {1, 2, 3, 4}, here in lane 5.
  LaneGenerator reference(1);
  for (int w = 0; w < 4; ++w) reference.state[w][5] = static_cast<std::uint64_t>(w) + 1;
  const std::array<std::uint64_t, 6> expected = {
      11520u, 0u, 1509978240u, 1215971899390074240u, 1216172134540287360u, 607988272756665600u};
  for (const std::uint64_t value : expected) {
    for (int l = 0; l < 5; ++l) reference.Next();
    EXPECT_EQ(reference.Next(), value);
    for (int l = 6; l < 8; ++l) reference.Next();
  }
}

class LaneDrawKernelTest : public ::testing::TestWithParam<DrawKernel> {
 protected:
  void SetUp() override {
    before_ = ActiveDrawKernel();
    if (GetParam() == DrawKernel::kAvx2 && !Avx2Available()) GTEST_SKIP() << "no AVX2 on this processor";
    ASSERT_EQ(SelectDrawKernel(GetParam()), GetParam());
  }
  void TearDown() override { SelectDrawKernel(before_); }

 private:
  DrawKernel before_ = DrawKernel::kPortable;
};

TEST_P(LaneDrawKernelTest, BitsAndEndStateAreThoseOfSingleValues) {
  std::mt19937_64 random(GetParam() == DrawKernel::kAvx2 ? 5 : 6);
  for (const int n : {0, 1, 7, 8, 9, 63, 64, 65, 400, 12867}) {
    // Values taken before the call: none (a fresh buffer), part of a step
    // (odd positions in the buffer), or the whole of one.
    for (const int taken : {0, 1, 3, 5, 7, 8, 13}) {
      for (int variant = 0; variant < 5; ++variant) {
        const std::uint64_t key = random();
        LaneGenerator single(key);
        for (int k = 0; k < taken; ++k) single.Next();
        LaneGenerator gen = single;
        std::vector<std::uint64_t> values(n);
        for (std::uint64_t& value : values) value = single.Next();
        // Per-value thresholds: random, or the value itself give or take one
        // (the comparison's edge, on both sides of 2^63); or one threshold:
        // random, 0 (never below) or 2^64 - 1.
        std::vector<std::uint64_t> thresholds(n);
        for (int p = 0; p < n; ++p) {
          thresholds[p] = variant == 0 ? random() : values[p] + static_cast<std::uint64_t>(p % 3) - 1;
        }
        const std::uint64_t uniform = variant == 2 ? random() : variant == 3 ? 0 : kAll;
        const std::uint64_t sentinel = 0x5A5A5A5A5A5A5A5Aull;
        std::vector<std::uint64_t> bits(WordsForBits(n) + 1, kAll);
        bits.back() = sentinel;
        if (variant < 2) {
          DrawBelowBits(gen, thresholds.data(), n, bits.data());
        } else {
          DrawBelowBits(gen, uniform, n, bits.data());
        }
        for (int p = 0; p < n; ++p) {
          const bool below = values[p] < (variant < 2 ? thresholds[p] : uniform);
          ASSERT_EQ((bits[p / 64] >> (p % 64)) & 1u, below ? 1u : 0u)
              << "n = " << n << ", taken " << taken << ", variant " << variant << ", value " << p;
        }
        if (n % 64 != 0) {
          EXPECT_EQ(bits[n / 64] >> (n % 64), 0u) << "bits above n are cleared";
        }
        EXPECT_EQ(bits.back(), sentinel) << "nothing written past the last word";
        // The same state words, buffer and position: the same values after.
        ASSERT_TRUE(gen == single) << "n = " << n << ", taken " << taken << ", variant " << variant;
        for (int k = 0; k < 11; ++k) ASSERT_EQ(gen.Next(), single.Next());
      }
    }
  }
}

std::string KernelName(const ::testing::TestParamInfo<DrawKernel>& info) {
  return info.param == DrawKernel::kAvx2 ? "Avx2" : "Portable";
}

INSTANTIATE_TEST_SUITE_P(Kernels, LaneDrawKernelTest, ::testing::Values(DrawKernel::kPortable, DrawKernel::kAvx2),
                         KernelName);

TEST(LaneGeneratorTest, ThresholdsRoundProbabilityTimesTwoToThe64) {
  EXPECT_EQ(ThresholdOf(0.5), std::uint64_t{1} << 63);
  EXPECT_EQ(ThresholdOf(0.25), std::uint64_t{1} << 62);
  EXPECT_EQ(ThresholdOf(0.0), 0u);
  EXPECT_EQ(ThresholdOf(-0.5), 0u);
  EXPECT_EQ(ThresholdOf(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(ThresholdOf(1.0), kAll);
  EXPECT_EQ(ThresholdOf(7.0), kAll);
  // The largest double below 1: 2^64 - 2^11, exactly.
  EXPECT_EQ(ThresholdOf(std::nextafter(1.0, 0.0)), kAll - 2047);
  // Rounded to the nearest integer, halves to even: 1e-300 x 2^64 is 0.
  EXPECT_EQ(ThresholdOf(1e-300), 0u);
  EXPECT_EQ(ThresholdOf(0x1.0p-65), 0u);
  EXPECT_EQ(ThresholdOf(0x1.0p-64), 1u);
  EXPECT_EQ(ThresholdOf(0x1.8p-64), 2u);
  EXPECT_EQ(ThresholdOf(0x1.4p-63), 2u);  // 2.5
  EXPECT_EQ(ThresholdOf(0x1.Cp-63), 4u);  // 3.5
}

TEST(LaneGeneratorTest, StreamKeysOfNeighbouringCoordinatesDiffer) {
  std::set<std::uint64_t> keys;
  for (std::uint64_t base : {0u, 1u, 2u}) {
    for (std::uint64_t what = 0; what < 8; ++what) {
      for (std::uint64_t which = 0; which < 200; ++which) keys.insert(StreamKey(base, what, which));
    }
  }
  EXPECT_EQ(keys.size(), 3u * 8u * 200u);
  EXPECT_EQ(StreamKey(9, 4, 5), StreamKey(9, 4, 5));
  EXPECT_NE(StreamKey(9, 4, 5), StreamKey(9, 5, 4));
  // Neighbouring keys give unrelated streams: about half the bits differ.
  LaneGenerator a(StreamKey(9, 4, 5));
  LaneGenerator b(StreamKey(9, 4, 6));
  int differing = 0;
  for (int k = 0; k < 64; ++k) differing += std::popcount(a.Next() ^ b.Next());
  EXPECT_NEAR(differing, 64 * 32, 5 * std::sqrt(64 * 64 * 0.25));
}

}  // namespace
}  // namespace korvane
