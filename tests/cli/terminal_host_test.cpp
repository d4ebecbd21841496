#include "cli/terminal_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace korvane::cli {
namespace {

using std::chrono::seconds;

TEST(ProgressLineTest, ShowsReplicateAttemptAndTimes) {
  EXPECT_EQ(FormatDuration(seconds(7)), "0:07");
  EXPECT_EQ(FormatDuration(seconds(754)), "12:34");
  EXPECT_EQ(FormatDuration(seconds(3723)), "1:02:03");

  RunProgress progress;
  progress.firstReplicate = 5;
  progress.replicateNumber = 7;  // the third of the run
  progress.replicateCount = 10;
  progress.attempt = 2;
  progress.completed = 2;
  EXPECT_EQ(FormatProgressLine("Simulation 7 is running now.......", progress, seconds(12)),
            "Simulation 7 is running now....... 3/10, attempt 2, 0:12 elapsed, ~0:48 left");

  // Nothing to estimate from before the first replicate is complete.
  progress.completed = 0;
  EXPECT_EQ(FormatProgressLine("S", progress, seconds(3)), "S 3/10, attempt 2, 0:03 elapsed");
}

std::string Written(std::FILE* file) {
  std::fflush(file);
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(TerminalHostTest, DrawsInPlaceAndClearsTheLine) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::string status = "Simulation 1 is running now.......";
  RunProgress progress{1, 1, 2, 1, 0};
  {
    TerminalHost host(status, file, true);
    host.SetRunning(true);
    host.Refresh(progress);
    host.Refresh(progress);  // at once again: not redrawn
    EXPECT_EQ(Written(file), "\rSimulation 1 is running now....... 1/2, attempt 1, 0:00 elapsed");
    std::fseek(file, 0, SEEK_END);
    host.SetRunning(false);
  }
  const std::string text = Written(file);
  const std::size_t width = std::string("Simulation 1 is running now....... 1/2, attempt 1, 0:00 elapsed").size();
  EXPECT_EQ(text.substr(text.size() - width - 2), "\r" + std::string(width, ' ') + "\r");
  std::fclose(file);
}

TEST(TerminalHostTest, DrawsNothingWithoutProgress) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::string status = "Simulation 1 is running now.......";
  {
    TerminalHost host(status, file, false);
    host.SetRunning(true);
    host.Refresh(RunProgress{1, 1, 1, 1, 0});
    host.SetRunning(false);
    EXPECT_FALSE(host.StopRequested());
  }
  EXPECT_EQ(Written(file), "");
  std::fclose(file);
}

}  // namespace
}  // namespace korvane::cli
