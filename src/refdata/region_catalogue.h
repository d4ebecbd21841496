#pragma once

// The fixed catalogue of the ten genomic regions whose reference panels every
// replicate copies its haplotypes from. Region index r is 0-based; the region
// number printed as the chromosome code is r + 1.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace korvane {

struct RegionEntry {
  std::string_view name;
  int snpCount;
};

enum class SourcePopulation { kYri = 0, kSecond = 1 };

enum class PanelFileKind { kHaploWhite, kHaploBlack, kTheta };

class RegionCatalogue {
 public:
  static constexpr int kCount = 10;
  static constexpr int kTotalSnps = 12867;
  static constexpr int kMaxSnpsPerRegion = 1840;

  static constexpr int Count() { return kCount; }
  static constexpr int TotalSnps() { return kTotalSnps; }
  static constexpr std::string_view Name(int r) { return kEntries[r].name; }
  static constexpr int SnpCount(int r) { return kEntries[r].snpCount; }

 private:
  static constexpr std::array<RegionEntry, kCount> kEntries{{
      {"ENm010_7p15.2", 627},
      {"ENm013.7q21.13", 1407},
      {"ENm014.7q31.33", 1559},
      {"ENr112.2p16.3", 1840},
      {"ENr113.4q26", 1803},
      {"ENr123.12q12", 816},
      {"ENr131.2q37.1", 1549},
      {"ENr213.18q12.1", 1142},
      {"ENr232.9q34.11", 921},
      {"ENr321.8q24.11", 1203},
  }};
};

// The file name that follows the region name: "HaploWhite.txt" (second
// population), "HaploBlack.txt" (YRI) or "Theta.txt" (the genetic map).
std::string_view PanelFileName(PanelFileKind kind);

// The panel file of a population: HaploBlack for YRI, HaploWhite for the second.
PanelFileKind HaplotypeFileKind(SourcePopulation population);

// dataDir + "/" + region name + file name, with nothing between the region
// name and the file name.
std::filesystem::path PanelPath(const std::filesystem::path& dataDir, int r, PanelFileKind kind);

}  // namespace korvane
