// The evaluation against truths it must find, on replicates of the shipped
// reference data with fixed seeds: without an effect and with one
// population draw the statistics are not inflated; power rises with the
// relative risk and follows the model's expectation; a QTL's realized share
// of the phenotype variance is what the model's arithmetic predicts.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cli/evaluate_command.h"
#include "evaluate/evaluation.h"
#include "qual/QUAL.h"
#include "quan/QUAN.h"
#include "recording_host.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Runs the study's replicates with every format off, evaluated as they are
// simulated, and returns the summary.
template <typename Study>
std::vector<SummaryRow> Evaluate(Study& study, std::uint64_t seed, int principalComponents, const fs::path& out) {
  cli::EvaluateOptions asked;
  asked.enabled = true;
  asked.principalComponents = principalComponents;
  Evaluation evaluation(cli::SettingsOf(asked, study.parameters), cli::ContextOf(study.parameters));
  RunOptions options;
  options.dataDir = fs::path(KORVANE_SOURCE_DIR) / "data";
  options.seed = seed;
  options.truth = false;
  options.attachedWriters.push_back(evaluation.Writers());
  study.parameters.outputDirectory = out.string();
  study.parameters.writePlink = 0;
  study.parameters.writeEigensoft = 0;
  study.parameters.writeGc = 0;
  testing::RecordingHost host;
  EXPECT_EQ(study.Run(options, host).status, RunOutcome::Status::kCompleted);
  return evaluation.Summary();
}

const SummaryRow& Row(const std::vector<SummaryRow>& rows, const std::string& statistic, const std::string& locus,
                      const std::string& alpha) {
  for (const SummaryRow& row : rows) {
    if (row.statistic == statistic && row.locus == locus && row.alpha == alpha) return row;
  }
  throw std::runtime_error("no summary row " + statistic + " " + locus + " " + alpha);
}

QualStudy CaseControl(double relativeRisk, int sampleSize) {
  QualStudy study;
  study.parameters.relativeRisk = static_cast<float>(relativeRisk);
  study.parameters.yriInCases = 0.5;
  study.parameters.yriInControls = 0.5;
  study.parameters.prevalence = 0.1;  // a hundred cases in each population built: one draw for small samples
  study.parameters.sampleSize = sampleSize;
  study.parameters.replicateCount = 40;
  study.parameters.writeAdmixmap = 0;
  study.parameters.writeStructureStrat = 0;
  return study;
}

TEST(StatisticsTest, NoEffectAndOneDrawKeepLambdaNearOne) {
  TempDir tmp;
  QualStudy study = CaseControl(1.0, 100);
  const auto rows = Evaluate(study, 1, 4, tmp / "null");
  const SummaryRow& lambda = Row(rows, "lambda_gc", "", "");
  EXPECT_GT(lambda.observed, 0.85);
  EXPECT_LT(lambda.observed, 1.15);
  // The type-I error at 0.05 over the unlinked loci of 40 replicates.
  const SummaryRow& type1 = Row(rows, "type1_error", "", "0.05");
  EXPECT_GT(type1.observed, 0.03);
  EXPECT_LT(type1.observed, 0.07);
  // Without an effect the causal locus is found at the rate of any other.
  EXPECT_LT(Row(rows, "power", "causal", "0.05").observed, 0.2);
}

TEST(StatisticsTest, PowerRisesWithTheRelativeRiskAndFollowsTheModel) {
  TempDir tmp;
  double previous = -1;
  for (const double rr : {1.2, 2.0, 3.0}) {
    SCOPED_TRACE("relative risk " + std::to_string(rr));
    QualStudy study = CaseControl(rr, 400);
    const auto rows = Evaluate(study, 2, 0, tmp / std::to_string(rr));
    const SummaryRow& power = Row(rows, "power", "causal", "0.05");
    EXPECT_GT(power.observed, previous);
    previous = power.observed;
    // The model's expectation lies within the observed power's interval,
    // widened by a little for the expectation's own approximations.
    EXPECT_GT(power.expectedModel, power.low - 0.05);
    EXPECT_LT(power.expectedModel, power.high + 0.05);
  }
  EXPECT_GT(previous, 0.9);
}

TEST(StatisticsTest, RealizedQtlSharesAreTheModelsArithmetic) {
  TempDir tmp;
  for (const ModelKind model : {ModelKind::kContinuous, ModelKind::kDiscrete}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    QuanStudy study;
    study.parameters.modelKind = model;
    study.parameters.sampleSize = 1000;
    study.parameters.replicateCount = 30;
    const auto rows = Evaluate(study, 3, 0, tmp / (model == ModelKind::kDiscrete ? "d" : "c"));
    for (const char* qtl : {"qtl1", "qtl2", "qtl3"}) {
      SCOPED_TRACE(qtl);
      const SummaryRow& share = Row(rows, "variance_share", qtl, "");
      // The specified residual makes the realized share far below the one
      // asked; the arithmetic of its draw predicts it to within 10 %.
      EXPECT_LT(share.observed, 0.7 * share.expectedNominal);
      EXPECT_NEAR(share.observed / share.expectedModel, 1.0, 0.1);
    }
    const SummaryRow& variance = Row(rows, "phenotype_variance", "", "");
    EXPECT_NEAR(variance.observed / variance.expectedModel, 1.0, 0.1);
  }
}

}  // namespace
}  // namespace korvane
