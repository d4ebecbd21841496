// The calibrated model's generator against the reference outputs of its
// algorithms, and its draws: the resolution of the uniforms, integers below
// a bound that are exactly equally likely, normals of mean 0 and variance 1,
// and attempt streams that depend on (seed, replicate, attempt) alone.

#include "random/xoshiro.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <vector>

namespace korvane {
namespace {

TEST(XoshiroTest, ReferenceOutputs) {
  // SplitMix64 from 0, and xoshiro256** from the state {1, 2, 3, 4}: the
  // outputs of the authors' reference code.
  SplitMix64 mix(0);
  EXPECT_EQ(mix.Next(), 0xE220A8397B1DCDAFu);
  EXPECT_EQ(mix.Next(), 0x6E789E6AA1B965F4u);
  EXPECT_EQ(mix.Next(), 0x06C45D188009454Fu);
  Xoshiro256 gen(std::array<std::uint64_t, 4>{1, 2, 3, 4});
  const std::array<std::uint64_t, 6> expected = {
      11520u, 0u, 1509978240u, 1215971899390074240u, 1216172134540287360u, 607988272756665600u};
  for (const std::uint64_t value : expected) EXPECT_EQ(gen.Next(), value);
  // The jump polynomial applied to {1, 2, 3, 4} (an independent
  // implementation of the published jump).
  Xoshiro256 jumped(std::array<std::uint64_t, 4>{1, 2, 3, 4});
  jumped.Jump();
  EXPECT_EQ(jumped.State(), (std::array<std::uint64_t, 4>{10122426448480695249u, 8079205330032121950u,
                                                          7289065458748526725u, 9477464255293849680u}));
  EXPECT_EQ(jumped.Next(), 13534147089533256664u);
}

TEST(XoshiroTest, UniformsAreOnTheGridOfTwoToTheMinus53) {
  Xoshiro256 gen(7);
  for (int i = 0; i < 10000; ++i) {
    const double u = UniformUnit(gen);
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    const double scaled = u * 0x1.0p53;
    ASSERT_EQ(scaled, std::floor(scaled));
  }
}

TEST(XoshiroTest, IntegersBelowABoundAreEquallyLikely) {
  Xoshiro256 gen(11);
  // Six faces, 600000 throws: each count within five standard deviations.
  std::array<int, 6> counts{};
  for (int i = 0; i < 600000; ++i) ++counts[UniformBelow(gen, 6)];
  for (const int count : counts) EXPECT_NEAR(count, 100000, 5 * std::sqrt(600000 * (1.0 / 6) * (5.0 / 6)));
  // A bound just above 2^63 rejects almost half the words; values stay below it.
  const std::uint64_t bound = (std::uint64_t{1} << 63) + 1;
  int upper = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::uint64_t value = UniformBelow(gen, bound);
    ASSERT_LT(value, bound);
    upper += value >= (std::uint64_t{1} << 62);  // the upper half, nearly
  }
  EXPECT_NEAR(upper, 1000, 5 * std::sqrt(2000 * 0.5 * 0.5));
  EXPECT_EQ(UniformBelow(gen, 1), 0u);
}

TEST(XoshiroTest, NormalsHaveMeanZeroAndVarianceOne) {
  Xoshiro256 gen(13);
  const int n = 200000;
  double sum = 0, squares = 0, fourth = 0;
  for (int i = 0; i < n; ++i) {
    const double z = StandardNormal(gen);
    sum += z;
    squares += z * z;
    fourth += z * z * z * z;
  }
  EXPECT_NEAR(sum / n, 0.0, 5 / std::sqrt(n));
  EXPECT_NEAR(squares / n, 1.0, 5 * std::sqrt(2.0 / n));
  EXPECT_NEAR(fourth / n, 3.0, 5 * std::sqrt(96.0 / n));  // the kurtosis of a normal
}

TEST(XoshiroTest, AttemptStreamsDependOnSeedReplicateAndAttemptAlone) {
  std::set<std::uint64_t> firsts;
  for (const std::uint64_t seed : {0u, 1u, 2u}) {
    for (const std::uint32_t replicate : {1u, 2u, 1048575u}) {
      for (const std::uint32_t attempt : {1u, 2u}) {
        Xoshiro256 a = CalibratedAttemptGenerator(seed, replicate, attempt);
        Xoshiro256 b = CalibratedAttemptGenerator(seed, replicate, attempt);
        const std::uint64_t first = a.Next();
        EXPECT_EQ(first, b.Next());
        firsts.insert(first);
      }
    }
  }
  EXPECT_EQ(firsts.size(), 18u);
}

}  // namespace
}  // namespace korvane
