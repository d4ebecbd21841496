#pragma once

// What ends a whole run from inside a replicate: a bound that the parameters
// cannot rule out before the run was reached.

#include <stdexcept>
#include <string>

namespace korvane {

// A bound that ends the whole run: a population that can never reach its
// target, a sample that can never fill. The message says which and why; the
// run adds the replicate.
class RunFailure : public std::runtime_error {
 public:
  explicit RunFailure(const std::string& what) : std::runtime_error(what) {}
};

// Generations an admixed population may take to reach its target YRI share.
inline constexpr int kMaxGenerations = 100000;

}  // namespace korvane
