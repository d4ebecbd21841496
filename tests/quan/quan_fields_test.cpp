#include "quan/quan_fields.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace korvane {
namespace {

std::vector<std::string> Keys(FieldTable<QuanParameters> table) {
  std::vector<std::string> keys;
  for (const auto& field : table) keys.push_back(field.info.key);
  return keys;
}

TEST(QuanFieldsTest, ExchangeOrderTakesTheRowsFieldByField) {
  const FieldTable<QuanParameters> table = QuanFields();
  ASSERT_EQ(table.size(), 54u);  // 56 fields less the two without a control
  const std::vector<std::string> keys = Keys(table);
  const std::vector<std::string> head(keys.begin(), keys.begin() + 12);
  EXPECT_EQ(head,
            (std::vector<std::string>{"write-eigensoft", "write-gc", "generation-count", "phenotype-mean",
                                      "null-locus-count", "output-directory", "write-plink", "yri-per-generation",
                                      "qtl1-enabled", "qtl1-freq-max", "qtl1-freq-min", "qtl1-variance-explained"}));
  EXPECT_EQ(keys[24], "qtl5-enabled");
  EXPECT_EQ(keys[28], "sample-size");
  EXPECT_EQ(keys[31], "yri-final");
  EXPECT_EQ((std::vector<std::string>(keys.begin() + 32, keys.begin() + 38)),
            (std::vector<std::string>{"qtl1-diff-enabled", "qtl1-diff-max", "qtl1-diff-min", "qtl2-diff-enabled",
                                      "qtl2-diff-max", "qtl2-diff-min"}));
  EXPECT_EQ(keys.back(), "null-maf-min");
  for (const auto& key : keys) {
    EXPECT_NE(key, "write-admixmap");
    EXPECT_NE(key, "write-structure-strat");
  }

  std::set<std::string> unique(keys.begin(), keys.end());
  EXPECT_EQ(unique.size(), keys.size());
  std::set<int> controls;
  for (const auto& field : table) EXPECT_TRUE(controls.insert(field.info.controlId).second) << field.info.key;
}

TEST(QuanFieldsTest, AccessorsReachTheirOwnRow) {
  // Each row's fields write into that row: a distinct value per field, then
  // the record is read back directly.
  QuanParameters p;
  const FieldTable<QuanParameters> table = QuanFields();
  std::map<std::string, std::string> texts;
  for (int k = 1; k <= 5; ++k) {
    const std::string q = "qtl" + std::to_string(k);
    texts[q + "-enabled"] = k % 2 == 1 ? "0" : "1";
    texts[q + "-freq-max"] = "0.9" + std::to_string(k);
    texts[q + "-freq-min"] = "0.0" + std::to_string(k);
    texts[q + "-variance-explained"] = "0.1" + std::to_string(k);
    texts[q + "-diff-enabled"] = k % 2 == 0 ? "0" : "1";
    texts[q + "-diff-max"] = "0.8" + std::to_string(k);
    texts[q + "-diff-min"] = "0.2" + std::to_string(k);
  }
  ASSERT_TRUE(TakeFields(
      p, table,
      [&](std::size_t, const FieldInfo& info) -> std::optional<std::string> {
        const auto it = texts.find(info.key);
        if (it == texts.end()) return std::nullopt;
        return it->second;
      },
      MessageLanguage::kEnglish));
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    const QtlRow& row = p.qtlRows[k - 1];
    const QtlDifferenceRow& diff = p.qtlDifferenceRows[k - 1];
    EXPECT_EQ(row.enabled, k % 2 == 1 ? 0 : 1);
    EXPECT_DOUBLE_EQ(row.freqMax, 0.9 + k / 100.0);
    EXPECT_DOUBLE_EQ(row.freqMin, k / 100.0);
    EXPECT_DOUBLE_EQ(row.varianceExplained, 0.1 + k / 100.0);
    EXPECT_EQ(diff.enabled, k % 2 == 0 ? 0 : 1);
    EXPECT_DOUBLE_EQ(diff.diffMax, 0.8 + k / 100.0);
    EXPECT_DOUBLE_EQ(diff.diffMin, 0.2 + k / 100.0);
  }
  EXPECT_EQ(p.writeAdmixmap, 0);
  EXPECT_EQ(p.writeStructureStrat, 0);
}

TEST(QuanFieldsTest, DefaultsShowAsTheNewForm) {
  const QuanParameters p;
  std::map<std::string, std::string> shown;
  ShowFields(p, QuanFields(), [&](std::size_t, const FieldInfo& s, const std::string& t) { shown[s.key] = t; });
  EXPECT_EQ(shown["qtl1-variance-explained"], "0.02");
  EXPECT_EQ(shown["qtl2-variance-explained"], "0.01");
  EXPECT_EQ(shown["qtl3-variance-explained"], "0.005");
  EXPECT_EQ(shown["qtl4-variance-explained"], "0");
  for (const char* k : {"1", "2", "3"}) {
    EXPECT_EQ(shown[std::string("qtl") + k + "-enabled"], "1");
    EXPECT_EQ(shown[std::string("qtl") + k + "-diff-enabled"], "1");
  }
  EXPECT_EQ(shown["qtl5-enabled"], "0");
  EXPECT_EQ(shown["qtl5-diff-enabled"], "0");
  EXPECT_EQ(shown["phenotype-mean"], "20");
  EXPECT_EQ(shown["yri-final-discrete"], "0.3");
  EXPECT_EQ(shown["status-text"], "Press OK to start simulation.");

  const FieldTable<QuanParameters> table = QuanFields();
  const FieldInfo& discrete = table[*FindField(table, "yri-final-discrete")].info;
  EXPECT_EQ(discrete.label, "Proportion of YRI in final population: ");  // ends in a blank, as on the form
  EXPECT_FALSE(table[*FindField(table, "phenotype-mean")].info.range.has_value());
}

}  // namespace
}  // namespace korvane
