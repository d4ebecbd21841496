// The evaluation loop: a replicate evaluated as it is simulated gives the
// same results as the same replicate read back from its folder, for any
// number of threads; the scoring of one replicate against its truth; and
// the problems of a folder that cannot be evaluated.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "cli/evaluate_command.h"
#include "evaluate/evaluation.h"
#include "evaluate/evaluation_input.h"
#include "evaluate/result_file.h"
#include "qual/QUAL.h"
#include "quan/QUAN.h"
#include "quan/quan_fields.h"
#include "quan/trait_model.h"
#include "recording_host.h"
#include "run/run_record.h"
#include "synthetic_data.h"
#include "test_files.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

// Runs `study` with in-process evaluation into `out` and writes the
// evaluation to out/evaluation; then evaluates the folders into
// out/from-files. Returns both folders' files.
template <typename Study>
std::pair<std::map<std::string, std::string>, std::map<std::string, std::string>> BothWays(Study& study,
                                                                                           RunOptions options,
                                                                                           const fs::path& out,
                                                                                           int threads) {
  cli::EvaluateOptions asked;
  asked.enabled = true;
  asked.principalComponents = 4;
  asked.keepLoci = true;
  Evaluation inProcess(cli::SettingsOf(asked, study.parameters), cli::ContextOf(study.parameters));
  options.threads = threads;
  options.attachedWriters.push_back(inProcess.Writers());
  study.parameters.outputDirectory = out.string();
  testing::RecordingHost host;
  EXPECT_EQ(study.Run(options, host).status, RunOutcome::Status::kCompleted);
  inProcess.Write(out / "evaluation");

  Evaluation fromFiles(cli::SettingsOf(asked, study.parameters), cli::ContextOf(study.parameters));
  for (int n = 1; n <= study.parameters.replicateCount; ++n) {
    fromFiles.Evaluate(ReadReplicateFolder(out / std::to_string(n), n));
  }
  fromFiles.Write(out / "from-files");
  std::map<std::string, std::string> a, b;
  for (const char* name : {"replicates.tsv", "summary.tsv"}) {
    a[name] = ReadFile(out / "evaluation" / name);
    b[name] = ReadFile(out / "from-files" / name);
  }
  return {a, b};
}

class EvaluationRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteSyntheticData(tmp_ / "data", 30);
    options_.dataDir = tmp_ / "data";
    options_.seed = 21;
  }
  TempDir tmp_;
  RunOptions options_;
};

TEST_F(EvaluationRunTest, InProcessEqualsFromFilesForAnyThreads) {
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    SCOPED_TRACE(model == ModelKind::kDiscrete ? "discrete" : "continuous");
    const std::string name = model == ModelKind::kDiscrete ? "d" : "c";
    QualStudy qual;
    qual.parameters.modelKind = model;
    qual.parameters.totalLocusCount = 120;
    qual.parameters.nullLocusCount = 10;
    qual.parameters.sampleSize = 80;
    qual.parameters.missingRate = 0.02;
    qual.parameters.replicateCount = 4;
    const auto one = BothWays(qual, options_, tmp_ / ("qual-" + name + "-1"), 1);
    EXPECT_EQ(one.first, one.second);
    const auto three = BothWays(qual, options_, tmp_ / ("qual-" + name + "-3"), 3);
    EXPECT_EQ(three.first, one.first);

    QuanStudy quan;
    quan.parameters.modelKind = model;
    quan.parameters.totalLocusCount = 120;
    quan.parameters.nullLocusCount = 10;
    quan.parameters.sampleSize = 80;
    quan.parameters.replicateCount = 3;
    const auto quanOne = BothWays(quan, options_, tmp_ / ("quan-" + name + "-1"), 1);
    EXPECT_EQ(quanOne.first, quanOne.second);
    const auto quanTwo = BothWays(quan, options_, tmp_ / ("quan-" + name + "-2"), 2);
    EXPECT_EQ(quanTwo.first, quanOne.first);
    // The loci of every replicate, compressed.
    EXPECT_TRUE(fs::file_size(tmp_ / ("quan-" + name + "-1") / "evaluation" / "loci.tsv.gz") > 100);
  }
}

// evaluation/results.bin keeps every replicate's results exactly: an
// evaluation written again from it is the same, file for file (the trait
// loci, the pooled p-values, every locus's statistics); a file that is not
// one, or damaged, is refused naming it.
TEST_F(EvaluationRunTest, TheResultsFileKeepsEveryResultExactly) {
  QuanStudy quan;
  quan.parameters.modelKind = ModelKind::kContinuous;
  quan.parameters.totalLocusCount = 120;
  quan.parameters.nullLocusCount = 10;
  quan.parameters.sampleSize = 80;
  quan.parameters.replicateCount = 3;
  QualStudy qual;
  qual.parameters.totalLocusCount = 120;
  qual.parameters.nullLocusCount = 10;
  qual.parameters.sampleSize = 80;
  qual.parameters.replicateCount = 2;
  const auto again = [](const fs::path& out, const EvaluationSettings& settings, const EvaluationContext& context) {
    ResultFile file = ReadResultFile(out / "evaluation" / kResultFileName);
    EXPECT_EQ(file.principalComponents, 4);
    EXPECT_TRUE(file.keepLoci);
    Evaluation evaluation(settings, context);
    for (ReplicateResult& result : file.results) evaluation.Add(std::move(result));
    evaluation.Write(out / "again");
    const auto written = testing::ReadTree(out / "evaluation");
    const auto rewritten = testing::ReadTree(out / "again");
    ASSERT_EQ(rewritten.size(), written.size());
    for (const auto& [name, bytes] : written) EXPECT_TRUE(rewritten.at(name) == bytes) << name;
  };
  cli::EvaluateOptions asked;
  asked.principalComponents = 4;
  asked.keepLoci = true;
  // The contexts as the runs had them (BothWays then names the output directory).
  const EvaluationContext quanContext = cli::ContextOf(quan.parameters);
  const EvaluationContext qualContext = cli::ContextOf(qual.parameters);
  BothWays(quan, options_, tmp_ / "quan", 1);
  again(tmp_ / "quan", cli::SettingsOf(asked, quan.parameters), quanContext);
  BothWays(qual, options_, tmp_ / "qual", 1);
  again(tmp_ / "qual", cli::SettingsOf(asked, qual.parameters), qualContext);

  const fs::path path = tmp_ / "qual" / "evaluation" / kResultFileName;
  const std::string bytes = ReadFile(path);
  const auto refused = [&path](const std::string& damaged, const std::string& message) {
    testing::WriteFile(path, damaged);
    try {
      ReadResultFile(path);
      ADD_FAILURE() << "read a damaged results file: " << message;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
    }
  };
  refused("replicate\tn\n", "its first bytes are not KORVANE-EVALUATION");
  std::string version = bytes;
  version[std::string("KORVANE-EVALUATION\n").size()] = 9;
  refused(version, "format version 9, this program reads version 1");
  refused(bytes + "x", "bytes after the last replicate");
  refused(bytes.substr(0, bytes.size() - 3), "it ends early");
}

// A run written with the PLINK binary files alone evaluates as the same run
// written with the pedigree files: the binary files give the same table.
TEST_F(EvaluationRunTest, TheBinaryFilesEvaluateAsThePedigreeFiles) {
  QualStudy qual;
  qual.parameters.totalLocusCount = 120;
  qual.parameters.nullLocusCount = 10;
  qual.parameters.sampleSize = 81;  // the last byte of each locus padded
  qual.parameters.missingRate = 0.05;
  qual.parameters.replicateCount = 2;
  RunOptions both = options_;
  both.formats.names = {"bed"};
  const auto text = BothWays(qual, both, tmp_ / "both", 1);
  for (int n = 1; n <= 2; ++n) {
    const fs::path folder = tmp_ / "both" / std::to_string(n);
    const GenotypeTable fromPed = ReadPlinkText(folder / "Plink.ped", folder / "Plink.map");
    const GenotypeTable fromBed = ReadPlinkBinary(folder / "Plink.bed", folder / "Plink.bim", folder / "Plink.fam");
    EXPECT_EQ(fromBed.individualIds, fromPed.individualIds);
    EXPECT_EQ(fromBed.locusIds, fromPed.locusIds);
    EXPECT_EQ(fromBed.chromosome, fromPed.chromosome);
    EXPECT_EQ(fromBed.positionBp, fromPed.positionBp);
    EXPECT_EQ(fromBed.dosage, fromPed.dosage);
  }

  RunOptions binaryOnly = options_;
  binaryOnly.formats = NamedFormats{{"bed"}, true};
  const auto binary = BothWays(qual, binaryOnly, tmp_ / "binary", 1);
  EXPECT_FALSE(fs::exists(tmp_ / "binary" / "1" / "Plink.ped"));
  EXPECT_EQ(binary.second, binary.first);
  EXPECT_EQ(binary.first, text.first);

  // A .bed that does not fit its .bim and .fam is named with the sizes.
  const fs::path folder = tmp_ / "binary" / "1";
  std::string bed = ReadFile(folder / "Plink.bed");
  testing::WriteFile(folder / "Plink.bed", bed.substr(0, bed.size() - 1));
  try {
    ReadReplicateFolder(folder, 1);
    FAIL() << "a short Plink.bed was read";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Plink.bed: 2522 bytes, expected 2523 for 120 loci of 81 individuals"),
              std::string::npos)
        << e.what();
  }
  bed[1] = 'x';
  testing::WriteFile(folder / "Plink.bed", bed);
  EXPECT_THROW(ReadReplicateFolder(folder, 1), std::runtime_error);
  fs::remove(folder / "Plink.bed");
  try {
    ReadReplicateFolder(folder, 1);
    FAIL() << "a folder without genotypes was read";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("no Plink.ped"), std::string::npos) << e.what();
  }
}

// A replicate built by hand: 60 individuals, 40 loci in two regions, the
// causal locus in region 1 with its risk allele class 2.
ReplicateInput Planted() {
  ReplicateInput input;
  input.replicate = 1;
  input.study = StudyKind::kQualitative;
  GenotypeTable& g = input.genotypes;
  g.individuals = 60;
  g.loci = 40;
  for (int i = 0; i < g.individuals; ++i) g.individualIds.push_back(std::to_string(i + 1));
  for (int l = 0; l < g.loci; ++l) {
    g.locusIds.push_back("snp" + std::to_string(l + 1));
    g.chromosome.push_back(l < 20 ? 1 : 2);
    g.positionBp.push_back(1000 * (l + 1));
    input.region.push_back(l < 20 ? 1 : 2);
    input.centimorgans.push_back(0.5 * (l % 20));
    input.isNull.push_back(0);
  }
  g.dosage.assign(static_cast<std::size_t>(g.individuals * g.loci), 0);
  for (int i = 0; i < g.individuals; ++i) {
    EvaluatedIndividual individual;
    individual.affected = i < 30;
    individual.source = SampleSource::kAdmixed;
    individual.populationDraw = 1;
    individual.originAncestry = 0.1 * (i % 7);
    input.individuals.push_back(individual);
    for (int l = 0; l < g.loci; ++l) {
      // Unrelated loci: a scrambled pattern that does not follow the status.
      const std::uint32_t hash =
          (static_cast<std::uint32_t>(i + 1) * 2654435761u) ^ (static_cast<std::uint32_t>(l + 1) * 40503u);
      g.dosage[static_cast<std::size_t>(l * g.individuals + i)] = static_cast<std::int8_t>((hash >> 13) % 3);
    }
    // Locus 5: cases carry the class-2 allele (class-1 count 0), controls class 1.
    g.dosage[static_cast<std::size_t>(5 * g.individuals + i)] =
        static_cast<std::int8_t>(i < 30 ? (i % 4 == 0 ? 1 : 0) : 2);
  }
  EvaluatedTraitLocus causal;
  causal.locus = 5;
  causal.role = "causal";
  causal.riskClass = 2;
  causal.riskFrequency = 0.3;
  causal.riskFrequencyAdmixed = 0.3;
  causal.prevalence = 0.1;
  causal.relativeRisk = 2;
  causal.penetrance = {0.05, 0.1, 0.2};
  causal.penetranceApplied = {0.05, 0.1, 0.2};
  input.traitLoci.push_back(causal);
  return input;
}

TEST(ReplicateEvaluationTest, ScoresTheTraitLocusAndCountsOnlyUnlinkedLoci) {
  const ReplicateInput input = Planted();
  EvaluationSettings settings;
  settings.principalComponents = 2;
  const ReplicateResult result = EvaluateReplicate(input, settings);
  EXPECT_EQ(result.cases, 30);
  EXPECT_EQ(result.controls, 30);
  // Region 1 holds the causal locus: its other 19 loci are linked, the 20 of
  // region 2 unlinked.
  EXPECT_EQ(result.linkedLoci, 19);
  EXPECT_EQ(result.unlinkedLoci, 20);
  EXPECT_EQ(result.unlinkedP.size(), 20u);
  ASSERT_EQ(result.traitLoci.size(), 1u);
  const TraitLocusResult& causal = result.traitLoci[0];
  EXPECT_EQ(causal.id, "snp6");
  EXPECT_EQ(causal.rank, 1);
  EXPECT_LT(causal.p, 1e-10);
  // The risk allele is class 2, carried by the cases: its odds ratio is above 1.
  EXPECT_GT(causal.estimate, 1);
  EXPECT_DOUBLE_EQ(causal.trueEffect, 2);
  EXPECT_DOUBLE_EQ(causal.appliedEffect, 2);
  // The expectations: a positive non-centrality from the penetrances.
  EXPECT_GT(causal.ncpModel, 0);
  EXPECT_NEAR(causal.ncpModel, causal.ncpNominal, 1e-12);  // one source, same penetrances
  // Type-I counts are of the unlinked loci: never more than they are.
  for (std::size_t a = 0; a < kAlphas.size(); ++a) EXPECT_LE(result.type1[a], result.unlinkedLoci);
  EXPECT_FALSE(std::isnan(result.lambda));
  EXPECT_FALSE(std::isnan(result.lambdaPc));
}

TEST(ReplicateEvaluationTest, TheSpecifiedResidualVarianceIsThatOfItsBoundedDraw) {
  // Far inside the bound: the normal's variance; cut at one standard
  // deviation: 0.2911 of it.
  EXPECT_NEAR(TruncatedNormalVariance(2, 100), 4, 1e-9);
  EXPECT_NEAR(TruncatedNormalVariance(1, 1), 0.29112509, 1e-6);
  EXPECT_EQ(TruncatedNormalVariance(0, 1), 0);
}

// Planted() as a quantitative replicate of the discrete model: half the
// sample from each source pool, the phenotype following locus 5 (qtl1).
ReplicateInput PlantedQuantitative(const QuanParameters& p) {
  ReplicateInput input = Planted();
  input.study = StudyKind::kQuantitative;
  for (std::size_t i = 0; i < input.individuals.size(); ++i) {
    EvaluatedIndividual& individual = input.individuals[i];
    individual.affected.reset();
    individual.source = i % 2 == 0 ? SampleSource::kYriPool : SampleSource::kSecondPool;
    const std::int8_t dosage = input.genotypes.dosage[5 * input.individuals.size() + i];
    individual.phenotype = 2.0 * dosage + 0.1 * static_cast<double>(i % 5);
  }
  EvaluatedTraitLocus& qtl = input.traitLoci[0];
  qtl.role = "qtl1";
  qtl.effect = 1.2;
  qtl.varianceShare = p.qtlRows[0].varianceExplained;
  const GroupMeans means = DiscreteGroupMeans(p);
  input.groupMeanYri = means.yri;
  input.groupMeanSecond = means.other;
  return input;
}

// The expected phenotype variance: the QTLs' components as asked, the
// residual as drawn, the groups' means. The calibrated model's residual is
// exactly Normal(0, r Vp) with r what the ticked QTL and the stratification
// leave, so the three add up to Vp and each QTL is expected to explain its
// share as asked; the specified model's r counts every row's share and its
// bounded draw has another variance.
TEST(ReplicateEvaluationTest, TheCalibratedResidualIsItsExactNormal) {
  QuanParameters p;
  p.modelKind = ModelKind::kDiscrete;
  p.phenotypeVariance = 10;
  p.stratificationVariance = 0.1;
  p.yriFinalDiscrete = 0.5;
  p.qtlRows[0].enabled = 1;
  p.qtlRows[0].varianceExplained = 0.3;
  p.qtlRows[1].enabled = 0;
  p.qtlRows[1].varianceExplained = 0.2;  // not ticked: only the specified residual leaves it out
  for (std::size_t k = 2; k < p.qtlRows.size(); ++k) p.qtlRows[k].enabled = 0;
  const ReplicateInput input = PlantedQuantitative(p);
  cli::EvaluateOptions asked;
  asked.principalComponents = 0;

  const EvaluationSettings calibrated = cli::SettingsOf(asked, p, true);
  EXPECT_TRUE(calibrated.model.calibrated);
  EXPECT_DOUBLE_EQ(calibrated.model.residualShare, CalibratedResidualShare(p));
  EXPECT_NEAR(calibrated.model.residualShare, 0.6, 1e-12);
  EXPECT_NEAR(ResidualVariance(calibrated.model), 6, 1e-12);
  const ReplicateResult exact = EvaluateReplicate(input, calibrated);
  EXPECT_NEAR(exact.expectedPhenotypeVariance, 10, 1e-9);
  ASSERT_EQ(exact.traitLoci.size(), 1u);
  EXPECT_NEAR(exact.traitLoci[0].expectedShare, 0.3, 1e-12);
  EXPECT_DOUBLE_EQ(exact.traitLoci[0].askedShare, 0.3);

  const EvaluationSettings specified = cli::SettingsOf(asked, p);
  EXPECT_FALSE(specified.model.calibrated);
  EXPECT_DOUBLE_EQ(specified.model.residualShare, ResidualVarianceShare(p));
  const double residual = SpecifiedResidualVariance(specified.model.residualShare * 10, 10);
  EXPECT_DOUBLE_EQ(ResidualVariance(specified.model), residual);
  const ReplicateResult bounded = EvaluateReplicate(input, specified);
  EXPECT_NEAR(bounded.expectedPhenotypeVariance, 3 + residual + 1, 1e-9);
  EXPECT_GT(std::abs(bounded.expectedPhenotypeVariance - 10), 1);
  EXPECT_NEAR(bounded.traitLoci[0].expectedShare, 3 / (4 + residual), 1e-12);

  // Nothing left to the residual: no draw, no variance.
  EvaluationModel full = calibrated.model;
  full.residualShare = 0;
  EXPECT_EQ(ResidualVariance(full), 0);
  full.residualShare = -0.1;
  EXPECT_EQ(ResidualVariance(full), 0);
}

// korvane evaluate takes the model from the run record: its last run's
// `calibrated`, and the specified model for a record without it.
TEST_F(EvaluationRunTest, TheRunRecordSaysWhichModelToEvaluate) {
  QuanStudy quan;
  quan.parameters.totalLocusCount = 60;
  quan.parameters.nullLocusCount = 5;
  quan.parameters.sampleSize = 30;
  quan.parameters.replicateCount = 2;
  quan.parameters.outputDirectory = (tmp_ / "run").string();
  testing::RecordingHost host;
  ASSERT_EQ(quan.Run(options_, host).status, RunOutcome::Status::kCompleted);

  const auto evaluated = [&] {
    cli::EvaluateOptions asked;
    asked.principalComponents = 0;
    EXPECT_EQ(cli::EvaluateRun(tmp_ / "run", asked, 1, true), 0);
    return ReadFile(tmp_ / "run" / "evaluation" / "summary.tsv");
  };
  RunRecord record;
  record.study = "quan";
  record.model = quan.parameters.modelKind;
  record.fields = RecordFields(quan.parameters, QuanFields());
  RunOptions options = options_;
  options.calibrated = true;
  ASSERT_TRUE(RecordRun(record, tmp_ / "run", options, RunOutcome{}, 0));
  std::string summary = evaluated();
  EXPECT_NE(summary.find("\tcalibrated model\n"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("specified model"), std::string::npos) << summary;
  EXPECT_NE(ReadFile(tmp_ / "run" / "evaluation" / "report.html").find("Quantitative study, calibrated model"),
            std::string::npos);

  // A record of an earlier version, without the key.
  std::string text = ReadFile(tmp_ / "run" / kRunRecordFile);
  text.erase(text.find("calibrated = true\n"), std::string("calibrated = true\n").size());
  testing::WriteFile(tmp_ / "run" / kRunRecordFile, text);
  summary = evaluated();
  EXPECT_NE(summary.find("\tspecified model\n"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("calibrated model"), std::string::npos) << summary;
}

TEST_F(EvaluationRunTest, FoldersThatCannotBeEvaluatedSayWhy) {
  QualStudy qual;
  qual.parameters.totalLocusCount = 60;
  qual.parameters.nullLocusCount = 5;
  qual.parameters.sampleSize = 20;
  qual.parameters.outputDirectory = (tmp_ / "no-truth").string();
  RunOptions options = options_;
  options.truth = false;
  testing::RecordingHost host;
  ASSERT_EQ(qual.Run(options, host).status, RunOutcome::Status::kCompleted);
  try {
    ReadReplicateFolder(tmp_ / "no-truth" / "1", 1);
    FAIL() << "a folder without truth files was read";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("--truth 1"), std::string::npos) << e.what();
  }

  // A Loci.tsv that does not list the loci of Plink.map.
  qual.parameters.outputDirectory = (tmp_ / "edited").string();
  ASSERT_EQ(qual.Run(options_, host).status, RunOutcome::Status::kCompleted);
  const fs::path loci = tmp_ / "edited" / "1" / "Loci.tsv";
  std::string text = ReadFile(loci);
  text.replace(text.find("\nsnp2\t"), 6, "\nsnp9\t");
  testing::WriteFile(loci, text);
  try {
    ReadReplicateFolder(tmp_ / "edited" / "1", 1);
    FAIL() << "a mismatched Loci.tsv was read";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Loci.tsv line 3"), std::string::npos) << e.what();
  }

  // The command: a directory without replicates is a usage problem, and so
  // is a run record whose parameters the fields refuse (the expectations
  // and warnings would be of other parameters).
  fs::create_directories(tmp_ / "empty");
  EXPECT_EQ(cli::EvaluateRun(tmp_ / "empty", cli::EvaluateOptions{}, 1, true), 2);
  testing::WriteFile(tmp_ / "edited" / "korvane-runs.toml",
                     "[[run]]\nstudy = \"qual\"\nmodel = \"discrete\"\nsample-size = -5\n");
  EXPECT_EQ(cli::EvaluateRun(tmp_ / "edited", cli::EvaluateOptions{}, 1, true), 2);
  // With the record mended (and Loci.tsv back as written) the run evaluates.
  testing::WriteFile(tmp_ / "edited" / "korvane-runs.toml",
                     "[[run]]\nstudy = \"qual\"\nmodel = \"discrete\"\nsample-size = 20\n");
  testing::WriteFile(loci, ReadFile(loci).replace(ReadFile(loci).find("\nsnp9\t"), 6, "\nsnp2\t"));
  EXPECT_EQ(cli::EvaluateRun(tmp_ / "edited", cli::EvaluateOptions{}, 1, true), 0);
  EXPECT_TRUE(fs::exists(tmp_ / "edited" / "evaluation" / "report.html"));
}

}  // namespace
}  // namespace korvane
