#include "evaluate/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "evaluate/report_assets.h"
#include "evaluate/report_plot_data.h"
#include "evaluate/report_samples.h"
#include "evaluate/report_text.h"
#include "evaluate/statistics.h"
#include "test_files.h"

namespace korvane {
namespace {

std::size_t CountOf(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The text of every script element, found as an HTML parser finds its end: at
// the first "</script" after its start tag, whatever the case.
std::vector<std::string> ScriptElements(const std::string& page) {
  const std::string lowered = Lowered(page);
  std::vector<std::string> scripts;
  for (auto open = lowered.find("<script"); open != std::string::npos; open = lowered.find("<script", open)) {
    const auto body = lowered.find('>', open) + 1;
    const auto close = lowered.find("</script", body);
    scripts.push_back(page.substr(body, close - body));
    open = close + 1;
  }
  return scripts;
}

ReportData HostileReport() {
  const std::string hostile = "</script><script>window.hostile=1</script><!-- & \"quoted\" 'single' <b>";
  ReportData data;
  data.title = "Title " + hostile;
  data.settings = {{"name " + hostile, "value </SCRIPT >" + hostile}};
  data.warnings = {"Warning " + hostile};
  data.summary = {{"statistic " + hostile, "0.05<", 0.5, 0.4, 0.6, 0.5, 0.5}};
  data.power = {{"locus " + hostile, 0.05, 0.5, 0.4, 0.6, 0.55, 0.5}};
  return data;
}

TEST(ReportEscapingTest, HostileTextCannotEndAScriptOrAddMarkup) {
  const std::string page = RenderReport(HostileReport());
  // The page's own script, the three libraries and the data: exactly five
  // script elements, the last of them the data, which ends where it should.
  const std::vector<std::string> scripts = ScriptElements(page);
  ASSERT_EQ(scripts.size(), 5U);
  EXPECT_EQ(scripts.back().find("{\"qq\":"), 0U);
  EXPECT_EQ(scripts.back().back(), '\n');
  EXPECT_NE(scripts.back().find("locus \\u003c/script\\u003e\\u003cscript\\u003ewindow.hostile=1"), std::string::npos);
  EXPECT_EQ(CountOf(Lowered(page), "<b>"), 0U);
  EXPECT_EQ(CountOf(page, "<!--"), 0U);
  EXPECT_NE(page.find("<h1>Title &lt;/script&gt;&lt;script&gt;window.hostile=1&lt;/script&gt;&lt;!-- &amp; "
                      "&quot;quoted&quot; &#39;single&#39; &lt;b&gt;</h1>"),
            std::string::npos);
  EXPECT_NE(page.find("value &lt;/SCRIPT &gt;"), std::string::npos);
}

TEST(ReportEscapingTest, JsonStringsEscapeWhatJsonAndHtmlNeed) {
  std::string out;
  AppendJsonString(out, "a\"b\\c\nd\x01<>&\u2028\u2029\u00e9");
  EXPECT_EQ(out, R"("a\"b\\c\nd\u0001\u003c\u003e\u0026\u2028\u2029)"
                 "\u00e9\"");
}

TEST(ReportEscapingTest, JsonNumbersRoundTripAndNonFiniteIsNull) {
  std::string out;
  AppendJsonNumber(out, 0.1);
  out += ',';
  AppendJsonNumber(out, 1.2345678901234568e-300);
  out += ',';
  AppendJsonNumber(out, std::numeric_limits<double>::quiet_NaN());
  out += ',';
  AppendJsonNumber(out, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(out, "0.1,1.2345678901234568e-300,null,null");
}

TEST(ReportEscapingTest, ScriptTextBreaksEveryScriptEndInAnyCase) {
  std::string out;
  AppendScriptText(out, "a='</script>';b=\"</ScRiPt\";c=/<\\/x/;d='</scrip';e='</script");
  EXPECT_EQ(out, "a='<\\/script>';b=\"<\\/ScRiPt\";c=/<\\/x/;d='</scrip';e='<\\/script");
}

TEST(ReportEscapingTest, SummaryNumbersReadWell) {
  EXPECT_EQ(FormatReportNumber(std::numeric_limits<double>::quiet_NaN()), "\u2014");
  EXPECT_EQ(FormatReportNumber(0), "0");
  EXPECT_EQ(FormatReportNumber(0.05), "0.05");
  EXPECT_EQ(FormatReportNumber(0.623456), "0.6235");
  EXPECT_EQ(FormatReportNumber(1.04567), "1.046");
  EXPECT_EQ(FormatReportNumber(0.00104), "0.00104");
  EXPECT_EQ(FormatReportNumber(2.5e-8), "2.5e-08");
  EXPECT_EQ(FormatReportNumber(123456.7), "1.235e+05");
}

TEST(BetaDistributionTest, IncompleteBetaAtClosedForms) {
  for (const double x : {1e-6, 0.1, 0.35, 0.5, 0.8, 0.999}) {
    EXPECT_NEAR(RegularizedIncompleteBeta(x, 2, 2), 3 * x * x - 2 * x * x * x, 1e-13) << x;
    EXPECT_NEAR(RegularizedIncompleteBeta(x, 1, 7), 1 - std::pow(1 - x, 7), 1e-13) << x;
    EXPECT_NEAR(RegularizedIncompleteBeta(x, 7, 1), std::pow(x, 7), 1e-13) << x;
  }
  EXPECT_NEAR(RegularizedIncompleteBeta(0.5, 2.5e6, 2.5e6), 0.5, 1e-6);
  EXPECT_EQ(RegularizedIncompleteBeta(0, 3, 4), 0);
  EXPECT_EQ(RegularizedIncompleteBeta(1, 3, 4), 1);
}

TEST(BetaDistributionTest, QuantilesOfExtremeOrderStatistics) {
  // The smallest of n uniforms is Beta(1, n): P(U <= x) = 1 - (1 - x)^n, and
  // the largest is Beta(n, 1): P(U <= x) = x^n.
  const double n = 5e6;
  for (const double q : {0.025, 0.5, 0.975}) {
    const double smallest = -std::expm1(std::log1p(-q) / n);
    EXPECT_NEAR(BetaQuantile(1, n, q) / smallest, 1, 1e-8) << q;
    const double largest = std::exp(std::log(q) / n);
    EXPECT_NEAR(BetaQuantile(n, 1, q), largest, 1e-12) << q;
  }
  EXPECT_NEAR(BetaQuantile(2, 2, 0.5), 0.5, 1e-12);
  EXPECT_NEAR(BetaQuantile(1e6, 1e6, 0.5), 0.5, 1e-9);
  // Beta(2, 2) at its quartile: 3x^2 - 2x^3 = 0.25 at x = 0.326352...
  EXPECT_NEAR(BetaQuantile(2, 2, 0.25), 0.32635182233306964, 1e-10);
}

TEST(QqBandTest, BandAtTheExtremeRanksMatchesClosedForms) {
  const std::size_t n = 80000;
  const std::vector<QqBandPoint> band = QqConfidenceBand(n);
  ASSERT_GE(band.size(), 150U);
  ASSERT_LE(band.size(), 201U);
  const double count = static_cast<double>(n);
  EXPECT_EQ(band.front().rank, 1U);
  EXPECT_NEAR(band.front().expected, -std::log10(1 / (count + 1)), 1e-12);
  EXPECT_NEAR(band.front().high, -std::log10(-std::expm1(std::log1p(-0.025) / count)), 1e-8);
  EXPECT_NEAR(band.front().low, -std::log10(-std::expm1(std::log1p(-0.975) / count)), 1e-8);
  EXPECT_EQ(band.back().rank, n);
  EXPECT_NEAR(band.back().low, -std::log10(std::exp(std::log(0.975) / count)), 1e-12);
  EXPECT_NEAR(band.back().high, -std::log10(std::exp(std::log(0.025) / count)), 1e-12);
  for (std::size_t k = 0; k < band.size(); ++k) {
    EXPECT_LT(band[k].low, band[k].expected) << band[k].rank;
    EXPECT_GT(band[k].high, band[k].expected) << band[k].rank;
    if (k > 0) {
      EXPECT_GT(band[k].rank, band[k - 1].rank);
    }
  }
  // In the middle, Beta(i, n - i + 1) is close to normal with the binomial's
  // spread: the band's half-width there is 1.96 sd of U(i), on the log scale.
  const auto middle = std::find_if(band.begin(), band.end(), [&](const QqBandPoint& p) { return p.rank >= n / 2; });
  const double u = static_cast<double>(middle->rank) / (count + 1);
  const double sd = std::sqrt(u * (1 - u) / (count + 2));
  EXPECT_NEAR(middle->high - middle->low, (std::log10(u + 1.96 * sd) - std::log10(u - 1.96 * sd)), 1e-4);
}

TEST(QqBandTest, SmallCountsAndNone) {
  EXPECT_TRUE(QqConfidenceBand(0).empty());
  const std::vector<QqBandPoint> band = QqConfidenceBand(3);
  ASSERT_EQ(band.size(), 3U);
  EXPECT_EQ(band[2].rank, 3U);
}

TEST(QqThinningTest, FiveMillionPValuesKeepTheSmallestExactly) {
  testing::SampleDraws draws(5);
  std::vector<double> p(5'000'000);
  for (double& value : p) value = draws.Uniform();
  const QqThinning thinning;
  const std::vector<QqPoint> points = ThinQqPoints(p, thinning);
  ASSERT_LE(points.size(), thinning.exactCount + 2 * thinning.binCount);
  ASSERT_GT(points.size(), thinning.exactCount + thinning.binCount / 2);

  std::vector<double> sorted = p;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < thinning.exactCount; ++i) {
    ASSERT_EQ(points[i].rank, i + 1);
    ASSERT_EQ(points[i].p, sorted[i]);
  }
  // Every kept point is its rank's order statistic, ranks rise, and the
  // largest p-value closes the curve.
  for (std::size_t k = 1; k < points.size(); ++k) {
    ASSERT_GT(points[k].rank, points[k - 1].rank);
    ASSERT_EQ(points[k].p, sorted[points[k].rank - 1]);
  }
  EXPECT_EQ(points.back().rank, p.size());
  // No gap on the expected axis is wider than a bin.
  const double bin_width = ExpectedQqLog10(thinning.exactCount + 1, p.size()) / static_cast<double>(thinning.binCount);
  for (std::size_t k = thinning.exactCount + 1; k < points.size(); ++k) {
    ASSERT_LE(ExpectedQqLog10(points[k - 1].rank, p.size()) - ExpectedQqLog10(points[k].rank, p.size()),
              bin_width * 1.0001);
  }
}

TEST(QqThinningTest, AwkwardCountsKeepTheEndsAndTheBound) {
  const QqThinning thinning{5, 4};
  for (const std::size_t n : {5U, 6U, 7U, 13U, 14U, 100U, 1001U}) {
    std::vector<double> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<double>(n - i) / static_cast<double>(n + 1);
    const std::vector<QqPoint> points = ThinQqPoints(p, thinning);
    ASSERT_LE(points.size(), std::min<std::size_t>(n, 13)) << n;
    EXPECT_EQ(points.front().rank, 1U) << n;
    EXPECT_EQ(points.back().rank, n) << n;
    EXPECT_EQ(points.back().p, static_cast<double>(n) / static_cast<double>(n + 1)) << n;
    if (n > 5) {
      EXPECT_EQ(points[5].rank, 6U) << "the first binned rank is kept, " << n;
    }
    for (std::size_t k = 1; k < points.size(); ++k) ASSERT_GT(points[k].rank, points[k - 1].rank) << n;
  }
}

TEST(QqThinningTest, FewValuesAreAllKeptAndBadValuesHandled) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> p = {0.5, nan, 0.0, 0.25, 1.0, std::numeric_limits<double>::infinity()};
  const std::vector<QqPoint> points = ThinQqPoints(p);
  ASSERT_EQ(points.size(), 4U);
  EXPECT_EQ(points[0].p, std::numeric_limits<double>::min()) << "a p-value of 0 is clamped to a finite -log10";
  EXPECT_EQ(points[1].p, 0.25);
  EXPECT_EQ(points[3].p, 1.0);
  EXPECT_EQ(points[3].rank, 4U);
  EXPECT_TRUE(ThinQqPoints({}).empty());
}

TEST(HistogramTest, CountsEdgesAndOutsiders) {
  const std::vector<double> values = {
      0.0, 0.1, 0.24, 0.25, 0.99, 1.0, 1.5, -0.1, std::numeric_limits<double>::quiet_NaN()};
  const std::vector<HistogramBin> bins = Histogram(values, 0, 1, 4);
  ASSERT_EQ(bins.size(), 4U);
  EXPECT_EQ(bins[0].count, 3U);
  EXPECT_EQ(bins[1].count, 1U);
  EXPECT_EQ(bins[2].count, 0U);
  EXPECT_EQ(bins[3].count, 2U) << "the last bin holds its upper edge";
  EXPECT_EQ(bins[3].end, 1.0);
  EXPECT_TRUE(Histogram(values, 1, 1, 4).empty());

  const ValueRange one = FiniteRange(std::vector<double>{2.0, 2.0});
  EXPECT_EQ(one.low, 1.5);
  EXPECT_EQ(one.high, 2.5);
  const ValueRange both = FiniteRange(std::vector<double>{1.0, 0.9}, std::vector<double>{1.2});
  EXPECT_EQ(both.low, 0.9);
  EXPECT_EQ(both.high, 1.2);
}

TEST(ReportPageTest, FullCaseControlPageHasEveryPlotButThePhenotype) {
  const std::string page = RenderReport(testing::SampleCaseControlReport(50, 20, 40));
  EXPECT_NE(page.find("<body data-plots-expected=\"4\">"), std::string::npos);
  for (const char* plot : {"qq", "lambda", "power", "ancestry"}) {
    EXPECT_NE(page.find(std::string("data-plot=\"") + plot + "\""), std::string::npos) << plot;
  }
  EXPECT_NE(page.find("data-skipped-plot=\"phenotype\""), std::string::npos);
  EXPECT_NE(page.find("role=\"alert\""), std::string::npos) << "the warnings stand out";
  EXPECT_NE(page.find("<td class=\"number\">[0.0492, 0.0522]</td>"), std::string::npos);
  EXPECT_NE(page.find(R"x("series":"expected (nominal)")x"), std::string::npos);
}

TEST(ReportPageTest, EmptySeriesSkipTheirPlotsWithAReason) {
  ReportData data;
  data.title = "Nothing measured";
  data.power = {{"causal", 0.05, std::numeric_limits<double>::quiet_NaN(), 0, 0, 0.4, 0.4}};
  data.lambda = {std::numeric_limits<double>::quiet_NaN()};
  const std::string page = RenderReport(data);
  EXPECT_NE(page.find("<body data-plots-expected=\"1\">"), std::string::npos);
  EXPECT_NE(page.find("data-plot=\"power\""), std::string::npos);
  for (const char* plot : {"qq", "lambda", "ancestry", "phenotype"}) {
    EXPECT_EQ(page.find(std::string("data-plot=\"") + plot + "\""), std::string::npos) << plot;
    EXPECT_NE(page.find(std::string("data-skipped-plot=\"") + plot + "\">No "), std::string::npos) << plot;
  }
  EXPECT_EQ(page.find(R"("series":"observed")"), std::string::npos) << "a NaN observation is not plotted";
  EXPECT_NE(page.find(R"x("series":"expected (model)")x"), std::string::npos);
  EXPECT_NE(page.find("No summary"), std::string::npos);
}

TEST(ReportPageTest, OpensWithoutNetworkAccess) {
  const std::string page = Lowered(RenderReport(testing::SampleQuantitativeReport(20, 10, 20)));
  EXPECT_EQ(CountOf(page, "<script src"), 0U);
  EXPECT_EQ(CountOf(page, "<link"), 0U);
  EXPECT_EQ(CountOf(page, "@import"), 0U);
  // The libraries are inside the page, byte for byte.
  for (const ReportAsset asset : {ReportAsset::kVega, ReportAsset::kVegaLite, ReportAsset::kVegaEmbed}) {
    std::string script;
    for (const std::string_view chunk : ReportAssetChunks(asset)) script += chunk;
    ASSERT_GT(script.size(), 10'000U);
    EXPECT_NE(page.find(Lowered(script)), std::string::npos);
  }
}

TEST(ReportPageTest, FiveMillionNullPValuesMakeASmallPage) {
  testing::SampleDraws draws(11);
  ReportData data = testing::SampleCaseControlReport(10, 10, 20);
  data.nullP.resize(5'000'000);
  data.nullPAdjusted.resize(5'000'000);
  for (double& p : data.nullP) p = draws.Uniform();
  for (double& p : data.nullPAdjusted) p = draws.Uniform();
  const std::string page = RenderReport(data);
  EXPECT_LT(page.size(), 3'000'000U);
}

TEST(WriteReportTest, WritesThePage) {
  testing::TempDir dir;
  const ReportData data = testing::SampleQuantitativeReport(10, 5, 10);
  WriteReport(dir / "report.html", data);
  EXPECT_EQ(testing::ReadFile(dir / "report.html"), RenderReport(data));
}

TEST(WriteReportTest, WriteErrorsNameTheFile) {
  const ReportData data = testing::SampleQuantitativeReport(10, 5, 10);
  try {
    WriteReport("/dev/full", data);
    FAIL() << "writing to a full device must throw";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("/dev/full"), std::string::npos) << error.what();
  }
  testing::TempDir dir;
  try {
    WriteReport(dir / "missing" / "report.html", data);
    FAIL() << "writing into a missing folder must throw";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("missing/report.html"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace korvane
