#include "evaluate/report.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <span>
#include <stdexcept>
#include <string_view>

#include "evaluate/report_assets.h"
#include "evaluate/report_plot_data.h"
#include "evaluate/report_text.h"

namespace korvane {

namespace {

constexpr std::string_view kUnadjusted = "unadjusted";
constexpr std::string_view kAdjusted = "PC-adjusted";
constexpr std::size_t kAncestryBins = 20;
constexpr std::size_t kPhenotypeBins = 40;

constexpr std::string_view kStyle = R"css(
body { font-family: "Liberation Sans", Arial, sans-serif; color: #1d2430; margin: 0 auto; max-width: 1180px; padding: 24px 32px 48px; line-height: 1.4; }
h1 { font-size: 1.6em; margin: 0 0 4px; }
h2 { font-size: 1.2em; margin: 28px 0 10px; border-bottom: 1px solid #d5dbe3; padding-bottom: 4px; }
h3 { font-size: 1em; margin: 0 0 6px; }
.subtitle { color: #5a6573; margin: 0; }
.warnings { background: #fff4e0; border: 2px solid #e69b00; border-radius: 6px; padding: 10px 18px; margin: 18px 0; }
.warnings h2 { border: none; margin: 4px 0; color: #8a4b00; }
.warnings li { margin: 4px 0; }
.no-warnings { color: #2e7d32; }
table { border-collapse: collapse; font-size: 0.92em; }
th, td { padding: 3px 12px 3px 0; text-align: left; vertical-align: top; }
th { border-bottom: 1px solid #9aa5b1; }
td.number { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tbody tr:nth-child(even) { background: #f3f5f8; }
.settings { columns: 2; column-gap: 40px; font-size: 0.92em; margin: 0; }
.settings div { break-inside: avoid; padding: 1px 0; }
.settings dt { display: inline; color: #5a6573; }
.settings dt::after { content: ": "; }
.settings dd { display: inline; margin: 0; }
.plots { display: flex; flex-wrap: wrap; gap: 20px 36px; }
figure { margin: 0; }
figcaption { color: #5a6573; font-size: 0.88em; max-width: 520px; margin-top: 4px; }
.skipped { color: #5a6573; font-style: italic; }
)css";

struct Plot {
  std::string_view name;  // the page script's name of the plot
  std::string_view heading;
  std::string_view caption;  // what the plot shows
  std::string_view skipped;  // why it is left out when its data are empty
  bool present;
};

bool AnyFinite(std::span<const double> values) {
  return std::any_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// A few significant digits are plenty for a plotted coordinate.
void AppendCoordinate(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  fmt::format_to(std::back_inserter(out), "{:.5g}", value);
}

// A list of plotted coordinates, as a JSON array.
void AppendCoordinates(std::string& out, const std::vector<double>& values) {
  out += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    AppendCoordinate(out, values[i]);
  }
  out += ']';
}

// One series of the QQ plot as columns (the page turns them into points):
// most of a report's data, so kept as compact as a plot allows.
void AppendQqSeries(std::string& out, std::string_view series, std::span<const double> p_values, bool& first) {
  if (p_values.empty()) return;
  const auto finite_count = static_cast<std::size_t>(
      std::count_if(p_values.begin(), p_values.end(), [](double p) { return std::isfinite(p); }));
  std::vector<double> expected;
  std::vector<double> observed;
  for (const QqPoint& point : ThinQqPoints(p_values)) {
    expected.push_back(ExpectedQqLog10(point.rank, finite_count));
    observed.push_back(-std::log10(point.p));
  }
  out += first ? "\n" : ",\n";
  first = false;
  out += R"({"name":)";
  AppendJsonString(out, series);
  fmt::format_to(std::back_inserter(out), R"(,"count":{},"x":)", finite_count);
  AppendCoordinates(out, expected);
  out += R"(,"y":)";
  AppendCoordinates(out, observed);
  out += '}';
}

void AppendQqData(std::string& out, const ReportData& data) {
  out += R"("qq":{"series":[)";
  bool first = true;
  AppendQqSeries(out, kUnadjusted, data.nullP, first);
  AppendQqSeries(out, kAdjusted, data.nullPAdjusted, first);
  // The adjusted p-values are those of the same null loci, so one band serves
  // both series; it is the adjusted series' own when it is the only one.
  const auto& banded = data.nullP.empty() ? data.nullPAdjusted : data.nullP;
  const auto finite_count =
      static_cast<std::size_t>(std::count_if(banded.begin(), banded.end(), [](double p) { return std::isfinite(p); }));
  std::vector<double> expected;
  std::vector<double> low;
  std::vector<double> high;
  for (const QqBandPoint& point : QqConfidenceBand(finite_count)) {
    expected.push_back(point.expected);
    low.push_back(point.low);
    high.push_back(point.high);
  }
  out += R"(],"band":{"x":)";
  AppendCoordinates(out, expected);
  out += R"(,"low":)";
  AppendCoordinates(out, low);
  out += R"(,"high":)";
  AppendCoordinates(out, high);
  out += "}}";
}

void AppendBins(std::string& out, std::string_view key, std::string_view label, const std::vector<HistogramBin>& bins,
                bool& first) {
  std::size_t total = 0;
  for (const HistogramBin& bin : bins) total += bin.count;
  for (const HistogramBin& bin : bins) {
    out += first ? "\n" : ",\n";
    first = false;
    out += '{';
    AppendJsonString(out, key);
    out += ':';
    AppendJsonString(out, label);
    out += R"(,"start":)";
    AppendCoordinate(out, bin.start);
    out += R"(,"end":)";
    AppendCoordinate(out, bin.end);
    fmt::format_to(std::back_inserter(out), R"(,"count":{},"fraction":)", bin.count);
    AppendCoordinate(out, total == 0 ? 0.0 : static_cast<double>(bin.count) / static_cast<double>(total));
    out += '}';
  }
}

void AppendLambdaData(std::string& out, const ReportData& data) {
  const ValueRange range = FiniteRange(data.lambda, data.lambdaAdjusted);
  const std::size_t replicates = std::max(data.lambda.size(), data.lambdaAdjusted.size());
  const auto bin_count =
      std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(replicates)))), 5, 30);
  out += R"("lambda":[)";
  bool first = true;
  if (AnyFinite(data.lambda)) {
    AppendBins(out, "series", kUnadjusted, Histogram(data.lambda, range.low, range.high, bin_count), first);
  }
  if (AnyFinite(data.lambdaAdjusted)) {
    AppendBins(out, "series", kAdjusted, Histogram(data.lambdaAdjusted, range.low, range.high, bin_count), first);
  }
  out += ']';
}

void AppendPowerRow(std::string& out, const ReportPowerPoint& point, std::string_view series, double value, double low,
                    double high, bool& first) {
  if (!std::isfinite(value)) return;
  out += first ? "\n" : ",\n";
  first = false;
  out += R"({"locus":)";
  AppendJsonString(out, point.locus);
  out += R"(,"alpha":)";
  AppendJsonNumber(out, point.alpha);
  out += R"(,"alphaLabel":)";
  AppendJsonString(out, fmt::format("{:g}", point.alpha));
  out += R"(,"series":)";
  AppendJsonString(out, series);
  out += R"(,"value":)";
  AppendJsonNumber(out, value);
  out += R"(,"low":)";
  AppendJsonNumber(out, low);
  out += R"(,"high":)";
  AppendJsonNumber(out, high);
  out += '}';
}

void AppendPowerData(std::string& out, const ReportData& data) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  out += R"("power":[)";
  bool first = true;
  for (const ReportPowerPoint& point : data.power) {
    AppendPowerRow(out, point, "observed", point.observed, point.low, point.high, first);
    AppendPowerRow(out, point, "expected (model)", point.expectedModel, kNone, kNone, first);
    AppendPowerRow(out, point, "expected (nominal)", point.expectedNominal, kNone, kNone, first);
  }
  out += ']';
}

void AppendAncestryData(std::string& out, const ReportData& data) {
  out += R"("ancestry":[)";
  bool first = true;
  const std::pair<std::string_view, const std::vector<double>*> groups[] = {
      {"cases", &data.ancestryCases}, {"controls", &data.ancestryControls}, {"sample", &data.ancestrySample}};
  for (const auto& [group, values] : groups) {
    if (!values->empty()) AppendBins(out, "group", group, Histogram(*values, 0, 1, kAncestryBins), first);
  }
  out += ']';
}

void AppendPhenotypeData(std::string& out, const ReportData& data) {
  out += R"("phenotype":[)";
  bool first = true;
  if (AnyFinite(data.phenotype)) {
    const ValueRange range = FiniteRange(data.phenotype);
    AppendBins(out, "series", "phenotype", Histogram(data.phenotype, range.low, range.high, kPhenotypeBins), first);
  }
  out += ']';
}

void AppendPlotData(std::string& out, const ReportData& data) {
  out += '{';
  AppendQqData(out, data);
  out += ",\n";
  AppendLambdaData(out, data);
  out += ",\n";
  AppendPowerData(out, data);
  out += ",\n";
  AppendAncestryData(out, data);
  out += ",\n";
  AppendPhenotypeData(out, data);
  out += "}\n";
}

void AppendAsset(std::string& out, ReportAsset asset) {
  std::string text;
  for (const std::string_view chunk : ReportAssetChunks(asset)) text += chunk;
  out += "<script>";
  AppendScriptText(out, text);
  out += "</script>\n";
}

void AppendWarnings(std::string& out, const ReportData& data) {
  if (data.warnings.empty()) {
    out += "<p class=\"no-warnings\">No warnings: the checks of this run found nothing to report.</p>\n";
    return;
  }
  out += "<section class=\"warnings\" role=\"alert\">\n<h2>\u26a0 Warnings</h2>\n<ul>\n";
  for (const std::string& warning : data.warnings) {
    out += "<li>";
    AppendHtmlEscaped(out, warning);
    out += "</li>\n";
  }
  out += "</ul>\n</section>\n";
}

void AppendSettings(std::string& out, const ReportData& data) {
  if (data.settings.empty()) return;
  out += "<h2>Settings</h2>\n<dl class=\"settings\">\n";
  for (const auto& [name, value] : data.settings) {
    out += "<div><dt>";
    AppendHtmlEscaped(out, name);
    out += "</dt><dd>";
    AppendHtmlEscaped(out, value);
    out += "</dd></div>\n";
  }
  out += "</dl>\n";
}

void AppendNumberCell(std::string& out, double value) {
  out += "<td class=\"number\">";
  out += FormatReportNumber(value);
  out += "</td>";
}

void AppendSummary(std::string& out, const ReportData& data) {
  out += "<h2>Summary</h2>\n";
  if (data.summary.empty()) {
    out += "<p class=\"skipped\">No summary: the evaluation computed no statistic.</p>\n";
    return;
  }
  out +=
      "<table class=\"summary\">\n<thead><tr><th>statistic</th><th>\u03b1</th><th>observed</th>"
      "<th>95 % interval</th><th>expected (model)</th><th>expected (nominal)</th></tr></thead>\n<tbody>\n";
  for (const ReportSummaryRow& row : data.summary) {
    out += "<tr><td>";
    AppendHtmlEscaped(out, row.statistic);
    out += "</td><td class=\"number\">";
    AppendHtmlEscaped(out, row.alpha);
    out += "</td>";
    AppendNumberCell(out, row.observed);
    out += "<td class=\"number\">";
    if (std::isfinite(row.low) || std::isfinite(row.high)) {
      out += fmt::format("[{}, {}]", FormatReportNumber(row.low), FormatReportNumber(row.high));
    } else {
      out += FormatReportNumber(row.low);
    }
    out += "</td>";
    AppendNumberCell(out, row.expectedModel);
    AppendNumberCell(out, row.expectedNominal);
    out += "</tr>\n";
  }
  out += "</tbody>\n</table>\n";
}

std::vector<Plot> Plots(const ReportData& data) {
  return {
      {"qq", "QQ plot of the null loci",
       "Pooled null-locus p-values against their expectation under the null, with the pointwise 95 % band of "
       "each order statistic and the identity line; the smallest p-values are all shown, the rest thinned.",
       "No QQ plot: the run has no null-locus p-values.", !data.nullP.empty() || !data.nullPAdjusted.empty()},
      {"lambda", "Genomic-control \u03bb over the replicates",
       "Per-replicate genomic-control \u03bb, before and after the principal-component adjustment; the dashed "
       "line is \u03bb = 1.",
       "No \u03bb plot: no replicate has a genomic-control \u03bb.",
       AnyFinite(data.lambda) || AnyFinite(data.lambdaAdjusted)},
      {"power", "Power at the trait loci",
       "Observed power with its 95 % Wilson interval, and the power expected from the model and from the "
       "nominal numbers, by locus and significance level.",
       "No power plot: the run has no trait-locus power.", !data.power.empty()},
      {"ancestry", "YRI ancestry", "Individual YRI ancestry pooled over the replicates, as a fraction of each group.",
       "No ancestry plot: the run recorded no individual ancestry.",
       !data.ancestryCases.empty() || !data.ancestryControls.empty() || !data.ancestrySample.empty()},
      {"phenotype", "Phenotype", "Quantitative phenotype values pooled over the replicates.",
       "No phenotype plot: the run has no quantitative phenotype (a case-control study has none).",
       AnyFinite(data.phenotype)},
  };
}

}  // namespace

std::string RenderReport(const ReportData& data) {
  const std::vector<Plot> plots = Plots(data);
  const auto expected = std::count_if(plots.begin(), plots.end(), [](const Plot& plot) { return plot.present; });

  std::string out;
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Korvane evaluation: ";
  AppendHtmlEscaped(out, data.title);
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n";
  // The page's script first, so that it counts an error in any script after it.
  AppendAsset(out, ReportAsset::kPageScript);
  AppendAsset(out, ReportAsset::kVega);
  AppendAsset(out, ReportAsset::kVegaLite);
  AppendAsset(out, ReportAsset::kVegaEmbed);
  out += "<script type=\"application/json\" id=\"report-data\">";
  AppendPlotData(out, data);
  out += "</script>\n</head>\n";
  fmt::format_to(std::back_inserter(out), "<body data-plots-expected=\"{}\">\n", expected);

  out += "<header>\n<h1>";
  AppendHtmlEscaped(out, data.title);
  out += "</h1>\n<p class=\"subtitle\">Korvane evaluation report</p>\n</header>\n";
  AppendWarnings(out, data);
  AppendSettings(out, data);
  AppendSummary(out, data);
  out += "<h2>Plots</h2>\n<div class=\"plots\">\n";
  for (const Plot& plot : plots) {
    out += "<figure>\n<h3>";
    out += plot.heading;
    out += "</h3>\n";
    if (plot.present) {
      fmt::format_to(std::back_inserter(out),
                     "<div class=\"plot\" data-plot=\"{}\"></div>\n<figcaption>{}</figcaption>\n", plot.name,
                     plot.caption);
    } else {
      fmt::format_to(std::back_inserter(out), "<p class=\"skipped\" data-skipped-plot=\"{}\">{}</p>\n", plot.name,
                     plot.skipped);
    }
    out += "</figure>\n";
  }
  out += "</div>\n</body>\n</html>\n";
  return out;
}

void WriteReport(const std::filesystem::path& path, const ReportData& data) {
  const std::string page = RenderReport(data);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error(fmt::format("cannot open {} to write the report", path.string()));
  file.write(page.data(), static_cast<std::streamsize>(page.size()));
  file.close();
  if (!file) throw std::runtime_error(fmt::format("cannot write the report {}", path.string()));
}

}  // namespace korvane
