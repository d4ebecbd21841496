#include "parallel/work_team.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <system_error>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace korvane {
namespace {

constexpr std::uint64_t kLeave = ~std::uint64_t{0};
// Stages follow each other within microseconds during a replicate, and
// waking a sleeping thread can take far longer (on a virtual machine, tens
// of microseconds or more), so a waiting member polls for a while before it
// sleeps in the kernel.
constexpr auto kPollFor = std::chrono::microseconds(300);

inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// Polls `ready` for a while; false if it is still not ready.
template <typename Ready>
bool Poll(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kPollFor;
  for (;;) {
    for (int spin = 0; spin < 64; ++spin) {
      if (ready()) return true;
      Relax();
    }
    if (std::chrono::steady_clock::now() > until) return false;
    // Lets the member being waited for run when both share a processor.
    std::this_thread::yield();
  }
}

}  // namespace

WorkTeam::WorkTeam(int size) {
  errors_.resize(static_cast<std::size_t>(std::max(1, size)));
  for (int member = 1; member < size; ++member) {
    try {
      helpers_.emplace_back([this, member] { Serve(member); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the team works with those it has
    }
  }
}

WorkTeam::~WorkTeam() {
  stage_.store(kLeave, std::memory_order_release);
  stage_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void WorkTeam::Serve(int member) {
  std::uint64_t seen = 0;
  for (;;) {
    auto handedOut = [&] { return stage_.load(std::memory_order_acquire) != seen; };
    if (!Poll(handedOut)) {
      while (!handedOut()) stage_.wait(seen, std::memory_order_acquire);
    }
    seen = stage_.load(std::memory_order_acquire);
    if (seen == kLeave) return;
    if (member < parts_) {
      try {
        (*task_)(member);
      } catch (...) {
        errors_[member] = std::current_exception();
      }
    }
    // Every helper answers every stage, with a part or without: no helper is
    // still looking at a stage when the next one is handed out.
    if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_one();
  }
}

void WorkTeam::Run(int parts, const std::function<void(int part)>& task) {
  parts = std::max(1, std::min(parts, Size()));
  if (parts == 1) {
    task(0);
    return;
  }
  task_ = &task;
  parts_ = parts;
  for (auto& error : errors_) error = nullptr;
  pending_.store(Size() - 1, std::memory_order_relaxed);
  stage_.fetch_add(1, std::memory_order_acq_rel);
  stage_.notify_all();
  try {
    task(0);
  } catch (...) {
    errors_[0] = std::current_exception();
  }
  auto finished = [&] { return pending_.load(std::memory_order_acquire) == 0; };
  if (!Poll(finished)) {
    for (int left; (left = pending_.load(std::memory_order_acquire)) != 0;) {
      pending_.wait(left, std::memory_order_acquire);
    }
  }
  for (const auto& error : errors_) {
    if (error) std::rethrow_exception(error);
  }
}

}  // namespace korvane
