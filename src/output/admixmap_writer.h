#pragma once

// ADMIXMAP: Admixmap_loci.txt (the locus list with each locus's distance
// from the previous one, NA for the first of a region and for distances that
// print as zero), Admixmap_geno.txt (a header of locus names, then one row of
// quoted genotype pairs per individual) and Admixmap_phen.txt (the trait:
// 1 for a case, 0 for a control).

#include <filesystem>

#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class AdmixmapWriter : public FormatWriter {
 public:
  // Creates Admixmap_loci.txt, Admixmap_geno.txt, Admixmap_phen.txt.
  AdmixmapWriter(const std::filesystem::path& folder, LineEnds lineEnds);

  // The loci header and the start of the genotype header.
  void BeginLoci() override;
  // The locus line and the locus's name in the genotype header.
  void Locus(const MapEntry& entry) override;
  // The end of the genotype header and the phenotype header.
  void EndLoci() override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  // Closes Admixmap_geno.txt, Admixmap_phen.txt, Admixmap_loci.txt.
  void Close() override;

 private:
  OutputFile loci_;
  OutputFile geno_;
  OutputFile phen_;
  output_detail::TextBuffer line_;
  output_detail::TextBuffer genoHeader_;
};

}  // namespace korvane
