#pragma once

// The calibrated model's stream of draws: eight xoshiro256** generators
// (random/xoshiro.h) run side by side as one sequence of 64-bit values, so
// that long runs of threshold comparisons ("u below r" for every locus of a
// haplotype) are made eight lanes at a time with vector instructions, while
// single draws (a parent pick, a status, a residual) take the values one by
// one from the same sequence.
//
// The sequence: value p is the output of lane p mod 8 at its step p div 8.
// The vector kernel and the portable kernel produce exactly this sequence,
// whichever runs, so a replicate does not depend on the processor.
//
// DrawBelowBits takes first the values left in the buffer (the head), then
// whole steps of all eight lanes (the kernel chosen by ActiveDrawKernel(),
// random/cpu_features.h), then, for the last n mod 8 or so values, one more
// step into the buffer of which it takes a part (the tail): the generator
// ends exactly where n calls of Next() leave it, buffer included.
//
// Every stream is keyed by a 64-bit number; the calibrated model gives each
// piece of work (a founder, a child of a generation, an individual of the
// sample) a stream keyed by the attempt and the piece's own coordinates, so
// that a replicate is the same whatever the number of threads and whichever
// member of a team builds which piece.

#include <array>
#include <cstdint>

#include "random/xoshiro.h"

namespace korvane {

class LaneGenerator {
 public:
  static constexpr int kLanes = 8;

  // Lane l's four state words are SplitMix64 outputs 4l .. 4l + 3 of `key`.
  explicit LaneGenerator(std::uint64_t key);

  // The next value of the sequence.
  std::uint64_t Next() {
    if (position_ == kLanes) Refill();
    return buffer_[position_++];
  }

  // The state, word-major: state[w][l] is word w of lane l (the layout the
  // vector kernel loads), and the values of the current step not yet taken.
  std::array<std::array<std::uint64_t, kLanes>, 4> state{};

  // The same state words, buffer and position in it: the same sequence from here on.
  bool operator==(const LaneGenerator&) const = default;

 private:
  friend void DrawBelowBits(LaneGenerator& gen, const std::uint64_t* thresholds, int n, std::uint64_t* bits);
  friend void DrawBelowBits(LaneGenerator& gen, std::uint64_t threshold, int n, std::uint64_t* bits);
  void Refill();  // steps every lane once into the buffer
  // Both DrawBelowBits: `thresholds` null means `uniform` for every value.
  void DrawBelow(const std::uint64_t* thresholds, std::uint64_t uniform, int n, std::uint64_t* bits);

  std::array<std::uint64_t, kLanes> buffer_{};
  int position_ = kLanes;
};

// The threshold of "u below probability" for a value u of the sequence,
// read as u / 2^64: round(probability x 2^64), 0 for probability <= 0 and
// 2^64 - 1 for probability >= 1 (so that 1 always holds but for one value
// in 2^64).
std::uint64_t ThresholdOf(double probability);

// n values (n >= 0) of the sequence, bit p of `bits` set when value p is
// below thresholds[p]; WordsForBits(n) words written, the bits above n in the
// last one cleared. The same as n calls of Next().
void DrawBelowBits(LaneGenerator& gen, const std::uint64_t* thresholds, int n, std::uint64_t* bits);
// The same with one threshold for every value.
void DrawBelowBits(LaneGenerator& gen, std::uint64_t threshold, int n, std::uint64_t* bits);

// A stream key from a base key and two coordinates (what, which), mixed so
// that neighbouring coordinates give unrelated keys.
std::uint64_t StreamKey(std::uint64_t base, std::uint64_t what, std::uint64_t which);

namespace detail {
using LaneState = std::array<std::array<std::uint64_t, LaneGenerator::kLanes>, 4>;
// The kernels behind DrawBelowBits, the whole steps: `steps` steps of every
// lane from `state` (left advanced by them); value 8s + l, lane l's output at
// step s, compared with thresholds[8s + l] (`thresholds` null: `uniform`),
// and its bit set in `bits` at bit `first` + 8s + l (bits ORed into words
// the caller cleared). The last step's outputs go to `last` when steps > 0.
void LaneStepsBelowBitsPortable(LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform, int steps,
                                std::uint64_t* bits, int first, std::uint64_t* last);
void LaneStepsBelowBitsAvx2(LaneState& state, const std::uint64_t* thresholds, std::uint64_t uniform, int steps,
                            std::uint64_t* bits, int first, std::uint64_t* last);
}  // namespace detail

}  // namespace korvane
