#pragma once

// The command line of korvane: `korvane qual|quan [options]` runs a study,
// `korvane evaluate RUN_DIR` evaluates a run's replicates, `korvane info`
// describes the reference data.
//
// Every field of a study's form is an option named by its key
// (--sample-size, --qtl1-freq-min, ...) whose value is taken through the same
// exchange, with the same messages, as the form. The options' texts are taken
// in the form's exchange order, whatever their order on the command line.
// --params FILE gives starting values (the last [[run]] of a run record, or a
// hand-written table); every option on the command line overrides them.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "cli/evaluate_command.h"
#include "qual/qual_parameters.h"
#include "quan/quan_parameters.h"
#include "run/study_run.h"

namespace korvane::cli {

// A command line that cannot be run; exit status 2. The message has no
// "korvane: " prefix.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

enum class Command { kInfo, kQual, kQuan, kEvaluate };

// What the environment gives the command line: where the shipped data are
// and the seed of a run that names none (drawn from the system's entropy
// source, so that runs started in the same second differ).
struct CommandLineEnvironment {
  std::filesystem::path shippedDataDir;
  std::uint64_t defaultSeed = 0;
};

// A command line that asks for a run (or for the data description).
struct Invocation {
  Command command = Command::kQual;
  QualParameters qual;  // kQual: the record to run, modelKind included
  QuanParameters quan;  // kQuan
  RunOptions run;       // seed, data folder, first replicate, attempt bound, line ends
  bool quiet = false;   // no progress line
  std::optional<std::filesystem::path> paramsFile;
  // The data folder is ./data of the working folder, taken without --data:
  // a data error then says so.
  bool dataFromWorkingFolder = false;
  std::vector<std::string> notes;  // to be shown before the run
  // --evaluate of a study run, or the options of `korvane evaluate`.
  EvaluateOptions evaluate;
  std::filesystem::path runDir;  // kEvaluate: the run's output directory

  const std::string& OutputDirectory() const {
    return command == Command::kQuan ? quan.outputDirectory : qual.outputDirectory;
  }
  int ReplicateCount() const { return command == Command::kQuan ? quan.replicateCount : qual.replicateCount; }
  ModelKind Model() const { return command == Command::kQuan ? quan.modelKind : qual.modelKind; }
};

// A command line that ends before any run: help (status 0, the text goes to
// standard output) or a usage error (status 2, the text goes to standard
// error, "korvane: " prefix included).
struct CommandLineExit {
  int status = 0;
  std::string text;
};

std::variant<Invocation, CommandLineExit> ParseCommandLine(int argc, const char* const* argv,
                                                           const CommandLineEnvironment& environment);

// Shared by the command line and the run record.
std::string_view StudyName(Command command);  // "qual", "quan" or "info"

}  // namespace korvane::cli
