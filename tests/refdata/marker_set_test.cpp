#include "refdata/marker_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "synthetic_data.h"
#include "test_files.h"

namespace korvane {
namespace {

using testing::TempDir;

TEST(SelectMarkersTest, ChoosesExactlyTheTargetInWholePasses) {
  for (int target : {0, 1, 12, 400, 5000, 12867}) {
    RandomGenerator gen(target + 17u);
    const MarkerSet markers = SelectMarkers(gen, target);
    EXPECT_EQ(markers.total, target);
    int counted = 0;
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      EXPECT_EQ(markers.offset[r], counted);
      for (std::size_t k = 0; k < markers.selected[r].size(); ++k) {
        if (k > 0) {
          EXPECT_LT(markers.selected[r][k - 1], markers.selected[r][k]);
        }
        EXPECT_LT(markers.selected[r][k], RegionCatalogue::SnpCount(r));
      }
      counted += markers.SelectedCount(r);
    }
    EXPECT_EQ(counted, target);
  }
}

// The calibrated model's choice: exactly the target, in order, and every SNP
// of the catalogue as likely to be chosen as any other (the specified passes
// stop at the target, so the last region's SNPs are chosen less often).
TEST(SelectMarkersUniformlyTest, ExactCountsAndEverySnpEquallyLikely) {
  for (int target : {0, 1, 400, 12866, 12867, 20000}) {
    LaneGenerator gen(StreamKey(5, 0, static_cast<std::uint64_t>(target)));
    const MarkerSet markers = SelectMarkersUniformly(gen, target);
    EXPECT_EQ(markers.total, std::min(target, 12867));
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      for (std::size_t k = 1; k < markers.selected[r].size(); ++k) {
        EXPECT_LT(markers.selected[r][k - 1], markers.selected[r][k]);
      }
    }
  }
  // 2000 choices of 400: the first and the last region's SNPs are each
  // chosen with probability 400 / 12867, 62 times in 2000 on average.
  int firstRegion = 0, lastRegion = 0;
  constexpr int kChoices = 2000;
  for (int c = 0; c < kChoices; ++c) {
    LaneGenerator gen(StreamKey(6, 0, static_cast<std::uint64_t>(c)));
    const MarkerSet markers = SelectMarkersUniformly(gen, 400);
    firstRegion += markers.SelectedCount(0);
    lastRegion += markers.SelectedCount(MarkerSet::kRegions - 1);
  }
  const double share = 400.0 / 12867;
  const double expectedFirst = kChoices * share * RegionCatalogue::SnpCount(0);
  const double expectedLast = kChoices * share * RegionCatalogue::SnpCount(MarkerSet::kRegions - 1);
  EXPECT_NEAR(firstRegion, expectedFirst, 4 * std::sqrt(expectedFirst));
  EXPECT_NEAR(lastRegion, expectedLast, 4 * std::sqrt(expectedLast));
}

TEST(SelectMarkersTest, ReplaysTheDrawsOfEveryPass) {
  // 400 loci: a hit is a draw below 32 thousandths; every pass draws once per
  // SNP of the catalogue, also after the cap.
  RandomGenerator gen(2024);
  const MarkerSet markers = SelectMarkers(gen, 400);
  RandomGenerator replay(2024);
  std::array<std::vector<int>, MarkerSet::kRegions> expected;
  int total = 0;
  int passes = 0;
  while (total < 400) {
    ++passes;
    total = 0;
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      expected[r].clear();
      for (int i = 0; i < RegionCatalogue::SnpCount(r); ++i) {
        if (DrawUniformF(replay, 0.0f, 1.0f) < 400 / 12867.0 && total < 400) {
          expected[r].push_back(i);
          ++total;
        }
      }
    }
  }
  EXPECT_GE(passes, 1);
  EXPECT_EQ(replay.State(), gen.State());
  for (int r = 0; r < MarkerSet::kRegions; ++r) EXPECT_EQ(markers.selected[r], expected[r]) << r;

  // All SNPs: one pass, nothing left out.
  RandomGenerator all(5);
  const MarkerSet every = SelectMarkers(all, 12867);
  for (int r = 0; r < MarkerSet::kRegions; ++r) EXPECT_EQ(every.SelectedCount(r), RegionCatalogue::SnpCount(r));
  RandomGenerator onePass(5);
  for (int i = 0; i < 12867; ++i) onePass.Next();
  EXPECT_EQ(all.State(), onePass.State());
}

TEST(SelectMarkersTest, OneLocusNeedsADrawOfExactlyZero) {
  RandomGenerator gen(31337);
  const MarkerSet markers = SelectMarkers(gen, 1);
  ASSERT_EQ(markers.total, 1);
  const int r = markers.RegionOf(0);
  EXPECT_EQ(markers.SelectedCount(r), 1);
  EXPECT_EQ(markers.RegionOf(0), r);
}

TEST(ThousandthsBelowTest, CountsTheDrawsBelowAProbability) {
  EXPECT_EQ(ThousandthsBelow(400 / 12867.0), 32);  // 0.0310873
  EXPECT_EQ(ThousandthsBelow(1 / 12867.0), 1);
  EXPECT_EQ(ThousandthsBelow(0.0), 0);
  EXPECT_EQ(ThousandthsBelow(0.001), 1);  // only 0.000 lies below
  EXPECT_EQ(ThousandthsBelow(0.0010000001), 2);
  EXPECT_EQ(ThousandthsBelow(0.7), 700);
  EXPECT_EQ(ThousandthsBelow(0.5), 500);
  EXPECT_EQ(ThousandthsBelow(1.0), 1000);
  EXPECT_EQ(ThousandthsBelow(7.0), 1000);
  for (int t = 0; t <= 1000; ++t) {
    const double p = t / 1000.0;
    int below = 0;
    for (int u = 0; u < 1000; ++u) below += (u / 1000.0 < p);
    ASSERT_EQ(ThousandthsBelow(p), below) << p;
    ASSERT_EQ(ThousandthsBelow(std::nextafter(p, 2.0)), std::min(1000, t + 1)) << p;
  }
}

TEST(MarkerMapTest, KosambiFractions) {
  EXPECT_NEAR(KosambiFraction(0.5), 0.0049998333, 1e-10);
  EXPECT_NEAR(KosambiFraction(1), 0.0099986669, 1e-10);
  EXPECT_NEAR(KosambiFraction(10), 0.0986876601, 1e-10);
  EXPECT_NEAR(KosambiFraction(50), 0.3807970780, 1e-10);
  EXPECT_NEAR(KosambiFraction(100), 0.4820137900, 1e-10);
  EXPECT_EQ(KosambiFraction(0), 0.0);
  EXPECT_EQ(KosambiFraction(5000), 0.5);
}

TEST(MarkerMapTest, DistancesSumTheSnpsSinceThePreviousChosenLocus) {
  TempDir dir;
  testing::WriteSyntheticData(dir.path(), 1);
  // Region 1: distances 0.1 cM between all SNPs.
  std::string map;
  for (int i = 0; i < 627; ++i) map += std::to_string(100 * i + 7) + " 0.1 0\n";
  testing::WriteFile(PanelPath(dir.path(), 0, PanelFileKind::kTheta), map);
  const ReferenceData data = ReferenceData::Load(dir.path());

  MarkerSet markers;
  markers.selected[0] = {2, 3, 7};
  markers.selected[1] = {0};
  markers.selected[4] = {10, 11};
  markers.IndexSelection();
  const std::vector<MapEntry> entries = BuildMarkerMap(markers, data);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_FALSE(entries[0].distance.has_value());
  EXPECT_DOUBLE_EQ(*entries[1].distance, 0.1);
  EXPECT_NEAR(*entries[2].distance, 0.4, 1e-12);
  EXPECT_EQ(entries[2].position, 707);
  EXPECT_EQ(entries[2].snpNumber, 3);
  EXPECT_EQ(entries[2].regionNumber, 1);
  // The first chosen locus of every region has no distance.
  EXPECT_FALSE(entries[3].distance.has_value());
  EXPECT_EQ(entries[3].regionNumber, 2);
  EXPECT_FALSE(entries[4].distance.has_value());
  EXPECT_EQ(entries[5].snpNumber, 6);
  EXPECT_DOUBLE_EQ(*entries[5].distance, data.Region(4).map[11].distanceFromPrevious);

  // A locus's letters are those of both populations' panels at its SNP.
  for (const auto& [entry, snp] : {std::pair{entries[2], 7}, std::pair{entries[5], 11}}) {
    const RegionData& region = data.Region(entry.regionNumber - 1);
    const std::uint8_t letters = region.yri.letters.at(snp) | region.second.letters.at(snp);
    EXPECT_NE(letters, 0);
    EXPECT_EQ(entry.classOneLetter, ClassLetter(letters, 1));
    EXPECT_EQ(entry.classTwoLetter, ClassLetter(letters, 2));
  }

  EXPECT_EQ(markers.recombination[0][0], 0.0);
  EXPECT_DOUBLE_EQ(markers.recombination[0][1], KosambiFraction(0.1));
  EXPECT_DOUBLE_EQ(markers.recombination[0][2], KosambiFraction(*entries[2].distance));
  EXPECT_EQ(markers.switchThreshold[0][2], ThousandthsBelow(markers.recombination[0][2]));
  EXPECT_EQ(markers.recombination[1].size(), 1u);
  EXPECT_TRUE(markers.recombination[2].empty());

  // The second reading of the map gives the same entries, numbered from 1.
  const std::vector<MapEntry> again = MarkerMapEntries(markers, data);
  ASSERT_EQ(again.size(), entries.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].snpNumber, entries[i].snpNumber);
    EXPECT_EQ(again[i].distance, entries[i].distance);
  }
}

TEST(NullLociTest, FirstEligibleLociOutsideTheExcludedRegions) {
  // Frequencies are single precision: 1 - 0.9f lies in [0.1f, 0.5f].
  EXPECT_TRUE(IsNullEligible(static_cast<double>(0.9f), 0.1f, 0.5f));
  EXPECT_TRUE(IsNullEligible(0.5, 0.1f, 0.5f));
  EXPECT_FALSE(IsNullEligible(0.05, 0.1f, 0.5f));
  EXPECT_FALSE(IsNullEligible(0.3, 0.4f, 0.2f));  // reversed bounds admit nothing
  // Single-precision bounds: 0.1f is slightly above 0.1.
  EXPECT_FALSE(IsNullEligible(0.1, 0.1f, 0.5f));
  EXPECT_TRUE(IsNullEligible(static_cast<double>(0.1f), 0.1f, 0.5f));

  MarkerSet markers;
  markers.selected[0] = {0, 1, 2};
  markers.selected[1] = {0, 1};
  markers.selected[2] = {0, 1, 2};
  markers.IndexSelection();
  const std::vector<bool> eligible = {true, false, true, true, true, false, true, true};
  const int excluded[] = {1};
  EXPECT_EQ(ChooseNullLoci(markers, eligible, 3, excluded), 3);
  EXPECT_EQ(std::vector<std::uint8_t>(markers.isNull.begin(), markers.isNull.end()),
            (std::vector<std::uint8_t>{1, 0, 1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(markers.nullCount, 3);
  // More wanted than eligible: a shortage, reported by the count.
  EXPECT_EQ(ChooseNullLoci(markers, eligible, 10, excluded), 4);
  EXPECT_EQ(ChooseNullLoci(markers, eligible, 0, {}), 0);
}

}  // namespace
}  // namespace korvane
