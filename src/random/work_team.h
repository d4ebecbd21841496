#pragma once

// A fixed team of threads for the stages of a run that split into
// independent parts: reading the reference files, building the children of
// one generation. The calling thread is member 0 and does its share; the
// others wait between stages.
//
// Exact draws in parallel. Every child of a generation takes a number of
// draws known in advance (one per parent or panel pick, one per transmitted
// locus and region start), so the draws before child i are a sum known
// before any is made. A member building children [b, e) starts from the
// generator advanced by the draws before child b (the LCG jumps ahead in
// O(log k) steps) and ends where the next member starts: the children and
// the stream after the generation are those of building them one by one.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include "random/random_generator.h"

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

// Builds items [0, count) on up to `parts` members of the team. `drawsBefore`
// gives the draws the items before item i take, for i in [0, count];
// build(part, gen, begin, end) builds items [begin, end) with `gen` at the
// stream position of item `begin`. `gen` ends after all items' draws. Each
// part's generator is checked to end where the next one started: a wrong
// draw count throws std::logic_error instead of giving other data.
void BuildInParts(WorkTeam& team, int parts, RandomGenerator& gen, int count,
                  const std::function<std::uint64_t(int item)>& drawsBefore,
                  const std::function<void(int part, RandomGenerator& gen, int begin, int end)>& build);

}  // namespace korvane
