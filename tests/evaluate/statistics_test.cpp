#include "evaluate/statistics.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(StatisticsTest, ChiSquareOneTailAtKnownQuantiles) {
  EXPECT_NEAR(ChiSquare1UpperTail(3.841458820694124), 0.05, 1e-12);
  EXPECT_NEAR(ChiSquare1UpperTail(29.71679), 5e-8, 1e-12);
  EXPECT_EQ(ChiSquare1UpperTail(0), 1.0);
}

}  // namespace
}  // namespace korvane
