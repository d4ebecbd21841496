#include "output/gc_writer.h"

namespace korvane {

using namespace output_detail;

GcWriter::GcWriter(const std::filesystem::path& folder, LineEnds lineEnds)
    : file_(CreateIn(folder, "GC.txt", lineEnds)) {}

void GcWriter::Individual(const IndividualRecord& individual, const GenotypeRow& row) {
  CheckRow(row);
  AppendInt(line_, individual.id);
  Append(line_, " ");
  if (individual.phenotype) {
    AppendFixed2(line_, *individual.phenotype);
  } else {
    AppendInt(line_, individual.status - 1);
  }
  heldBack_.clear();
  const std::size_t most = 4 * row.genotypes.size();
  char* out = Extend(line_, most);
  char* heldOut = Extend(heldBack_, most);
  for (std::size_t j = 0; j < row.genotypes.size(); ++j) {
    if (row.isNull[j] != 0) {
      heldOut = PutLeadingSpaced(heldOut, row.genotypes[j], "0");
    } else {
      out = PutLeadingSpaced(out, row.genotypes[j], "0");
    }
  }
  EndAt(line_, out);
  EndAt(heldBack_, heldOut);
  line_.append(heldBack_.data(), heldBack_.data() + heldBack_.size());
  Append(line_, "\n");
  WriteOut(file_, line_);
}

void GcWriter::Close() { file_.Close(); }

}  // namespace korvane
