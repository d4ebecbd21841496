#include "qual/disease_model.h"

#include <gtest/gtest.h>

#include <map>

#include "population/bounds.h"
#include "qual/case_control.h"

namespace korvane {
namespace {

TEST(PenetranceTest, AdditiveRiskAndEffectiveThresholds) {
  const DiseaseModel m = DerivePenetrances(CausalCandidate{1, 0.2f, 7}, 0.01, 1.5f);
  EXPECT_NEAR(m.f0, 0.0083333, 1e-6);
  EXPECT_NEAR(m.f1, 0.0125, 1e-6);
  EXPECT_NEAR(m.f2, 0.0166667, 1e-6);
  EXPECT_EQ(m.t0, 9);   // draws 0.000 .. 0.008
  EXPECT_EQ(m.t1, 13);  // 0.000 .. 0.012
  EXPECT_EQ(m.t2, 17);  // 0.000 .. 0.016
  // Hardy-Weinberg proportions give back the prevalence.
  const double p = 0.2f;
  EXPECT_NEAR((1 - p) * (1 - p) * m.f0 + 2 * p * (1 - p) * m.f1 + p * p * m.f2, 0.01, 1e-12);

  const DiseaseModel flat = DerivePenetrances(CausalCandidate{2, 0.3f, 0}, 0.05, 1.0f);
  EXPECT_DOUBLE_EQ(flat.f0, 0.05);
  EXPECT_DOUBLE_EQ(flat.f1, 0.05);
  EXPECT_DOUBLE_EQ(flat.f2, 0.05);

  const DiseaseModel none = DerivePenetrances(CausalCandidate{1, 0.2f, 0}, 0.0, 3.0f);
  EXPECT_FALSE(CasesPossible(none));
  EXPECT_TRUE(ControlsPossible(none));
  const DiseaseModel everybody = DerivePenetrances(CausalCandidate{1, 0.1f, 0}, 1.0, 1.0f);
  EXPECT_FALSE(ControlsPossible(everybody));
  EXPECT_THROW(CheckSampleCanFill(none, true, false), RunFailure);
  EXPECT_NO_THROW(CheckSampleCanFill(none, false, true));
  EXPECT_THROW(CheckSampleCanFill(everybody, false, true), RunFailure);
}

TEST(PenetranceTest, StatusFollowsTheSusceptibleAlleleCount) {
  DiseaseModel m = DerivePenetrances(CausalCandidate{2, 0.2f, 0}, 0.01, 1.5f);
  // Risk class 2: two class-2 alleles (G, C) take f2, one of each f1.
  EXPECT_EQ(DiseaseStatusOf(m, 2, 2, 16), kCase);
  EXPECT_EQ(DiseaseStatusOf(m, 2, 2, 17), kControl);
  EXPECT_EQ(DiseaseStatusOf(m, 2, 1, 12), kCase);
  EXPECT_EQ(DiseaseStatusOf(m, 1, 2, 13), kControl);
  EXPECT_EQ(DiseaseStatusOf(m, 1, 1, 8), kCase);
  EXPECT_EQ(DiseaseStatusOf(m, 1, 1, 9), kControl);
}

TEST(CandidateTest, FrequencyAndDifferenceRanges) {
  const FrequencyRange susceptibility{0.1, 0.3};
  const FrequencyRange difference{0.1, 0.3};
  // m = 0.8: the other class qualifies.
  auto c = CandidateByFrequency(0.8, susceptibility, 3);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->riskClass, 2);
  EXPECT_NEAR(c->riskFrequency, 0.2, 1e-6);
  // Both qualify at 0.5 with a maximum of 0.5: class 1 wins.
  EXPECT_EQ(CandidateByFrequency(0.5, {0.1, 0.5}, 0)->riskClass, 1);
  EXPECT_FALSE(CandidateByFrequency(0.5, susceptibility, 0));

  auto d = IsCausalCandidate(0.3f, 0.1f, susceptibility, difference, 0);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->riskClass, 1);
  // 800 and 200 of 2000 in single precision: the difference is just above 0.3.
  EXPECT_FALSE(
      IsCausalCandidate(static_cast<float>(800 / 2000.0), static_cast<float>(200 / 2000.0), {0.0, 1.0}, difference, 0));
}

TEST(CandidateTest, ChoiceUsesTheDoubleProductAndOnlyTheFirstHundred) {
  std::vector<CausalCandidate> candidates(250);
  for (int i = 0; i < 250; ++i) candidates[i].locus = i;
  std::map<int, int> hits;
  // Seeds whose first draw is each thousandth: search the generator.
  std::map<int, std::uint32_t> seedFor;
  for (std::uint32_t s = 0; seedFor.size() < 1000; ++s) {
    RandomGenerator probe(s);
    seedFor.emplace(DrawThousandths(probe), s);
  }
  for (const auto& [k, seed] : seedFor) {
    RandomGenerator gen(seed);
    ++hits[ChooseCausalLocus(gen, candidates).locus];
  }
  EXPECT_EQ(hits.rbegin()->first, 99);
  EXPECT_EQ(hits[28], 11);  // 0.290 x 100 is just below 29
  EXPECT_EQ(hits[29], 9);
  EXPECT_EQ(hits[56], 11);
  EXPECT_EQ(hits[58], 9);

  std::vector<CausalCandidate> thirty(30);
  for (int i = 0; i < 30; ++i) thirty[i].locus = i;
  std::map<int, int> small;
  for (const auto& [k, seed] : seedFor) {
    RandomGenerator gen(seed);
    ++small[ChooseCausalLocus(gen, thirty).locus];
  }
  EXPECT_GT(small[0], small[20]);
}

TEST(GroupTargetsTest, TruncatedProductsLeftToRight) {
  QualParameters p;
  GroupTargets t = ComputeGroupTargets(p);
  EXPECT_EQ(t.casesYri, 40);
  EXPECT_EQ(t.casesSecond, 60);
  EXPECT_EQ(t.controlsYri, 60);
  EXPECT_EQ(t.controlsSecond, 40);
  p.sampleSize = 333;
  t = ComputeGroupTargets(p);
  EXPECT_EQ(t.casesYri, 66);
  EXPECT_EQ(t.casesSecond, 100);
  EXPECT_EQ(t.controlsYri, 99);
  EXPECT_EQ(t.controlsSecond, 68);

  p.sampleSize = 201;
  EXPECT_EQ(ComputeCaseControlCounts(p).cases, 100);
  EXPECT_EQ(ComputeCaseControlCounts(p).controls, 101);
  p.caseProportion = 0;
  EXPECT_EQ(ComputeCaseControlCounts(p).cases, 0);
}

}  // namespace
}  // namespace korvane
