// The packed transmission and the bulk draws held to the per-locus forms:
// the same bits, the same children and the generator left in the same state,
// on both kernels, at sizes around the word boundaries.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

#include "population/admixture.h"
#include "population/source_pools.h"
#include "population/transmission.h"
#include "random/bulk_draws.h"

#include "population/reference_transmission.h"

namespace korvane {
namespace {

using testing::RecombineHaplotype;

// Runs a test body once on each kernel the processor has, restoring the
// kernel chosen before.
class BothKernels : public ::testing::TestWithParam<DrawKernel> {
 protected:
  void SetUp() override {
    before_ = ActiveDrawKernel();
    if (GetParam() == DrawKernel::kAvx2 && !Avx2Available()) GTEST_SKIP() << "no AVX2 on this processor";
    ASSERT_EQ(SelectDrawKernel(GetParam()), GetParam());
  }
  void TearDown() override { SelectDrawKernel(before_); }

 private:
  DrawKernel before_ = DrawKernel::kPortable;
};

std::string KernelName(const ::testing::TestParamInfo<DrawKernel>& info) {
  return info.param == DrawKernel::kAvx2 ? "Avx2" : "Portable";
}

TEST(BulkDrawTest, DivisionFreeComparisonIsExactForEveryOutputAndThreshold) {
  for (int t = 0; t <= 1000; ++t) {
    const std::int32_t scaled = ScaledThreshold(t);
    for (std::uint32_t r = 0; r < 32768; ++r) {
      if (BelowScaled(r, scaled) != (static_cast<int>(r % 1000) < t)) FAIL() << "r = " << r << ", t = " << t;
    }
  }
  // Thresholds outside 0..1000 behave as the comparison with u does.
  for (std::uint32_t r : {0u, 999u, 32767u}) {
    EXPECT_FALSE(BelowScaled(r, ScaledThreshold(-3)));
    EXPECT_TRUE(BelowScaled(r, ScaledThreshold(1200)));
  }
}

TEST(PickIndexTest, TabulatedIndicesEqualTheLinearSearch) {
  std::vector<int> sizes = {200, 333, 500, 999, 1000};
  for (int size = 1; size <= 120; ++size) sizes.push_back(size);
  for (int size : sizes) {
    const IndexPicker picker(size);
    for (int k = 0; k < 1000; ++k) {
      const double u = k / 1000.0;
      int expected = -1;
      for (int i = 0; i < size; ++i) {
        if (static_cast<double>(i) / size <= u && u <= static_cast<double>(i + 1) / size) {
          expected = i;
          break;
        }
      }
      ASSERT_EQ(picker.IndexFor(k), expected) << "size " << size << ", u = " << u;
    }
  }
}

TEST(BulkDrawTest, JumpsEqualSingleSteps) {
  for (std::uint64_t steps : {0ull, 1ull, 2ull, 63ull, 64ull, 65ull, 1000ull, 123457ull}) {
    for (std::uint32_t seed : {0u, 1u, 0xFFFFFFFFu, 2106694417u}) {
      RandomGenerator stepped(seed);
      for (std::uint64_t k = 0; k < steps; ++k) stepped.Next();
      EXPECT_EQ(JumpOf(steps).Apply(seed), stepped.State()) << steps;
      RandomGenerator jumped(seed);
      jumped.Advance(steps);
      EXPECT_EQ(jumped.State(), stepped.State());
    }
  }
}

class BulkDrawKernelTest : public BothKernels {};

TEST_P(BulkDrawKernelTest, BitsAndEndStateMatchSingleDraws) {
  std::mt19937 random(GetParam() == DrawKernel::kAvx2 ? 7 : 8);
  for (int n : {0, 1, 2, 23, 24, 25, 63, 64, 65, 127, 128, 129, 1840, 12877}) {
    for (int variant = 0; variant < 3; ++variant) {
      // Per-draw thresholds: mixed, all at the extremes; or one threshold.
      std::vector<int> thousandths(n);
      for (int& t : thousandths) {
        t = variant == 0 ? static_cast<int>(random() % 1001) : variant == 1 ? (random() % 2 ? 0 : 1000) : 337;
      }
      std::vector<std::int32_t> scaled(n);
      for (int p = 0; p < n; ++p) scaled[p] = ScaledThreshold(thousandths[p]);
      const auto seed = static_cast<std::uint32_t>(random());
      const std::uint64_t sentinel = 0x5A5A5A5A5A5A5A5Aull;
      std::vector<std::uint64_t> bits(WordsForBits(n) + 1, ~std::uint64_t{0});
      bits.back() = sentinel;
      RandomGenerator gen(seed);
      if (variant == 2) {
        DrawBelowBits(gen, ScaledThreshold(337), n, bits.data());
      } else {
        DrawBelowBits(gen, scaled.data(), n, bits.data());
      }

      RandomGenerator single(seed);
      for (int p = 0; p < n; ++p) {
        const bool below = DrawThousandths(single) < thousandths[p];
        ASSERT_EQ((bits[p / 64] >> (p % 64)) & 1u, below ? 1u : 0u) << "n = " << n << ", draw " << p;
      }
      EXPECT_EQ(gen.State(), single.State()) << "n = " << n;
      if (n % 64 != 0) {
        EXPECT_EQ(bits[n / 64] >> (n % 64), 0u) << "bits above n are cleared";
      }
      EXPECT_EQ(bits.back(), sentinel) << "nothing written past the last word";
    }
  }
}

// A marker set with the given numbers of chosen loci per region and random
// switch thresholds, with the extremes 0, 1 and 1000 well represented.
MarkerSet RandomMarkers(const std::array<int, MarkerSet::kRegions>& counts, std::mt19937& random) {
  MarkerSet markers;
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    for (int k = 0; k < counts[r]; ++k) markers.selected[r].push_back(k);
  }
  markers.IndexSelection();
  const int extremes[] = {0, 1, 1000, 999, 500};
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    for (int& t : markers.switchThreshold[r]) {
      t = random() % 3 == 0 ? extremes[random() % 5] : static_cast<int>(random() % 1001);
    }
  }
  return markers;
}

std::vector<AlleleClass> RandomClasses(int n, std::mt19937& random) {
  std::vector<AlleleClass> classes(n);
  for (AlleleClass& c : classes) c = random() % 2 ? 1 : 2;
  return classes;
}

// A packed row and, after it, one spare word holding `spare`.
std::vector<std::uint64_t> Pack(const std::vector<AlleleClass>& classes, std::uint64_t spare = 0) {
  const int n = static_cast<int>(classes.size());
  std::vector<std::uint64_t> row(WordsForLoci(n) + 1, 0);
  for (int g = 0; g < n; ++g) SetClassAt(row.data(), g, classes[g]);
  row.back() = spare;
  return row;
}

class TransmitterTest : public BothKernels {};

TEST_P(TransmitterTest, ChildrenAndDrawsMatchThePerLocusForm) {
  std::mt19937 random(GetParam() == DrawKernel::kAvx2 ? 11 : 12);
  const std::vector<std::array<int, MarkerSet::kRegions>> layouts = {
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 2},
      {63, 1, 64, 0, 65, 2, 1, 0, 63, 64},
      {64, 64, 64, 64, 64, 64, 64, 64, 64, 64},
      {1840, 0, 1, 65, 1840, 63, 2, 0, 0, 129},
      {5, 17, 3, 0, 40, 11, 7, 29, 1, 6},
      {627, 1407, 1559, 1840, 1803, 816, 1549, 1142, 921, 1203},
      // No empty region before one with loci: whole rows in one pass.
      {63, 1, 64, 65, 2, 1, 129, 3, 1840, 7},
      {5, 70, 1, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& counts : layouts) {
    for (int round = 0; round < 3; ++round) {
      const MarkerSet markers = RandomMarkers(counts, random);
      const int loci = markers.total;
      const std::vector<AlleleClass> first = RandomClasses(loci, random);
      const std::vector<AlleleClass> second = RandomClasses(loci, random);
      // The child's row starts with other classes: only its regions' bits change.
      const std::vector<AlleleClass> before = RandomClasses(loci, random);
      const std::vector<std::uint64_t> packedFirst = Pack(first), packedSecond = Pack(second);
      HaplotypeTransmitter transmitter(markers);
      const auto seed = static_cast<std::uint32_t>(random());

      // All regions in one run.
      std::vector<AlleleClass> expected = before;
      RandomGenerator reference(seed);
      for (int r = 0; r < MarkerSet::kRegions; ++r) {
        RecombineHaplotype(reference, markers, r, first.data(), second.data(), expected.data());
      }
      std::vector<std::uint64_t> child = Pack(before, 0x0123456789ABCDEFull);
      const std::uint64_t spare = child.back();
      RandomGenerator gen(seed);
      transmitter.TransmitAll(gen, packedFirst.data(), packedSecond.data(), child.data());
      ASSERT_EQ(gen.State(), reference.State());
      for (int g = 0; g < loci; ++g) ASSERT_EQ(ClassAt(child.data(), g), expected[g]) << "locus " << g;
      EXPECT_EQ(child.back(), spare);
      if (loci % 64 != 0) {
        EXPECT_EQ(child[loci / 64] >> (loci % 64), 0u) << "padding untouched";
      }

      // Region by region, as the migrants' per-region picks do.
      for (int r = 0; r < MarkerSet::kRegions; ++r) {
        RecombineHaplotype(reference, markers, r, second.data(), first.data(), expected.data());
        transmitter.TransmitRegions(gen, r, r + 1, packedSecond.data(), packedFirst.data(), child.data());
        ASSERT_EQ(gen.State(), reference.State()) << "region " << r;
      }
      for (int g = 0; g < loci; ++g) ASSERT_EQ(ClassAt(child.data(), g), expected[g]) << "locus " << g;
      EXPECT_EQ(transmitter.DrawsPerHaplotype(), transmitter.Draws(0, MarkerSet::kRegions));
    }
  }
}

// Local ancestry: the ancestry plane composed beside the alleles takes every
// locus from the source the allele came from (the per-locus reference run on
// the sources' identities), and the alleles and the draws are those of a
// transmission without it, through the whole-row and the per-region paths.
TEST_P(TransmitterTest, AncestryFollowsTheSourceOfEveryAllele) {
  std::mt19937 random(GetParam() == DrawKernel::kAvx2 ? 31 : 32);
  const std::vector<std::array<int, MarkerSet::kRegions>> layouts = {
      {63, 1, 64, 65, 2, 1, 129, 3, 1840, 7},  // whole rows in one pass
      {64, 64, 64, 64, 64, 64, 64, 64, 64, 64},
      {1840, 0, 1, 65, 1840, 63, 2, 0, 0, 129},  // an empty region first: region by region
      {5, 70, 1, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& counts : layouts) {
    for (int round = 0; round < 3; ++round) {
      const MarkerSet markers = RandomMarkers(counts, random);
      const int loci = markers.total;
      const std::vector<AlleleClass> first = RandomClasses(loci, random), second = RandomClasses(loci, random);
      // Ancestry as classes: 1 for YRI, 2 for the second population.
      const std::vector<AlleleClass> firstYri = RandomClasses(loci, random), secondYri = RandomClasses(loci, random);
      const std::vector<AlleleClass> before = RandomClasses(loci, random);
      const auto packedFirst = Pack(first), packedSecond = Pack(second);
      const auto ancestryFirst = Pack(firstYri), ancestrySecond = Pack(secondYri);
      const auto seed = static_cast<std::uint32_t>(random());

      // Which source each locus is copied from, by the per-locus reference.
      const std::vector<AlleleClass> one(loci, 1), two(loci, 2);
      std::vector<AlleleClass> source(loci, 0);
      RandomGenerator reference(seed);
      for (int r = 0; r < MarkerSet::kRegions; ++r) {
        RecombineHaplotype(reference, markers, r, one.data(), two.data(), source.data());
      }

      HaplotypeTransmitter alone(markers), paired(markers);
      std::vector<std::uint64_t> childAlone = Pack(before), child = Pack(before), ancestry = Pack(before, 0x55);
      RandomGenerator genAlone(seed), gen(seed);
      alone.TransmitAll(genAlone, packedFirst.data(), packedSecond.data(), childAlone.data());
      const detail::RowPlane planes[] = {{packedFirst.data(), packedSecond.data(), child.data()},
                                         {ancestryFirst.data(), ancestrySecond.data(), ancestry.data()}};
      paired.TransmitRegions(gen, 0, MarkerSet::kRegions, planes);
      ASSERT_EQ(gen.State(), reference.State());
      ASSERT_EQ(genAlone.State(), reference.State());
      EXPECT_EQ(child, childAlone) << "the alleles do not depend on the ancestry plane";
      for (int g = 0; g < loci; ++g) {
        const bool fromFirst = source[g] == 1;
        ASSERT_EQ(ClassAt(child.data(), g), fromFirst ? first[g] : second[g]) << "locus " << g;
        ASSERT_EQ(ClassAt(ancestry.data(), g), fromFirst ? firstYri[g] : secondYri[g]) << "locus " << g;
      }
      EXPECT_EQ(ancestry.back(), 0x55u) << "nothing written past the row";

      // Region by region, as a migrant's per-region picks: the same identities.
      RandomGenerator again(seed + 1);
      RandomGenerator replay(seed + 1);
      for (int r = 0; r < MarkerSet::kRegions; ++r) {
        RecombineHaplotype(replay, markers, r, one.data(), two.data(), source.data());
        paired.TransmitRegions(again, r, r + 1, planes);
        ASSERT_EQ(again.State(), replay.State()) << "region " << r;
      }
      for (int g = 0; g < loci; ++g) {
        const bool fromFirst = source[g] == 1;
        ASSERT_EQ(ClassAt(child.data(), g), fromFirst ? first[g] : second[g]) << "locus " << g;
        ASSERT_EQ(ClassAt(ancestry.data(), g), fromFirst ? firstYri[g] : secondYri[g]) << "locus " << g;
      }
    }
  }
}

// A store-to-store transmission gives the child's ancestry row whatever its
// source holds: the composed rows of a store that tracks them, its
// population's bit from a reference panel; and refuses a source of unknown
// ancestry rather than guess.
TEST_P(TransmitterTest, StoresPassOnTheirAncestryOrTheirPanelsPopulation) {
  std::mt19937 random(41);
  const MarkerSet markers = RandomMarkers({70, 3, 1, 64, 2, 9, 130, 5, 63, 1}, random);
  const int loci = markers.total;
  const int words = WordsForLoci(loci);
  // Each parent's first haplotype is all YRI and its second all second
  // population, so a child's ancestry bit says which strand it copied.
  HaplotypeStore parents(2, loci, true), plainParents(2, loci);
  for (int row = 0; row < 4; ++row) {
    const std::vector<AlleleClass> alleles = RandomClasses(loci, random);
    for (int g = 0; g < loci; ++g) {
      parents.SetAllele(row / 2, row % 2, g, alleles[g]);
      plainParents.SetAllele(row / 2, row % 2, g, alleles[g]);
    }
    parents.SetAncestry(row / 2, row % 2, row % 2 == 0 ? SourcePopulation::kYri : SourcePopulation::kSecond);
  }
  HaplotypeTransmitter transmitter(markers), plain(markers);
  HaplotypeStore children(2, loci, true), plainChildren(2, loci);
  RandomGenerator gen(77), plainGen(77);
  for (int i = 0; i < 2; ++i) {
    for (int slot = 0; slot < 2; ++slot) {
      transmitter.Transmit(gen, parents, 1 - i, children, i, slot);
      plain.Transmit(plainGen, plainParents, 1 - i, plainChildren, i, slot);
    }
  }
  EXPECT_EQ(gen.State(), plainGen.State());
  for (int row = 0; row < 4; ++row) {
    const int i = row / 2, slot = row % 2;
    for (int w = 0; w < words; ++w) ASSERT_EQ(children.Row(i, slot)[w], plainChildren.Row(i, slot)[w]);
    // Where the parent's alleles differ, the child's allele is that of the
    // strand its ancestry bit names; both strands are taken somewhere.
    int fromFirst = 0;
    for (int g = 0; g < loci; ++g) {
      const AlleleClass a0 = parents.Allele(1 - i, 0, g), a1 = parents.Allele(1 - i, 1, g);
      const bool first = ClassAt(children.AncestryRow(i, slot), g) == 1;
      fromFirst += first;
      if (a0 != a1) {
        ASSERT_EQ(children.Allele(i, slot, g), first ? a0 : a1) << "locus " << g;
      }
    }
    EXPECT_GT(fromFirst, 0);
    EXPECT_LT(fromFirst, loci);
  }

  // From a panel: the panel's population, whatever the strands.
  HaplotypeStore panel(1, loci);
  for (const SourcePopulation population : {SourcePopulation::kYri, SourcePopulation::kSecond}) {
    panel.SetPopulation(population);
    children.SetAncestry(0, 1,
                         population == SourcePopulation::kYri ? SourcePopulation::kSecond : SourcePopulation::kYri);
    transmitter.Transmit(gen, panel, 0, children, 0, 1);
    EXPECT_EQ(CountOnes(children.AncestryRow(0, 1), words), population == SourcePopulation::kYri ? loci : 0);
  }
  // From rows of unknown ancestry: refused.
  EXPECT_THROW(transmitter.Transmit(gen, plainParents, 0, children, 0, 0), std::logic_error);
}

// The pools built by the engine against the same steps written with the
// per-locus form on unpacked classes.
struct UnpackedPool {
  std::vector<std::vector<AlleleClass>> rows;  // 2i + h
};

void ReferenceTransmit(RandomGenerator& gen, const MarkerSet& markers, const std::vector<AlleleClass>& a,
                       const std::vector<AlleleClass>& b, std::vector<AlleleClass>& out) {
  for (int r = 0; r < MarkerSet::kRegions; ++r) RecombineHaplotype(gen, markers, r, a.data(), b.data(), out.data());
}

TEST_P(TransmitterTest, PoolsMatchAnUnpackedReference) {
  std::mt19937 random(21);
  const MarkerSet markers = RandomMarkers({70, 3, 1, 64, 2, 9, 130, 5, 63, 1}, random);
  const int loci = markers.total;
  const int panelSize = 7;
  ReferencePanel panel;
  panel.panelSize = panelSize;
  panel.yri = HaplotypeStore(panelSize, loci);
  panel.second = HaplotypeStore(panelSize, loci);
  UnpackedPool yriPanel, secondPanel;
  for (int row = 0; row < 2 * panelSize; ++row) {
    yriPanel.rows.push_back(RandomClasses(loci, random));
    secondPanel.rows.push_back(RandomClasses(loci, random));
    for (int g = 0; g < loci; ++g) {
      panel.yri.SetAllele(row / 2, row % 2, g, yriPanel.rows[row][g]);
      panel.second.SetAllele(row / 2, row % 2, g, secondPanel.rows[row][g]);
    }
  }
  const IndexPicker panelPicker(panelSize);
  const IndexPicker parentPicker(1000);

  // Three members split every generation unevenly; the stream and the
  // children are those of building them in order.
  WorkTeam team(3);
  RandomGenerator gen(4242);
  SourcePools pools;
  BuildFounders(
      gen, markers, panel, panelPicker, pools, [] {}, team);
  RunGenerations(
      gen, markers, 2, pools, [] {}, team);

  RandomGenerator reference(4242);
  std::array<UnpackedPool, 2> current, previous;  // second population, YRI
  for (int p = 0; p < 2; ++p) {
    const UnpackedPool& source = p == 0 ? secondPanel : yriPanel;
    current[p].rows.assign(2000, std::vector<AlleleClass>(loci));
    for (int row = 0; row < 2000; ++row) {
      const int j = panelPicker.Pick(reference);
      ReferenceTransmit(reference, markers, source.rows[2 * j], source.rows[2 * j + 1], current[p].rows[row]);
    }
  }
  for (int mating = 0; mating < 2; ++mating) {
    previous = current;
    for (int p = 0; p < 2; ++p) {
      std::vector<int> parents(2000);
      for (int& parent : parents) parent = parentPicker.Pick(reference);
      for (int row = 0; row < 2000; ++row) {
        const int parent = parents[row];
        ReferenceTransmit(reference, markers, previous[p].rows[2 * parent], previous[p].rows[2 * parent + 1],
                          current[p].rows[row]);
      }
    }
  }
  ASSERT_EQ(gen.State(), reference.State());
  for (int p = 0; p < 2; ++p) {
    const HaplotypeStore& store = p == 0 ? pools.second.current : pools.yri.current;
    for (int row = 0; row < 2000; ++row) {
      for (int g = 0; g < loci; ++g) {
        ASSERT_EQ(store.Allele(row / 2, row % 2, g), current[p].rows[row][g]) << p << " " << row << " " << g;
      }
    }
  }
}

// A reference panel of random classes, each store marked with its population
// as LoadPanels marks them.
ReferencePanel RandomPanel(int panelSize, int loci, std::mt19937& random) {
  ReferencePanel panel;
  panel.panelSize = panelSize;
  panel.yri = HaplotypeStore(panelSize, loci);
  panel.second = HaplotypeStore(panelSize, loci);
  panel.yri.SetPopulation(SourcePopulation::kYri);
  panel.second.SetPopulation(SourcePopulation::kSecond);
  for (int row = 0; row < 2 * panelSize; ++row) {
    const std::vector<AlleleClass> yri = RandomClasses(loci, random), second = RandomClasses(loci, random);
    for (int g = 0; g < loci; ++g) {
      panel.yri.SetAllele(row / 2, row % 2, g, yri[g]);
      panel.second.SetAllele(row / 2, row % 2, g, second[g]);
    }
  }
  return panel;
}

// Whether every locus bit of a haplotype's ancestry row is that of `population`.
bool WhollyOf(const HaplotypeStore& store, int individual, int haplotype, SourcePopulation population) {
  const int ones = CountOnes(store.AncestryRow(individual, haplotype), store.WordsPerRow());
  return ones == (population == SourcePopulation::kYri ? store.LociCount() : 0);
}

bool SameRows(const HaplotypeStore& a, const HaplotypeStore& b, bool ancestry) {
  for (int i = 0; i < a.IndividualCount(); ++i) {
    for (int h = 0; h < 2; ++h) {
      const std::uint64_t* x = ancestry ? a.AncestryRow(i, h) : a.Row(i, h);
      const std::uint64_t* y = ancestry ? b.AncestryRow(i, h) : b.Row(i, h);
      if (!std::equal(x, x + a.WordsPerRow(), y)) return false;
    }
  }
  return true;
}

// The discrete model: every haplotype of a pool is wholly of the pool's
// population, founders and children alike, and tracking it changes neither
// the alleles nor the stream.
TEST_P(TransmitterTest, PoolHaplotypesAreWhollyOfTheirPoolsPopulation) {
  std::mt19937 random(51);
  const MarkerSet markers = RandomMarkers({70, 3, 1, 64, 2, 9, 130, 5, 63, 1}, random);
  const ReferencePanel panel = RandomPanel(7, markers.total, random);
  const IndexPicker panelPicker(panel.panelSize);
  WorkTeam team(3);
  RandomGenerator gen(99), plainGen(99);
  SourcePools pools(true), plain;
  BuildFounders(
      gen, markers, panel, panelPicker, pools, [] {}, team);
  BuildFounders(
      plainGen, markers, panel, panelPicker, plain, [] {}, team);
  EXPECT_FALSE(plain.yri.current.TracksAncestry());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "founders" : "after two matings");
    for (int i = 0; i < 1000; ++i) {
      for (int h = 0; h < 2; ++h) {
        ASSERT_TRUE(WhollyOf(pools.yri.current, i, h, SourcePopulation::kYri)) << i << " " << h;
        ASSERT_TRUE(WhollyOf(pools.second.current, i, h, SourcePopulation::kSecond)) << i << " " << h;
      }
    }
    EXPECT_EQ(gen.State(), plainGen.State());
    EXPECT_TRUE(SameRows(pools.yri.current, plain.yri.current, false));
    EXPECT_TRUE(SameRows(pools.second.current, plain.second.current, false));
    RunGenerations(
        gen, markers, 2, pools, [] {}, team);
    RunGenerations(
        plainGen, markers, 2, plain, [] {}, team);
  }
}

// The continuous model: founders are of their panels' populations (a migrant
// founder's first haplotype YRI), a migrant child's fresh haplotype is all
// YRI however it picks its reference individuals, the alleles and the stream
// are those of a population without tracking, and the ancestry is the same
// whether the generations are built whole or in parts by a team.
TEST_P(TransmitterTest, AdmixedAncestryOfFoundersMigrantsAndTeams) {
  std::mt19937 random(61);
  const MarkerSet markers = RandomMarkers({70, 3, 1, 64, 2, 9, 130, 5, 63, 1}, random);
  const ReferencePanel panel = RandomPanel(7, markers.total, random);
  const IndexPicker panelPicker(panel.panelSize);
  const int migrants = 40;
  for (const MigrantPick pick : {MigrantPick::kPerIndividual, MigrantPick::kPerRegion}) {
    SCOPED_TRACE(pick == MigrantPick::kPerIndividual ? "one pick per migrant" : "one pick per region");
    // Target 0: one generation, so the parental store still holds the founders.
    AdmixedPopulation population(true), plain;
    WorkTeam one(1);
    RandomGenerator gen(5), plainGen(5);
    BuildAdmixedPopulation(
        gen, markers, panel, panelPicker, migrants, 0.0, pick, population, [] {}, one);
    BuildAdmixedPopulation(
        plainGen, markers, panel, panelPicker, migrants, 0.0, pick, plain, [] {}, one);
    EXPECT_EQ(gen.State(), plainGen.State());
    EXPECT_TRUE(SameRows(population.current, plain.current, false));
    for (int i = 0; i < 1000; ++i) {
      const bool migrant = i < migrants;
      ASSERT_TRUE(WhollyOf(population.parental, i, 0, migrant ? SourcePopulation::kYri : SourcePopulation::kSecond));
      ASSERT_TRUE(WhollyOf(population.parental, i, 1, SourcePopulation::kSecond));
      if (migrant) {
        ASSERT_TRUE(WhollyOf(population.current, i, 1, SourcePopulation::kYri)) << "migrant " << i;
      }
    }

    // Several generations up to a target, alone and on teams of two and three.
    std::vector<AdmixedPopulation> built;
    for (const int members : {1, 2, 3}) {
      WorkTeam team(members);
      RandomGenerator own(8);
      built.emplace_back(true);
      BuildAdmixedPopulation(
          own, markers, panel, panelPicker, migrants, 0.15, pick, built.back(), [] {}, team);
    }
    for (const AdmixedPopulation& other : {built[1], built[2]}) {
      EXPECT_TRUE(SameRows(built[0].current, other.current, false));
      EXPECT_TRUE(SameRows(built[0].current, other.current, true));
    }
    // The YRI share of the alleles follows the expected ancestry of the
    // pedigree: migrants' fresh haplotypes are whole, the rest recombined.
    // The two differ by how the parents' segments segregated: over 16 seeds
    // of each pick the difference of the means had a spread of 0.0008 and
    // never passed 0.0016; 0.005 is six spreads.
    double expected = 0, realized = 0;
    for (int i = 0; i < 1000; ++i) {
      if (i < migrants) {
        ASSERT_TRUE(WhollyOf(built[0].current, i, 1, SourcePopulation::kYri)) << "migrant " << i;
      }
      expected += built[0].ancestry[static_cast<std::size_t>(i)];
      realized += CountOnes(built[0].current.AncestryRow(i, 0), built[0].current.WordsPerRow()) +
                  CountOnes(built[0].current.AncestryRow(i, 1), built[0].current.WordsPerRow());
    }
    realized /= 2.0 * markers.total;
    EXPECT_NEAR(realized / 1000, expected / 1000, 0.005);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, BulkDrawKernelTest, ::testing::Values(DrawKernel::kPortable, DrawKernel::kAvx2),
                         KernelName);
INSTANTIATE_TEST_SUITE_P(Kernels, TransmitterTest, ::testing::Values(DrawKernel::kPortable, DrawKernel::kAvx2),
                         KernelName);

}  // namespace
}  // namespace korvane
