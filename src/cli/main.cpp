// korvane: the command line. `korvane qual|quan [options]` runs a study into
// its output directory; `korvane info` describes the reference data.

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string_view>
#include <variant>

#include "cli/command_line.h"
#include "cli/evaluate_command.h"
#include "cli/merge_command.h"
#include "cli/params_file.h"
#include "cli/terminal_host.h"
#include "output/output_estimate.h"
#include "qual/QUAL.h"
#include "qual/qual_fields.h"
#include "quan/QUAN.h"
#include "quan/quan_fields.h"
#include "random/random_generator.h"
#include "refdata/reference_data.h"
#include "run/data_folder.h"
#include "run/version.h"

namespace {

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::cli;

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as a shell reports an interrupted program

int DescribeData(const fs::path& dataDir) {
  try {
    const auto data = ReferenceData::Load(dataDir);
    fmt::print("korvane {}: reference data {}\n", Version(), dataDir.string());
    for (int r = 0; r < RegionCatalogue::Count(); ++r) {
      fmt::print("  region {:2} {:<15} {:5} SNPs, {} + {} reference individuals\n", r + 1, RegionCatalogue::Name(r),
                 RegionCatalogue::SnpCount(r), data.Region(r).yri.individualCount,
                 data.Region(r).second.individualCount);
    }
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane: {}\n", e.what());
    return kExitFailed;
  }
  return 0;
}

// How to go on when replicate folders of the run's numbers exist.
std::string ExistingFoldersHint(const RunOutcome& outcome, const Invocation& invocation) {
  return fmt::format(
      "; to go on, start at the next free number with --first-replicate {} (add --params {}/{} to repeat the last "
      "run's settings), choose another --output-directory, or replace them deliberately with --overwrite",
      outcome.nextFreeReplicate, invocation.OutputDirectory(), kRunRecordFile);
}

template <class Study, class Record>
int RunStudy(const Invocation& invocation, const Record& parameters, FieldTable<Record> table) {
  Study study;
  study.parameters = parameters;
  const std::int64_t start = std::time(nullptr);
  const auto clockStart = std::chrono::steady_clock::now();
  for (const std::string& note : invocation.notes) fmt::print(stderr, "korvane: note: {}\n", note);
  fmt::print("seed {}\n", invocation.run.seed);
  std::fflush(stdout);

  // The evaluation of each replicate as it is simulated.
  std::optional<Evaluation> evaluation;
  RunOptions options = invocation.run;
  if (invocation.evaluate.enabled) {
    evaluation.emplace(SettingsOf(invocation.evaluate, parameters, options.calibrated),
                       ContextOf(parameters, options.calibrated));
    options.attachedWriters.push_back(evaluation->Writers());
  }

  RunOutcome outcome;
  {
    TerminalHost host(study.parameters.statusText, stderr, !invocation.quiet && ::isatty(STDERR_FILENO) == 1);
    try {
      outcome = study.Run(options, host);
    } catch (const std::bad_alloc&) {
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = "out of memory";
    } catch (const std::exception& e) {
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = e.what();
    } catch (...) {
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = "internal error of an unknown kind";
    }
    host.ClearLine();
  }

  if (outcome.status == RunOutcome::Status::kRefused) {
    fmt::print(stderr, "korvane: {}{}{}\n", outcome.message,
               outcome.existingReplicate != 0 ? ExistingFoldersHint(outcome, invocation) : "",
               outcome.shortOfSpace ? ", or start it anyway with --ignore-space" : "");
    return kExitRefused;
  }

  const fs::path outputDir = study.parameters.outputDirectory;
  RunRecord record;
  record.study = std::string(StudyName(invocation.command));
  record.model = study.parameters.modelKind;
  record.fields = RecordFields(study.parameters, table);
  bool wroteNothing = false;
  int status = 0;
  try {
    wroteNothing = !RecordRun(std::move(record), outputDir, invocation.run, outcome, start);
  } catch (const std::exception& e) {
    fmt::print(stderr, "korvane: {}\n", e.what());
    status = kExitFailed;
  }

  if (outcome.replicatesShortOfNullLoci > 0) {
    fmt::print(stderr,
               "korvane: note: {} of {} replicates got fewer null loci than the {} asked (the fewest: {}); the "
               "model keeps the null loci it found once the causal locus or the QTLs are chosen\n",
               outcome.replicatesShortOfNullLoci, outcome.replicatesCompleted, study.parameters.nullLocusCount,
               outcome.fewestNullLoci);
  }
  const std::string where = fs::absolute(outputDir).lexically_normal().string();
  const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - clockStart);
  const std::string summary =
      fmt::format("{} of {} replicates, {} in {}", outcome.replicatesCompleted, study.parameters.replicateCount,
                  ByteCount(outcome.bytesWritten), FormatDuration(took));
  // The evaluation of the replicates whose folders the run completed.
  if (evaluation && outcome.replicatesCompleted > 0) {
    std::vector<int> completed;
    for (int n = invocation.run.firstReplicate; n < invocation.run.firstReplicate + study.parameters.replicateCount;
         ++n) {
      if (fs::is_directory(outputDir / std::to_string(n))) completed.push_back(n);
    }
    evaluation->KeepOnly(completed);
    const fs::path folder = outputDir / "evaluation";
    try {
      evaluation->Write(folder);
      PrintEvaluation(*evaluation, folder);
    } catch (const std::exception& e) {
      fmt::print(stderr, "korvane: {}\n", e.what());
      status = kExitFailed;
    }
  }
  switch (outcome.status) {
    case RunOutcome::Status::kCompleted:
      fmt::print("files in {} ({})\n", where, summary);
      return status;
    case RunOutcome::Status::kFailed: {
      std::string message = outcome.message;
      if (outcome.dataFailed && invocation.dataFromWorkingFolder) {
        message += fmt::format(
            " (the reference data were taken from the folder 'data' of the working folder, {}; use --data DIR to "
            "choose another)",
            fs::absolute("data").lexically_normal().string());
      }
      fmt::print(stderr, "korvane: {}\n", message);
      if (wroteNothing) return kExitFailed;
      fmt::print("files in {} ({})\n", where, summary);
      return kExitFailed;
    }
    case RunOutcome::Status::kStopped:
      fmt::print(stderr, "korvane: {}\n", outcome.message.empty() ? "stopped" : outcome.message);
      fmt::print("files in {} ({})\n", where, summary);
      return kExitInterrupted;
    case RunOutcome::Status::kRefused:
      break;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: a stop request that arrives while the command line is
  // read is answered like one during the run.
  TerminalHost::CatchStopSignals();
  // `korvane merge` reads its own arguments: it runs no study.
  if (argc >= 2 && std::string_view(argv[1]) == "merge") return MergeMain(argc - 1, argv + 1);
  CommandLineEnvironment environment;
  environment.shippedDataDir = ShippedDataDir();
  environment.defaultSeed = SeedFromEntropy();
  auto parsed = ParseCommandLine(argc, argv, environment);
  if (const auto* exit = std::get_if<CommandLineExit>(&parsed)) {
    std::fputs(exit->text.c_str(), exit->status == 0 ? stdout : stderr);
    return exit->status;
  }
  const Invocation& invocation = std::get<Invocation>(parsed);
  switch (invocation.command) {
    case Command::kInfo:
      return DescribeData(invocation.run.dataDir);
    case Command::kEvaluate:
      return EvaluateRun(invocation.runDir, invocation.evaluate, invocation.run.threads, invocation.quiet);
    case Command::kQual:
      return RunStudy<QualStudy>(invocation, invocation.qual, QualFields());
    case Command::kQuan:
      return RunStudy<QuanStudy>(invocation, invocation.quan, QuanFields());
  }
  return kExitFailed;
}
