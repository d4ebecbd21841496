#pragma once

// The two randomly mating source pools of the discrete model, YRI and the
// second population, each of PopulationSize individuals with a current and a
// previous generation.

#include <functional>

#include "population/transmission.h"
#include "refdata/haplotype_store.h"

namespace korvane {

struct SourcePool {
  HaplotypeStore current;
  HaplotypeStore previous;
};

struct SourcePools {
  SourcePools() = default;
  // With `localAncestry`, every pool haplotype keeps its ancestry row.
  explicit SourcePools(bool localAncestry) : trackAncestry(localAncestry) {}

  SourcePool yri;
  SourcePool second;
  bool trackAncestry = false;
};

// Founders of one cycle: for each pool individual and haplotype slot, one
// reference individual is picked and recombined in every region; the second
// population's pool is built first, with a refresh point before YRI's. Both
// pools' founders then become their previous generation. With ancestry
// tracked, a founder's haplotypes are all of its pool's population.
void BuildFounders(RandomGenerator& gen, const MarkerSet& markers, const ReferencePanel& panel,
                   const IndexPicker& panelPicker, SourcePools& pools, const std::function<void()>& refresh,
                   WorkTeam& team);

// One generation of random mating in one pool: the whole parent table is
// drawn first, then every child's two haplotypes are recombined from its
// parents' previous-generation haplotypes.
void MateGeneration(RandomGenerator& gen, Breeders& breeders, const IndexPicker& parentPicker, SourcePool& pool,
                    std::vector<int>& parentTable);

// `matings` generations (at least one) of both pools, second population
// first, with a refresh point at the start of each. The pools' current
// generation is the population sampled from.
//
// Founders and children are built on the team's members where their draws
// allow it (random/work_team.h); the pools and the stream afterwards are
// those of building them one by one.
void RunGenerations(RandomGenerator& gen, const MarkerSet& markers, int matings, SourcePools& pools,
                    const std::function<void()>& refresh, WorkTeam& team);

}  // namespace korvane
