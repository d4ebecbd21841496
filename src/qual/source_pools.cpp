#include "qual/source_pools.h"

#include <utility>

#include "qual/qual_parameters.h"

namespace korvane {
namespace {

void Founders(RandomGenerator& gen, HaplotypeTransmitter& transmitter, const HaplotypeStore& reference,
              const IndexPicker& panelPicker, HaplotypeStore& pool) {
  for (int i = 0; i < pool.IndividualCount(); ++i) {
    for (int slot = 0; slot < 2; ++slot) {
      const int j = panelPicker.Pick(gen);
      transmitter.Transmit(gen, reference, j, pool, i, slot);
    }
  }
}

}  // namespace

void BuildFounders(RandomGenerator& gen, const MarkerSet& markers, const ReferencePanel& panel,
                   const IndexPicker& panelPicker, SourcePools& pools, const std::function<void()>& refresh) {
  constexpr int n = QualParameters::kPopulationSize;
  for (SourcePool* pool : {&pools.second, &pools.yri}) {
    if (pool->current.IndividualCount() != n || pool->current.LociCount() != markers.total) {
      pool->current = HaplotypeStore(n, markers.total);
      pool->previous = HaplotypeStore(n, markers.total);
    }
  }
  HaplotypeTransmitter transmitter(markers);
  Founders(gen, transmitter, panel.second, panelPicker, pools.second.current);
  refresh();
  Founders(gen, transmitter, panel.yri, panelPicker, pools.yri.current);
  pools.second.previous.CopyFrom(pools.second.current);
  pools.yri.previous.CopyFrom(pools.yri.current);
}

void MateGeneration(RandomGenerator& gen, HaplotypeTransmitter& transmitter, const IndexPicker& parentPicker,
                    SourcePool& pool, std::vector<int>& parentTable) {
  const int n = pool.current.IndividualCount();
  parentTable.resize(2 * static_cast<std::size_t>(n));
  for (int& parent : parentTable) parent = parentPicker.Pick(gen);
  for (int i = 0; i < n; ++i) {
    for (int slot = 0; slot < 2; ++slot) {
      transmitter.Transmit(gen, pool.previous, parentTable[2 * i + slot], pool.current, i, slot);
    }
  }
}

void RunGenerations(RandomGenerator& gen, const MarkerSet& markers, int matings, SourcePools& pools,
                    const std::function<void()>& refresh) {
  const IndexPicker parentPicker(QualParameters::kPopulationSize);
  HaplotypeTransmitter transmitter(markers);
  std::vector<int> parentTable;
  for (int mating = 1;; ++mating) {
    refresh();
    const bool last = mating >= matings;
    MateGeneration(gen, transmitter, parentPicker, pools.second, parentTable);
    MateGeneration(gen, transmitter, parentPicker, pools.yri, parentTable);
    if (last) break;
    // The children become the parents: every child haplotype is rebuilt in
    // the next mating, so exchanging the generations equals copying.
    std::swap(pools.second.current, pools.second.previous);
    std::swap(pools.yri.current, pools.yri.previous);
  }
}

}  // namespace korvane
