#pragma once

// The korvane program run as a separate process, as users and schedulers
// run it: its exit status and what it printed. For the tests of the command
// line (KORVANE_EXE names the program).

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"

namespace korvane::testing {

inline const std::string kKorvane = KORVANE_EXE;
inline const std::string kData = std::string(KORVANE_SOURCE_DIR) + "/data";

struct Process {
  pid_t pid = -1;
  std::filesystem::path out, err;
};

struct Ended {
  int status = -1;  // exit status; -1 when it had to be killed
  std::string out, err;
};

// Starts korvane with `args` in `dir`, its output in files there. The stop
// signals get their default action, whatever the test runner ignores.
inline Process Start(const std::filesystem::path& dir, const std::string& name, std::vector<std::string> args) {
  Process p{-1, dir / (name + ".out"), dir / (name + ".err")};
  args.insert(args.begin(), kKorvane);
  p.pid = ::fork();
  if (p.pid == 0) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int out = ::open(p.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(p.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(kKorvane.c_str(), argv.data());
    ::_exit(127);
  }
  return p;
}

// Waits for the process; a process that has not ended after `limit` hangs,
// and is killed.
inline Ended Wait(const Process& p, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  Ended ended;
  const auto until = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(p.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      ::kill(p.pid, SIGKILL);
      ::waitpid(p.pid, &status, 0);
      ended.err = "(hung: killed)";
      return ended;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ended.out = ReadFile(p.out);
  ended.err = ReadFile(p.err);
  return ended;
}

// Runs korvane with `args` in `dir` (created if missing) and waits for it;
// the files of its output are removed once read, so that they are not
// taken for part of the folder.
inline Ended RunKorvane(const std::filesystem::path& dir, const std::vector<std::string>& args,
                        std::chrono::milliseconds limit = std::chrono::seconds(120)) {
  std::filesystem::create_directories(dir);
  const Process p = Start(dir, "korvane-test-run", args);
  Ended ended = Wait(p, limit);
  std::error_code ec;
  std::filesystem::remove(p.out, ec);
  std::filesystem::remove(p.err, ec);
  return ended;
}

}  // namespace korvane::testing
