// The calibrated model's transmission and populations: switches at the
// map's own fractions (far below a thousandth), a forced strand that
// conditions only its region, exactly uniform parents, and populations
// that do not depend on how many members build them.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "population/calibrated_population.h"
#include "population/calibrated_transmission.h"
#include "population/population_size.h"

namespace korvane {
namespace {

MarkerSet Markers(const std::array<int, MarkerSet::kRegions>& counts, double fraction) {
  MarkerSet markers;
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    for (int k = 0; k < counts[r]; ++k) markers.selected[r].push_back(k);
  }
  markers.IndexSelection();
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    for (std::size_t k = 1; k < markers.recombination[r].size(); ++k) markers.recombination[r][k] = fraction;
  }
  return markers;
}

// A source individual whose first haplotype is all class 1 and second all
// class 2, so that a child's class at a locus names the strand it copied.
HaplotypeStore Parent(int loci) {
  HaplotypeStore store(1, loci);
  for (int g = 0; g < loci; ++g) {
    store.SetAllele(0, 0, g, 1);
    store.SetAllele(0, 1, g, 2);
  }
  return store;
}

TEST(CalibratedTransmitterTest, SwitchesAtFractionsFarBelowAThousandth) {
  // 1e-4 per interval: the specified model's draws in thousandths would act
  // as 0 or 0.001; here the switches come at the fraction itself.
  const MarkerSet markers = Markers({200, 200, 200, 200, 200, 200, 200, 200, 200, 200}, 1e-4);
  const HaplotypeStore parent = Parent(markers.total);
  HaplotypeStore child(1, markers.total);
  CalibratedTransmitter transmitter(markers);
  long long switches = 0, intervals = 0, secondStarts = 0;
  constexpr int kTransmissions = 5000;
  for (int t = 0; t < kTransmissions; ++t) {
    LaneGenerator gen(StreamKey(7, 0, static_cast<std::uint64_t>(t)));
    transmitter.Transmit(gen, parent, 0, child, 0, 0);
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      const int begin = markers.offset[r];
      secondStarts += child.Allele(0, 0, begin) == 2;
      for (int g = begin + 1; g < markers.offset[r + 1]; ++g) {
        switches += child.Allele(0, 0, g) != child.Allele(0, 0, g - 1);
        ++intervals;
      }
    }
  }
  const double expected = 1e-4 * static_cast<double>(intervals);  // 995 switches
  EXPECT_NEAR(static_cast<double>(switches), expected, 4 * std::sqrt(expected));
  const double starts = kTransmissions * MarkerSet::kRegions;
  EXPECT_NEAR(static_cast<double>(secondStarts), starts / 2, 4 * std::sqrt(starts / 4));
}

TEST(CalibratedTransmitterTest, AForcedStrandConditionsOnlyItsRegion) {
  const MarkerSet markers = Markers({30, 70, 0, 130, 5, 64, 1, 65, 2, 40}, 0.05);
  const HaplotypeStore parent = Parent(markers.total);
  CalibratedTransmitter transmitter(markers);
  const int locus = markers.offset[3] + 77;  // region 4, a locus far from its start
  int flipped = 0;
  for (int t = 0; t < 400; ++t) {
    const int strand = t % 2;
    HaplotypeStore free(1, markers.total), forced(1, markers.total);
    LaneGenerator gen(StreamKey(9, 1, static_cast<std::uint64_t>(t)));
    LaneGenerator same(StreamKey(9, 1, static_cast<std::uint64_t>(t)));
    transmitter.Transmit(gen, parent, 0, free, 0, 0);
    transmitter.Transmit(same, parent, 0, forced, 0, 0, {locus, strand});
    ASSERT_EQ(forced.Allele(0, 0, locus), strand == 0 ? 1 : 2) << "transmission " << t;
    // The same draws: outside the locus's region nothing differs, inside it
    // the region is copied as drawn or with every strand exchanged.
    const bool exchanged = free.Allele(0, 0, locus) != forced.Allele(0, 0, locus);
    flipped += exchanged;
    for (int g = 0; g < markers.total; ++g) {
      const bool inRegion = g >= markers.offset[3] && g < markers.offset[4];
      const bool differs = free.Allele(0, 0, g) != forced.Allele(0, 0, g);
      ASSERT_EQ(differs, inRegion && exchanged) << "transmission " << t << " locus " << g;
    }
  }
  // Half the draws already gave the strand asked.
  EXPECT_GT(flipped, 150);
  EXPECT_LT(flipped, 250);
}

TEST(CalibratedPopulationTest, ParentsAreExactlyUniformAndTheTeamChangesNothing) {
  // One locus per region, the reference individuals told apart by their
  // alleles, so the pools' allele counts follow the draws.
  const MarkerSet markers = Markers({1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 0.0);
  ReferencePanel panel;
  panel.panelSize = 2;
  panel.yri = HaplotypeStore(2, markers.total);
  panel.second = HaplotypeStore(2, markers.total);
  for (int g = 0; g < markers.total; ++g) {
    panel.yri.SetAllele(0, 0, g, 1), panel.yri.SetAllele(0, 1, g, 1);
    panel.yri.SetAllele(1, 0, g, 2), panel.yri.SetAllele(1, 1, g, 2);
    panel.second.SetAllele(0, 0, g, 2), panel.second.SetAllele(0, 1, g, 2);
    panel.second.SetAllele(1, 0, g, 2), panel.second.SetAllele(1, 1, g, 2);
  }
  const CalibratedKeys keys{20261210, 0};
  WorkTeam one(1), two(2);
  SourcePools alone, together;
  BuildCalibratedPools(
      keys, markers, panel, 3, alone, [] {}, one);
  BuildCalibratedPools(
      keys, markers, panel, 3, together, [] {}, two);
  for (int i = 0; i < kPopulationSize; ++i) {
    for (int slot = 0; slot < 2; ++slot) {
      for (int g = 0; g < markers.total; ++g) {
        ASSERT_EQ(alone.yri.current.Allele(i, slot, g), together.yri.current.Allele(i, slot, g));
      }
    }
  }
  // A fresh population per realization: other streams, other pools.
  SourcePools next;
  BuildCalibratedPools(
      {keys.attempt, 1}, markers, panel, 3, next, [] {}, one);
  int same = 0;
  for (int i = 0; i < kPopulationSize; ++i)
    same += next.yri.current.Allele(i, 0, 0) == alone.yri.current.Allele(i, 0, 0);
  EXPECT_LT(same, kPopulationSize * 3 / 4);

  // A parent drawn as the children's parents are: the last individual as
  // often as any (a pick by thousandths never draws individual 999 of 1000).
  int last = 0;
  for (int k = 0; k < 20000; ++k) {
    LaneGenerator gen(keys.Key(CalibratedStream::kOffspringChoice, 0, static_cast<std::uint64_t>(k)));
    const auto a = static_cast<int>(UniformBelow(gen, kPopulationSize));
    last += a == kPopulationSize - 1;
  }
  EXPECT_GT(last, 5);  // 20 expected
  EXPECT_LT(last, 45);
}

}  // namespace
}  // namespace korvane
