#include "output/plink_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

// The pedigree's affection column: 2 for a case, 1 for a control.
int PedigreeCode(Affection affection) { return affection == Affection::kAffected ? 2 : 1; }

// The pedigree file's sex code: 1 male, 2 female.
int SexCode(Sex sex) { return sex == Sex::kFemale ? 2 : 1; }

}  // namespace

void AppendPedigreeColumns(TextBuffer& line, const IndividualRecord& individual) {
  AppendInt(line, individual.id);
  Append(line, " ");
  AppendInt(line, individual.id);
  Append(line, " 0 0 ");
  AppendInt(line, SexCode(individual.sex));
  Append(line, " ");
  if (individual.phenotype) {
    AppendFixed2(line, *individual.phenotype);
  } else {
    AppendInt(line, PedigreeCode(individual.CaseOrControl()));
  }
}

PlinkWriter::PlinkWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : map_(CreateIn(folder, "Plink.map", lineEnds)), ped_(CreateIn(folder, "Plink.ped", lineEnds)) {}

void PlinkWriter::Locus(const MapEntry& entry) {
  // Chromosome, name, distance from the previous chosen locus of the region
  // (0 for the first of a region), base-pair position.
  AppendInt(line_, entry.regionNumber);
  Append(line_, " snp");
  AppendInt(line_, entry.snpNumber);
  Append(line_, "  ");
  AppendFixed6(line_, entry.distance.value_or(0.0));
  Append(line_, " ");
  AppendFixed0(line_, entry.position);
  Append(line_, "\n");
  WriteOut(map_, line_);
}

void PlinkWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  AppendPedigreeColumns(line_, individual);
  // Then "%d " per allele, haplotype 1 first, 0 0 when missing: the same
  // bytes as a space before each code and one at the end.
  char* out = ped_.Reserve(line_.size() + SpacedCodesRoom(row.genotypes.size()) + 2);
  out = PutText(out, std::string_view(line_.data(), line_.size()));
  out = PutSpacedCodes(out, row.genotypes);
  out = PutText(out, " \n");
  ped_.Commit(out);
  line_.clear();
}

void PlinkWriter::Close() { CloseInOrder({&map_, &ped_}); }

}  // namespace korvane
