#include "cli/terminal_host.h"

#include <fmt/format.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include "output/output_estimate.h"

namespace korvane::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnStopSignal(int) { interrupted = 1; }

// Redraws at most this often; a run may refresh thousands of times a second.
constexpr std::chrono::milliseconds kRedrawInterval{250};

// The columns of the terminal behind `out`, 80 when it cannot be told.
std::size_t TerminalColumns(std::FILE* out) {
  winsize size{};
  if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string FormatDuration(std::chrono::seconds duration) {
  const long long total = duration.count() < 0 ? 0 : duration.count();
  const long long hours = total / 3600;
  const long long minutes = total / 60 % 60;
  const long long seconds = total % 60;
  if (hours > 0) return fmt::format("{}:{:02}:{:02}", hours, minutes, seconds);
  return fmt::format("{}:{:02}", minutes, seconds);
}

std::string FormatProgressLine(const std::string& statusText, const RunProgress& progress,
                               std::chrono::seconds elapsed) {
  std::string line = statusText;
  if (progress.replicateCount > 0 && progress.replicateNumber > 0) {
    const int inRun = progress.replicateNumber - progress.firstReplicate + 1;
    line += fmt::format(" {}/{}", inRun, progress.replicateCount);
  }
  if (progress.inFlight > 1) line += fmt::format(" ({} done, {} running)", progress.completed, progress.inFlight);
  if (progress.sampleSize > 0 && progress.written > 0) {
    line += fmt::format(", {} of {} individuals", progress.written, progress.sampleSize);
  }
  if (progress.attempt > 1) line += fmt::format(", attempt {}", progress.attempt);
  line += fmt::format(", {} elapsed", FormatDuration(elapsed));
  // The pace so far, counting the written share of the replicates in
  // flight: the estimate falls as they progress instead of growing while
  // the last of them run.
  const double done = std::max<double>(progress.replicatesDone, progress.completed);
  if (done > 0 && done < progress.replicateCount) {
    const auto left = std::chrono::seconds(
        std::llround(static_cast<double>(elapsed.count()) * (progress.replicateCount - done) / done));
    line += fmt::format(", ~{} left", FormatDuration(left));
  }
  return line;
}

TerminalHost::TerminalHost(const std::string& statusText, std::FILE* out, bool showProgress)
    : statusText_(statusText), out_(out), showProgress_(showProgress), start_(Clock::now()) {}

TerminalHost::~TerminalHost() { ClearLine(); }

void TerminalHost::Refresh(const RunProgress& progress) {
  if (!showProgress_) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && now - lastDrawn_ < kRedrawInterval) return;
  std::string line =
      FormatProgressLine(statusText_, progress, std::chrono::duration_cast<std::chrono::seconds>(now - start_));
  // A line longer than the terminal would wrap, and "\r" would then only go
  // back to the start of its last row.
  const std::size_t columns = TerminalColumns(out_);
  if (line.size() >= columns) line.resize(columns - 1);
  const std::size_t width = line.size();
  if (width < shownWidth_) line.append(shownWidth_ - width, ' ');
  std::fputc('\r', out_);
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
  shownWidth_ = width;
  lastDrawn_ = now;
  drawn_ = true;
}

void TerminalHost::SetRunning(bool running) {
  if (running) {
    start_ = Clock::now();
    drawn_ = false;
  } else {
    ClearLine();
  }
}

bool TerminalHost::StopRequested() const { return interrupted != 0; }

void TerminalHost::Announce(const RunEstimate& estimate) {
  if (estimate.replicates == 1) {
    fmt::print("writes about {}\n", ByteCount(estimate.total));
  } else {
    fmt::print("writes about {} ({} per replicate)\n", ByteCount(estimate.total), ByteCount(estimate.perReplicate));
  }
  std::fflush(stdout);
}

bool TerminalHost::StopSignalled() { return interrupted != 0; }

void TerminalHost::ClearLine() {
  if (!showProgress_ || shownWidth_ == 0) return;
  std::fputc('\r', out_);
  std::fputs(std::string(shownWidth_, ' ').c_str(), out_);
  std::fputc('\r', out_);
  std::fflush(out_);
  shownWidth_ = 0;
}

void TerminalHost::CatchStopSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the program was started to ignore stays ignored: nohup's
    // SIGHUP, the SIGINT of a job started in the background by a script.
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second one takes the default action
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace korvane::cli
