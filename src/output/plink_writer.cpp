#include "output/plink_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

// The pedigree's affection column: 2 for a case, 1 for a control.
int PedigreeCode(Affection affection) { return affection == Affection::kAffected ? 2 : 1; }

// The pedigree file's sex code: 1 male, 2 female.
int SexCode(Sex sex) { return sex == Sex::kFemale ? 2 : 1; }

}  // namespace

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
  // Family and individual identifiers, no parents, sex, then the status or
  // the phenotype value.
  AppendInt(line_, individual.id);
  Append(line_, " ");
  AppendInt(line_, individual.id);
  Append(line_, " 0 0 ");
  AppendInt(line_, SexCode(individual.sex));
  Append(line_, " ");
  if (individual.phenotype) {
    AppendFixed2(line_, *individual.phenotype);
  } else {
    AppendInt(line_, PedigreeCode(individual.CaseOrControl()));
  }
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
