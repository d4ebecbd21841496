#include "population/generation_parts.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace korvane {
namespace {

// Items of uneven draw counts (item i takes i % 7 draws, each recorded),
// built in parts on teams of every size: the values and the generator's end
// equal drawing them one after the other.
TEST(GenerationPartsTest, PartsReproduceTheSequentialStream) {
  constexpr int kItems = 1001;
  std::vector<std::uint64_t> before(kItems + 1, 0);
  for (int i = 0; i < kItems; ++i) before[i + 1] = before[i] + i % 7;

  RandomGenerator sequential(99);
  std::vector<int> expected;
  for (int i = 0; i < kItems; ++i) {
    for (int k = 0; k < i % 7; ++k) expected.push_back(sequential.Next());
  }

  for (const int size : {1, 2, 3, 5}) {
    WorkTeam team(size);
    // Many stages in a row: a helper must take each stage exactly once.
    for (int stage = 0; stage < 200; ++stage) {
      RandomGenerator gen(99);
      std::vector<int> values(expected.size(), -1);
      BuildInParts(
          team, size, gen, kItems, [&](int i) { return before[i]; },
          [&](int, RandomGenerator& own, int begin, int end) {
            std::size_t at = before[begin];
            for (int i = begin; i < end; ++i) {
              for (int k = 0; k < i % 7; ++k) values[at++] = own.Next();
            }
          });
      ASSERT_EQ(values, expected) << size << " " << stage;
      ASSERT_EQ(gen.State(), sequential.State());
    }
  }
}

TEST(GenerationPartsTest, AWrongDrawCountIsAnError) {
  WorkTeam team(3);
  RandomGenerator gen(1);
  // Each item claims one draw and takes two.
  EXPECT_THROW(BuildInParts(
                   team, 3, gen, 30, [](int i) { return static_cast<std::uint64_t>(i); },
                   [](int, RandomGenerator& own, int begin, int end) {
                     for (int i = begin; i < end; ++i) own.Next(), own.Next();
                   }),
               std::logic_error);
}

}  // namespace
}  // namespace korvane
