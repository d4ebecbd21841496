#include "cli/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "qual/qual_fields.h"
#include "quan/quan_fields.h"
#include "test_files.h"

namespace korvane::cli {
namespace {

using korvane::testing::TempDir;
using korvane::testing::WriteFile;
using ::testing::HasSubstr;

const CommandLineEnvironment kEnvironment{"/shipped/data", 777};

std::variant<Invocation, CommandLineExit> Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "korvane");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), kEnvironment);
}

Invocation Accepted(const std::vector<std::string>& args) {
  auto parsed = Parse(args);
  if (const auto* exit = std::get_if<CommandLineExit>(&parsed)) {
    ADD_FAILURE() << "exit " << exit->status << ": " << exit->text;
    return {};
  }
  return std::get<Invocation>(parsed);
}

CommandLineExit Exit(const std::vector<std::string>& args) {
  auto parsed = Parse(args);
  if (const auto* exit = std::get_if<CommandLineExit>(&parsed)) return *exit;
  ADD_FAILURE() << "the command line was accepted";
  return {};
}

TEST(CommandLineTest, DefaultsAreTheFormsAndTheRunsDefaults) {
  const Invocation inv = Accepted({"qual"});
  EXPECT_EQ(inv.command, Command::kQual);
  EXPECT_EQ(inv.qual.sampleSize, 200);
  EXPECT_EQ(inv.qual.outputDirectory, "korvane-output");
  EXPECT_FLOAT_EQ(inv.qual.relativeRisk, 1.5f);
  EXPECT_EQ(inv.qual.modelKind, ModelKind::kDiscrete);
  EXPECT_EQ(inv.run.seed, 777u);  // the environment's default seed
  EXPECT_EQ(inv.run.firstReplicate, 1);
  EXPECT_EQ(inv.run.maxAttempts, 100);
  EXPECT_EQ(inv.run.lineEnds, LineEnds::kLf);
  EXPECT_EQ(inv.run.dataDir, std::filesystem::is_directory("data") ? "data" : "/shipped/data");
  EXPECT_FALSE(inv.quiet);
  EXPECT_FALSE(inv.paramsFile);
}

TEST(CommandLineTest, OptionsFillTheRecordAndTheRunOptions) {
  const Invocation inv = Accepted({"qual",
                                   "--output-directory",
                                   "results",
                                   "--sample-size",
                                   "1000",
                                   "--simulating-times",
                                   "20",
                                   "--model",
                                   "continuous",
                                   "--seed",
                                   "4294967295",
                                   "--data",
                                   "/d",
                                   "--first-replicate",
                                   "5",
                                   "--max-attempts",
                                   "3",
                                   "--threads",
                                   "3",
                                   "--line-ends",
                                   "crlf",
                                   "--quiet",
                                   "--write-plink",
                                   "0",
                                   "--relative-risk=2.5",
                                   "--prevalence",
                                   " 2e-2 "});
  EXPECT_EQ(inv.qual.outputDirectory, "results");
  EXPECT_EQ(inv.qual.sampleSize, 1000);
  EXPECT_EQ(inv.qual.replicateCount, 20);
  EXPECT_EQ(inv.qual.modelKind, ModelKind::kContinuous);
  EXPECT_EQ(inv.run.seed, 4294967295u);
  EXPECT_EQ(inv.run.dataDir, "/d");
  EXPECT_EQ(inv.run.firstReplicate, 5);
  EXPECT_EQ(inv.run.maxAttempts, 3);
  EXPECT_EQ(inv.run.threads, 3);
  EXPECT_EQ(inv.run.lineEnds, LineEnds::kCrlf);
  EXPECT_TRUE(inv.quiet);
  EXPECT_EQ(inv.qual.writePlink, 0);
  EXPECT_FLOAT_EQ(inv.qual.relativeRisk, 2.5f);
  EXPECT_DOUBLE_EQ(inv.qual.prevalence, 0.02);

  // The alias and its option are one option: the last one given holds.
  EXPECT_EQ(Accepted({"qual", "--replicate-count", "4", "--simulating-times", "6"}).qual.replicateCount, 6);
  EXPECT_EQ(Accepted({"qual", "--simulating-times", "6", "--replicate-count", "4"}).qual.replicateCount, 4);
}

TEST(CommandLineTest, QuantitativeRowsAndNegativeValues) {
  const Invocation inv = Accepted({"quan", "--qtl2-freq-min", "0.2", "--qtl5-enabled", "1", "--qtl3-diff-max", "0.7",
                                   "--phenotype-mean", "-5", "--yri-final-discrete", "0.25", "--model", "continuous"});
  EXPECT_EQ(inv.command, Command::kQuan);
  EXPECT_DOUBLE_EQ(inv.quan.qtlRows[1].freqMin, 0.2);
  EXPECT_EQ(inv.quan.qtlRows[4].enabled, 1);
  EXPECT_DOUBLE_EQ(inv.quan.qtlDifferenceRows[2].diffMax, 0.7);
  EXPECT_DOUBLE_EQ(inv.quan.phenotypeMean, -5);
  EXPECT_DOUBLE_EQ(inv.quan.yriFinalDiscrete, 0.25);
  EXPECT_EQ(inv.quan.modelKind, ModelKind::kContinuous);
  EXPECT_EQ(inv.quan.writeAdmixmap, 0);
}

TEST(CommandLineTest, RefusedValuesNameTheFieldsLabelAndExitWithTwo) {
  struct Refusal {
    std::vector<std::string> args;
    std::string text;
  };
  const Refusal refusals[] = {
      {{"qual", "--sample-size", "20000000"},
       "korvane: --sample-size (Sample size): Please enter an integer between 0 and 10000000.\n"},
      {{"qual", "--sample-size", ""}, "korvane: --sample-size (Sample size): Please enter an integer.\n"},
      {{"qual", "--sample-size", "2e2"}, "korvane: --sample-size (Sample size): Please enter an integer.\n"},
      {{"qual", "--write-plink", "2"}, "korvane: --write-plink (PLINK): Please enter an integer between 0 and 1.\n"},
      {{"qual", "--relative-risk", "0.99"},
       "korvane: --relative-risk (Genotype relative risk): Please enter a number between 1 and 5.\n"},
      // Taken in the form's order: field 9 fails before field 26 is looked at.
      {{"qual", "--relative-risk", "9", "--sample-size", "x"},
       "korvane: --sample-size (Sample size): Please enter an integer.\n"},
      {{"quan", "--total-locus-count", "0"},
       "korvane: --total-locus-count (Total number of loci): Please enter an integer between 1 and 12867.\n"},
      {{"quan", "--yri-final-discrete", "2"},
       "korvane: --yri-final-discrete (Proportion of YRI in final population): Please enter a number between 0 and "
       "1.\n"},
      {{"quan", "--qtl2-diff-enabled", "x"},
       "korvane: --qtl2-diff-enabled (QTL2 (Frequency difference)): Please enter an integer.\n"},
      {{"quan", "--null-maf-max", "0.6"},
       "korvane: --null-maf-max (MAF of null locus/AIMs: max): Please enter a number between 0 and 0.5.\n"},
      {{"qual", "--model", "other"}, "korvane: --model: expected discrete or continuous\n"},
      {{"qual", "--line-ends", "cr"}, "korvane: --line-ends: expected lf or crlf\n"},
      {{"qual", "--seed", "-1"}, "korvane: --seed: expected a whole number from 0 to 4294967295\n"},
      // Seeds, replicate numbers and attempts that AttemptSeed could not tell
      // apart from smaller ones.
      {{"qual", "--seed", "4294967303"}, "korvane: --seed: expected a whole number from 0 to 4294967295\n"},
      {{"qual", "--first-replicate", "0"}, "korvane: --first-replicate: expected a whole number from 1 to 1048575\n"},
      {{"qual", "--first-replicate", "2147483646"},
       "korvane: --first-replicate: expected a whole number from 1 to 1048575\n"},
      {{"qual", "--max-attempts", "many"}, "korvane: --max-attempts: expected a whole number from 1 to 4096\n"},
      {{"qual", "--max-attempts", "4097"}, "korvane: --max-attempts: expected a whole number from 1 to 4096\n"},
      {{"qual", "--first-replicate", "1048575", "--replicate-count", "2"},
       "korvane: --first-replicate: replicates 1048575 to 1048576 cannot be numbered: replicate numbers run up to "
       "1048575 (the first replicate + the replicate count - 1)\n"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(::testing::PrintToString(r.args));
    const CommandLineExit exit = Exit(r.args);
    EXPECT_EQ(exit.status, 2);
    EXPECT_EQ(exit.text, r.text);
  }
  // The top of the ranges is accepted.
  const Invocation top = Accepted({"qual", "--seed", "4294967295", "--first-replicate", "1048574", "--replicate-count",
                                   "2", "--max-attempts", "4096"});
  EXPECT_EQ(top.run.firstReplicate, 1048574);
  EXPECT_EQ(top.run.maxAttempts, 4096);

  // A slip of the keyboard gets the option meant.
  EXPECT_EQ(Exit({"qual", "--sampel-size", "3"}).text,
            "korvane: unknown option --sampel-size; did you mean --sample-size?\n"
            "Run 'korvane qual --help' for the options.\n");
  EXPECT_THAT(Exit({"quan", "--qtl2-freq-mni=0.1"}).text, HasSubstr("did you mean --qtl2-freq-min?"));
  EXPECT_THAT(Exit({"qual", "--colour", "3"}).text, ::testing::Not(HasSubstr("did you mean")));

  // Usage errors of the parser itself.
  for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                {"qual", "extra"},
                                                                {"qual", "--no-such-option", "1"},
                                                                {"qual", "--status-text", "x"},
                                                                {"quan", "--write-admixmap", "1"},
                                                                {"quan", "--case-proportion", "0.5"},
                                                                {"qual", "--sample-size"},
                                                                {"simulate"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CommandLineExit exit = Exit(args);
    EXPECT_EQ(exit.status, 2);
    EXPECT_THAT(exit.text, ::testing::StartsWith("korvane: "));
  }
}

TEST(CommandLineTest, MessagesFollowTheLocale) {
  const char* old = std::getenv("LC_ALL");
  const std::string saved = old ? old : "";
  ::setenv("LC_ALL", "zh_CN.UTF-8", 1);
  const CommandLineExit exit = Exit({"qual", "--susceptibility-freq-min", "0.51"});
  if (old) {
    ::setenv("LC_ALL", saved.c_str(), 1);
  } else {
    ::unsetenv("LC_ALL");
  }
  EXPECT_EQ(exit.text,
            "korvane: --susceptibility-freq-min (Frequency of disease susceptible allele: min): "
            "“请填入一个在0和0.5之间的数字。”\n");
}

TEST(CommandLineTest, HelpListsEveryOptionWithLabelDefaultAndRange) {
  const CommandLineExit qual = Exit({"qual", "--help"});
  EXPECT_EQ(qual.status, 0);
  for (const auto& field : QualFields()) {
    if (field.info.isOption) {
      EXPECT_THAT(qual.text, HasSubstr("--" + field.info.key)) << field.info.key;
    }
  }
  EXPECT_THAT(qual.text, HasSubstr("--sample-size INT=200"));
  EXPECT_THAT(qual.text, HasSubstr("Sample size: (integer, 0 to 10000000)"));
  EXPECT_THAT(qual.text, HasSubstr("--replicate-count,--simulating-times INT=1"));
  EXPECT_THAT(qual.text, HasSubstr("--relative-risk NUMBER=1.5"));
  EXPECT_THAT(qual.text, HasSubstr("Genotype relative risk: (number, 1 to 5)"));
  EXPECT_THAT(qual.text, HasSubstr("--write-plink 0|1=1"));
  EXPECT_THAT(qual.text, HasSubstr("--model discrete|continuous=discrete"));
  for (const char* option : {"--seed", "--data", "--first-replicate N=1", "--max-attempts N=100",
                             "--line-ends lf|crlf=lf", "--quiet", "--params FILE"}) {
    EXPECT_THAT(qual.text, HasSubstr(option));
  }
  EXPECT_THAT(qual.text, ::testing::Not(HasSubstr("status-text")));

  const CommandLineExit quan = Exit({"quan", "--help"});
  EXPECT_EQ(quan.status, 0);
  for (const auto& field : QuanFields()) {
    if (field.info.isOption) {
      EXPECT_THAT(quan.text, HasSubstr("--" + field.info.key)) << field.info.key;
    }
  }
  EXPECT_THAT(quan.text, HasSubstr("Phenotype mean value: (any number)"));
  EXPECT_THAT(quan.text, HasSubstr("--qtl3-variance-explained NUMBER=0.005"));

  // Grouped by what the options set, with the model that reads a field
  // when only one does.
  const std::size_t disease = qual.text.find("Disease model:");
  const std::size_t population = qual.text.find("Population model (--model):");
  const std::size_t formats = qual.text.find("Formats (1 writes the tool's files):");
  ASSERT_NE(disease, std::string::npos);
  ASSERT_NE(population, std::string::npos);
  ASSERT_NE(formats, std::string::npos);
  EXPECT_LT(disease, qual.text.find("--prevalence"));
  EXPECT_LT(population, qual.text.find("--yri-in-cases"));
  EXPECT_LT(formats, qual.text.find("--write-gc"));
  EXPECT_THAT(qual.text, HasSubstr("Proportion of YRI in cases: (number, 0 to 1); discrete model only"));
  EXPECT_THAT(qual.text,
              HasSubstr("Admixture proportion of YRI per generation: (number, 0 to 1); continuous model only"));
  EXPECT_THAT(quan.text, HasSubstr("QTL4 Frequency difference: max (number, 0 to 1); discrete model only"));
  EXPECT_THAT(qual.text, ::testing::Not(HasSubstr("Other fields")));
  EXPECT_THAT(quan.text, ::testing::Not(HasSubstr("Other fields")));
  // The limits of the run options.
  EXPECT_THAT(qual.text, HasSubstr("run seed, 0 to 4294967295"));
  EXPECT_THAT(qual.text, HasSubstr("replicate numbers run up to 1048575"));
  EXPECT_THAT(qual.text, HasSubstr("1 to 4096"));
  EXPECT_THAT(qual.text, HasSubstr("--overwrite"));
  EXPECT_THAT(qual.text, HasSubstr("--keep-partial"));

  const CommandLineExit version = Exit({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.text, ::testing::MatchesRegex("korvane [0-9]+\\.[0-9]+\\.[0-9]+\n"));

  const CommandLineExit top = Exit({"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_THAT(top.text, HasSubstr("qual"));
  EXPECT_THAT(top.text, HasSubstr("quan"));
  EXPECT_THAT(top.text, HasSubstr("info"));
}

TEST(CommandLineTest, ParamsFileGivesStartingValuesThatOptionsOverride) {
  TempDir dir;
  const std::string file = (dir / "runs.toml").string();
  WriteFile(file,
            "[[run]]\nstudy = \"qual\"\nsample-size = 11\nseed = 5\n\n"
            "[[run]]\n"
            "start = 2026-12-09T12:34:56Z\nversion = \"1.0.0\"\nstudy = \"qual\"\nmodel = \"continuous\"\n"
            "seed = 99\nfirst-replicate = 4\ndata = \"/from/record\"\nline-ends = \"crlf\"\nmax-attempts = 7\n"
            "outcome = \"completed\"\nreplicates-completed = 2\n"
            "sample-size = 300\nreplicate-count = 2\nprevalence = 0.05\nrelative-risk = 2\nwrite-gc = false\n"
            "output-directory = \"from-record\"\n");

  const Invocation fromFile = Accepted({"qual", "--params", file});
  EXPECT_EQ(fromFile.qual.sampleSize, 300);  // the last [[run]]
  EXPECT_EQ(fromFile.qual.replicateCount, 2);
  EXPECT_DOUBLE_EQ(fromFile.qual.prevalence, 0.05);
  EXPECT_FLOAT_EQ(fromFile.qual.relativeRisk, 2.0f);
  EXPECT_EQ(fromFile.qual.writeGc, 0);
  EXPECT_EQ(fromFile.qual.outputDirectory, "from-record");
  EXPECT_EQ(fromFile.qual.caseProportion, 0.5);  // not in the record: the default
  EXPECT_EQ(fromFile.qual.modelKind, ModelKind::kContinuous);
  EXPECT_EQ(fromFile.run.seed, 99u);
  EXPECT_EQ(fromFile.run.firstReplicate, 4);
  EXPECT_EQ(fromFile.run.dataDir, "/from/record");
  EXPECT_EQ(fromFile.run.lineEnds, LineEnds::kCrlf);
  EXPECT_EQ(fromFile.run.maxAttempts, 7);
  EXPECT_EQ(fromFile.paramsFile, file);

  // Options override the file wherever they stand.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"qual", "--params", file, "--sample-size", "12", "--model", "discrete", "--seed", "3"},
           {"qual", "--sample-size", "12", "--model", "discrete", "--seed", "3", "--params", file}}) {
    const Invocation inv = Accepted(args);
    EXPECT_EQ(inv.qual.sampleSize, 12);
    EXPECT_EQ(inv.qual.modelKind, ModelKind::kDiscrete);
    EXPECT_EQ(inv.run.seed, 3u);
    EXPECT_EQ(inv.qual.replicateCount, 2);
  }

  // A hand-written file of a few keys, without [[run]].
  WriteFile(dir / "hand.toml", "sample-size = \"250 \"\ntotal-locus-count = 1000\n");
  const Invocation hand = Accepted({"qual", "--params", (dir / "hand.toml").string()});
  EXPECT_EQ(hand.qual.sampleSize, 250);
  EXPECT_EQ(hand.qual.totalLocusCount, 1000);
  EXPECT_EQ(hand.run.seed, 777u);
}

// The model: --calibrated alone or with 1 turns the calibrated model on, 0
// turns off what a --params record turned on; a record without the key is
// of the specified model.
TEST(CommandLineTest, CalibratedChoosesTheModelAndParamsRepeatsIt) {
  EXPECT_FALSE(Accepted({"qual"}).run.calibrated);
  EXPECT_FALSE(Accepted({"quan"}).run.calibrated);
  for (const auto& args : std::vector<std::vector<std::string>>{{"qual", "--calibrated"},
                                                                {"quan", "--calibrated"},
                                                                {"qual", "--calibrated", "1"},
                                                                {"quan", "--calibrated=1"},
                                                                {"qual", "--calibrated", "--quiet"},
                                                                {"qual", "--calibrated", "0", "--calibrated"}}) {
    const Invocation inv = Accepted(args);
    EXPECT_TRUE(inv.run.calibrated) << ::testing::PrintToString(args);
    EXPECT_EQ(inv.quiet, args.back() == "--quiet");
  }
  EXPECT_FALSE(Accepted({"qual", "--calibrated", "0"}).run.calibrated);
  EXPECT_FALSE(Accepted({"quan", "--calibrated=0"}).run.calibrated);
  for (const std::string value : {"2", "yes", "true"}) {
    EXPECT_EQ(Exit({"qual", "--calibrated=" + value}).text, "korvane: --calibrated: expected 0 or 1\n") << value;
    EXPECT_EQ(Exit({"quan", "--calibrated", value}).status, 2) << value;
  }

  TempDir dir;
  const std::string calibrated = (dir / "calibrated.toml").string();
  const std::string old = (dir / "old.toml").string();
  const std::string run = "[[run]]\nstudy = \"quan\"\nmodel = \"discrete\"\nseed = 8\nsample-size = 30\n";
  WriteFile(calibrated, run + "calibrated = true\n");
  WriteFile(old, run);
  EXPECT_TRUE(Accepted({"quan", "--params", calibrated}).run.calibrated);
  EXPECT_FALSE(Accepted({"quan", "--params", calibrated, "--calibrated", "0"}).run.calibrated);
  EXPECT_FALSE(Accepted({"quan", "--calibrated", "0", "--params", calibrated}).run.calibrated);
  EXPECT_FALSE(Accepted({"quan", "--params", old}).run.calibrated);
  EXPECT_TRUE(Accepted({"quan", "--params", old, "--calibrated"}).run.calibrated);
  // A hand-written 0 or 1 is taken as the other switches are; anything else
  // names the file and the key.
  WriteFile(calibrated, run + "calibrated = 1\n");
  EXPECT_TRUE(Accepted({"quan", "--params", calibrated}).run.calibrated);
  WriteFile(calibrated, run + "calibrated = \"on\"\n");
  EXPECT_EQ(Exit({"quan", "--params", calibrated}).text,
            "korvane: " + calibrated + ": calibrated: expected true or false (or 1 or 0)\n");

  // The help shows it among the run's options, with what it changes.
  const std::string help = Exit({"quan", "--help"}).text;
  const std::size_t runGroup = help.find("\nRun:");
  const std::size_t option = help.find("--calibrated [0|1]");
  ASSERT_NE(option, std::string::npos) << help;
  ASSERT_NE(runGroup, std::string::npos) << help;
  EXPECT_GT(option, runGroup);
  EXPECT_LT(option, help.find("Evaluation (association tests"));
  EXPECT_THAT(help, HasSubstr("the default is the specified model"));
}

// --formats: names added to the form's formats, or with only= written
// alone; the same text in a run record repeats them, and an option given
// beside the record overrides it.
TEST(CommandLineTest, FormatsAddOrReplaceTheFormsFormatsAndParamsRepeatsThem) {
  EXPECT_EQ(Accepted({"qual"}).run.formats, NamedFormats{});
  const NamedFormats added = Accepted({"qual", "--formats", "bed"}).run.formats;
  EXPECT_EQ(added, (NamedFormats{{"bed"}, false}));
  EXPECT_EQ(Accepted({"quan", "--formats", " bed , eigensoft,bed"}).run.formats,
            (NamedFormats{{"bed", "eigensoft"}, false}));
  EXPECT_EQ(Accepted({"qual", "--formats=only=bed,plink"}).run.formats, (NamedFormats{{"bed", "plink"}, true}));
  EXPECT_EQ(Accepted({"qual", "--formats", "only=bed", "--formats", "gc"}).run.formats, (NamedFormats{{"gc"}, false}));

  // What a run writes: the form's switches, then the names.
  const FormatSelection switched{"eigensoft", "plink"};
  EXPECT_EQ(added.Applied(switched).Names(), (std::vector<std::string>{"eigensoft", "plink", "bed"}));
  EXPECT_EQ((NamedFormats{{"bed"}, true}).Applied(switched).Names(), std::vector<std::string>{"bed"});
  EXPECT_EQ(NamedFormats{}.Applied(switched).Names(), switched.Names());

  const std::string accepted = "the formats are eigensoft, admixmap, plink, bed, vcf.gz, bcf, structure-strat, gc\n";
  for (const auto& [given, message] :
       std::vector<std::pair<std::string, std::string>>{{"vcf", "no format is named \"vcf\"; "},
                                                        {"bed,,plink", "an empty format name; "},
                                                        {"only=bed,truth", "no format is named \"truth\"; "},
                                                        {"origin", "no format is named \"origin\"; "},
                                                        {"BED", "no format is named \"BED\"; "}}) {
    const CommandLineExit exit = Exit({"qual", "--formats", given});
    EXPECT_EQ(exit.status, 2) << given;
    EXPECT_EQ(exit.text, std::string("korvane: --formats: ").append(message).append(accepted)) << given;
  }
  EXPECT_EQ(Exit({"quan", "--formats", "only="}).text,
            "korvane: --formats: only= needs the names of the formats to write: eigensoft, admixmap, plink, bed, "
            "vcf.gz, bcf, structure-strat, gc\n");

  TempDir dir;
  const std::string file = (dir / "formats.toml").string();
  const std::string run = "[[run]]\nstudy = \"qual\"\nseed = 8\n";
  WriteFile(file, run + "formats = \"only=bed\"\n");
  EXPECT_EQ(Accepted({"qual", "--params", file}).run.formats, (NamedFormats{{"bed"}, true}));
  EXPECT_EQ(Accepted({"qual", "--params", file, "--formats", "gc"}).run.formats, (NamedFormats{{"gc"}, false}));
  EXPECT_EQ(Accepted({"qual", "--params", file, "--formats", ""}).run.formats, NamedFormats{});
  WriteFile(file, run + "formats = \"bed,vcf\"\n");
  EXPECT_EQ(Exit({"qual", "--params", file}).text,
            "korvane: " + file + ": formats: no format is named \"vcf\"; " + accepted);

  // The help shows it among the formats, with the names.
  const std::string help = Exit({"qual", "--help"}).text;
  const std::size_t option = help.find("--formats [only=]NAME,...");
  ASSERT_NE(option, std::string::npos) << help;
  EXPECT_GT(option, help.find("\nFormats (1 writes the tool's files):"));
  EXPECT_LT(option, help.find("\nOutput:"));
  EXPECT_THAT(help, HasSubstr("eigensoft, admixmap, plink, bed, vcf.gz, bcf, structure-strat, gc"));
}

TEST(CommandLineTest, ParamsFileProblemsAreUsageErrors) {
  TempDir dir;
  const auto refused = [&](const std::string& text, const std::string& command = "qual") {
    WriteFile(dir / "p.toml", text);
    const CommandLineExit exit = Exit({command, "--params", (dir / "p.toml").string()});
    EXPECT_EQ(exit.status, 2);
    return exit.text;
  };
  const std::string name = (dir / "p.toml").string();
  EXPECT_EQ(refused("sample-size = 1\nbogus = 2\n"), "korvane: " + name + ": unknown key 'bogus'\n");
  EXPECT_EQ(refused("[[run]]\nsample-size = 20000000\n"),
            "korvane: " + name + ": sample-size (Sample size): Please enter an integer between 0 and 10000000.\n");
  EXPECT_EQ(refused("sample-size = 200.0\n"),
            "korvane: " + name + ": sample-size (Sample size): Please enter an integer.\n");
  EXPECT_EQ(refused("[[run]]\nstudy = \"qual\"\ncase-proportion = 0.5\n", "quan"),
            "korvane: " + name + ": the run recorded is a 'qual' study, not 'quan'\n");
  EXPECT_EQ(refused("status-text = \"x\"\n"), "korvane: " + name + ": unknown key 'status-text'\n");
  EXPECT_EQ(refused("model = \"both\"\n"), "korvane: " + name + ": model: expected \"discrete\" or \"continuous\"\n");
  EXPECT_EQ(refused("sample-size = [1]\n"),
            "korvane: " + name + ": sample-size: expected a number, a string or true/false\n");
  EXPECT_THAT(refused("sample-size = \n"), HasSubstr(name + ": line 1: "));

  const CommandLineExit missing = Exit({"qual", "--params", (dir / "none.toml").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.text, HasSubstr("none.toml"));
}

TEST(CommandLineTest, InfoTakesTheDataFolder) {
  const Invocation inv = Accepted({"info", "--data", "/x"});
  EXPECT_EQ(inv.command, Command::kInfo);
  EXPECT_EQ(inv.run.dataDir, "/x");
}

}  // namespace
}  // namespace korvane::cli
