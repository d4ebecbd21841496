// korvane: the command line. `korvane qual|quan [options]` runs a study into
// its output directory; `korvane info` describes the reference data.

#include <fmt/format.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <string_view>
#include <variant>

#include "cli/command_line.h"
#include "cli/run_record.h"
#include "cli/terminal_host.h"
#include "core_version.h"
#include "qual/QUAL.h"
#include "qual/qual_fields.h"
#include "quan/QUAN.h"
#include "quan/quan_fields.h"
#include "refdata/reference_data.h"

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

template <class Study, class Record>
int RunStudy(const Invocation& invocation, const Record& parameters, FieldTable<Record> table) {
  Study study;
  study.parameters = parameters;
  const std::int64_t start = std::time(nullptr);
  fmt::print("seed {}\n", invocation.run.seed);
  std::fflush(stdout);

  RunOutcome outcome;
  {
    TerminalHost host(study.parameters.statusText, stderr, !invocation.quiet && ::isatty(STDERR_FILENO) == 1);
    TerminalHost::CatchInterrupt();
    try {
      outcome = study.Run(invocation.run, host);
    } catch (const std::exception& e) {
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = e.what();
    }
    host.ClearLine();
  }

  if (outcome.status == RunOutcome::Status::kRefused) {
    fmt::print(stderr, "korvane: {}\n", outcome.message);
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

  const std::string where = fs::absolute(outputDir).lexically_normal().string();
  switch (outcome.status) {
    case RunOutcome::Status::kCompleted:
      fmt::print("files in {}\n", where);
      return status;
    case RunOutcome::Status::kFailed:
      fmt::print(stderr, "korvane: {}\n", outcome.message);
      if (wroteNothing) return kExitFailed;
      fmt::print("files in {} ({} of {} replicates completed)\n", where, outcome.replicatesCompleted,
                 study.parameters.replicateCount);
      return kExitFailed;
    case RunOutcome::Status::kStopped:
      fmt::print(stderr, "korvane: {}\n", outcome.message.empty() ? "stopped" : outcome.message);
      fmt::print("files in {} ({} of {} replicates completed)\n", where, outcome.replicatesCompleted,
                 study.parameters.replicateCount);
      return kExitInterrupted;
    case RunOutcome::Status::kRefused:
      break;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLineEnvironment environment;
  environment.shippedDataDir = KORVANE_SHIPPED_DATA_DIR;
  environment.clockSeconds = static_cast<std::uint64_t>(std::time(nullptr));
  auto parsed = ParseCommandLine(argc, argv, environment);
  if (const auto* exit = std::get_if<CommandLineExit>(&parsed)) {
    std::fputs(exit->text.c_str(), exit->status == 0 ? stdout : stderr);
    return exit->status;
  }
  const Invocation& invocation = std::get<Invocation>(parsed);
  switch (invocation.command) {
    case Command::kInfo:
      return DescribeData(invocation.run.dataDir);
    case Command::kQual:
      return RunStudy<QualStudy>(invocation, invocation.qual, QualFields());
    case Command::kQuan:
      return RunStudy<QuanStudy>(invocation, invocation.quan, QuanFields());
  }
  return kExitFailed;
}
