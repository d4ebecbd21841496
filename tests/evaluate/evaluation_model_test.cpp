// Which model simulated the replicates, as the evaluation tells it: the
// report and every row of summary.tsv name it, and the warnings about the
// specified model's distortions are written for its runs only, with a last
// line on --calibrated.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "evaluate/evaluation.h"
#include "test_files.h"

namespace korvane {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using testing::SplitLines;
using ::testing::StartsWith;
using testing::TempDir;

// A case-control run whose replicates show every distortion the specified
// model is known for: cases from more populations than the controls, a
// relative risk moved by the penetrances' grid, more candidates than the
// first hundred, a continuous-model sample below 1000, and most neighbours
// closer than the recombination draws resolve.
EvaluationContext CaseControlContext(bool calibrated) {
  EvaluationContext context;
  context.study = StudyKind::kQualitative;
  context.discreteModel = false;
  context.calibrated = calibrated;
  context.title = "Case-control study";
  context.settings = {{"model", "continuous"}};
  context.sampleSize = 400;
  context.totalLoci = 1000;
  context.nullLoci = 100;
  context.prevalence = 0.001;
  context.relativeRisk = 1.5;
  return context;
}

ReplicateResult DistortedReplicate(int replicate, StudyKind study) {
  ReplicateResult result;
  result.replicate = replicate;
  result.study = study;
  result.n = 400;
  result.cases = result.controls = 200;
  result.lambda = 1.4;
  result.lambdaPc = result.lambdaAncestry = 1.1;
  result.unlinkedLoci = 800;
  result.linkedLoci = 99;
  result.drawsOfCases = 6;
  result.drawsOfControls = 1;
  result.draws = 4;
  result.pairsBelowRecombinationFloor = 60;
  result.neighbourPairs = 100;
  result.crossoversByMap = 0.02;
  result.crossoversDrawn = 0.1;
  TraitLocusResult locus;
  locus.id = "snp7";
  locus.p = 1e-4;
  locus.pPc = locus.pGc = locus.pAncestry = locus.pTrend = 1e-3;
  if (study == StudyKind::kQualitative) {
    locus.role = "causal";
    locus.trueEffect = 1.5;
    locus.appliedEffect = 1.8;  // the heterozygotes' relative risk through the applied penetrances
  } else {
    locus.role = "qtl1";
    locus.askedShare = 0.05;
    locus.expectedShare = 0.04;
    locus.realizedShare = 0.038;
  }
  result.traitLoci.push_back(locus);
  return result;
}

// The first words of every warning, which name what it is about.
std::vector<std::string> Topics(const std::vector<std::string>& warnings) {
  std::vector<std::string> topics;
  for (const std::string& warning : warnings) topics.push_back(warning.substr(0, warning.find(':')));
  return topics;
}

TEST(EvaluationModelTest, SpecifiedModelWarningsOnlyForItsRuns) {
  Evaluation specified(EvaluationSettings{}, CaseControlContext(false));
  Evaluation calibrated(EvaluationSettings{}, CaseControlContext(true));
  for (int n = 1; n <= 3; ++n) {
    specified.Add(DistortedReplicate(n, StudyKind::kQualitative));
    calibrated.Add(DistortedReplicate(n, StudyKind::kQualitative));
  }
  const std::vector<std::string> warnings = specified.Warnings();
  EXPECT_EQ(Topics(warnings), (std::vector<std::string>{"Sampling cycles", "Penetrance grid", "Trait loci",
                                                        "Sample order", "Recombination", "Model"}));
  // The last line says what to do about them.
  EXPECT_THAT(warnings.back(), HasSubstr("specified model"));
  EXPECT_THAT(warnings.back(), HasSubstr("--calibrated"));
  EXPECT_THAT(warnings.back(), HasSubstr("korvane qual --params"));
  EXPECT_THAT(warnings.back(), HasSubstr("cases and controls"));
  // The same replicates of the calibrated model: none of them.
  EXPECT_THAT(calibrated.Warnings(), ::testing::IsEmpty());
  EXPECT_THAT(calibrated.Report().warnings, ::testing::IsEmpty());
  EXPECT_EQ(specified.Report().warnings, warnings);

  // A quantitative run: the residual's warning is the specified model's too.
  EvaluationSettings settings;
  settings.model.phenotypeVariance = 10;
  settings.model.residualShare = 0.95;
  EvaluationContext context = CaseControlContext(false);
  context.study = StudyKind::kQuantitative;
  context.discreteModel = true;
  context.sampleSize = 2000;
  context.totalLoci = 30;  // no candidate beyond the first 33
  Evaluation quantitative(settings, context);
  context.calibrated = true;
  settings.model.calibrated = true;
  Evaluation quantitativeCalibrated(settings, context);
  ReplicateResult replicate = DistortedReplicate(1, StudyKind::kQuantitative);
  replicate.pairsBelowRecombinationFloor = 0;
  quantitative.Add(replicate);
  quantitativeCalibrated.Add(replicate);
  EXPECT_EQ(Topics(quantitative.Warnings()), (std::vector<std::string>{"Sampling cycles", "Residual", "Model"}));
  EXPECT_THAT(quantitative.Warnings().back(), HasSubstr("korvane quan --params"));
  EXPECT_THAT(quantitative.Warnings().back(), HasSubstr("the whole sample"));
  EXPECT_THAT(quantitativeCalibrated.Warnings(), ::testing::IsEmpty());

  // Nothing evaluated, nothing to warn about.
  EXPECT_THAT(Evaluation(EvaluationSettings{}, CaseControlContext(false)).Warnings(), ::testing::IsEmpty());
}

TEST(EvaluationModelTest, TheReportAndEverySummaryRowNameTheModel) {
  TempDir dir;
  for (const bool calibrated : {false, true}) {
    const std::string model = calibrated ? "calibrated model" : "specified model";
    SCOPED_TRACE(model);
    EXPECT_EQ(SimulationModelName(calibrated), model);
    Evaluation evaluation(EvaluationSettings{}, CaseControlContext(calibrated));
    evaluation.Add(DistortedReplicate(1, StudyKind::kQualitative));
    evaluation.Add(DistortedReplicate(2, StudyKind::kQualitative));
    const auto folder = dir / model;
    evaluation.Write(folder);

    const std::vector<std::string> lines = SplitLines(ReadFile(folder / "summary.tsv"));
    ASSERT_GT(lines.size(), 5u);
    EXPECT_THAT(lines[0], ::testing::EndsWith("\tcount\ttrials\tsimulation"));
    const auto columns = [](const std::string& line) { return std::count(line.begin(), line.end(), '\t'); };
    for (std::size_t k = 1; k < lines.size(); ++k) {
      EXPECT_THAT(lines[k], ::testing::EndsWith("\t" + model)) << lines[k];
      EXPECT_EQ(columns(lines[k]), columns(lines[0])) << lines[k];
    }

    // The report's settings begin with it; the terminal's summary too.
    const ReportData report = evaluation.Report();
    ASSERT_FALSE(report.settings.empty());
    EXPECT_EQ(report.settings.front(), (std::pair<std::string, std::string>{"simulation", model}));
    EXPECT_EQ(report.settings[1], (std::pair<std::string, std::string>{"model", "continuous"}));
    EXPECT_THAT(ReadFile(folder / "report.html"), HasSubstr(model));
    EXPECT_THAT(evaluation.SummaryText(), StartsWith("replicates of the " + model + "\n"));
  }
}

}  // namespace
}  // namespace korvane
