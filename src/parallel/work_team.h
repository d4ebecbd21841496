#pragma once

// A fixed team of threads for the stages of a run that split into
// independent parts: reading the reference files, building the children of
// one generation. The calling thread is member 0 and does its share; the
// others wait between stages.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

namespace korvane {

class WorkTeam {
 public:
  // `size` members in all, the calling thread included (at least 1); fewer
  // when the system gives no more threads.
  explicit WorkTeam(int size);
  ~WorkTeam();
  WorkTeam(const WorkTeam&) = delete;
  WorkTeam& operator=(const WorkTeam&) = delete;

  int Size() const { return static_cast<int>(helpers_.size()) + 1; }

  // Runs task(part) for every part 0..parts - 1 (at most Size()), part 0 on
  // the calling thread, and returns when all have finished. An exception of
  // a part is rethrown here, the lowest part's first. Called from one thread
  // at a time, never from within a task.
  void Run(int parts, const std::function<void(int part)>& task);

 private:
  void Serve(int member);

  std::vector<std::thread> helpers_;
  const std::function<void(int)>* task_ = nullptr;
  int parts_ = 0;
  std::vector<std::exception_ptr> errors_;
  std::atomic<std::uint64_t> stage_{0};  // counts the stages handed out; ~0 asks the helpers to leave
  std::atomic<int> pending_{0};          // helpers that have not yet finished the current stage
};

}  // namespace korvane
