#include "output/structure_strat_writer.h"

namespace korvane {

using namespace output_detail;

namespace {

// STRAT's status column: 2 for a case, 1 for a control.
int StatusCode(Affection affection) { return affection == Affection::kAffected ? 2 : 1; }

}  // namespace

StructureStratWriter::StructureStratWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : structure_(CreateIn(folder, "Structure.txt", lineEnds)), strat_(CreateIn(folder, "Strat.txt", lineEnds)) {}

void StructureStratWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  CheckRow(row);
  CollectNullLoci(row.isNull, nulls_);
  const std::size_t nullCount = nulls_.size();
  const std::size_t candidateCount = row.genotypes.size() - nullCount;

  AppendInt(line_, individual.id);
  Append(line_, " ");
  AppendInt(line_, StatusCode(individual.CaseOrControl()));
  char* out = strat_.Reserve(line_.size() + SpacedCodesOrMinusNineRoom(candidateCount) + 1);
  out = PutText(out, std::string_view(line_.data(), line_.size()));
  out = PutSplit(out, row.genotypes, nulls_, PutSpacedCodesOrMinusNine);
  *out++ = '\n';
  strat_.Commit(out);
  line_.clear();

  AppendInt(line_, individual.id);
  out = structure_.Reserve(line_.size() + SpacedCodesOrMinusNineRoom(nullCount) + 1);
  out = PutText(out, std::string_view(line_.data(), line_.size()));
  out = PutNullLoci(out, row.genotypes, nulls_, PutSpacedCodesOrMinusNine);
  *out++ = '\n';
  structure_.Commit(out);
  line_.clear();
}

void StructureStratWriter::Close() { CloseInOrder({&structure_, &strat_}); }

}  // namespace korvane
