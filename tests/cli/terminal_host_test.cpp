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

  // Nothing to estimate from before any work is done.
  progress.completed = 0;
  EXPECT_EQ(FormatProgressLine("S", progress, seconds(3)), "S 3/10, attempt 2, 0:03 elapsed");

  // Several replicates in flight, one of them long: the individuals written
  // count, and the estimate falls while the last replicates progress even
  // though none of them completes.
  progress.attempt = 1;
  progress.completed = 8;
  progress.inFlight = 2;
  progress.sampleSize = 5000;
  progress.written = 1200;
  progress.replicatesDone = 8 + 0.24 + 0.5;
  EXPECT_EQ(FormatProgressLine("S", progress, seconds(80)),
            "S 3/10 (8 done, 2 running), 1200 of 5000 individuals, 1:20 elapsed, ~0:12 left");
  long long previous = 1 << 30;
  for (int step = 0; step <= 12; ++step) {
    // Eight replicates took 100 s on two workers; the last two advance at
    // that pace, 0.08 replicates a second between them.
    progress.replicatesDone = 8 + 0.16 * step;
    const std::string line = FormatProgressLine("S", progress, seconds(100 + 2 * step));
    const std::string left = line.substr(line.rfind('~') + 1);
    const long long total =
        std::stoll(left.substr(0, left.find(':'))) * 60 + std::stoll(left.substr(left.find(':') + 1));
    EXPECT_LE(total, previous) << line;
    previous = total;
  }
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
  RunProgress progress;
  progress.replicateNumber = 1;
  progress.replicateCount = 2;
  progress.attempt = 1;
  {
    TerminalHost host(status, file, true);
    host.SetRunning(true);
    host.Refresh(progress);
    host.Refresh(progress);  // at once again: not redrawn
    EXPECT_EQ(Written(file), "\rSimulation 1 is running now....... 1/2, 0:00 elapsed");
    std::fseek(file, 0, SEEK_END);
    host.SetRunning(false);
  }
  const std::string text = Written(file);
  const std::size_t width = std::string("Simulation 1 is running now....... 1/2, 0:00 elapsed").size();
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
