#include "app/bound_study_form.h"

#include <system_error>

namespace korvane {
namespace {

std::string OutcomeName(RunOutcome::Status status) {
  switch (status) {
    case RunOutcome::Status::kCompleted:
      return "completed";
    case RunOutcome::Status::kFailed:
      return "failed";
    case RunOutcome::Status::kStopped:
      return "stopped";
    case RunOutcome::Status::kRefused:
      break;
  }
  return "refused";
}

}  // namespace

std::optional<QString> AppendFormRunRecord(cli::RunRecord record, const std::filesystem::path& outputDirectory,
                                           const RunOptions& options, const RunOutcome& outcome,
                                           std::int64_t startSeconds) {
  // A run that failed before writing anything (its data folder failed the
  // checks, say) leaves no output directory, and gets none for its record.
  std::error_code ec;
  if (outcome.status == RunOutcome::Status::kFailed && !std::filesystem::is_directory(outputDirectory, ec)) {
    return std::nullopt;
  }
  record.start = cli::IsoUtc(startSeconds);
  record.version = std::string(Version());
  record.seed = options.seed;
  record.firstReplicate = options.firstReplicate;
  record.dataDir = std::filesystem::absolute(options.dataDir).lexically_normal();
  record.lineEnds = options.lineEnds;
  record.maxAttempts = options.maxAttempts;
  record.outcome = OutcomeName(outcome.status);
  record.replicatesCompleted = outcome.replicatesCompleted;
  record.message = outcome.message;
  try {
    cli::AppendRunRecord(outputDirectory / cli::kRunRecordFile, record);
  } catch (const std::exception& e) {
    return QString::fromStdString(e.what());
  }
  return std::nullopt;
}

}  // namespace korvane
