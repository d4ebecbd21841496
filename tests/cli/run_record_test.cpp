#include "cli/params_file.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <toml++/toml.h>

#include <algorithm>
#include <csignal>

#include "cli/command_line.h"
#include "qual/qual_fields.h"
#include "quan/quan_fields.h"
#include "test_files.h"

namespace korvane::cli {
namespace {

using korvane::testing::ReadFile;
using korvane::testing::TempDir;
using korvane::testing::WriteFile;

template <class Record>
std::vector<std::string> OptionKeys(FieldTable<Record> table) {
  std::vector<std::string> keys;
  for (const auto& field : table) {
    if (field.info.isOption) keys.push_back(field.info.key);
  }
  return keys;
}

// Takes a stored run's texts into a fresh record.
template <class Record>
Record Retake(const StoredRun& stored, FieldTable<Record> table) {
  Record record;
  const TakeResult taken = TakeFields<Record>(
      record, table,
      [&](std::size_t, const FieldInfo& info) -> std::optional<std::string> {
        const auto it = stored.fieldTexts.find(info.key);
        if (it == stored.fieldTexts.end()) return std::nullopt;
        return it->second;
      },
      MessageLanguage::kEnglish);
  EXPECT_TRUE(taken) << taken.message;
  return record;
}

RunRecord QualRecord(const QualParameters& p) {
  RunRecord r;
  r.start = IsoUtc(1796820773);
  r.version = "1.0.0";
  r.study = "qual";
  r.model = p.modelKind;
  r.seed = 42;
  r.firstReplicate = 3;
  r.dataDir = "/data/dir";
  r.lineEnds = LineEnds::kCrlf;
  r.maxAttempts = 9;
  r.outcome = "failed";
  r.replicatesCompleted = 1;
  r.message = "replicate 4: too few null loci";
  r.fields = RecordFields(p, QualFields());
  return r;
}

TEST(RunRecordTest, RecordReadsBackToTheSameRecord) {
  QualParameters p;
  p.modelKind = ModelKind::kContinuous;
  p.sampleSize = 1234;
  p.prevalence = 0.1 + 0.2;   // 0.30000000000000004: more digits than the form shows
  p.yriFinal = 1e-5;          // an exponent
  p.caseProportion = 1;       // integral: written as a float
  p.nullMafMax = 0.1234567f;  // more digits than a short real shows
  p.relativeRisk = 2;
  p.writeGc = 0;
  p.outputDirectory = "out \"dir\"\\\tx\xc3\xa9";  // quotes, a backslash, a tab and UTF-8
  p.statusText = "Simulation 3 is running now.......";

  TempDir dir;
  const std::filesystem::path file = dir / "new" / "korvane-runs.toml";  // the folder does not exist yet
  const RunRecord first = QualRecord(QualParameters{});
  AppendRunRecord(file, first);
  const std::string firstText = ReadFile(file);
  AppendRunRecord(file, QualRecord(p));

  // Earlier runs are untouched; the file is TOML with two runs.
  const std::string text = ReadFile(file);
  EXPECT_EQ(text.substr(0, firstText.size()), firstText);
  EXPECT_EQ(text.substr(firstText.size(), 9), "\n[[run]]\n");
  toml::table parsed;
  ASSERT_NO_THROW(parsed = toml::parse(text));
  const toml::array* runs = parsed["run"].as_array();
  ASSERT_NE(runs, nullptr);
  ASSERT_EQ(runs->size(), 2u);
  const toml::table& last = *runs->back().as_table();
  EXPECT_TRUE(last["start"].is_date_time());
  EXPECT_EQ(last["start"].as_date_time()->get().date.year, 2026);
  EXPECT_EQ(last["study"].value<std::string>(), "qual");
  EXPECT_EQ(last["model"].value<std::string>(), "continuous");
  EXPECT_EQ(last["seed"].value<std::int64_t>(), 42);
  EXPECT_EQ(last["first-replicate"].value<std::int64_t>(), 3);
  EXPECT_EQ(last["data"].value<std::string>(), "/data/dir");
  EXPECT_EQ(last["sample-size"].value<std::int64_t>(), 1234);
  EXPECT_TRUE(last["case-proportion"].is_floating_point());
  EXPECT_TRUE(last["missing-rate"].is_floating_point());
  EXPECT_EQ(last["output-directory"].value<std::string>(), p.outputDirectory);
  EXPECT_FALSE(last.contains("status-text"));
  EXPECT_THAT(text, ::testing::HasSubstr("\nrelative-risk = 2.0\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("\nsusceptibility-freq-min = 0.1\n"));  // as the form shows it

  // Read back through the exchange: every value exactly as it was.
  const StoredRun stored = ReadStoredRun(file, "qual", OptionKeys(QualFields()));
  EXPECT_EQ(stored.model, ModelKind::kContinuous);
  EXPECT_EQ(stored.seed, 42u);
  EXPECT_EQ(stored.firstReplicate, 3);
  EXPECT_EQ(stored.dataDir, "/data/dir");
  EXPECT_EQ(stored.lineEnds, LineEnds::kCrlf);
  EXPECT_EQ(stored.maxAttempts, 9);
  const QualParameters back = Retake(stored, QualFields());
  std::vector<std::string> want, got;
  ShowFields(p, QualFields(), [&](std::size_t, const FieldInfo& s, const std::string& t) {
    if (s.isOption) want.push_back(s.key + "=" + t);
  });
  ShowFields(back, QualFields(), [&](std::size_t, const FieldInfo& s, const std::string& t) {
    if (s.isOption) got.push_back(s.key + "=" + t);
  });
  EXPECT_EQ(got, want);
  EXPECT_EQ(back.prevalence, p.prevalence);  // bit for bit, beyond what the form shows
  EXPECT_EQ(back.yriFinal, p.yriFinal);
  EXPECT_EQ(back.nullMafMax, p.nullMafMax);
  EXPECT_EQ(back.outputDirectory, p.outputDirectory);
}

TEST(RunRecordTest, QuantitativeRecordKeepsItsRows) {
  QuanParameters p;
  p.qtlRows[3].enabled = 1;
  p.qtlRows[3].varianceExplained = 0.125;
  p.qtlDifferenceRows[1].diffMin = 0.05;
  p.phenotypeMean = -5;
  RunRecord r;
  r.start = IsoUtc(0);
  r.study = "quan";
  r.seed = 4294967295u;  // the largest seed
  r.fields = RecordFields(p, QuanFields());
  ASSERT_EQ(r.fields.size(), 53u);  // every field but the status line

  TempDir dir;
  WriteFile(dir / "runs.toml", "# written by hand, no line end at the end");
  AppendRunRecord(dir / "runs.toml", r);
  const std::string text = ReadFile(dir / "runs.toml");
  EXPECT_THAT(text, ::testing::HasSubstr("at the end\n\n[[run]]\nstart = 1970-01-01T00:00:00Z\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("\nseed = 4294967295\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("\nphenotype-mean = -5.0\n"));

  const StoredRun stored = ReadStoredRun(dir / "runs.toml", "quan", OptionKeys(QuanFields()));
  EXPECT_EQ(stored.seed, 4294967295u);
  const QuanParameters back = Retake(stored, QuanFields());
  EXPECT_EQ(back.qtlRows[3].enabled, 1);
  EXPECT_EQ(back.qtlRows[3].varianceExplained, 0.125);
  EXPECT_EQ(back.qtlDifferenceRows[1].diffMin, 0.05);
  EXPECT_EQ(back.phenotypeMean, -5);
}

// The model of a run: RecordRun takes it from the run's options into a TOML
// boolean of every [[run]] table, and --params gives it back; a record
// written before the key existed is of the specified model.
TEST(RunRecordTest, TheCalibratedModelIsRecordedAndReadBack) {
  TempDir dir;
  RunRecord record = QualRecord(QualParameters{});
  RunOptions options;
  options.seed = 42;
  options.truth = false;
  options.calibrated = true;
  RunOutcome outcome;
  outcome.replicatesCompleted = 2;
  ASSERT_TRUE(RecordRun(record, dir / "calibrated", options, outcome, 1796820773));
  options.calibrated = false;
  ASSERT_TRUE(RecordRun(record, dir / "specified", options, outcome, 1796820773));

  const std::string text = ReadFile(dir / "calibrated" / kRunRecordFile);
  EXPECT_THAT(text, ::testing::HasSubstr("\ntruth = 0\nlocal-ancestry = 0\ncalibrated = true\n"));
  const toml::table parsed = toml::parse(text);
  const toml::node_view<const toml::node> key = parsed["run"][0]["calibrated"];
  ASSERT_TRUE(key.is_boolean()) << text;
  EXPECT_TRUE(key.value<bool>().value_or(false));
  EXPECT_THAT(ReadFile(dir / "specified" / kRunRecordFile), ::testing::HasSubstr("\ncalibrated = false\n"));

  const auto stored = [&](const std::filesystem::path& file) {
    return ReadStoredRun(file, "qual", OptionKeys(QualFields())).calibrated;
  };
  EXPECT_EQ(stored(dir / "calibrated" / kRunRecordFile), std::optional<bool>(true));
  EXPECT_EQ(stored(dir / "specified" / kRunRecordFile), std::optional<bool>(false));
  // The last table holds: a specified run after a calibrated one is repeated
  // as specified.
  AppendRunRecord(dir / "calibrated" / kRunRecordFile, record);  // calibrated = false
  EXPECT_EQ(stored(dir / "calibrated" / kRunRecordFile), std::optional<bool>(false));
  // Without the key, nothing is stored: the command line keeps its default.
  std::string old = text;
  old.erase(old.find("calibrated = true\n"), std::string("calibrated = true\n").size());
  WriteFile(dir / "old.toml", old);
  EXPECT_EQ(stored(dir / "old.toml"), std::nullopt);
  // Written by hand as the other switches are: 1 and 0.
  WriteFile(dir / "hand.toml", "calibrated = 1\n");
  EXPECT_EQ(stored(dir / "hand.toml"), std::optional<bool>(true));
  WriteFile(dir / "hand.toml", "calibrated = 0\n");
  EXPECT_EQ(stored(dir / "hand.toml"), std::optional<bool>(false));
  for (const char* refused : {"calibrated = 2\n", "calibrated = \"true\"\n", "calibrated = 1.0\n"}) {
    WriteFile(dir / "bad.toml", refused);
    try {
      stored(dir / "bad.toml");
      ADD_FAILURE() << "accepted " << refused;
    } catch (const UsageError& e) {
      EXPECT_EQ(std::string(e.what()),
                (dir / "bad.toml").string() + ": calibrated: expected true or false (or 1 or 0)");
    }
  }
}

// The formats named on the command line: recorded as --formats takes them,
// and read back; a run that names none records no key.
TEST(RunRecordTest, TheNamedFormatsAreRecordedAndReadBack) {
  TempDir dir;
  const RunRecord record = QualRecord(QualParameters{});
  RunOptions options;
  RunOutcome outcome;
  const auto stored = [&](const std::filesystem::path& file) {
    return ReadStoredRun(file, "qual", OptionKeys(QualFields())).formats;
  };
  for (const NamedFormats& formats : {NamedFormats{{"bed"}, false}, NamedFormats{{"bed", "eigensoft"}, false},
                                      NamedFormats{{"bed", "plink"}, true}}) {
    options.formats = formats;
    const std::filesystem::path folder = dir / NamedFormatsText(formats);
    ASSERT_TRUE(RecordRun(record, folder, options, outcome, 1796820773));
    EXPECT_THAT(ReadFile(folder / kRunRecordFile),
                ::testing::HasSubstr("\nformats = \"" + NamedFormatsText(formats) + "\"\n"));
    EXPECT_EQ(stored(folder / kRunRecordFile), std::optional<NamedFormats>(formats));
    EXPECT_EQ(ParseNamedFormats(NamedFormatsText(formats)), formats);
  }
  EXPECT_EQ(NamedFormatsText({{"bed", "plink"}, true}), "only=bed,plink");
  options.formats = {};
  ASSERT_TRUE(RecordRun(record, dir / "none", options, outcome, 1796820773));
  EXPECT_THAT(ReadFile(dir / "none" / kRunRecordFile), ::testing::Not(::testing::HasSubstr("formats")));
  EXPECT_EQ(stored(dir / "none" / kRunRecordFile), std::nullopt);
}

TEST(RunRecordTest, RecordTextIsTheShownTextWhenThatIsExact) {
  const FieldTable<QualParameters> table = QualFields();
  QualParameters p;
  const auto text = [&](const char* key) {
    const auto& field = table[*FindField(table, key)];
    return RecordText(field.info, field.access(p));
  };
  p.prevalence = 0.01;
  EXPECT_EQ(text("prevalence"), "0.01");
  p.prevalence = 0.1 + 0.2;
  EXPECT_EQ(text("prevalence"), "0.30000000000000004");
  p.relativeRisk = 1.5f;
  EXPECT_EQ(text("relative-risk"), "1.5");
  p.relativeRisk = 1.0f / 3.0f;
  EXPECT_EQ(text("relative-risk"), "0.33333334");
  EXPECT_EQ(text("sample-size"), "200");

  EXPECT_EQ(IsoUtc(1796820773), "2026-12-09T12:52:53Z");
}

// A write that the system takes only in part (a full disk, here a file size
// limit) is taken back: the record keeps its earlier tables and stays TOML.
TEST(RunRecordTest, AFailedAppendLeavesTheRecordAsItWas) {
  TempDir dir;
  const std::filesystem::path file = dir / "korvane-runs.toml";
  AppendRunRecord(file, QualRecord(QualParameters{}));
  const std::string before = ReadFile(file);

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = before.size() + 100;  // room for a part of the next table only
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  try {
    AppendRunRecord(file, QualRecord(QualParameters{}));
    ADD_FAILURE() << "the append did not fail";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr(file.string()));
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(ReadFile(file), before);
  EXPECT_NO_THROW(ReadStoredRun(file, "qual", OptionKeys(QualFields())));
}

// Paths may hold any bytes; the record stays valid TOML and gives them back.
TEST(RunRecordTest, PathsThatAreNotUtf8ReadBackExactly) {
  QualParameters p;
  p.outputDirectory = "out-\xff\xfe-\xc3";  // not UTF-8, and a sequence cut short
  RunRecord r = QualRecord(p);
  r.dataDir = "/data/\x80x";
  TempDir dir;
  AppendRunRecord(dir / "runs.toml", r);
  const std::string text = ReadFile(dir / "runs.toml");
  ASSERT_NO_THROW(toml::parse(text)) << text;
  EXPECT_THAT(text, ::testing::HasSubstr("\noutput-directory = \"out-\\uFFFD\\uFFFD-\\uFFFD\"\n"));

  const StoredRun stored = ReadStoredRun(dir / "runs.toml", "qual", OptionKeys(QualFields()));
  EXPECT_EQ(Retake(stored, QualFields()).outputDirectory, p.outputDirectory);
  EXPECT_EQ(stored.dataDir, std::filesystem::path("/data/\x80x"));
}

// A record whose last table was cut short still repeats its last whole run,
// and says so.
TEST(RunRecordTest, ADamagedEndGivesTheLastReadableRun) {
  TempDir dir;
  const std::filesystem::path file = dir / "korvane-runs.toml";
  QualParameters p;
  p.sampleSize = 321;
  AppendRunRecord(file, QualRecord(QualParameters{}));
  AppendRunRecord(file, QualRecord(p));
  const std::string whole = ReadFile(file);
  const std::size_t secondTable = whole.rfind("[[run]]");
  WriteFile(file, whole + "\n[[run]]\nstart = 2026-12-09T12:3");

  const StoredRun stored = ReadStoredRun(file, "qual", OptionKeys(QualFields()));
  EXPECT_EQ(Retake(stored, QualFields()).sampleSize, 321);
  const int line = 1 + static_cast<int>(std::count(whole.begin(), whole.begin() + secondTable, '\n'));
  EXPECT_THAT(stored.note, ::testing::HasSubstr(fmt::format("the [[run]] table of line {}", line)));
  EXPECT_THAT(stored.note, ::testing::HasSubstr(file.string() + ": line "));

  // Nothing readable at all is still refused with the parser's reason.
  WriteFile(file, "[[run]]\nstart = 2026-12-09T12:3");
  EXPECT_THROW(ReadStoredRun(file, "qual", OptionKeys(QualFields())), UsageError);
}

TEST(RunRecordTest, OnlyARegularFileWithContentIsARecord) {
  TempDir dir;
  const auto message = [](const std::filesystem::path& file) {
    try {
      ReadStoredRun(file, "qual", OptionKeys(QualFields()));
    } catch (const UsageError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message(dir.path()), dir.path().string() + ": is a directory, not a file");
  EXPECT_EQ(message("/dev/null"), "/dev/null: is not a regular file");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(message(dir / "fifo"), (dir / "fifo").string() + ": is not a regular file");  // no wait for a writer
  WriteFile(dir / "empty.toml", "# nothing\n");
  EXPECT_THAT(message(dir / "empty.toml"), ::testing::HasSubstr("holds no run to repeat"));
  WriteFile(dir / "big-seed.toml", "seed = \"4294967296\"\n");
  EXPECT_THAT(message(dir / "big-seed.toml"),
              ::testing::HasSubstr("seed: expected a whole number from 0 to 4294967295"));
}

}  // namespace
}  // namespace korvane::cli
