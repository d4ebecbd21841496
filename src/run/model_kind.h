#pragma once

namespace korvane {

// The population structure of a run: two randomly mating source pools
// (discrete model, held as 0, the default) or one admixed population that
// receives YRI migrants every generation (continuous migration model, 1).
enum class ModelKind : unsigned char { kDiscrete = 0, kContinuous = 1 };

}  // namespace korvane
