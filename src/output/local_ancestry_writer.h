#pragma once

// LocalAncestry.bp: the ancestry tracts of every written individual's two
// haplotypes, in the breakpoint format of haptools, written when local
// ancestry is tracked (--local-ancestry 1).
//
// For each individual, in the order written, a header line "<id>_1" and the
// tracts of haplotype 1, then "<id>_2" and those of haplotype 2; <id> is the
// IndividualId, the family and individual identifier of Plink.ped. A tract
// is a run of consecutive chosen loci of one region whose alleles were all
// copied from reference haplotypes of one population; its line is
//   <population>\t<chromosome>\t<end bp>\t<end cM>
// with the population YRI or SECOND, the region number 1 to 10 as in
// Plink.map, and the base-pair position ("%.0f") and the genetic position
// ("%f", centimorgans from the region's first chosen locus: the sum of the
// Plink.map distances) of the tract's last chosen locus. The tracts of a
// haplotype are in region and position order, and a region's last tract
// ends at its last chosen locus; a region without chosen loci has none.
//
// Why this format and not a table of ancestry per locus or per window: the
// tracts are exact (every switch of source population is at the chosen
// locus where it happens, not rounded to a window), they take a few lines
// per haplotype and region instead of one value per locus, and each
// individual's lines are written as it is written, from its two ancestry
// rows, so the writer holds nothing of the sample, whatever its size.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "output/format_writer.h"
#include "output/output_file.h"
#include "output/writer_support.h"

namespace korvane {

class LocalAncestryWriter : public FormatWriter {
 public:
  // Creates LocalAncestry.bp.
  LocalAncestryWriter(const std::filesystem::path& folder, LineEnds lineEnds);

  void BeginLoci() override;
  void Locus(const MapEntry& entry) override;
  // Throws std::invalid_argument for a row without ancestry rows or whose
  // loci are not those of the listing.
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Close() override;

 private:
  // The tracts of one haplotype's packed ancestry row, into line_.
  void AppendTracts(const std::uint64_t* ancestry);

  OutputFile file_;
  int loci_ = 0;
  int lastRegion_ = 0;
  output_detail::RegionCentimorgans centimorgans_;  // the genetic positions within the regions
  // The end of every locus's tract line ("\t<chromosome>\t<bp>\t<cM>\n"),
  // made once while the map is read: locusText_[locusStart_[g] ..
  // locusStart_[g + 1]) is that of locus g.
  std::string locusText_;
  std::vector<std::uint32_t> locusStart_;
  // Packed by locus like an ancestry row: the last chosen locus of each
  // region, where a tract ends whatever the next locus holds.
  std::vector<std::uint64_t> regionEnds_;
  output_detail::TextBuffer line_;
};

}  // namespace korvane
