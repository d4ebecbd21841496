// End-to-end runs of the quantitative study on a small synthetic data set.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "breakpoint_file.h"
#include "form_switches.h"
#include "plink_binary_check.h"
#include "population/admixture.h"
#include "quan/QUAN.h"
#include "quan/quan_fields.h"
#include "recording_host.h"
#include "synthetic_data.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::Fields;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::RecordingHost;
using testing::SplitLines;
using testing::TempDir;

class QuanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteSyntheticData(tmp_ / "data", 20);
    study_.parameters.outputDirectory = (tmp_ / "out").string();
    study_.parameters.totalLocusCount = 150;
    study_.parameters.nullLocusCount = 10;
    options_.dataDir = tmp_ / "data";
    options_.seed = 7;
    options_.truth = false;  // the specified files; the truth files have tests of their own
  }
  RunOutcome Run() {
    RecordingHost host(&study_.parameters.statusText);
    return study_.Run(options_, host);
  }
  fs::path Out(const std::string& name) const { return tmp_ / "out" / name; }
  std::string LogAll() const { return ReadFile(Out("Causal_Loci_Plink&Admixmap&Eigensoft.txt")); }
  std::string LogStrat() const { return ReadFile(Out("Causal_Loci_Strat&GC.txt")); }

  TempDir tmp_;
  QuanStudy study_;
  RunOptions options_;
};

// One replicate on three threads: its generations are built in parts.
TEST_F(QuanRunTest, OneReplicateIsTheSameWhenItsGenerationsAreSplit) {
  study_.parameters.totalLocusCount = 300;
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    study_.parameters.modelKind = model;
    std::map<std::string, std::string> runs[2];
    for (int k = 0; k < 2; ++k) {
      options_.threads = k == 0 ? 1 : 3;
      const fs::path out = tmp_ / ("split" + std::to_string(static_cast<int>(model)) + std::to_string(k));
      study_.parameters.outputDirectory = out.string();
      ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
      runs[k] = testing::ReadTree(out);
    }
    EXPECT_GT(runs[0].size(), 5u);
    EXPECT_TRUE(runs[0] == runs[1]);
  }
}

TEST_F(QuanRunTest, LogFormatsOfBothModels) {
  options_.overwrite = true;  // the runs share the folders
  study_.parameters.replicateCount = 2;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_TRUE(std::regex_match(LogAll(), std::regex(R"(Simu#  QTL1   QTL2   QTL3   \n(\d      (SNP\d+ ){3}\n){2})")))
      << LogAll();
  study_.parameters.modelKind = ModelKind::kContinuous;
  study_.parameters.replicateCount = 1;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  const auto lines = SplitLines(LogStrat());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(1      (SNP[0-9 ]{3} ){3})"))) << lines[4];
  // Only the formats of the quantitative form are written.
  EXPECT_TRUE(fs::exists(Out("1/GC.txt")));
  EXPECT_FALSE(fs::exists(Out("1/Strat.txt")));
  EXPECT_FALSE(fs::exists(Out("1/Admixmap_geno.txt")));
}

// --formats bed beside the form's formats: the binary files hold every
// genotype of Plink.ped, in both models and both simulations, on one thread
// and on a team; only=bed writes them without the form's formats, the same
// bytes.
TEST_F(QuanRunTest, TheBinaryFilesHoldThePedigreesGenotypes) {
  testing::ExpectBinaryFilesOfEverySimulation(study_.parameters, options_, tmp_.path(), [this] { return Run(); });
}

TEST_F(QuanRunTest, EachFormatSwitchWritesItsOwnFiles) {
  study_.parameters.replicateCount = 1;
  testing::CheckEachFormSwitch(StudyKind::kQuantitative, study_.parameters, QuanFields(), tmp_ / "switches",
                               [this](const std::string& out) {
                                 study_.parameters.outputDirectory = out;
                                 const RunOutcome outcome = Run();
                                 ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
                               });
}

TEST_F(QuanRunTest, VarianceSharesAboveOneAreRefusedWithTheSum) {
  study_.parameters.qtlRows[0].varianceExplained = 0.6;
  study_.parameters.qtlRows[1].varianceExplained = 0;
  study_.parameters.qtlRows[2].varianceExplained = 0;
  study_.parameters.qtlRows[3].varianceExplained = 0.6;  // cleared, still counted
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kRefused);
  EXPECT_EQ(outcome.message, "QTL variance shares add up to 1.2, more than 1");
  EXPECT_EQ(LogAll(), "");
  EXPECT_TRUE(fs::exists(Out("Causal_Loci_Strat&GC.txt")));
  EXPECT_FALSE(fs::exists(Out("1")));
}

TEST_F(QuanRunTest, RefusesResidualDrawsWithoutValues) {
  study_.parameters.phenotypeVariance = 0.0005;
  EXPECT_THAT(Run().message, HasSubstr("Phenotype variance:"));
  study_.parameters.phenotypeVariance = 1000;
  study_.parameters.qtlRows[0].varianceExplained = 0.1;  // residual share 0.885: sd 885
  EXPECT_EQ(Run().status, RunOutcome::Status::kRefused);
  study_.parameters.phenotypeVariance = 10;
  study_.parameters.yriFinalDiscrete = 1;
  EXPECT_THAT(Run().message, HasSubstr("Proportion of YRI in final population: "));
  study_.parameters.yriFinalDiscrete = 0.3;
  study_.parameters.qtlRows[2].freqMin = 0.5;
  EXPECT_THAT(Run().message, HasSubstr("QTL3 Frequency of disease susceptible allele: min 0.5 is above max 0.3"));
  study_.parameters.qtlRows[2].enabled = 0;  // a cleared row is not checked
  study_.parameters.qtlDifferenceRows[0].diffMin = 0.9;
  EXPECT_THAT(Run().message, HasSubstr("QTL1 Frequency difference:"));
  study_.parameters.modelKind = ModelKind::kContinuous;
  EXPECT_EQ(Run().status, RunOutcome::Status::kCompleted);
  // The refusals wrote nothing; the completed run has the two ticked QTLs.
  EXPECT_EQ(SplitLines(LogAll())[0], "Simu#  QTL1   QTL2   ");
}

// A residual share just above 0 puts the density's maximum beyond the draw's
// 32-bit bound, where the draw would wrap to heavy noise instead of none.
TEST_F(QuanRunTest, RefusesAResidualTooSmallToDraw) {
  options_.overwrite = true;  // the runs that are not refused share the folders
  study_.parameters.replicateCount = 1;
  study_.parameters.qtlRows[3].varianceExplained = 0.96499999;  // with 0.02 + 0.01 + 0.005: share about 1e-8
  study_.parameters.phenotypeVariance = 10;
  const RunOutcome tiny = Run();
  EXPECT_EQ(tiny.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(tiny.message, HasSubstr("Phenotype variance: 10 and the QTLs' Phenotype variance explained"));
  EXPECT_THAT(tiny.message, HasSubstr("at least about 1.86e-7"));
  EXPECT_FALSE(fs::exists(Out("")));
  study_.parameters.phenotypeVariance = 100;  // spread about 1e-6: drawn
  EXPECT_EQ(Run().status, RunOutcome::Status::kCompleted);
  study_.parameters.qtlRows[3].varianceExplained = 0.965;  // shares add up to 1: no residual draw
  study_.parameters.phenotypeVariance = 10;
  EXPECT_EQ(Run().status, RunOutcome::Status::kCompleted);
}

// The calibrated model draws an exact normal residual of any spread, so the
// specified draw's refusals do not apply; it refuses what it cannot make: no
// residual variance left by the ticked shares (with the stratification's in
// the discrete model), or a stratification share without two groups.
TEST_F(QuanRunTest, CalibratedRefusalsAndGroups) {
  options_.calibrated = true;
  options_.truth = true;
  options_.overwrite = true;
  study_.parameters.replicateCount = 1;
  study_.parameters.phenotypeVariance = 0.0005;  // refused by the specified draw, drawn here
  EXPECT_EQ(Run().status, RunOutcome::Status::kCompleted);
  study_.parameters.phenotypeVariance = 10;
  study_.parameters.qtlRows[0].varianceExplained = 0.9;  // 0.9 + 0.01 + 0.005 + stratification 0.1
  RunOutcome outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(outcome.message, HasSubstr("Variance explained by population stratification: add up to 1.015"));
  study_.parameters.qtlRows[3].varianceExplained = 0.5;  // a cleared row takes no variance here
  study_.parameters.qtlRows[0].varianceExplained = 0.02;
  study_.parameters.yriFinalDiscrete = 1;
  outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(outcome.message, HasSubstr("needs both groups"));
  study_.parameters.yriFinalDiscrete = 0.3;
  study_.parameters.sampleSize = 50;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  // The groups in the numbers asked, 15 YRI and 35 second-population
  // individuals, in a shuffled order.
  const std::vector<std::string> lines = SplitLines(ReadFile(Out("1/Individuals.tsv")));
  ASSERT_EQ(lines.size(), 51u);
  int yri = 0, yriInFirstHalf = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const bool isYri = lines[i].find("YRI_pool") != std::string::npos;
    yri += isYri;
    yriInFirstHalf += isYri && i <= 25;
  }
  EXPECT_EQ(yri, 15);
  EXPECT_GT(yriInFirstHalf, 0);
  EXPECT_LT(yriInFirstHalf, 15);
}

TEST_F(QuanRunTest, DiscreteSampleAlternatesTheGroups) {
  study_.parameters.missingRate = 1.0;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  const auto origin = SplitLines(ReadFile(Out("1/Origin.txt")));
  ASSERT_EQ(origin.size(), 201u);
  for (int i = 0; i < 200; ++i) {
    const std::string expected = i < 120 ? (i % 2 == 0 ? "1.0" : "0.0") : "0.0";
    ASSERT_EQ(Fields(origin[i + 1])[1], expected) << i;
  }
  const auto ped = SplitLines(ReadFile(Out("1/Plink.ped")));
  const auto phen = SplitLines(ReadFile(Out("1/Eigensoft.phen")));
  const auto ind = SplitLines(ReadFile(Out("1/Eigensoft_Pca.ind")));
  const auto gc = SplitLines(ReadFile(Out("1/GC.txt")));
  ASSERT_EQ(ped.size(), 200u);
  ASSERT_EQ(phen.size(), 200u);
  const auto log = Fields(SplitLines(LogAll())[1]);
  ASSERT_EQ(log.size(), 4u);
  for (int i = 0; i < 200; ++i) {
    const auto pd = Fields(ped[i]);
    ASSERT_TRUE(std::regex_match(pd[5], std::regex(R"(-?\d+\.\d\d)")));
    ASSERT_EQ(pd[5], phen[i]);
    ASSERT_EQ(Fields(gc[i])[1], phen[i]);
    ASSERT_EQ(Fields(ind[i])[2], "Null");
    // Missing rate 1: only the three QTL genotypes are present.
    int present = 0;
    for (std::size_t k = 6; k < pd.size(); k += 2) present += pd[k] != "0";
    ASSERT_LE(present, 3);
    for (int q = 1; q <= 3; ++q) ASSERT_NE(pd[6 + 2 * (std::stoi(log[q].substr(3)) - 1)], "0");
  }
  const auto stratGeno = SplitLines(ReadFile(Out("1/Eigensoft_Strat.geno")));
  EXPECT_GE(stratGeno.size(), 1u);
  EXPECT_LE(stratGeno.size(), 3u);
}

TEST_F(QuanRunTest, ContinuousSamplesInIndexOrderAcrossPopulations) {
  study_.parameters.modelKind = ModelKind::kContinuous;
  for (int size : {1, 1001}) {
    study_.parameters.sampleSize = size;
    study_.parameters.outputDirectory = (tmp_ / std::to_string(size)).string();
    ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
    const fs::path dir = tmp_ / std::to_string(size) / "1";
    const auto origin = SplitLines(ReadFile(dir / "Origin.txt"));
    ASSERT_EQ(static_cast<int>(origin.size()), size + 1);
    // The first 40 individuals of a population are the migrants' children.
    EXPECT_GE(std::stod(Fields(origin[1])[1]), 0.5);
    if (size == 1001) {
      EXPECT_LT(std::stod(Fields(origin[1000])[1]), 0.5);
      EXPECT_GE(std::stod(Fields(origin[1001])[1]), 0.5);  // index 0 of the second population
    }
  }
}

// Local ancestry of a quantitative study, read from LocalAncestry.bp. In the
// continuous model a sample taken in index order starts with the migrants'
// children, whose second haplotype was picked afresh from YRI reference
// individuals region by region: every tract of it is YRI, one per region.
// In the discrete model every haplotype is wholly of its pool's population,
// the one Origin.txt gives.
TEST_F(QuanRunTest, LocalAncestryOfMigrantsAndPools) {
  options_.localAncestry = true;
  for (const ModelKind model : {ModelKind::kContinuous, ModelKind::kDiscrete}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    study_.parameters.modelKind = model;
    const fs::path out = tmp_ / (model == ModelKind::kDiscrete ? "d" : "c");
    study_.parameters.outputDirectory = out.string();
    ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
    const auto loci = testing::LociOfPlinkMap(ReadFile(out / "1" / "Plink.map"));
    std::set<int> regions;
    for (const auto& locus : loci) regions.insert(locus.chromosome);
    const auto haplotypes = testing::ReadBreakpoints(ReadFile(out / "1" / "LocalAncestry.bp"));
    const auto origin = SplitLines(ReadFile(out / "1" / "Origin.txt"));
    ASSERT_EQ(haplotypes.size(), 2u * 200u);
    ASSERT_EQ(origin.size(), 201u);
    for (int i = 0; i < 200; ++i) {
      const double ancestry = std::stod(Fields(origin[static_cast<std::size_t>(i) + 1])[1]);
      for (int h = 0; h < 2; ++h) {
        const auto& haplotype = haplotypes[2 * static_cast<std::size_t>(i) + static_cast<std::size_t>(h)];
        ASSERT_EQ(haplotype.header, std::to_string(i + 1) + "_" + std::to_string(h + 1));
        ASSERT_TRUE(testing::ExpandTracts(haplotype, loci).has_value());
        const bool migrantsFresh = model == ModelKind::kContinuous && i < MigrantCount(0.04) && h == 1;
        if (model == ModelKind::kDiscrete || migrantsFresh) {
          const std::string population = migrantsFresh || ancestry == 1.0 ? "YRI" : "SECOND";
          ASSERT_EQ(haplotype.tracts.size(), regions.size()) << haplotype.header;
          for (const auto& tract : haplotype.tracts) ASSERT_EQ(tract.population, population) << haplotype.header;
        }
      }
    }
  }
}

TEST_F(QuanRunTest, TheFoundersCountAsTheFirstGeneration) {
  // One refresh point per generation of mating: max(1, G - 1) of them here,
  // max(1, G) in the case-control study.
  options_.threads = 1;
  options_.overwrite = true;  // the runs share the folders
  auto refreshes = [&](int generations) {
    study_.parameters.generationCount = generations;
    RecordingHost host;
    EXPECT_EQ(study_.Run(options_, host).status, RunOutcome::Status::kCompleted);
    return host.refreshes;
  };
  const int one = refreshes(1);
  EXPECT_EQ(refreshes(0), one);
  EXPECT_EQ(refreshes(2), one);
  EXPECT_EQ(refreshes(5), one + 3);
}

TEST_F(QuanRunTest, EmptySampleAndNoQtl) {
  options_.overwrite = true;  // the runs share the folders
  study_.parameters.sampleSize = 0;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_EQ(SplitLines(LogAll())[1], "1      SNP0 SNP0 SNP0 ");
  EXPECT_EQ(SplitLines(ReadFile(Out("1/Eigensoft_Pca.snp"))).size(), 150u);

  for (auto& row : study_.parameters.qtlRows) row.enabled = 0;
  study_.parameters.sampleSize = 20;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_EQ(SplitLines(LogAll())[2], "Simu#  ");
  EXPECT_EQ(SplitLines(LogAll())[3], "1      ");
  EXPECT_EQ(ReadFile(Out("1/Eigensoft_Strat.geno")), "");
}

}  // namespace
}  // namespace korvane
