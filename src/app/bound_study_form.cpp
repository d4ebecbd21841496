#include "app/bound_study_form.h"

#include <system_error>

namespace korvane {

std::optional<QString> AppendFormRunRecord(RunRecord record, const std::filesystem::path& outputDirectory,
                                           const RunOptions& options, const RunOutcome& outcome,
                                           std::int64_t startSeconds) {
  try {
    RecordRun(std::move(record), outputDirectory, options, outcome, startSeconds);
  } catch (const std::exception& e) {
    return QString::fromStdString(e.what());
  }
  return std::nullopt;
}

}  // namespace korvane
