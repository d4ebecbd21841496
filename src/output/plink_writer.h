#pragma once

// PLINK: Plink.map, one line per chosen locus while the map is read, and
// Plink.ped, one pedigree line per accepted individual with its sex, its
// status (or phenotype value) and the allele codes of every chosen locus.

#include <filesystem>

#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

// The first six columns of an individual's pedigree line, as Plink.ped and
// Plink.fam hold them: family and individual identifiers (both the
// individual's id), no parents, sex (1 male, 2 female), then the status (2 a
// case, 1 a control) or the phenotype value with two decimals; no line end.
void AppendPedigreeColumns(output_detail::TextBuffer& line, const IndividualRecord& individual);

class PlinkWriter : public FormatWriter {
 public:
  // Creates Plink.map, then Plink.ped.
  PlinkWriter(const std::filesystem::path& folder, LineEnds lineEnds);

  void Locus(const MapEntry& entry) override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  // Closes Plink.map, then Plink.ped.
  void Close() override;

 private:
  OutputFile map_;
  OutputFile ped_;
  output_detail::TextBuffer line_;
};

}  // namespace korvane
