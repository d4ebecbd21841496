#pragma once

// STRUCTURE and STRAT: the chosen loci split by their null-locus flag.
// Structure.txt holds the null loci (AIMs) of each individual, Strat.txt its
// status and all other loci; a missing genotype reads -9 -9 in both.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class StructureStratWriter : public FormatWriter {
 public:
  // Creates Structure.txt, then Strat.txt.
  StructureStratWriter(const std::filesystem::path& folder, LineEnds lineEnds);

  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  // Closes Structure.txt, then Strat.txt.
  void Close() override;

 private:
  OutputFile structure_;
  OutputFile strat_;
  output_detail::TextBuffer line_;
  std::vector<std::uint32_t> nulls_;
};

}  // namespace korvane
