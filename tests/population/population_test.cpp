#include <gtest/gtest.h>

#include <map>
#include <set>

#include "population/admixture.h"
#include "population/source_pools.h"
#include "population/transmission.h"

#include "haplotype_rows.h"
#include "population/reference_transmission.h"

namespace korvane {
namespace {

using testing::HaplotypeOf;
using testing::RecombineHaplotype;

MarkerSet Markers(std::array<std::vector<int>, MarkerSet::kRegions> selected) {
  MarkerSet markers;
  markers.selected = std::move(selected);
  markers.IndexSelection();
  return markers;
}

// Replays the generator: the thousandths of the next n outputs.
std::vector<int> NextDraws(std::uint32_t seed, int n) {
  RandomGenerator gen(seed);
  std::vector<int> draws(n);
  for (int& d : draws) d = DrawThousandths(gen);
  return draws;
}

TEST(PickIndexTest, TiesGoToTheLowerIndex) {
  const IndexPicker sixty(60);
  EXPECT_EQ(sixty.IndexFor(500), 29);  // 0.5 = 30/60 is the upper end of index 29
  EXPECT_EQ(sixty.IndexFor(0), 0);
  EXPECT_EQ(sixty.IndexFor(999), 59);

  const IndexPicker thousand(1000);
  std::map<int, int> hits;
  for (int k = 0; k < 1000; ++k) ++hits[thousand.IndexFor(k)];
  EXPECT_EQ(hits[0], 2);  // u = 0.000 and u = 0.001
  EXPECT_EQ(hits.count(999), 0u);
  for (int k = 1; k < 1000; ++k) EXPECT_EQ(thousand.IndexFor(k), k - 1);

  const IndexPicker one(1);
  for (int k = 0; k < 1000; ++k) EXPECT_EQ(one.IndexFor(k), 0);
  // Every u below 1 has an index, for every panel size.
  for (int size = 1; size <= 100; ++size) {
    const IndexPicker picker(size);
    for (int k = 0; k < 1000; ++k) ASSERT_GE(picker.IndexFor(k), 0) << size << " " << k;
  }
}

TEST(RecombineHaplotypeTest, SwitchesOnDrawsBelowTheFractionAndDrawsOncePerLocus) {
  MarkerSet markers = Markers({{{0, 1, 2}, {}, {4}}});
  markers.recombination[0] = {0.0, 0.01, 0.5};
  markers.switchThreshold[0] = {0, 10, 500};
  const AlleleClass a[] = {1, 1, 1, 1, 1};
  const AlleleClass b[] = {2, 2, 2, 2, 2};

  for (std::uint32_t seed = 1; seed < 400; ++seed) {
    const std::vector<int> u = NextDraws(seed, 3);
    RandomGenerator gen(seed);
    AlleleClass out[5] = {};
    RecombineHaplotype(gen, markers, 0, a, b, out);
    AlleleClass expected = u[0] >= 500 ? 2 : 1;
    EXPECT_EQ(out[0], expected);
    if (u[1] < 10) expected = 3 - expected;  // switches only on 0.000 .. 0.009
    EXPECT_EQ(out[1], expected);
    if (u[2] < 500) expected = 3 - expected;
    EXPECT_EQ(out[2], expected);
    RandomGenerator replay(seed);
    for (int i = 0; i < 3; ++i) replay.Next();
    ASSERT_EQ(gen.State(), replay.State());
  }

  // A region without chosen loci and one with a single locus both draw once.
  for (int region : {1, 2}) {
    RandomGenerator gen(5);
    AlleleClass out[5] = {9, 9, 9, 9, 9};
    RecombineHaplotype(gen, markers, region, a, b, out);
    RandomGenerator replay(5);
    replay.Next();
    EXPECT_EQ(gen.State(), replay.State());
    if (region == 1) {
      EXPECT_EQ(out[3], 9);  // nothing written
    }
  }
}

TEST(SourcePoolsTest, GenerationCountsAndFounderOrigins) {
  const MarkerSet markers = Markers({{{0, 1}, {3}}});
  ReferencePanel panel;
  panel.panelSize = 2;
  panel.yri = HaplotypeStore(2, markers.total);
  panel.second = HaplotypeStore(2, markers.total);
  for (int j = 0; j < 2; ++j) {
    for (int h = 0; h < 2; ++h) {
      for (int g = 0; g < markers.total; ++g) {
        HaplotypeOf(panel.yri, j, h)[g] = 1;
        HaplotypeOf(panel.second, j, h)[g] = 2;
      }
    }
  }
  const IndexPicker picker(2);
  for (auto [matings, expectedRefreshes] : std::vector<std::pair<int, int>>{{1, 1}, {5, 5}}) {
    RandomGenerator gen(3);
    SourcePools pools;
    int refreshes = 0;
    WorkTeam team(2);
    BuildFounders(
        gen, markers, panel, picker, pools, [&] { ++refreshes; }, team);
    EXPECT_EQ(refreshes, 1);
    // Founders copy their own population's reference haplotypes only.
    EXPECT_EQ(HaplotypeOf(pools.yri.current, 999, 1)[2], 1);
    EXPECT_EQ(HaplotypeOf(pools.second.current, 0, 0)[0], 2);
    refreshes = 0;
    RunGenerations(
        gen, markers, matings, pools, [&] { ++refreshes; }, team);
    EXPECT_EQ(refreshes, expectedRefreshes);
    EXPECT_EQ(HaplotypeOf(pools.second.current, 500, 1)[1], 2);
  }
}

TEST(AdmixtureTest, MigrantCountRoundsHalfUp) {
  EXPECT_EQ(MigrantCount(0.04), 40);
  EXPECT_EQ(MigrantCount(0.0625), 63);
  EXPECT_EQ(MigrantCount(0.0624), 62);
  EXPECT_EQ(MigrantCount(1.0), 1000);
  EXPECT_EQ(MigrantCount(0.0004), 0);
  EXPECT_EQ(MigrantCount(0.0005), 1);
  EXPECT_EQ(MigrantCount(0.0), 0);
}

TEST(AdmixtureTest, AncestryMovesHalfwayTowardsYriForMigrants) {
  const MarkerSet markers = Markers({{{0}}});
  ReferencePanel panel;
  panel.panelSize = 1;
  panel.yri = HaplotypeStore(1, 1);
  panel.second = HaplotypeStore(1, 1);
  HaplotypeOf(panel.yri, 0, 0)[0] = HaplotypeOf(panel.yri, 0, 1)[0] = 1;
  HaplotypeOf(panel.second, 0, 0)[0] = HaplotypeOf(panel.second, 0, 1)[0] = 2;
  const IndexPicker picker(1);

  // Every individual a migrant: founders 0.5, one generation (the target is
  // already met) gives 0.75 everywhere.
  RandomGenerator gen(11);
  AdmixedPopulation all;
  int refreshes = 0;
  WorkTeam team(1);
  BuildAdmixedPopulation(
      gen, markers, panel, picker, 1000, 0.0, MigrantPick::kPerIndividual, all, [&] { ++refreshes; }, team);
  EXPECT_EQ(refreshes, 2);  // after the migrant founders, one generation
  for (double a : all.ancestry) EXPECT_EQ(a, 0.75);
  // A migrant's second haplotype comes from a YRI reference individual.
  EXPECT_EQ(HaplotypeOf(all.current, 3, 1)[0], 1);

  // With the defaults the target 0.1 takes a few generations; migrants stay at
  // least 0.5, everybody else from 0 up.
  AdmixedPopulation defaults;
  refreshes = 0;
  BuildAdmixedPopulation(
      gen, markers, panel, picker, 40, 0.1, MigrantPick::kPerRegion, defaults, [&] { ++refreshes; }, team);
  double mean = 0;
  for (int i = 0; i < 1000; ++i) {
    if (i < 40) {
      EXPECT_GE(defaults.ancestry[i], 0.5);
    }
    mean += defaults.ancestry[i];
  }
  EXPECT_GE(mean / 1000, 0.1);
  EXPECT_GT(refreshes, 2);
}

}  // namespace
}  // namespace korvane
