// The truth files of the quantitative study: the QTLs of Truth.tsv are the
// logs' columns, and the realized variance share of each is what the written
// sample's phenotypes and genotypes give.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "quan/QUAN.h"
#include "recording_host.h"
#include "synthetic_data.h"
#include "test_files.h"
#include "truth_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::Fields;
using testing::PedigreeAlleles;
using testing::ReadFile;
using testing::ReadTsv;
using testing::SplitLines;
using testing::TempDir;
using testing::TsvRow;

// The sample variance (divided by n) of a list of values.
double Variance(const std::vector<double>& values) {
  double sum = 0, squares = 0;
  for (double v : values) {
    sum += v;
    squares += v * v;
  }
  const double mean = sum / static_cast<double>(values.size());
  return squares / static_cast<double>(values.size()) - mean * mean;
}

TEST(QuanTruthTest, QtlsAndTheirRealizedSharesFollowFromTheWrittenSample) {
  TempDir tmp;
  testing::WriteSyntheticData(tmp / "data", 20);
  RunOptions options;
  options.dataDir = tmp / "data";
  options.seed = 13;
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    QuanStudy study;
    study.parameters.modelKind = model;
    study.parameters.totalLocusCount = 150;
    study.parameters.nullLocusCount = 10;
    study.parameters.sampleSize = 300;
    study.parameters.qtlRows[0].varianceExplained = 0.3;  // large enough to measure in 300 individuals
    const fs::path out = tmp / (model == ModelKind::kDiscrete ? "discrete" : "continuous");
    study.parameters.outputDirectory = out.string();
    testing::RecordingHost host;
    ASSERT_EQ(study.Run(options, host).status, RunOutcome::Status::kCompleted);

    const fs::path dir = out / "1";
    const std::vector<TsvRow> truth = ReadTsv(dir / "Truth.tsv");
    const std::vector<std::string> logAll = SplitLines(ReadFile(out / "Causal_Loci_Plink&Admixmap&Eigensoft.txt"));
    const std::vector<std::string> logged = Fields(logAll[1]);
    ASSERT_EQ(truth.size(), 3u);  // the three ticked QTL rows
    ASSERT_EQ(logged.size(), 4u);
    const std::vector<TsvRow> loci = ReadTsv(dir / "Loci.tsv");
    const std::vector<TsvRow> individuals = ReadTsv(dir / "Individuals.tsv");
    const auto people = PedigreeAlleles(dir / "Plink.ped");
    ASSERT_EQ(individuals.size(), people.size());
    std::vector<double> phenotypes;
    for (const TsvRow& row : individuals) phenotypes.push_back(std::stod(row.at("phenotype")));

    for (std::size_t k = 0; k < truth.size(); ++k) {
      const TsvRow& qtl = truth[k];
      EXPECT_EQ(qtl.at("role"), "qtl" + std::to_string(k + 1));
      EXPECT_EQ("SNP" + qtl.at("id").substr(3), logged[k + 1]);
      const std::size_t j = std::stoul(qtl.at("id").substr(3)) - 1;
      EXPECT_THAT(loci.at(j).at("role"), ::testing::HasSubstr(qtl.at("role")));
      // The genotype values of the QTL in the written sample (a QTL's
      // genotype is never missing): +a, 0, -a for two, one, no risk alleles.
      const std::string risk = qtl.at("risk_allele_code");
      const double a = std::stod(qtl.at("effect_a"));
      std::vector<double> values;
      for (const auto& alleles : people) {
        ASSERT_NE(alleles[2 * j], "0");
        const int copies = (alleles[2 * j] == risk) + (alleles[2 * j + 1] == risk);
        values.push_back(copies == 2 ? a : copies == 0 ? -a : 0.0);
      }
      EXPECT_NEAR(std::stod(qtl.at("variance_share_realized")), Variance(values) / Variance(phenotypes), 2e-6);
      EXPECT_EQ(qtl.at("variance_share"), k == 0 ? "0.300000" : k == 1 ? "0.010000" : "0.005000");
    }
    // The discrete model's group means; the continuous model has none.
    EXPECT_EQ(truth[0].at("group_mean_yri") == "NA", model == ModelKind::kContinuous);
  }
}

}  // namespace
}  // namespace korvane
