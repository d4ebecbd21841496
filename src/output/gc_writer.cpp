#include "output/gc_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

// The trait column of a case-control study: 1 for a case, 0 for a control.
int TraitCode(Affection affection) { return affection == Affection::kAffected ? 1 : 0; }

}  // namespace

GcWriter::GcWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : file_(CreateIn(folder, "GC.txt", lineEnds)) {}

void GcWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  CheckRow(row);
  AppendInt(line_, individual.id);
  Append(line_, " ");
  if (individual.phenotype) {
    AppendFixed2(line_, *individual.phenotype);
  } else {
    AppendInt(line_, TraitCode(individual.CaseOrControl()));
  }
  // The candidate loci's codes, then the held-back null loci's.
  CollectNullLoci(row.isNull, nulls_);
  char* out = file_.Reserve(line_.size() + SpacedCodesRoom(row.genotypes.size()) + 1);
  out = PutText(out, std::string_view(line_.data(), line_.size()));
  out = PutSplit(out, row.genotypes, nulls_, PutSpacedCodes);
  out = PutNullLoci(out, row.genotypes, nulls_, PutSpacedCodes);
  *out++ = '\n';
  file_.Commit(out);
  line_.clear();
}

void GcWriter::Close() { file_.Close(); }

}  // namespace korvane
