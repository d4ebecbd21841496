#include "quan/trait_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "quan/quantitative.h"

namespace korvane {
namespace {

TEST(ActiveQtlTest, TickedRowsRenumberedAndEveryShareCounted) {
  QuanParameters p;
  std::vector<ActiveQtl> qtls = ActiveQtls(p);
  ASSERT_EQ(qtls.size(), 3u);
  EXPECT_DOUBLE_EQ(qtls[0].varianceComponent, 10 * 0.02);
  EXPECT_NEAR(ResidualVarianceShare(p), 0.965, 1e-15);

  p.qtlRows[1].enabled = 0;  // rows 1 and 3 ticked: row 3 becomes entry 2
  p.qtlRows[2].freqMin = 0.05;
  p.qtlDifferenceRows[2].diffMax = 0.7;
  p.qtlDifferenceRows[2].enabled = 0;  // not consulted
  qtls = ActiveQtls(p);
  ASSERT_EQ(qtls.size(), 2u);
  EXPECT_EQ(qtls[1].freqMin, 0.05);
  EXPECT_EQ(qtls[1].diffMax, 0.7);

  for (auto& row : p.qtlRows) row.enabled = 0;
  p.qtlRows[4].enabled = 1;
  p.qtlRows[4].varianceExplained = 0.1;
  p.qtlDifferenceRows[4].diffMin = 0.2;
  qtls = ActiveQtls(p);
  ASSERT_EQ(qtls.size(), 1u);
  EXPECT_DOUBLE_EQ(qtls[0].varianceComponent, 1.0);
  EXPECT_EQ(qtls[0].diffMin, 0.2);

  p.qtlRows[4].enabled = 0;
  EXPECT_TRUE(ActiveQtls(p).empty());
  // Cleared rows still count in the residual share.
  p.qtlRows[0].varianceExplained = 0.6;
  p.qtlRows[3].varianceExplained = 0.6;
  EXPECT_LT(ResidualVarianceShare(p), 0);
  p.qtlRows = {};
  p.qtlRows[0].varianceExplained = 0.5;
  p.qtlRows[1].varianceExplained = 0.5;
  EXPECT_EQ(ResidualVarianceShare(p), 0.0);
}

TEST(QtlEffectTest, RaisingAndLoweringPairs) {
  EXPECT_EQ(QtlEffect(1, 0.5, 1, 1), 0.5);
  EXPECT_EQ(QtlEffect(1, 0.5, 2, 2), -0.5);
  EXPECT_EQ(QtlEffect(1, 0.5, 1, 2), 0.0);
  EXPECT_EQ(QtlEffect(1, 0.5, 0, 1), 0.0);  // a class outside both pairs
  EXPECT_EQ(QtlEffect(2, 0.5, 2, 2), 0.5);
  EXPECT_EQ(QtlEffect(2, 0.5, 1, 1), -0.5);
  EXPECT_EQ(QtlEffect(7, 0.5, 2, 2), 0.5);  // any other class behaves as 2
}

TEST(QtlCandidateTest, LociJoinTheQtlsInTurn) {
  QuanParameters p;
  std::vector<ActiveQtl> qtls = ActiveQtls(p);  // three QTLs, range 0.1 .. 0.3
  qtls[1].freqMin = 0.6;
  qtls[1].freqMax = 0.65;
  // Locus 0 (0.2) joins QTL 1; locus 1 (0.8 -> 0.2, class 2) is offered to
  // QTL 2 first, refused, and joins QTL 3; the rotation then starts locus 2
  // at QTL 1 and locus 3 at QTL 2; locus 4 is refused by all three.
  const std::vector<double> f = {0.2, 0.8, 0.25, 0.62, 0.0, 0.5};
  CollectQtlCandidates(f, nullptr, qtls);
  ASSERT_EQ(qtls[0].candidates.size(), 2u);
  ASSERT_EQ(qtls[1].candidates.size(), 1u);
  ASSERT_EQ(qtls[2].candidates.size(), 1u);
  EXPECT_EQ(qtls[2].candidates[0].locus, 1);
  EXPECT_EQ(qtls[2].candidates[0].effectClass, 2);
  EXPECT_NEAR(qtls[2].candidates[0].frequency, 0.2, 1e-6);
  EXPECT_EQ(qtls[0].candidates[1].locus, 2);
  EXPECT_EQ(qtls[1].candidates[0].locus, 3);
  EXPECT_TRUE(EveryQtlHasCandidates(qtls));
  // Every pass starts the rotation afresh; candidates accumulate.
  CollectQtlCandidates(f, nullptr, qtls);
  EXPECT_EQ(qtls[0].candidates.size(), 4u);
  EXPECT_EQ(qtls[2].candidates.size(), 2u);

  // The difference test of the discrete model, and monomorphic loci.
  std::vector<ActiveQtl> one = ActiveQtls(p);
  one.resize(1);
  one[0].freqMin = 0.0;
  one[0].freqMax = 1.0;
  const std::vector<double> diff = {0.05, 0.2, 0.2};
  CollectQtlCandidates(std::vector<double>{0.2, 0.0, 0.3}, &diff, one);
  ASSERT_EQ(one[0].candidates.size(), 1u);
  EXPECT_EQ(one[0].candidates[0].locus, 2);
  std::vector<ActiveQtl> none = ActiveQtls(p);
  CollectQtlCandidates(std::vector<double>{0.5}, nullptr, none);
  EXPECT_FALSE(EveryQtlHasCandidates(none));
  EXPECT_TRUE(EveryQtlHasCandidates({}));
}

TEST(QtlChoiceTest, PickAmongTheFirst33AndEffect) {
  QuanParameters p;
  std::vector<ActiveQtl> qtls = ActiveQtls(p);
  qtls.resize(1);
  for (int i = 0; i < 40; ++i) qtls[0].candidates.push_back({1, 0.2f, i});
  int highest = 0;
  for (std::uint32_t s = 0; s < 3000; ++s) {
    const std::uint32_t seed = s * 2654435761u;
    RandomGenerator gen(seed);
    ChooseQtls(gen, qtls);
    highest = std::max(highest, qtls[0].locus);
    RandomGenerator replay(seed);
    ASSERT_EQ(qtls[0].locus, static_cast<int>(DrawUniform(replay, 0.0, 40)) % 40);
  }
  EXPECT_EQ(highest, 32);
  EXPECT_NEAR(qtls[0].effect, std::sqrt(0.2 / ((0.2f + 0.2f) * (1.0 - 0.2f))), 1e-12);
  EXPECT_NEAR(qtls[0].effect, 0.790569, 1e-5);
}

TEST(GroupMeansTest, DefaultsAndQuotas) {
  QuanParameters p;
  const GroupMeans means = DiscreteGroupMeans(p);
  EXPECT_NEAR(means.yri, 21.4, 1e-12);
  EXPECT_NEAR(means.other, 19.4, 1e-12);
  EXPECT_EQ(ComputeGroupQuotas(p).yri, 60);
  EXPECT_EQ(ComputeGroupQuotas(p).second, 140);
  p.sampleSize = 5;
  EXPECT_EQ(ComputeGroupQuotas(p).yri, 1);
  EXPECT_EQ(ComputeGroupQuotas(p).second, 4);
}

TEST(ResidualTest, DrawnOnlyWithAPositiveShare) {
  RandomGenerator gen(8);
  const Residual none{0.0, 10.0};
  EXPECT_EQ(none.Draw(gen), 0.0);
  EXPECT_EQ(gen.State(), 8u);
  const Residual defaults{0.965, 10.0};
  for (int i = 0; i < 1000; ++i) {
    const double r = defaults.Draw(gen);
    ASSERT_GE(r, -10.0);
    ASSERT_LT(r, 10.0);
  }
}

}  // namespace
}  // namespace korvane
