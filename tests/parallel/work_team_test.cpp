#include "parallel/work_team.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace korvane {
namespace {

// Many stages in a row on teams of every size: every part runs exactly once
// per stage, on as many members as asked.
TEST(WorkTeamTest, EveryPartRunsOncePerStage) {
  for (const int size : {1, 2, 3, 5}) {
    WorkTeam team(size);
    for (int stage = 0; stage < 500; ++stage) {
      const int parts = 1 + stage % team.Size();
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(team.Size()));
      team.Run(parts, [&](int part) { runs[static_cast<std::size_t>(part)].fetch_add(1); });
      for (int part = 0; part < team.Size(); ++part) {
        ASSERT_EQ(runs[static_cast<std::size_t>(part)].load(), part < parts ? 1 : 0) << size << " " << stage;
      }
    }
  }
}

TEST(WorkTeamTest, APartsExceptionReachesTheCaller) {
  WorkTeam team(3);
  int ran = 0;
  try {
    team.Run(3, [&](int part) {
      if (part == 2) throw std::runtime_error("part 2");
      if (part == 0) ++ran;
    });
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "part 2");
  }
  EXPECT_EQ(ran, 1);
  // The team still works after a failed stage; fewer parts than members.
  std::vector<int> seen(3, 0);
  team.Run(2, [&](int part) { ++seen[part]; });
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 0}));
}

}  // namespace
}  // namespace korvane
