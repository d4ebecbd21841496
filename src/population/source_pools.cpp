#include "population/source_pools.h"

#include <utility>

#include "population/generation_parts.h"
#include "population/population_size.h"

namespace korvane {
namespace {

// Each founder haplotype takes a pick and a transmission.
void Founders(RandomGenerator& gen, Breeders& breeders, const HaplotypeStore& reference, const IndexPicker& panelPicker,
              HaplotypeStore& pool) {
  const std::uint64_t perFounder = 2 * (1 + static_cast<std::uint64_t>(breeders.DrawsPerHaplotype()));
  const int n = pool.IndividualCount();
  BuildInParts(
      breeders.team, breeders.Parts(panelPicker.OneDrawPerPick(), n), gen, n,
      [&](int i) { return perFounder * static_cast<std::uint64_t>(i); },
      [&](int part, RandomGenerator& own, int begin, int end) {
        HaplotypeTransmitter& transmitter = breeders.transmitters[part];
        for (int i = begin; i < end; ++i) {
          for (int slot = 0; slot < 2; ++slot) {
            const int j = panelPicker.Pick(own);
            transmitter.Transmit(own, reference, j, pool, i, slot);
          }
        }
      });
}

}  // namespace

void BuildFounders(RandomGenerator& gen, const MarkerSet& markers, const ReferencePanel& panel,
                   const IndexPicker& panelPicker, SourcePools& pools, const std::function<void()>& refresh,
                   WorkTeam& team) {
  constexpr int n = kPopulationSize;
  for (SourcePool* pool : {&pools.second, &pools.yri}) {
    if (pool->current.IndividualCount() != n || pool->current.LociCount() != markers.total ||
        pool->current.TracksAncestry() != pools.trackAncestry) {
      pool->current = HaplotypeStore(n, markers.total, pools.trackAncestry);
      pool->previous = HaplotypeStore(n, markers.total, pools.trackAncestry);
    }
  }
  Breeders breeders(team, markers);
  Founders(gen, breeders, panel.second, panelPicker, pools.second.current);
  refresh();
  Founders(gen, breeders, panel.yri, panelPicker, pools.yri.current);
  pools.second.previous.CopyFrom(pools.second.current);
  pools.yri.previous.CopyFrom(pools.yri.current);
}

void MateGeneration(RandomGenerator& gen, Breeders& breeders, const IndexPicker& parentPicker, SourcePool& pool,
                    std::vector<int>& parentTable) {
  const int n = pool.current.IndividualCount();
  parentTable.resize(2 * static_cast<std::size_t>(n));
  for (int& parent : parentTable) parent = parentPicker.Pick(gen);
  // Each child takes two transmissions.
  const std::uint64_t perChild = 2 * static_cast<std::uint64_t>(breeders.DrawsPerHaplotype());
  BuildInParts(
      breeders.team, breeders.Parts(true, n), gen, n, [&](int i) { return perChild * static_cast<std::uint64_t>(i); },
      [&](int part, RandomGenerator& own, int begin, int end) {
        HaplotypeTransmitter& transmitter = breeders.transmitters[part];
        for (int i = begin; i < end; ++i) {
          for (int slot = 0; slot < 2; ++slot) {
            transmitter.Transmit(own, pool.previous, parentTable[2 * i + slot], pool.current, i, slot);
          }
        }
      });
}

void RunGenerations(RandomGenerator& gen, const MarkerSet& markers, int matings, SourcePools& pools,
                    const std::function<void()>& refresh, WorkTeam& team) {
  const IndexPicker parentPicker(kPopulationSize);
  Breeders breeders(team, markers);
  std::vector<int> parentTable;
  for (int mating = 1;; ++mating) {
    refresh();
    const bool last = mating >= matings;
    MateGeneration(gen, breeders, parentPicker, pools.second, parentTable);
    MateGeneration(gen, breeders, parentPicker, pools.yri, parentTable);
    if (last) break;
    // The children become the parents: every child haplotype is rebuilt in
    // the next mating, so exchanging the generations equals copying.
    std::swap(pools.second.current, pools.second.previous);
    std::swap(pools.yri.current, pools.yri.previous);
  }
}

}  // namespace korvane
