#include "cli/command_line.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <limits>
#include <memory>
#include <vector>

#include "cli/run_record.h"
#include "qual/exchange.h"
#include "qual/qual_fields.h"
#include "quan/quan_fields.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStudyGroup = "Study parameters (the form's fields)";
constexpr const char* kRunGroup = "Run options";

std::string TypeName(FieldType type) {
  switch (type) {
    case FieldType::kFlag:
      return "0|1";
    case FieldType::kInteger:
      return "INT";
    case FieldType::kReal:
    case FieldType::kShortReal:
      return "NUMBER";
    case FieldType::kText:
      break;
  }
  return "TEXT";
}

std::string RangeDescription(const FieldInfo& info) {
  switch (info.type) {
    case FieldType::kFlag:
      return "0 or 1";
    case FieldType::kInteger:
    case FieldType::kReal:
    case FieldType::kShortReal:
      if (!info.range) return "any number";
      return fmt::format("{}, {} to {}", info.type == FieldType::kInteger ? "integer" : "number",
                         FormatFieldBound(info.range->min, info.type), FormatFieldBound(info.range->max, info.type));
    case FieldType::kText:
      break;
  }
  return "text";
}

// "Sample size: Please enter an integer." / "PLINK: Please enter ...": the
// field's label, then the exchange's message.
std::string Labelled(const FieldInfo& info, const std::string& message) {
  std::string label = info.label;
  while (!label.empty() && label.back() == ' ') label.pop_back();
  if (!label.empty() && label.back() != ':') label += ':';
  return label + " " + message;
}

// The field options of one study's subcommand; the texts given are kept for
// the exchange.
template <class Record>
class FieldOptions {
 public:
  FieldOptions(CLI::App& command, FieldTable<Record> table)
      : table_(table), texts_(table.size()), options_(table.size(), nullptr) {
    const Record defaults;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const FieldInfo& info = table[i].info;
      if (!info.isOption) continue;
      std::string names = "--" + info.key;
      if (info.key == "replicate-count") names += ",--simulating-times";
      CLI::Option* option =
          command.add_option(names, texts_[i], fmt::format("{} ({})", info.label, RangeDescription(info)));
      option->type_name(TypeName(info.type));
      option->default_str(ShowField(info, table[i].access(const_cast<Record&>(defaults))));
      option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
      option->group(kStudyGroup);
      options_[i] = option;
    }
  }
  FieldOptions(const FieldOptions&) = delete;
  FieldOptions& operator=(const FieldOptions&) = delete;

  FieldTable<Record> Table() const { return table_; }

  std::optional<std::string> Given(std::size_t index) const {
    if (options_[index] == nullptr || options_[index]->count() == 0) return std::nullopt;
    return texts_[index];
  }

  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& field : table_) {
      if (field.info.isOption) keys.push_back(field.info.key);
    }
    return keys;
  }

 private:
  FieldTable<Record> table_;
  std::vector<std::string> texts_;
  std::vector<CLI::Option*> options_;
};

// The options of a run that are not fields of the form.
struct RunSettings {
  std::string model, seed, data, firstReplicate, maxAttempts, lineEnds, params, threads;
  bool quiet = false;
  CLI::Option* modelOption = nullptr;
  CLI::Option* seedOption = nullptr;
  CLI::Option* dataOption = nullptr;
  CLI::Option* firstReplicateOption = nullptr;
  CLI::Option* maxAttemptsOption = nullptr;
  CLI::Option* lineEndsOption = nullptr;
  CLI::Option* paramsOption = nullptr;
  CLI::Option* threadsOption = nullptr;

  void Add(CLI::App& command, const fs::path& shippedDataDir) {
    const auto add = [&command](const std::string& name, std::string& text, const std::string& type,
                                const std::string& shownDefault, const std::string& description) {
      CLI::Option* option = command.add_option(name, text, description);
      option->type_name(type)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->group(kRunGroup);
      if (!shownDefault.empty()) option->default_str(shownDefault);
      return option;
    };
    modelOption = add("--model", model, "discrete|continuous", "discrete",
                      "population structure model: the form's \"Discrete model:\" or \"Continuous migration model:\"");
    seedOption =
        add("--seed", seed, "S", "", "run seed, 0 to 18446744073709551615 (default: the calendar time in seconds)");
    dataOption =
        add("--data", data, "DIR", "",
            fmt::format("reference data folder (default: ./data if it is a folder, else {})", shippedDataDir.string()));
    firstReplicateOption = add("--first-replicate", firstReplicate, "N", "1",
                               "number of the run's first replicate: the run writes N, N+1, ...");
    maxAttemptsOption =
        add("--max-attempts", maxAttempts, "N", "100", "attempts of one replicate before the run fails");
    lineEndsOption = add("--line-ends", lineEnds, "lf|crlf", "lf",
                         "line ends of the output files (crlf: the bytes of a Windows run)");
    threadsOption = add("--threads", threads, "N", "the number of cores",
                        "replicates simulated at once, and spare ones help within a replicate; the files are the "
                        "same whatever the number");
    command.add_flag("--quiet", quiet, "no progress line")->group(kRunGroup);
    paramsOption = add("--params", params, "FILE", "",
                       "starting values: the last [[run]] of a run record (korvane-runs.toml) or a table of option "
                       "keys; the options given override them");
  }
};

std::uint64_t ParseSeed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::uint64_t seed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    throw UsageError("--seed: expected a whole number from 0 to 18446744073709551615");
  }
  return seed;
}

int ParsePositive(const std::string& name, const std::string& text) {
  const std::optional<long long> value = ParseExchangeInteger(text);
  if (!value || *value < 1 || *value > std::numeric_limits<int>::max()) {
    throw UsageError(fmt::format("--{}: expected a whole number from 1 to {}", name, std::numeric_limits<int>::max()));
  }
  return static_cast<int>(*value);
}

bool Given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

// Builds the invocation of a study command from its options: the defaults,
// then the --params file, then the options given.
template <class Record>
void Configure(const FieldOptions<Record>& fields, const RunSettings& settings, Command command,
               const CommandLineEnvironment& environment, Record& record, Invocation& invocation) {
  const FieldTable<Record> table = fields.Table();
  const MessageLanguage language = MessageLanguageFromEnvironment();
  ModelKind model = ModelKind::kDiscrete;
  std::optional<std::uint64_t> seed;
  std::optional<fs::path> dataDir;
  RunOptions& run = invocation.run;

  if (Given(settings.paramsOption)) {
    const fs::path file = settings.params;
    const StoredRun stored = ReadStoredRun(file, StudyName(command), fields.Keys());
    const TakeResult taken = TakeFields<Record>(
        record, table,
        [&stored](std::size_t, const FieldInfo& info) -> std::optional<std::string> {
          const auto it = stored.fieldTexts.find(info.key);
          if (it == stored.fieldTexts.end()) return std::nullopt;
          return it->second;
        },
        language);
    if (!taken)
      throw UsageError(fmt::format("{}: {}", file.string(), Labelled(table[taken.fieldIndex].info, taken.message)));
    if (stored.model) model = *stored.model;
    seed = stored.seed;
    dataDir = stored.dataDir;
    if (stored.firstReplicate) run.firstReplicate = *stored.firstReplicate;
    if (stored.maxAttempts) run.maxAttempts = *stored.maxAttempts;
    if (stored.lineEnds) run.lineEnds = *stored.lineEnds;
    invocation.paramsFile = file;
  }

  const TakeResult taken = TakeFields<Record>(
      record, table, [&fields](std::size_t index, const FieldInfo&) { return fields.Given(index); }, language);
  if (!taken) throw UsageError(Labelled(table[taken.fieldIndex].info, taken.message));

  if (Given(settings.modelOption)) {
    const std::optional<ModelKind> given = ParseModelName(settings.model);
    if (!given) throw UsageError("--model: expected discrete or continuous");
    model = *given;
  }
  if (Given(settings.seedOption)) seed = ParseSeed(settings.seed);
  if (Given(settings.dataOption)) dataDir = fs::path(settings.data);
  if (Given(settings.firstReplicateOption)) {
    run.firstReplicate = ParsePositive("first-replicate", settings.firstReplicate);
  }
  if (Given(settings.maxAttemptsOption)) run.maxAttempts = ParsePositive("max-attempts", settings.maxAttempts);
  if (Given(settings.threadsOption)) run.threads = ParsePositive("threads", settings.threads);
  if (Given(settings.lineEndsOption)) {
    const std::optional<LineEnds> given = ParseLineEndsName(settings.lineEnds);
    if (!given) throw UsageError("--line-ends: expected lf or crlf");
    run.lineEnds = *given;
  }

  if (static_cast<long long>(run.firstReplicate) + record.replicateCount - 1 > std::numeric_limits<int>::max()) {
    throw UsageError(fmt::format("--first-replicate: replicates {} to {} cannot be numbered", run.firstReplicate,
                                 static_cast<long long>(run.firstReplicate) + record.replicateCount - 1));
  }
  record.modelKind = model;
  run.seed = seed.value_or(environment.clockSeconds);
  if (dataDir) {
    run.dataDir = *dataDir;
  } else {
    std::error_code ec;
    run.dataDir = fs::is_directory("data", ec) ? fs::path("data") : environment.shippedDataDir;
  }
  invocation.quiet = settings.quiet;
  invocation.command = command;
}

std::string UsageText(const CLI::ParseError& error) {
  return fmt::format("korvane: {}\nRun 'korvane --help' or 'korvane qual --help' for the options.\n", error.what());
}

}  // namespace

std::string_view ModelName(ModelKind model) { return model == ModelKind::kContinuous ? "continuous" : "discrete"; }

std::optional<ModelKind> ParseModelName(std::string_view text) {
  if (text == "discrete") return ModelKind::kDiscrete;
  if (text == "continuous") return ModelKind::kContinuous;
  return std::nullopt;
}

std::string_view LineEndsName(LineEnds lineEnds) { return lineEnds == LineEnds::kCrlf ? "crlf" : "lf"; }

std::optional<LineEnds> ParseLineEndsName(std::string_view text) {
  if (text == "lf") return LineEnds::kLf;
  if (text == "crlf") return LineEnds::kCrlf;
  return std::nullopt;
}

std::string_view StudyName(Command command) {
  switch (command) {
    case Command::kQual:
      return "qual";
    case Command::kQuan:
      return "quan";
    case Command::kInfo:
      break;
  }
  return "info";
}

std::variant<Invocation, CommandLineExit> ParseCommandLine(int argc, const char* const* argv,
                                                           const CommandLineEnvironment& environment) {
  CLI::App app("Simulated genotype data sets of admixed samples for association studies.", "korvane");
  app.require_subcommand(1);
  app.get_formatter()->column_width(44);
  app.footer(
      "Exit status: 0 when the run completed, 2 for refused parameters or usage, 1 when the run failed.\n"
      "Every run appends a [[run]] table to korvane-runs.toml in its output directory.");

  CLI::App* qual = app.add_subcommand("qual", "qualitative trait: a case-control study");
  CLI::App* quan = app.add_subcommand("quan", "quantitative trait: up to five QTLs");
  CLI::App* info = app.add_subcommand("info", "describe the reference data");

  FieldOptions<QualParameters> qualFields(*qual, QualFields());
  RunSettings qualSettings;
  qualSettings.Add(*qual, environment.shippedDataDir);
  FieldOptions<QuanParameters> quanFields(*quan, QuanFields());
  RunSettings quanSettings;
  quanSettings.Add(*quan, environment.shippedDataDir);
  std::string infoData;
  CLI::Option* infoDataOption = info->add_option("--data", infoData, "reference data folder")->type_name("DIR");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return CommandLineExit{0, app.help()};
  } catch (const CLI::CallForAllHelp&) {
    return CommandLineExit{0, app.help("", CLI::AppFormatMode::All)};
  } catch (const CLI::ParseError& error) {
    return CommandLineExit{2, UsageText(error)};
  }

  Invocation invocation;
  try {
    if (qual->parsed()) {
      Configure(qualFields, qualSettings, Command::kQual, environment, invocation.qual, invocation);
    } else if (quan->parsed()) {
      Configure(quanFields, quanSettings, Command::kQuan, environment, invocation.quan, invocation);
    } else {
      invocation.command = Command::kInfo;
      std::error_code ec;
      invocation.run.dataDir = Given(infoDataOption)          ? fs::path(infoData)
                               : fs::is_directory("data", ec) ? fs::path("data")
                                                              : environment.shippedDataDir;
    }
  } catch (const UsageError& error) {
    return CommandLineExit{2, fmt::format("korvane: {}\n", error.what())};
  }
  return invocation;
}

}  // namespace korvane::cli
