#include "output/structure_strat_writer.h"

namespace korvane {

using namespace output_detail;

StructureStratWriter::StructureStratWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : structure_(CreateIn(folder, "Structure.txt", lineEnds)), strat_(CreateIn(folder, "Strat.txt", lineEnds)) {}

void StructureStratWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  CheckRow(row);
  AppendInt(stratLine_, individual.id);
  Append(stratLine_, " ");
  AppendInt(stratLine_, individual.status);
  AppendInt(structureLine_, individual.id);
  // At most " -9 -9" per locus, in one file or the other.
  const std::size_t most = 6 * row.genotypes.size();
  char* structureOut = Extend(structureLine_, most);
  char* stratOut = Extend(stratLine_, most);
  for (std::size_t j = 0; j < row.genotypes.size(); ++j) {
    if (row.isNull[j] != 0) {
      structureOut = PutLeadingSpaced(structureOut, row.genotypes[j], "-9");
    } else {
      stratOut = PutLeadingSpaced(stratOut, row.genotypes[j], "-9");
    }
  }
  EndAt(structureLine_, structureOut);
  EndAt(stratLine_, stratOut);
  Append(structureLine_, "\n");
  Append(stratLine_, "\n");
  WriteOut(strat_, stratLine_);
  WriteOut(structure_, structureLine_);
}

void StructureStratWriter::Close() { CloseInOrder({&structure_, &strat_}); }

}  // namespace korvane
