#pragma once

// Building the children of one generation on the members of a work team, with
// the draws of building them one by one.
//
// Exact draws in parallel. Every child of a generation takes a number of
// draws known in advance (one per parent or panel pick, one per transmitted
// locus and region start), so the draws before child i are a sum known
// before any is made. A member building children [b, e) starts from the
// generator advanced by the draws before child b (the LCG jumps ahead in
// O(log k) steps) and ends where the next member starts: the children and
// the stream after the generation are those of building them one by one.

#include <cstdint>
#include <functional>

#include "parallel/work_team.h"
#include "random/random_generator.h"

namespace korvane {

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
