#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "refdata/reference_data.h"

namespace korvane {
namespace {

TEST(ShippedDataTest, PassesTheChecksWithTwoHundredLinesPerPanel) {
  const std::filesystem::path dir = std::filesystem::path(KORVANE_SOURCE_DIR) / "data";
  const ReferenceData data = ReferenceData::Load(dir);
  EXPECT_EQ(data.PanelSize(), 100);
  for (int r = 0; r < RegionCatalogue::Count(); ++r) {
    for (PanelFileKind kind : {PanelFileKind::kHaploWhite, PanelFileKind::kHaploBlack}) {
      std::ifstream in(PanelPath(dir, r, kind));
      int lines = 0;
      for (std::string line; std::getline(in, line);) ++lines;
      EXPECT_EQ(lines, 200) << PanelPath(dir, r, kind);
    }
    // Positions increase within every region.
    const auto& map = data.Region(r).map;
    for (std::size_t i = 1; i < map.size(); ++i) ASSERT_LT(map[i - 1].position, map[i].position) << r << " " << i;
  }
}

}  // namespace
}  // namespace korvane
