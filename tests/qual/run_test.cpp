// End-to-end runs of the case-control study on a small synthetic data set:
// the driver's folder and log sequence, bounds and refusals, and the
// invariants that tie the files of a replicate together.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <new>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "each_simulation.h"
#include "form_switches.h"
#include "plink_binary_check.h"
#include "qual/QUAL.h"
#include "qual/case_control.h"
#include "qual/qual_fields.h"
#include "recording_host.h"
#include "run/run_driver.h"
#include "synthetic_data.h"
#include "test_files.h"
#include "vcf_reading.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::Fields;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::RecordingHost;
using testing::SplitLines;
using testing::TempDir;

class QualRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteSyntheticData(tmp_ / "data", 20);
    study_.parameters.outputDirectory = (tmp_ / "out").string();
    study_.parameters.totalLocusCount = 120;
    study_.parameters.nullLocusCount = 10;
    study_.parameters.sampleSize = 60;
    study_.parameters.prevalence = 0.2;
    options_.dataDir = tmp_ / "data";
    options_.seed = 42;
    options_.truth = false;  // the specified files; the truth files have tests of their own
  }
  RunOutcome Run() {
    RecordingHost host(&study_.parameters.statusText);
    RunOutcome outcome = study_.Run(options_, host);
    host_ = host;
    return outcome;
  }
  fs::path Out(const std::string& name) const { return tmp_ / "out" / name; }
  std::string LogAll() const { return ReadFile(Out("Causal_Locus_Plink&Admixmap&Eigensoft.txt")); }
  std::string LogStrat() const { return ReadFile(Out("Causal_Locus_Strat&GC.txt")); }

  TempDir tmp_;
  QualStudy study_;
  RunOptions options_;
  RecordingHost host_;
};

// The rows every individual of a replicate's last attempt was written with,
// haplotype 1 first, as a writer attached to the run sees them; and with
// local ancestry, whether each allele came from YRI (per haplotype).
struct CapturedRows {
  std::vector<std::vector<Genotype>> genotypes;
  std::vector<std::array<std::vector<bool>, 2>> yri;
};

class RowCapture : public FormatWriter {
 public:
  explicit RowCapture(CapturedRows& rows) : rows_(rows) { rows_ = CapturedRows(); }
  void Individual(const IndividualRecord& /*individual*/, const GenotypeRow& row) override {
    rows_.genotypes.emplace_back(row.genotypes.begin(), row.genotypes.end());
    std::array<std::vector<bool>, 2> yri;
    for (std::size_t h = 0; h < 2; ++h) {
      if (row.ancestry[h] == nullptr) continue;
      for (std::size_t j = 0; j < row.genotypes.size(); ++j)
        yri[h].push_back(((row.ancestry[h][j / 64] >> (j % 64)) & 1) != 0);
    }
    rows_.yri.push_back(std::move(yri));
  }
  void Close() override {}

 private:
  CapturedRows& rows_;
};

// --formats vcf.gz,bcf: every genotype of Plink.ped in both files, with the
// phase the simulation gave (haplotype 1 first), the loci of Plink.map, the
// ids of Plink.ped; both models and simulations, on one thread and a team;
// the continuous model with local ancestry, each allele's population in AN1
// and AN2.
TEST_F(QualRunTest, TheVcfHoldsThePedigreesGenotypesInTheirPhase) {
  study_.parameters.replicateCount = 1;
  testing::ForEachSimulation(study_.parameters, options_, [&](const std::string& name) {
    study_.parameters.outputDirectory = (tmp_ / name).string();
    options_.formats = {{"vcf.gz", "bcf"}, false};
    const bool localAncestry = study_.parameters.modelKind == ModelKind::kContinuous;
    options_.localAncestry = localAncestry;
    CapturedRows rows;
    options_.attachedWriters = {
        [&rows](int, const fs::path&, const WriterSettings&) { return std::make_unique<RowCapture>(rows); }};
    const RunOutcome outcome = Run();
    options_.attachedWriters.clear();
    options_.localAncestry = false;
    ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
    const fs::path folder = tmp_ / name / "1";
    const std::vector<std::string> ped = SplitLines(ReadFile(folder / "Plink.ped"));
    const std::vector<std::string> map = SplitLines(ReadFile(folder / "Plink.map"));
    ASSERT_EQ(rows.genotypes.size(), ped.size());
    for (const char* file : {"Genotypes.vcf.gz", "Genotypes.bcf"}) {
      SCOPED_TRACE(file);
      const testing::VcfRead vcf = testing::ReadVcf(folder / file);
      ASSERT_EQ(vcf.samples.size(), ped.size());
      ASSERT_EQ(vcf.records.size(), map.size());
      for (std::size_t j = 0; j < map.size(); ++j) {
        const std::vector<std::string> locus = Fields(map[j]);
        EXPECT_EQ(vcf.records[j].chrom, locus[0]);
        EXPECT_EQ(vcf.records[j].id, locus[1]);
        EXPECT_EQ(std::to_string(vcf.records[j].pos), locus[3]);
        EXPECT_EQ(vcf.records[j].ref.size(), 1u);
      }
      for (std::size_t i = 0; i < ped.size(); ++i) {
        const std::vector<std::string> line = Fields(ped[i]);
        ASSERT_EQ(line.size(), 6 + 2 * map.size());
        EXPECT_EQ(vcf.samples[i], line[0] + "_" + line[1]);
        for (std::size_t j = 0; j < map.size(); ++j) {
          const Genotype got = vcf.records[j].genotypes[i];
          // The genotype of the pedigree line, its alleles in either order.
          const std::string pedigree = line[6 + 2 * j] + line[7 + 2 * j];
          const std::string vcfAlleles = {static_cast<char>('0' + got.first), static_cast<char>('0' + got.second)};
          EXPECT_TRUE(vcfAlleles == pedigree || vcfAlleles == std::string(pedigree.rbegin(), pedigree.rend()))
              << "individual " << i << ", locus " << j;
          // The phase: haplotype 1's allele first, as simulated.
          EXPECT_EQ(got.first, rows.genotypes[i][j].first) << "individual " << i << ", locus " << j;
          EXPECT_EQ(got.second, rows.genotypes[i][j].second) << "individual " << i << ", locus " << j;
          if (localAncestry) {
            ASSERT_EQ(vcf.records[j].ancestry.size(), ped.size());
            EXPECT_EQ(vcf.records[j].ancestry[i][0], rows.yri[i][0][j] ? 0 : 1);
            EXPECT_EQ(vcf.records[j].ancestry[i][1], rows.yri[i][1][j] ? 0 : 1);
          } else {
            EXPECT_TRUE(vcf.records[j].ancestry.empty());
          }
        }
      }
    }
    // The one causal locus is the one the log names.
    const std::vector<std::string> log =
        SplitLines(ReadFile(tmp_ / name / "Causal_Locus_Plink&Admixmap&Eigensoft.txt"));
    ASSERT_EQ(log.size(), 2u);
    const testing::VcfRead vcf = testing::ReadVcf(folder / "Genotypes.vcf.gz");
    std::vector<std::string> causal;
    for (const testing::VcfRecordRead& record : vcf.records) {
      if (record.role == "causal") causal.push_back("SNP" + record.id.substr(3));
    }
    EXPECT_EQ(causal, std::vector<std::string>{Fields(log[1]).at(1)});
    EXPECT_TRUE(fs::exists(folder / "Genotypes.vcf.gz.tbi"));
    EXPECT_TRUE(fs::exists(folder / "Genotypes.bcf.csi"));
  });
}

TEST_F(QualRunTest, FoldersAndLogLinesFollowTheReplicates) {
  study_.parameters.replicateCount = 3;
  const RunOutcome outcome = Run();
  ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
  EXPECT_EQ(outcome.replicatesCompleted, 3);
  for (int n : {1, 2, 3}) EXPECT_TRUE(fs::exists(Out(std::to_string(n) + "/Origin.txt")));
  EXPECT_FALSE(fs::exists(Out("4")));
  const std::regex lineAll(R"(Simu#  Causal locus\n1      SNP\d+ *\n2      SNP\d+ *\n3      SNP\d+ *\n)");
  EXPECT_TRUE(std::regex_match(LogAll(), lineAll)) << LogAll();
  EXPECT_TRUE(std::regex_match(LogStrat(), lineAll)) << LogStrat();
  EXPECT_EQ(host_.running, (std::vector<bool>{true, false}));
  EXPECT_EQ(host_.statuses.front(), "Simulation 1 is running now.......");
  EXPECT_EQ(study_.parameters.statusText, "Press OK to start simulation.");

  // A second run into folders that hold replicates is refused before it
  // writes anything, and says where the free numbers begin.
  const std::string logBefore = LogAll();
  const std::string pedBefore = ReadFile(Out("2/Plink.ped"));
  options_.seed = 43;
  study_.parameters.replicateCount = 1;
  RunOutcome refused = Run();
  EXPECT_EQ(refused.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(refused.message, HasSubstr(Out("1").string() + " holds a replicate already"));
  EXPECT_EQ(refused.existingReplicate, 1);
  EXPECT_EQ(refused.nextFreeReplicate, 4);
  EXPECT_EQ(LogAll(), logBefore);

  // From the next free number it appends its own header and line.
  options_.firstReplicate = 4;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_EQ(SplitLines(LogAll()).size(), 6u);
  EXPECT_EQ(SplitLines(LogAll())[4], "Simu#  Causal locus");
  EXPECT_THAT(SplitLines(LogAll())[5], ::testing::StartsWith("4      SNP"));

  // Replacing replicate 2 deliberately leaves the others as they were.
  options_.firstReplicate = 2;
  options_.overwrite = true;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_NE(ReadFile(Out("2/Plink.ped")), pedBefore);
  EXPECT_TRUE(fs::exists(Out("3/Plink.ped")));
  EXPECT_FALSE(fs::exists(Out(".2.partial")));
  EXPECT_FALSE(fs::exists(Out(".korvane.lock")));
}

// --formats bed beside the form's formats: the binary files hold every
// genotype of Plink.ped, in both models and both simulations, on one thread
// and on a team; only=bed writes them without the form's formats, the same
// bytes.
TEST_F(QualRunTest, TheBinaryFilesHoldThePedigreesGenotypes) {
  testing::ExpectBinaryFilesOfEverySimulation(study_.parameters, options_, tmp_.path(), [this] { return Run(); });
}

TEST_F(QualRunTest, EachFormatSwitchWritesItsOwnFiles) {
  study_.parameters.replicateCount = 1;
  testing::CheckEachFormSwitch(StudyKind::kQualitative, study_.parameters, QualFields(), tmp_ / "switches",
                               [this](const std::string& out) {
                                 study_.parameters.outputDirectory = out;
                                 const RunOutcome outcome = Run();
                                 ASSERT_EQ(outcome.status, RunOutcome::Status::kCompleted) << outcome.message;
                               });
}

TEST_F(QualRunTest, NoReplicateEndsTheLogLineAndMakesNoFolder) {
  study_.parameters.replicateCount = 0;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  // The next run's header starts a line of its own.
  EXPECT_EQ(LogAll(), "Simu#  Causal locus\n1      \nSimu#  Causal locus\n1      \n");
  EXPECT_FALSE(fs::exists(Out("1")));
}

TEST_F(QualRunTest, FirstReplicateNumbersFoldersAndLines) {
  options_.firstReplicate = 7;
  study_.parameters.replicateCount = 2;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_TRUE(fs::exists(Out("7/GC.txt")));
  EXPECT_TRUE(fs::exists(Out("8/GC.txt")));
  EXPECT_FALSE(fs::exists(Out("1")));
  EXPECT_THAT(LogAll(), HasSubstr("\n7      SNP"));

  // Replicate 8 of the same seed alone gives the same files.
  const std::string ped = ReadFile(Out("8/Plink.ped"));
  options_.firstReplicate = 8;
  study_.parameters.replicateCount = 1;
  study_.parameters.outputDirectory = (tmp_ / "again").string();
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_EQ(ReadFile(tmp_ / "again" / "8" / "Plink.ped"), ped);
}

TEST_F(QualRunTest, RefusesParametersThatCanNeverSucceed) {
  study_.parameters.totalLocusCount = 0;
  RunOutcome outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(outcome.message, HasSubstr("Total number of loci:"));
  EXPECT_FALSE(fs::exists(Out("")));

  study_.parameters.totalLocusCount = 100;
  study_.parameters.prevalence = 0;
  EXPECT_THAT(Run().message, HasSubstr("Disease prevalence:"));
  study_.parameters.prevalence = 0.1;
  study_.parameters.susceptibilityFreqMin = 0.4;
  EXPECT_THAT(Run().message, HasSubstr("Frequency of disease susceptible allele: min 0.4 is above max 0.3"));
  study_.parameters.susceptibilityFreqMin = 0.1;
  study_.parameters.freqDifferenceMin = 0.5;
  EXPECT_THAT(Run().message, HasSubstr("Frequency difference:"));
  study_.parameters.modelKind = ModelKind::kContinuous;  // the difference belongs to the discrete model
  study_.parameters.yriPerGeneration = 0.0004;
  outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kRefused);
  EXPECT_THAT(outcome.message, HasSubstr("no migrant"));
  EXPECT_THAT(outcome.message, Not(HasSubstr("Frequency difference")));
  study_.parameters.outputDirectory = "";
  study_.parameters.yriPerGeneration = 0.04;
  EXPECT_THAT(Run().message, HasSubstr("Output directory:"));
}

TEST_F(QualRunTest, BadDataIsReportedBeforeAnythingIsWritten) {
  fs::remove(tmp_ / "data" / "ENr113.4q26Theta.txt");
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kFailed);
  EXPECT_THAT(outcome.message, HasSubstr("ENr113.4q26Theta.txt"));
  EXPECT_FALSE(fs::exists(Out("")));
}

TEST_F(QualRunTest, AttemptBoundEndsTheRunWithItsReason) {
  // Few loci and ranges they cannot meet: never a candidate.
  study_.parameters.totalLocusCount = 5;
  study_.parameters.nullLocusCount = 0;
  study_.parameters.susceptibilityFreqMin = 0.5;
  study_.parameters.susceptibilityFreqMax = 0.5;
  study_.parameters.freqDifferenceMin = 0.99;
  study_.parameters.freqDifferenceMax = 1.0;
  study_.parameters.replicateCount = 2;
  options_.maxAttempts = 2;
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.status, RunOutcome::Status::kFailed);
  EXPECT_THAT(outcome.message, HasSubstr("replicate 1: gave up after 2 attempts"));
  EXPECT_THAT(outcome.message, HasSubstr("no causal-locus candidate"));
  // The started line is ended; the unfinished replicate leaves no folder.
  EXPECT_EQ(LogAll(), "Simu#  Causal locus\n1      \n");
  EXPECT_FALSE(fs::exists(Out("1")));
  EXPECT_FALSE(fs::exists(Out(".1.partial")));
  EXPECT_EQ(host_.running, (std::vector<bool>{true, false}));

  // Kept when asked, under its partial name: the headers and the map only.
  options_.keepPartial = true;
  ASSERT_EQ(Run().status, RunOutcome::Status::kFailed);
  EXPECT_FALSE(fs::exists(Out("1")));
  EXPECT_EQ(SplitLines(ReadFile(Out(".1.partial/Origin.txt"))).size(), 1u);
  EXPECT_EQ(SplitLines(ReadFile(Out(".1.partial/Plink.map"))).size(), 5u);
  EXPECT_EQ(ReadFile(Out(".1.partial/Plink.ped")), "");
}

TEST_F(QualRunTest, StopRequestEndsTheRunAtARefreshPoint) {
  study_.parameters.replicateCount = 5;
  options_.threads = 1;
  RecordingHost host(&study_.parameters.statusText);
  host.stopAfter = 40;
  const RunOutcome outcome = study_.Run(options_, host);
  EXPECT_EQ(outcome.status, RunOutcome::Status::kStopped);
  const auto lines = SplitLines(LogAll());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(static_cast<int>(lines.size()), 1 + outcome.replicatesCompleted + 1);
  EXPECT_EQ(LogAll().back(), '\n');
  EXPECT_EQ(study_.parameters.statusText, "Press OK to start simulation.");
}

TEST_F(QualRunTest, FilesAreTheSameWhateverTheNumberOfWorkers) {
  study_.parameters.replicateCount = 5;
  options_.truth = true;
  std::map<int, std::map<std::string, std::string>> runs;
  for (int threads : {1, 2, 3}) {
    options_.threads = threads;
    const fs::path out = tmp_ / ("threads" + std::to_string(threads));
    study_.parameters.outputDirectory = out.string();
    ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
    runs[threads] = testing::ReadTree(out);
  }
  EXPECT_EQ(runs[1].size(), 3u + 5u * 17u);  // the logs and Truth_Loci.tsv, 14 + 3 files per replicate
  EXPECT_TRUE(runs[1] == runs[2]);
  EXPECT_TRUE(runs[1] == runs[3]);
}

// One replicate on three threads: its generations are built in parts.
TEST_F(QualRunTest, OneReplicateIsTheSameWhenItsGenerationsAreSplit) {
  study_.parameters.totalLocusCount = 300;
  for (const ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    study_.parameters.modelKind = model;
    std::map<int, std::map<std::string, std::string>> runs;
    for (int threads : {1, 3}) {
      options_.threads = threads;
      const fs::path out = tmp_ / ("split" + std::to_string(static_cast<int>(model)) + std::to_string(threads));
      study_.parameters.outputDirectory = out.string();
      ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
      runs[threads] = testing::ReadTree(out);
    }
    EXPECT_EQ(runs[1].size(), 2u + 14u);
    EXPECT_TRUE(runs[1] == runs[3]);
  }
}

TEST_F(QualRunTest, AFailedReplicateEndsAParallelRunAfterTheOnesBeforeIt) {
  study_.parameters.replicateCount = 4;
  options_.threads = 2;
  options_.maxAttempts = 1;
  // Five loci and a narrow range: some replicates find no candidate.
  study_.parameters.totalLocusCount = 5;
  study_.parameters.nullLocusCount = 0;
  study_.parameters.susceptibilityFreqMin = 0.49;
  study_.parameters.susceptibilityFreqMax = 0.5;
  study_.parameters.freqDifferenceMin = 0.0;
  study_.parameters.freqDifferenceMax = 1.0;
  const RunOutcome parallel = Run();
  const std::string parallelLog = LogAll();
  options_.threads = 1;
  study_.parameters.outputDirectory = (tmp_ / "one").string();
  const RunOutcome single = Run();
  EXPECT_EQ(single.status, RunOutcome::Status::kFailed) << single.message;
  EXPECT_GT(single.replicatesCompleted, 0);
  EXPECT_EQ(parallel.status, single.status);
  EXPECT_EQ(parallel.message, single.message);
  EXPECT_EQ(parallel.replicatesCompleted, single.replicatesCompleted);
  EXPECT_EQ(parallelLog, ReadFile(tmp_ / "one" / "Causal_Locus_Plink&Admixmap&Eigensoft.txt"));
  // No replicate after the failed one is left behind, complete or not.
  EXPECT_TRUE(testing::ReadTree(tmp_ / "out") == testing::ReadTree(tmp_ / "one"));
  EXPECT_FALSE(fs::exists(Out(std::to_string(single.replicatesCompleted + 2))));
}

// A failure of any kind inside a worker (here thrown into replicate 3 of 5)
// ends the run through one path, whatever the number of workers: the
// message, the replicates before it kept, the open log line ended, nothing
// after it left behind.
TEST_F(QualRunTest, AnyFailureInAWorkerEndsTheRunWithAMessage) {
  study_.parameters.replicateCount = 5;
  struct Injected {
    std::function<void()> raise;
    std::string message;
  };
  const Injected injected[] = {
      {[] { throw std::bad_alloc(); }, "replicate 3: out of memory"},
      {[] { throw std::runtime_error("no more file handles"); }, "replicate 3: no more file handles"},
      {[] { throw 42; }, "replicate 3: internal error of an unknown kind"},
  };
  for (const Injected& failure : injected) {
    std::map<int, std::map<std::string, std::string>> trees;
    for (const int threads : {1, 2, 3}) {
      SCOPED_TRACE(failure.message + ", threads " + std::to_string(threads));
      options_.threads = threads;
      const fs::path out = tmp_ / ("fail" + std::to_string(threads));
      fs::remove_all(out);
      study_.parameters.outputDirectory = out.string();
      DriverPlan plan;
      plan.outputDirectory = out.string();
      plan.replicateCount = 5;
      plan.formats = FormatSelection{"eigensoft", "admixmap", "plink", "structure-strat", "gc"};
      plan.sampleSize = study_.parameters.sampleSize;
      plan.statusText = &study_.parameters.statusText;
      plan.model = [] { return ModelKind::kDiscrete; };
      plan.simulate = [&](ModelKind, AttemptContext& ctx) {
        if (ctx.seed == AttemptSeed(options_.seed, 3, 1)) failure.raise();
        return SimulateDiscreteCaseControl(study_.parameters, ctx);
      };
      plan.logEntries = [](CausalLogs& logs, ModelKind, const AttemptResult& result) {
        logs.CausalEntry(result.positionsAll.at(0), result.positionsCandidate.at(0));
      };
      RecordingHost host;
      const RunOutcome outcome = RunReplicates(plan, options_, host);
      EXPECT_EQ(outcome.status, RunOutcome::Status::kFailed);
      EXPECT_EQ(outcome.message, failure.message);
      EXPECT_EQ(outcome.replicatesCompleted, 2);
      const auto lines = SplitLines(ReadFile(out / "Causal_Locus_Plink&Admixmap&Eigensoft.txt"));
      ASSERT_EQ(lines.size(), 4u);
      EXPECT_EQ(lines[3], "3      ");
      EXPECT_EQ(host.running, (std::vector<bool>{true, false}));
      trees[threads] = testing::ReadTree(out);
    }
    EXPECT_EQ(trees[1].size(), 2u + 2u * 14u);
    EXPECT_TRUE(trees[1] == trees[2]);
    EXPECT_TRUE(trees[1] == trees[3]);
  }
}

// A replicate is visible under its number only once complete: a stop in the
// middle of it leaves no folder of that number, and --keep-partial keeps the
// unfinished files under the partial name.
TEST_F(QualRunTest, AStoppedReplicateIsNeverSeenUnderItsNumber) {
  study_.parameters.replicateCount = 3;
  options_.threads = 1;
  for (const bool keep : {false, true}) {
    options_.keepPartial = keep;
    options_.overwrite = true;
    RecordingHost host;
    host.stopAfter = 12;  // within the second replicate
    const RunOutcome outcome = study_.Run(options_, host);
    ASSERT_EQ(outcome.status, RunOutcome::Status::kStopped);
    ASSERT_EQ(outcome.replicatesCompleted, 1);
    EXPECT_TRUE(fs::exists(Out("1/Plink.ped")));
    EXPECT_FALSE(fs::exists(Out("2")));
    EXPECT_EQ(fs::exists(Out(".2.partial")), keep);
    EXPECT_EQ(LogAll().back(), '\n');
  }
  // A later run into the same numbers starts the partial folder afresh.
  options_.keepPartial = false;
  options_.firstReplicate = 2;
  study_.parameters.replicateCount = 1;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_FALSE(fs::exists(Out(".2.partial")));
  EXPECT_EQ(SplitLines(ReadFile(Out("2/Plink.ped"))).size(), 60u);
}

TEST_F(QualRunTest, EveryGenerationIsAMating) {
  // A sample filled in one cycle: one refresh point per generation of mating.
  options_.threads = 1;
  options_.overwrite = true;
  study_.parameters.prevalence = 0.5;
  study_.parameters.sampleSize = 20;
  auto refreshes = [&](int generations) {
    study_.parameters.generationCount = generations;
    RecordingHost host;
    EXPECT_EQ(study_.Run(options_, host).status, RunOutcome::Status::kCompleted);
    return host.refreshes;
  };
  const int one = refreshes(1);
  EXPECT_EQ(refreshes(0), one);
  EXPECT_EQ(refreshes(5), one + 4);
}

// The invariants that tie the files of one replicate together.
void CheckReplicate(const fs::path& dir, const QualParameters& p, bool discrete, int causalAll, int causalCandidate) {
  const auto origin = SplitLines(ReadFile(dir / "Origin.txt"));
  ASSERT_EQ(static_cast<int>(origin.size()), p.sampleSize + 1);
  EXPECT_EQ(origin[0], "IndID    Proportion of YRI");
  const auto ped = SplitLines(ReadFile(dir / "Plink.ped"));
  const auto strat = SplitLines(ReadFile(dir / "Strat.txt"));
  const auto structure = SplitLines(ReadFile(dir / "Structure.txt"));
  const auto gc = SplitLines(ReadFile(dir / "GC.txt"));
  const auto ind = SplitLines(ReadFile(dir / "Eigensoft_Pca.ind"));
  const auto map = SplitLines(ReadFile(dir / "Plink.map"));
  const std::string phen = ReadFile(dir / "Eigensoft.phen");
  ASSERT_EQ(static_cast<int>(ped.size()), p.sampleSize);
  ASSERT_EQ(static_cast<int>(phen.size()), p.sampleSize);
  ASSERT_EQ(static_cast<int>(map.size()), p.totalLocusCount);
  int nullCount = -1;
  for (int i = 0; i < p.sampleSize; ++i) {
    const auto o = Fields(origin[i + 1]);
    const auto pd = Fields(ped[i]);
    const auto st = Fields(strat[i]);
    const auto sr = Fields(structure[i]);
    const auto g = Fields(gc[i]);
    const auto e = Fields(ind[i]);
    const std::string id = std::to_string(i + 1);
    ASSERT_EQ(o[0], id);
    ASSERT_EQ(pd[0], id);
    ASSERT_EQ(st[0], id);
    ASSERT_EQ(sr[0], id);
    ASSERT_EQ(g[0], id);
    ASSERT_EQ(e[0], id);
    if (discrete) {
      ASSERT_TRUE(o[1] == "1.0" || o[1] == "0.0");
    }
    const bool isCase = pd[5] == "2";
    ASSERT_EQ(st[1], isCase ? "2" : "1");
    ASSERT_EQ(g[1], isCase ? "1" : "0");
    ASSERT_EQ(e[2], isCase ? "Case" : "Control");
    ASSERT_EQ(phen[i], isCase ? '1' : '0');
    ASSERT_EQ(e[1], pd[4] == "1" ? "M" : "F");
    // The split: STRUCTURE holds the null loci, STRAT the others.
    const int nulls = static_cast<int>(sr.size() - 1) / 2;
    if (nullCount < 0) nullCount = nulls;
    ASSERT_EQ(nulls, nullCount);
    ASSERT_EQ(static_cast<int>(st.size() - 2) / 2 + nulls, p.totalLocusCount);
    ASSERT_EQ(static_cast<int>(pd.size()) - 6, 2 * p.totalLocusCount);
    // The causal locus is never missing.
    if (causalAll > 0) {
      ASSERT_NE(pd[6 + 2 * (causalAll - 1)], "0");
      ASSERT_NE(st[2 + 2 * (causalCandidate - 1)], "-9");
      ASSERT_EQ(pd[6 + 2 * (causalAll - 1)] == "1" ? "1" : "2", st[2 + 2 * (causalCandidate - 1)]);
    }
  }
  EXPECT_LE(nullCount, p.nullLocusCount);
  const auto pcaGeno = SplitLines(ReadFile(dir / "Eigensoft_Pca.geno"));
  const auto stratGeno = SplitLines(ReadFile(dir / "Eigensoft_Strat.geno"));
  EXPECT_EQ(pcaGeno.size() + stratGeno.size(), map.size());
  ASSERT_EQ(stratGeno.size(), causalAll > 0 ? 1u : 0u);
  if (causalAll > 0) {
    EXPECT_EQ(stratGeno[0].find('9'), std::string::npos);
    EXPECT_EQ(static_cast<int>(stratGeno[0].size()), p.sampleSize);
  }
  EXPECT_EQ(SplitLines(ReadFile(dir / "Eigensoft_Pca.snp")).size(), pcaGeno.size());
}

TEST_F(QualRunTest, FilesOfBothModelsAgree) {
  study_.parameters.missingRate = 1.0;  // every genotype missing but the causal locus's
  for (ModelKind model : {ModelKind::kDiscrete, ModelKind::kContinuous}) {
    study_.parameters.modelKind = model;
    study_.parameters.outputDirectory = (tmp_ / (model == ModelKind::kDiscrete ? "d" : "c")).string();
    ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
    const auto log = Fields(SplitLines(
        ReadFile(fs::path(study_.parameters.outputDirectory) / "Causal_Locus_Plink&Admixmap&Eigensoft.txt"))[1]);
    const auto logStrat =
        Fields(SplitLines(ReadFile(fs::path(study_.parameters.outputDirectory) / "Causal_Locus_Strat&GC.txt"))[1]);
    const int causalAll = std::stoi(log[1].substr(3));
    const int causalCandidate = std::stoi(logStrat[1].substr(3));
    EXPECT_GT(causalAll, 0);
    EXPECT_LE(causalCandidate, causalAll);
    CheckReplicate(fs::path(study_.parameters.outputDirectory) / "1", study_.parameters, model == ModelKind::kDiscrete,
                   causalAll, causalCandidate);
    const std::string pedText = ReadFile(fs::path(study_.parameters.outputDirectory) / "1" / "Plink.ped");
    // Missing rate 1: exactly one genotype per individual is not "0 0".
    const auto first = Fields(SplitLines(pedText)[0]);
    int present = 0;
    for (std::size_t k = 6; k < first.size(); k += 2) present += first[k] != "0";
    EXPECT_EQ(present, 1);
  }
}

TEST_F(QualRunTest, AnEmptySampleChoosesNoCausalLocus) {
  study_.parameters.sampleSize = 0;
  ASSERT_EQ(Run().status, RunOutcome::Status::kCompleted);
  EXPECT_EQ(LogAll(), "Simu#  Causal locus\n1      SNP0  \n");
  EXPECT_EQ(ReadFile(Out("1/Eigensoft.phen")), "");
  EXPECT_EQ(SplitLines(ReadFile(Out("1/Eigensoft_Pca.snp"))).size(), 120u);
}

}  // namespace
}  // namespace korvane
