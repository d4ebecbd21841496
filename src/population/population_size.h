#pragma once

namespace korvane {

// Every simulated population (a source pool, the admixed population) holds
// this many individuals, in both studies and both models.
inline constexpr int kPopulationSize = 1000;

}  // namespace korvane
