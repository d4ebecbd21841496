#include "run/exchange.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "qual/qual_fields.h"
#include "quan/quan_fields.h"

namespace korvane {
namespace {

// Takes one text into the field with `key` of `record`; returns the message
// (empty when taken).
template <class Record>
std::string TakeOne(Record& record, FieldTable<Record> table, const std::string& key, const std::string& text) {
  const auto index = FindField(table, key);
  if (!index) return "no field " + key;
  const TakeResult result = TakeFields<Record>(
      record, table,
      [&](std::size_t i, const FieldInfo&) -> std::optional<std::string> {
        if (i == *index) return text;
        return std::nullopt;
      },
      MessageLanguage::kEnglish);
  return result.message;
}

struct Case {
  const char* study;  // "qual" or "quan"
  const char* key;
  const char* text;
  const char* message;  // "" when the text is taken
  const char* shown;    // the field as shown afterwards
};

// The ranges and parse rules of both studies, and how a refused field is left.
TEST(FieldExchangeTest, RangesAndParseRules) {
  const Case cases[] = {
      // The susceptibility lower bound is limited to 0.5, its upper bound to 1.
      {"qual", "susceptibility-freq-min", "0.5", "", "0.5"},
      {"qual", "susceptibility-freq-min", "0.51", "Please enter a number between 0 and 0.5.", "0.51"},
      {"qual", "susceptibility-freq-max", "0.51", "", "0.51"},
      // A short real: bounds shown at 6 digits.
      {"qual", "relative-risk", "1", "", "1"},
      {"qual", "relative-risk", "0.99", "Please enter a number between 1 and 5.", "0.99"},
      {"qual", "total-locus-count", "0", "", "0"},
      {"qual", "total-locus-count", "12867", "", "12867"},
      {"qual", "total-locus-count", "12868", "Please enter an integer between 0 and 12867.", "12868"},
      {"quan", "total-locus-count", "0", "Please enter an integer between 1 and 12867.", "0"},
      // Integers: trimmed, optionally signed, digits only.
      {"qual", "sample-size", "", "Please enter an integer.", "200"},
      {"qual", "sample-size", " \t ", "Please enter an integer.", "200"},
      {"qual", "sample-size", "200 ", "", "200"},
      {"qual", "sample-size", "\t+300\t", "", "300"},
      {"qual", "sample-size", "2e2", "Please enter an integer.", "200"},
      {"qual", "sample-size", "20 0", "Please enter an integer.", "200"},
      {"qual", "sample-size", "0x10", "Please enter an integer.", "200"},
      {"qual", "sample-size", "- 5", "Please enter an integer.", "200"},
      {"qual", "sample-size", "-5", "Please enter an integer between 0 and 10000000.", "-5"},
      {"qual", "sample-size", "2147483648", "Please enter an integer.", "200"},
      {"qual", "sample-size", "99999999999999999999999", "Please enter an integer.", "200"},
      {"qual", "sample-size", "-2147483648", "Please enter an integer between 0 and 10000000.", "-2147483648"},
      {"qual", "sample-size", "10000001", "Please enter an integer between 0 and 10000000.", "10000001"},
      // Reals: sign, digits, fraction, exponent; a point whatever the locale.
      {"quan", "phenotype-mean", "2e2", "", "200"},
      {"quan", "phenotype-mean", "-5", "", "-5"},
      {"quan", "phenotype-mean", "+.5", "", "0.5"},
      {"quan", "phenotype-mean", "5.", "", "5"},
      {"quan", "phenotype-mean", "1E+3", "", "1000"},
      {"quan", "phenotype-mean", "-1e-400", "", "-0"},
      {"quan", "phenotype-mean", "1e400", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", ".", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "1e", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "1,5", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "--1", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "inf", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "-nan", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "0x1p3", "Please enter a number.", "20"},
      {"quan", "phenotype-mean", "", "Please enter a number.", "20"},
      {"qual", "prevalence", "2e2", "Please enter a number between 0 and 1.", "200"},
      {"qual", "prevalence", " 0.05\t", "", "0.05"},
      // The null-locus frequency bounds: 1 in the qualitative study, 0.5 in the quantitative.
      {"quan", "null-maf-max", "0.6", "Please enter a number between 0 and 0.5.", "0.6"},
      {"qual", "null-maf-max", "0.6", "", "0.6"},
      // Compared as a 32-bit float: 0.50000001 is 0.5 there.
      {"quan", "null-maf-max", "0.50000001", "", "0.5"},
      {"quan", "null-maf-min", "1e39", "Please enter a number between 0 and 0.5.", "0.1"},
      {"quan", "replicate-count", "10001", "Please enter an integer between 0 and 10000.", "10001"},
      {"qual", "replicate-count", "10001", "", "10001"},
      {"qual", "generation-count", "100000", "", "100000"},
      {"quan", "generation-count", "10001", "Please enter an integer between 0 and 10000.", "10001"},
      {"quan", "phenotype-variance", "10000000", "", "10000000"},
      {"quan", "qtl3-variance-explained", "1.01", "Please enter a number between 0 and 1.", "1.01"},
      // Flags hold 0 or 1 only.
      {"qual", "write-plink", "0", "", "0"},
      {"qual", "write-plink", " 1 ", "", "1"},
      {"qual", "write-plink", "2", "Please enter an integer between 0 and 1.", "1"},
      {"qual", "write-plink", "yes", "Please enter an integer.", "1"},
      {"quan", "qtl4-enabled", "1", "", "1"},
      // Texts are taken unchanged.
      {"qual", "output-directory", "  runs/a b ", "", "  runs/a b "},
      {"qual", "output-directory", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.study) + " " + c.key + " \"" + c.text + "\"");
    std::string message;
    std::optional<std::string> shown;
    if (std::string(c.study) == "qual") {
      QualParameters p;
      message = TakeOne(p, QualFields(), c.key, c.text);
      shown = ShowFieldByKey(p, QualFields(), c.key);
    } else {
      QuanParameters p;
      message = TakeOne(p, QuanFields(), c.key, c.text);
      shown = ShowFieldByKey(p, QuanFields(), c.key);
    }
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(shown.value_or("?"), c.shown);
  }
}

TEST(FieldExchangeTest, TakingStopsAtTheFirstFailure) {
  const FieldTable<QualParameters> table = QualFields();
  ASSERT_EQ(table.size(), 26u);
  ASSERT_EQ(table[8].info.key, "sample-size");  // field 9

  // New texts for every field: each differs from the default.
  std::map<std::string, std::string> texts = {
      {"write-eigensoft", "0"},
      {"generation-count", "7"},
      {"susceptibility-freq-min", "0.2"},
      {"freq-difference-min", "0.15"},
      {"output-directory", "out"},
      {"write-plink", "0"},
      {"prevalence", "0.02"},
      {"yri-per-generation", "0.05"},
      {"sample-size", "many"},
      {"replicate-count", "3"},
      {"write-structure-strat", "0"},
      {"susceptibility-freq-max", "0.4"},
      {"freq-difference-max", "0.35"},
      {"yri-final", "0.2"},
      {"case-proportion", "0.6"},
      {"write-gc", "0"},
      {"write-admixmap", "0"},
      {"null-locus-count", "40"},
      {"total-locus-count", "300"},
      {"yri-in-cases", "0.45"},
      {"yri-in-controls", "0.65"},
      {"status-text", "typed"},
      {"missing-rate", "0.01"},
      {"null-maf-max", "0.45"},
      {"null-maf-min", "0.15"},
      {"relative-risk", "2"},
  };
  const auto source = [&](std::size_t, const FieldInfo& info) -> std::optional<std::string> {
    return texts.at(info.key);
  };
  const QualParameters defaults;
  std::map<std::string, std::string> defaultShown;
  ShowFields(defaults, table, [&](std::size_t, const FieldInfo& s, const std::string& t) { defaultShown[s.key] = t; });

  // A text that is not a number in field 9: fields 1 to 8 new, 9 to 26 as before.
  QualParameters p;
  TakeResult result = TakeFields(p, table, source, MessageLanguage::kEnglish);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.fieldIndex, 8u);
  EXPECT_EQ(result.failure, ExchangeFailure::kNotInteger);
  EXPECT_EQ(result.message, "Please enter an integer.");
  ShowFields(p, table, [&](std::size_t i, const FieldInfo& s, const std::string& shown) {
    EXPECT_EQ(shown, i < 8 ? texts.at(s.key) : defaultShown.at(s.key)) << s.key;
  });

  // Only the range fails: the failing field holds the new value.
  texts["sample-size"] = "20000000";
  p = QualParameters{};
  result = TakeFields(p, table, source, MessageLanguage::kEnglish);
  EXPECT_EQ(result.failure, ExchangeFailure::kIntegerRange);
  EXPECT_EQ(p.sampleSize, 20000000);
  EXPECT_EQ(p.replicateCount, defaults.replicateCount);

  // Every text valid: every field taken, the status line included.
  texts["sample-size"] = "500";
  p = QualParameters{};
  result = TakeFields(p, table, source, MessageLanguage::kEnglish);
  EXPECT_TRUE(result);
  ShowFields(p, table, [&](std::size_t, const FieldInfo& s, const std::string& shown) {
    EXPECT_EQ(shown, texts.at(s.key)) << s.key;
  });
  EXPECT_EQ(p.modelKind, ModelKind::kDiscrete);  // not a field
}

TEST(FieldExchangeTest, ShowsTheFormsFormats) {
  QualParameters p;
  std::map<std::string, std::string> shown;
  ShowFields(p, QualFields(), [&](std::size_t, const FieldInfo& s, const std::string& t) { shown[s.key] = t; });
  EXPECT_EQ(shown["susceptibility-freq-min"], "0.1");
  EXPECT_EQ(shown["relative-risk"], "1.5");
  EXPECT_EQ(shown["null-maf-min"], "0.1");  // 0.1f is 0.100000001 as a double
  EXPECT_EQ(shown["sample-size"], "200");
  EXPECT_EQ(shown["write-plink"], "1");
  EXPECT_EQ(shown["output-directory"], "korvane-output");
  EXPECT_EQ(shown["status-text"], "Press OK to start simulation.");
  EXPECT_EQ(shown["missing-rate"], "0");

  // An entry of 0.10 shows as 0.1; 15 significant digits hide the binary error of a sum.
  ASSERT_EQ(TakeOne(p, QualFields(), "prevalence", "0.10"), "");
  EXPECT_EQ(ShowFieldByKey(p, QualFields(), "prevalence"), "0.1");
  p.prevalence = 0.1 + 0.2;
  EXPECT_EQ(ShowFieldByKey(p, QualFields(), "prevalence"), "0.3");
  p.relativeRisk = 1.0f / 3.0f;
  EXPECT_EQ(ShowFieldByKey(p, QualFields(), "relative-risk"), "0.333333");

  // The general format is the C library's "%.*g", without its locale.
  for (double v : {0.0, 1e-5, 123456789012345678.0, 0.000123456, 1e15, 1e16, -2.5, 12867.0, 1.0 / 3.0}) {
    for (int digits : {6, 15}) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "%.*g", digits, v);
      EXPECT_EQ(FormatGeneral(v, digits), expected) << v;
    }
  }
}

TEST(FieldExchangeTest, ShowThenTakeKeepsEveryField) {
  QualParameters p;
  p.prevalence = 0.0123;
  p.nullMafMax = 0.25f;
  p.outputDirectory = "a dir";
  const FieldTable<QualParameters> table = QualFields();
  std::vector<std::string> shown(table.size());
  ShowFields(p, table, [&](std::size_t i, const FieldInfo&, const std::string& t) { shown[i] = t; });
  QualParameters q;
  ASSERT_TRUE(TakeFields(
      q, table, [&](std::size_t i, const FieldInfo&) -> std::optional<std::string> { return shown[i]; },
      MessageLanguage::kEnglish));
  EXPECT_EQ(q.prevalence, p.prevalence);
  EXPECT_EQ(q.nullMafMax, p.nullMafMax);
  EXPECT_EQ(q.outputDirectory, p.outputDirectory);
  EXPECT_EQ(q.relativeRisk, p.relativeRisk);
}

TEST(FieldExchangeTest, QualitativeTableHoldsTheFormsFields) {
  const FieldTable<QualParameters> table = QualFields();
  std::set<std::string> keys;
  std::set<int> controls;
  for (const auto& field : table) {
    EXPECT_TRUE(keys.insert(field.info.key).second) << field.info.key;
    EXPECT_TRUE(controls.insert(field.info.controlId).second) << field.info.key;
    EXPECT_EQ(field.info.isOption, field.info.key != "status-text");
  }
  EXPECT_EQ(table.front().info.key, "write-eigensoft");
  EXPECT_EQ(table.back().info.key, "relative-risk");
  EXPECT_EQ(table[21].info.controlId, 1076);  // the status line, field 22
  EXPECT_EQ(table[2].info.label, "Frequency of disease susceptible allele: min");
  EXPECT_EQ(table[9].info.label, "Simulating times:");
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FieldExchangeTest, MessagesInBothLanguages) {
  {
    ScopedEnv all("LC_ALL", "zh_CN.UTF-8");
    ScopedEnv lang("LANG", "en_GB.UTF-8");
    EXPECT_EQ(MessageLanguageFromEnvironment(), MessageLanguage::kChinese);
  }
  {
    ScopedEnv all("LC_ALL", "");
    ScopedEnv messages("LC_MESSAGES", "zh_TW");
    EXPECT_EQ(MessageLanguageFromEnvironment(), MessageLanguage::kChinese);
  }
  {
    ScopedEnv all("LC_ALL", "C");  // the first one set decides
    ScopedEnv lang("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(MessageLanguageFromEnvironment(), MessageLanguage::kEnglish);
  }
  {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", nullptr);
    EXPECT_EQ(MessageLanguageFromEnvironment(), MessageLanguage::kEnglish);
  }

  const FieldTable<QualParameters> table = QualFields();
  const FieldInfo& freqMin = table[*FindField(table, "susceptibility-freq-min")].info;
  const FieldInfo& sampleSize = table[*FindField(table, "sample-size")].info;
  const FieldInfo& risk = table[*FindField(table, "relative-risk")].info;
  const auto zh = MessageLanguage::kChinese;
  EXPECT_EQ(ExchangeMessage(ExchangeFailure::kNotInteger, sampleSize, zh), "请键入一个整数。");
  EXPECT_EQ(ExchangeMessage(ExchangeFailure::kNotNumber, freqMin, zh), "请键入一个数。");
  EXPECT_EQ(ExchangeMessage(ExchangeFailure::kIntegerRange, sampleSize, zh), "“请填入一个在0和10000000之间的整数。”");
  EXPECT_EQ(ExchangeMessage(ExchangeFailure::kNumberRange, freqMin, zh), "“请填入一个在0和0.5之间的数字。”");
  EXPECT_EQ(ExchangeMessage(ExchangeFailure::kNumberRange, risk, zh), "“请填入一个在1和5之间的数字。”");
  EXPECT_EQ(ExchangeMessage(ExchangeFailure::kNone, risk, zh), "");
}

}  // namespace
}  // namespace korvane
