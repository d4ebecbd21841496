#include "refdata/region_catalogue.h"

namespace korvane {

std::string_view PanelFileName(PanelFileKind kind) {
  switch (kind) {
    case PanelFileKind::kHaploWhite:
      return "HaploWhite.txt";
    case PanelFileKind::kHaploBlack:
      return "HaploBlack.txt";
    case PanelFileKind::kTheta:
      return "Theta.txt";
  }
  return {};
}

PanelFileKind HaplotypeFileKind(SourcePopulation population) {
  return population == SourcePopulation::kYri ? PanelFileKind::kHaploBlack : PanelFileKind::kHaploWhite;
}

std::filesystem::path PanelPath(const std::filesystem::path& dataDir, int r, PanelFileKind kind) {
  std::string file(RegionCatalogue::Name(r));
  file += PanelFileName(kind);
  return dataDir / file;
}

}  // namespace korvane
