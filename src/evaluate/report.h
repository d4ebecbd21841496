#pragma once

// The evaluation's report page, report.html: one self-contained HTML file
// with the run's title and settings, the warnings, the summary table and the
// plots (the QQ plot of the null loci, the genomic-control lambda over the
// replicates, the power against its expectations, the ancestry and phenotype
// histograms). The plots are drawn by Vega-Lite, whose scripts the page
// carries inside itself, so it opens without network access.
//
// Rendering can be checked from outside: once every plot has been drawn or
// has failed, the page's script sets data-plots-rendered, data-plot-errors
// (script errors and failed plots) and data-plots-done="true" on the body,
// beside data-plots-expected, which the page is written with.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// One row of summary.tsv.
struct ReportSummaryRow {
  std::string statistic;   // "power causal", "type-I error", "lambda_gc", "lambda_gc_pc", ...
  std::string alpha;       // "0.05", "1e-3", ... or "" when it has none
  double observed;         // NaN when not applicable
  double low, high;        // 95 % interval (NaN when none)
  double expectedModel;    // expected from the model's own arithmetic (NaN when none)
  double expectedNominal;  // expected from the form's nominal numbers (NaN when none)
};

// Power at one trait locus and significance level, against its expectations.
struct ReportPowerPoint {
  std::string locus;  // "causal", "qtl1", ...
  double alpha, observed, low, high, expectedModel, expectedNominal;
};

struct ReportData {
  // "Case-control study, discrete model: 1000 replicates of 200 individuals"
  std::string title;
  std::vector<std::pair<std::string, std::string>> settings;  // the run's parameters, name and value
  std::vector<std::string> warnings;                          // each a sentence or two, with numbers
  std::vector<ReportSummaryRow> summary;
  std::vector<double> nullP;           // null-locus p-values pooled over replicates
  std::vector<double> nullPAdjusted;   // the same after the principal-component adjustment (may be empty)
  std::vector<double> lambda;          // per replicate
  std::vector<double> lambdaAdjusted;  // per replicate (may be empty)
  std::vector<ReportPowerPoint> power;
  std::vector<double> ancestryCases, ancestryControls;  // case-control: YRI ancestry of cases and controls (pooled)
  std::vector<double> ancestrySample;                   // quantitative: of the sample
  std::vector<double> phenotype;                        // quantitative: phenotype values (pooled)
};

// The whole page.
std::string RenderReport(const ReportData& data);

// Writes the page to `path`; throws std::runtime_error naming the file when it
// cannot be opened, written or closed.
void WriteReport(const std::filesystem::path& path, const ReportData& data);

}  // namespace korvane
