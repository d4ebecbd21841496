#include "cli/command_line.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "cli/params_file.h"
#include "qual/qual_fields.h"
#include "quan/quan_fields.h"
#include "run/data_folder.h"
#include "run/exchange.h"
#include "run/version.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRunGroup = "Run";
constexpr const char* kEvaluateGroup = "Evaluation (association tests against the truth)";

// The help's groups of the form's fields, in the order shown, and which
// population model reads a field that only one of them reads.
struct FieldPlace {
  std::string_view key;  // a key, or a pattern whose '*' stand for any text
  std::string_view group;
  std::string_view model;  // "" when both models read it
};

constexpr std::string_view kDiseaseGroup = "Disease model";
constexpr std::string_view kTraitGroup = "Trait model (QTL1 to QTL5)";
constexpr std::string_view kPopulationGroup = "Population model (--model)";
constexpr std::string_view kSampleGroup = "Sample and loci";
constexpr std::string_view kFormatGroup = "Formats (1 writes the tool's files)";
constexpr std::string_view kOutputGroup = "Output";

constexpr FieldPlace kFieldPlaces[] = {
    {"prevalence", kDiseaseGroup, ""},
    {"relative-risk", kDiseaseGroup, ""},
    {"susceptibility-freq-min", kDiseaseGroup, ""},
    {"susceptibility-freq-max", kDiseaseGroup, ""},
    {"freq-difference-min", kDiseaseGroup, "discrete"},
    {"freq-difference-max", kDiseaseGroup, "discrete"},
    {"phenotype-mean", kTraitGroup, ""},
    {"phenotype-variance", kTraitGroup, ""},
    {"stratification-variance", kTraitGroup, "discrete"},
    {"qtl*-diff-*", kTraitGroup, "discrete"},
    {"qtl*", kTraitGroup, ""},
    {"generation-count", kPopulationGroup, "discrete"},
    {"yri-in-cases", kPopulationGroup, "discrete"},
    {"yri-in-controls", kPopulationGroup, "discrete"},
    {"yri-final-discrete", kPopulationGroup, "discrete"},
    {"yri-per-generation", kPopulationGroup, "continuous"},
    {"yri-final", kPopulationGroup, "continuous"},
    {"sample-size", kSampleGroup, ""},
    {"case-proportion", kSampleGroup, ""},
    {"total-locus-count", kSampleGroup, ""},
    {"null-locus-count", kSampleGroup, ""},
    {"null-maf-min", kSampleGroup, ""},
    {"null-maf-max", kSampleGroup, ""},
    {"missing-rate", kSampleGroup, ""},
    {"write-*", kFormatGroup, ""},
    {"output-directory", kOutputGroup, ""},
    {"replicate-count", kOutputGroup, ""},
};

// Whether a key matches a pattern whose '*' stand for any text.
bool Matches(std::string_view pattern, std::string_view key) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == key;
  if (key.substr(0, star) != pattern.substr(0, star)) return false;
  const std::string_view rest = pattern.substr(star + 1);
  for (std::size_t at = star; at <= key.size(); ++at) {
    if (Matches(rest, key.substr(at))) return true;
  }
  return false;
}

// The place of a field in the help; every option field has one.
std::size_t PlaceOf(std::string_view key) {
  for (std::size_t k = 0; k < std::size(kFieldPlaces); ++k) {
    if (Matches(kFieldPlaces[k].key, key)) return k;
  }
  return std::size(kFieldPlaces);
}

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

// "--sample-size (Sample size): Please enter an integer.": the option, the
// field's label on the form, then the exchange's message. `prefix` is "--"
// on the command line and "" in a --params file, whose keys have none.
std::string Labelled(const FieldInfo& info, const std::string& message, std::string_view prefix = "--") {
  std::string label = info.label;
  while (!label.empty() && (label.back() == ' ' || label.back() == ':')) label.pop_back();
  return fmt::format("{}{} ({}): {}", prefix, info.key, label, message);
}

// The field options of one study's subcommand; the texts given are kept for
// the exchange.
template <class Record>
class FieldOptions {
 public:
  FieldOptions(CLI::App& command, FieldTable<Record> table)
      : table_(table), texts_(table.size()), options_(table.size(), nullptr) {
    const Record defaults;
    // Shown by group, in the groups' order; the exchange still takes the
    // texts in the form's order.
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (table[i].info.isOption) shown.push_back(i);
    }
    std::stable_sort(shown.begin(), shown.end(), [&](std::size_t a, std::size_t b) {
      return PlaceOf(table[a].info.key) < PlaceOf(table[b].info.key);
    });
    for (const std::size_t i : shown) {
      const FieldInfo& info = table[i].info;
      std::string names = "--" + info.key;
      if (info.key == "replicate-count") names += ",--simulating-times";
      const std::size_t place = PlaceOf(info.key);
      const bool placed = place < std::size(kFieldPlaces);
      const std::string_view model = placed ? kFieldPlaces[place].model : "";
      std::string label = info.label;
      while (!label.empty() && label.back() == ' ') label.pop_back();
      CLI::Option* option = command.add_option(names, texts_[i],
                                               fmt::format("{} ({}){}", label, RangeDescription(info),
                                                           model.empty() ? "" : fmt::format("; {} model only", model)));
      option->type_name(TypeName(info.type));
      option->default_str(ShowField(info, table[i].access(const_cast<Record&>(defaults))));
      option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
      option->group(std::string(placed ? kFieldPlaces[place].group : "Other fields"));
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

int ParseBounded(const std::string& name, const std::string& text, long long most);

// The evaluation's number of principal components: 0 to 50.
int ParsePrincipalComponents(const std::string& text) {
  const std::optional<long long> value = ParseExchangeInteger(text);
  if (!value || *value < 0 || *value > 50) throw UsageError("--evaluate-pcs: expected a whole number from 0 to 50");
  return static_cast<int>(*value);
}

// The options of a run that are not fields of the form.
struct RunSettings {
  std::string model, seed, data, firstReplicate, maxAttempts, lineEnds, params, threads;
  bool quiet = false;
  bool overwrite = false;
  bool keepPartial = false;
  bool ignoreSpace = false;
  std::string truth, localAncestry, calibrated, evaluatePcs, formats;
  bool evaluate = false, evaluateLoci = false;
  CLI::Option* evaluatePcsOption = nullptr;
  CLI::Option* truthOption = nullptr;
  CLI::Option* localAncestryOption = nullptr;
  CLI::Option* calibratedOption = nullptr;
  CLI::Option* formatsOption = nullptr;
  CLI::Option* modelOption = nullptr;
  CLI::Option* seedOption = nullptr;
  CLI::Option* dataOption = nullptr;
  CLI::Option* firstReplicateOption = nullptr;
  CLI::Option* maxAttemptsOption = nullptr;
  CLI::Option* lineEndsOption = nullptr;
  CLI::Option* paramsOption = nullptr;
  CLI::Option* threadsOption = nullptr;

  EvaluateOptions Evaluation() const {
    EvaluateOptions options;
    options.enabled = evaluate;
    options.keepLoci = evaluateLoci;
    if (evaluatePcsOption != nullptr && evaluatePcsOption->count() > 0) {
      options.principalComponents = ParsePrincipalComponents(evaluatePcs);
    }
    return options;
  }

  void Add(CLI::App& command, const fs::path& shippedDataDir) {
    const auto add = [&command](const std::string& name, std::string& text, const std::string& type,
                                const std::string& shownDefault, const std::string& description,
                                const char* group = kRunGroup) {
      CLI::Option* option = command.add_option(name, text, description);
      option->type_name(type)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->group(group);
      if (!shownDefault.empty()) option->default_str(shownDefault);
      return option;
    };
    modelOption = add("--model", model, "discrete|continuous", "discrete",
                      "the form's \"Discrete model:\" (two source pools) or \"Continuous migration model:\" (one "
                      "admixed population); the options marked 'discrete model only' or 'continuous model only' are "
                      "read by that model alone",
                      std::string(kPopulationGroup).c_str());
    seedOption = add("--seed", seed, "S", "",
                     fmt::format("run seed, 0 to {} (default: drawn from the system's entropy source; printed and "
                                 "recorded)",
                                 kMaxRunSeed));
    dataOption =
        add("--data", data, "DIR", "",
            fmt::format("reference data folder (default: ./data if it is a folder, else {})", shippedDataDir.string()));
    firstReplicateOption =
        add("--first-replicate", firstReplicate, "N", "1",
            fmt::format("number of the run's first replicate: the run writes N, N+1, ...; replicate numbers run up "
                        "to {}",
                        kMaxReplicateNumber));
    maxAttemptsOption =
        add("--max-attempts", maxAttempts, "N", "100",
            fmt::format("attempts of one replicate before the run fails, 1 to {}", kMaxAttemptsPerReplicate));
    lineEndsOption = add("--line-ends", lineEnds, "lf|crlf", "lf",
                         "line ends of the output files (crlf: the bytes of a Windows run)");
    threadsOption = add("--threads", threads, "N", "the number of cores",
                        "replicates simulated at once, and spare ones help within a replicate; the files are the "
                        "same whatever the number");
    command
        .add_flag("--overwrite", overwrite,
                  "replace replicate folders of this run's numbers that exist already (without it such a run is "
                  "refused)")
        ->group(kRunGroup);
    command
        .add_flag("--keep-partial", keepPartial,
                  "keep the folder of a replicate that a stop or failure interrupted, as .N.partial")
        ->group(kRunGroup);
    command
        .add_flag("--ignore-space", ignoreSpace,
                  "start even when the estimate of the bytes the run writes (printed before it starts) is above the "
                  "free space of the output directory's file system; without it such a run is refused")
        ->group(kRunGroup);
    formatsOption =
        add("--formats", formats, "[only=]NAME,...", "",
            fmt::format("formats to write by name, separated by commas: NAME,... adds them to the formats the write-* "
                        "switches choose; only=NAME,... writes them alone, every write-* format off (Origin.txt, the "
                        "truth files and the logs are written either way); the names: {} (bed: PLINK binary files, "
                        "Plink.bed, Plink.bim, Plink.fam; vcf.gz, bcf: phased genotypes, Genotypes.vcf.gz or "
                        "Genotypes.bcf with an index)",
                        fmt::join(ChoosableFormatNames(), ", ")),
            std::string(kFormatGroup).c_str());
    truthOption = add("--truth", truth, "0|1", "1",
                      "write the truth files beside the specified ones: Loci.tsv, Truth.tsv and Individuals.tsv in "
                      "every replicate folder, Truth_Loci.tsv in the output directory");
    localAncestryOption =
        add("--local-ancestry", localAncestry, "0|1", "0",
            "track the ancestry of every allele and write each replicate's ancestry tracts, LocalAncestry.bp");
    // Alone it turns the calibrated model on; 0 turns off what a --params
    // record turned on. No default is shown: CLI11 would give it to the
    // option given alone.
    calibratedOption =
        add("--calibrated", calibrated, "[0|1]", "",
            "simulate with the calibrated model: draws at full resolution, cases and controls (or the whole sample) "
            "drawn from one population per replicate, an exact normal residual, the relative risk and variance shares "
            "as asked; the default is the specified model (--calibrated alone is --calibrated 1)");
    calibratedOption->expected(0, 1);
    command.add_flag("--quiet", quiet, "no progress line")->group(kRunGroup);
    command
        .add_flag("--evaluate", evaluate,
                  "evaluate each replicate as it is simulated (association tests against the truth: power, type-I "
                  "error, genomic control) and write the run's evaluation/ folder; no file format is needed")
        ->group(kEvaluateGroup);
    evaluatePcsOption =
        add("--evaluate-pcs", evaluatePcs, "K", "10",
            "principal components of the evaluation's adjusted tests, 0 to 50 (0: none)", kEvaluateGroup);
    command.add_flag("--evaluate-loci", evaluateLoci, "also write every locus's statistics, evaluation/loci.tsv.gz")
        ->group(kEvaluateGroup);
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
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || seed > kMaxRunSeed) {
    throw UsageError(fmt::format("--seed: expected a whole number from 0 to {}", kMaxRunSeed));
  }
  return seed;
}

int ParseBounded(const std::string& name, const std::string& text, long long most) {
  const std::optional<long long> value = ParseExchangeInteger(text);
  if (!value || *value < 1 || *value > most) {
    throw UsageError(fmt::format("--{}: expected a whole number from 1 to {}", name, most));
  }
  return static_cast<int>(*value);
}

bool ParseSwitch(const std::string& name, const std::string& text) {
  const std::optional<long long> value = ParseExchangeInteger(text);
  if (!value || (*value != 0 && *value != 1)) throw UsageError(fmt::format("--{}: expected 0 or 1", name));
  return *value == 1;
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
    if (!taken) {
      throw UsageError(fmt::format("{}: {}", file.string(), Labelled(table[taken.fieldIndex].info, taken.message, "")));
    }
    if (!stored.note.empty()) invocation.notes.push_back(stored.note);
    if (stored.model) model = *stored.model;
    seed = stored.seed;
    dataDir = stored.dataDir;
    if (stored.firstReplicate) run.firstReplicate = *stored.firstReplicate;
    if (stored.maxAttempts) run.maxAttempts = *stored.maxAttempts;
    if (stored.lineEnds) run.lineEnds = *stored.lineEnds;
    if (stored.truth) run.truth = *stored.truth;
    if (stored.localAncestry) run.localAncestry = *stored.localAncestry;
    if (stored.calibrated) run.calibrated = *stored.calibrated;
    if (stored.formats) run.formats = *stored.formats;
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
    run.firstReplicate = ParseBounded("first-replicate", settings.firstReplicate, kMaxReplicateNumber);
  }
  if (Given(settings.maxAttemptsOption)) {
    run.maxAttempts = ParseBounded("max-attempts", settings.maxAttempts, kMaxAttemptsPerReplicate);
  }
  if (Given(settings.threadsOption)) {
    run.threads = ParseBounded("threads", settings.threads, std::numeric_limits<int>::max());
  }
  if (Given(settings.lineEndsOption)) {
    const std::optional<LineEnds> given = ParseLineEndsName(settings.lineEnds);
    if (!given) throw UsageError("--line-ends: expected lf or crlf");
    run.lineEnds = *given;
  }

  if (static_cast<long long>(run.firstReplicate) + record.replicateCount - 1 > kMaxReplicateNumber) {
    throw UsageError(fmt::format(
        "--first-replicate: replicates {} to {} cannot be numbered: replicate numbers run up to {} (the first "
        "replicate + the replicate count - 1)",
        run.firstReplicate, static_cast<long long>(run.firstReplicate) + record.replicateCount - 1,
        kMaxReplicateNumber));
  }
  record.modelKind = model;
  run.seed = seed.value_or(environment.defaultSeed);
  if (dataDir) {
    run.dataDir = *dataDir;
  } else {
    const DataFolder folder = DefaultDataFolder(environment.shippedDataDir);
    invocation.dataFromWorkingFolder = folder.fromWorkingFolder;
    run.dataDir = folder.dir;
  }
  if (Given(settings.truthOption)) run.truth = ParseSwitch("truth", settings.truth);
  if (Given(settings.localAncestryOption)) run.localAncestry = ParseSwitch("local-ancestry", settings.localAncestry);
  if (Given(settings.calibratedOption)) {
    run.calibrated = settings.calibrated.empty() || ParseSwitch("calibrated", settings.calibrated);
  }
  if (Given(settings.formatsOption)) {
    try {
      run.formats = ParseNamedFormats(settings.formats);
    } catch (const std::invalid_argument& e) {
      throw UsageError(fmt::format("--formats: {}", e.what()));
    }
  }
  run.overwrite = settings.overwrite;
  run.keepPartial = settings.keepPartial;
  run.ignoreSpace = settings.ignoreSpace;
  invocation.evaluate = settings.Evaluation();
  invocation.quiet = settings.quiet;
  invocation.command = command;
}

// The edit distance of two option names (insertions, deletions,
// substitutions and swaps of neighbours each count one).
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// For the first option of the command line that `command` does not know, the
// nearest option name it does know, if one is near enough to be a slip.
std::optional<std::pair<std::string, std::string>> Misspelt(const CLI::App& command,
                                                            const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) continue;
    const std::string name = arg.substr(0, arg.find('='));
    if (command.get_option_no_throw(name) != nullptr) continue;
    std::string best;
    std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
    for (const CLI::Option* option : command.get_options()) {
      for (const std::string& longName : option->get_lnames()) {
        const std::size_t distance = EditDistance(name.substr(2), longName);
        if (distance < bestDistance) {
          bestDistance = distance;
          best = "--" + longName;
        }
      }
    }
    if (!best.empty() && bestDistance <= std::max<std::size_t>(2, (name.size() - 2) / 4)) {
      return std::make_pair(name, best);
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::string UsageText(const CLI::ParseError& error, const CLI::App* command, const std::vector<std::string>& args) {
  const std::string help =
      command != nullptr ? fmt::format("korvane {} --help", command->get_name()) : "korvane --help";
  if (command != nullptr) {
    if (const auto slip = Misspelt(*command, args)) {
      return fmt::format("korvane: unknown option {}; did you mean {}?\nRun '{}' for the options.\n", slip->first,
                         slip->second, help);
    }
  }
  return fmt::format("korvane: {}\nRun '{}' for the options.\n", error.what(), help);
}

}  // namespace

std::string_view StudyName(Command command) {
  switch (command) {
    case Command::kQual:
      return "qual";
    case Command::kQuan:
      return "quan";
    case Command::kEvaluate:
      return "evaluate";
    case Command::kInfo:
      break;
  }
  return "info";
}

std::variant<Invocation, CommandLineExit> ParseCommandLine(int argc, const char* const* argv,
                                                           const CommandLineEnvironment& environment) {
  CLI::App app("Simulated genotype data sets of admixed samples for association studies.", "korvane");
  app.require_subcommand(1);
  app.set_version_flag("--version", fmt::format("korvane {}", Version()), "print the version and exit");
  app.get_formatter()->column_width(44);
  app.footer(
      "Exit status: 0 when the run completed, 2 for refused parameters or usage (also a locked output directory or\n"
      "replicate folders that exist), 1 when the run failed, 130 when it was stopped (Ctrl-C, SIGTERM, SIGHUP).\n"
      "Every run appends a [[run]] table to korvane-runs.toml in its output directory.");

  CLI::App* qual = app.add_subcommand("qual", "qualitative trait: a case-control study");
  CLI::App* quan = app.add_subcommand("quan", "quantitative trait: up to five QTLs");
  CLI::App* evaluate = app.add_subcommand(
      "evaluate", "evaluate the replicates of a run: association tests against each replicate's truth");
  CLI::App* info = app.add_subcommand("info", "describe the reference data");
  // Listed for the help only: main() hands `korvane merge` to its own parser.
  app.add_subcommand("merge", "combine the shards of one setting into one run (korvane merge --help)");

  FieldOptions<QualParameters> qualFields(*qual, QualFields());
  RunSettings qualSettings;
  qualSettings.Add(*qual, environment.shippedDataDir);
  FieldOptions<QuanParameters> quanFields(*quan, QuanFields());
  RunSettings quanSettings;
  quanSettings.Add(*quan, environment.shippedDataDir);
  std::string infoData;
  CLI::Option* infoDataOption = info->add_option("--data", infoData, "reference data folder")->type_name("DIR");
  std::string runDir, evaluatePcs, evaluateThreads;
  bool evaluateLoci = false, evaluateQuiet = false;
  evaluate
      ->add_option("RUN_DIR", runDir,
                   "a run's output directory: its replicate folders 1, 2, ... with Plink.ped and Plink.map (or "
                   "Plink.bed, Plink.bim and Plink.fam) and the truth files; the results go to RUN_DIR/evaluation/")
      ->required()
      ->type_name("DIR");
  CLI::Option* evaluatePcsOption =
      evaluate
          ->add_option("--evaluate-pcs", evaluatePcs, "principal components of the adjusted tests, 0 to 50 (0: none)")
          ->type_name("K")
          ->default_str("10");
  evaluate->add_flag("--evaluate-loci", evaluateLoci, "also write every locus's statistics, evaluation/loci.tsv.gz");
  CLI::Option* evaluateThreadsOption =
      evaluate->add_option("--threads", evaluateThreads, "replicates evaluated at once; the results are the same")
          ->type_name("N")
          ->default_str("the number of cores");
  evaluate->add_flag("--quiet", evaluateQuiet, "no progress line");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return CommandLineExit{0, app.help()};
  } catch (const CLI::CallForAllHelp&) {
    return CommandLineExit{0, app.help("", CLI::AppFormatMode::All)};
  } catch (const CLI::CallForVersion& version) {
    return CommandLineExit{0, fmt::format("{}\n", version.what())};
  } catch (const CLI::ParseError& error) {
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const CLI::App* command = nullptr;
    for (const CLI::App* sub : {qual, quan, evaluate, info}) {
      if (std::find(args.begin(), args.end(), sub->get_name()) != args.end()) {
        command = sub;
        break;
      }
    }
    return CommandLineExit{2, UsageText(error, command, args)};
  }

  Invocation invocation;
  try {
    if (qual->parsed()) {
      Configure(qualFields, qualSettings, Command::kQual, environment, invocation.qual, invocation);
    } else if (quan->parsed()) {
      Configure(quanFields, quanSettings, Command::kQuan, environment, invocation.quan, invocation);
    } else if (evaluate->parsed()) {
      invocation.command = Command::kEvaluate;
      invocation.runDir = runDir;
      invocation.evaluate.enabled = true;
      invocation.evaluate.keepLoci = evaluateLoci;
      if (Given(evaluatePcsOption)) invocation.evaluate.principalComponents = ParsePrincipalComponents(evaluatePcs);
      if (Given(evaluateThreadsOption)) {
        invocation.run.threads = ParseBounded("threads", evaluateThreads, std::numeric_limits<int>::max());
      }
      invocation.quiet = evaluateQuiet;
    } else {
      invocation.command = Command::kInfo;
      invocation.run.dataDir =
          Given(infoDataOption) ? fs::path(infoData) : DefaultDataFolder(environment.shippedDataDir).dir;
    }
  } catch (const UsageError& error) {
    return CommandLineExit{2, fmt::format("korvane: {}\n", error.what())};
  }
  return invocation;
}

}  // namespace korvane::cli
