#pragma once

// GC: GC.txt, one line per accepted individual with its trait (1 case,
// 0 control, or the phenotype value) and the allele codes of the candidate
// (non-null) loci, followed by those of the null loci (AIMs), each group in
// catalogue order; a missing genotype reads 0 0.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class GcWriter : public FormatWriter {
 public:
  GcWriter(const std::filesystem::path& folder, LineEnds lineEnds);

  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Close() override;

 private:
  OutputFile file_;
  output_detail::TextBuffer line_;
  // The null loci of the row, whose codes are held back until the candidate
  // loci's are written.
  std::vector<std::uint32_t> nulls_;
};

}  // namespace korvane
