// Writes a report page from sample data shaped like a real evaluation's, for
// the headless-browser test and the README's screenshot:
//   write_sample_report case-control|quantitative FILE
#include <cstdio>
#include <exception>
#include <string>

#include "evaluate/report.h"
#include "evaluate/report_samples.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_sample_report case-control|quantitative FILE\n");
    return 2;
  }
  const std::string study = argv[1];
  try {
    if (study == "case-control") {
      korvane::WriteReport(argv[2], korvane::testing::SampleCaseControlReport());
    } else if (study == "quantitative") {
      korvane::WriteReport(argv[2], korvane::testing::SampleQuantitativeReport());
    } else {
      std::fprintf(stderr, "write_sample_report: no study named %s\n", study.c_str());
      return 2;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "write_sample_report: %s\n", error.what());
    return 1;
  }
  return 0;
}
