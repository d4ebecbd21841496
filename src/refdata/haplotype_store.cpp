#include "refdata/haplotype_store.h"

namespace korvane {

ReferencePanel LoadPanels(const ReferenceData& data, const MarkerSet& markers) {
  ReferencePanel panel;
  panel.panelSize = data.PanelSize();
  for (SourcePopulation population : {SourcePopulation::kYri, SourcePopulation::kSecond}) {
    HaplotypeStore store(data.PanelSize(), markers.total);
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      const HaplotypeTable& table = data.Region(r).Panel(population);
      const auto& chosen = markers.selected[r];
      for (int j = 0; j < store.IndividualCount(); ++j) {
        for (int h = 0; h < 2; ++h) {
          const AlleleClass* source = table.Haplotype(j, h);
          AlleleClass* target = store.Haplotype(j, h) + markers.offset[r];
          for (std::size_t k = 0; k < chosen.size(); ++k) target[k] = source[chosen[k]];
        }
      }
    }
    (population == SourcePopulation::kYri ? panel.yri : panel.second) = std::move(store);
  }
  return panel;
}

}  // namespace korvane
