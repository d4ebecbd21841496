#pragma once

// Origin.txt: each accepted individual's share of YRI ancestry, beside its
// identifier, under a one-line header written when the file is opened.

#include <filesystem>

#include "output/format_writer.h"
#include "output/output_file.h"

namespace korvane {

class OriginWriter : public FormatWriter {
 public:
  OriginWriter(const std::filesystem::path& folder, AncestryFormat format, LineEnds lineEnds);

  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Close() override;

 private:
  AncestryFormat format_;
  OutputFile file_;
};

}  // namespace korvane
