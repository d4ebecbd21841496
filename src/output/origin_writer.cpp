#include "output/origin_writer.h"

#include "output/writer_support.h"

namespace korvane {

using namespace output_detail;

OriginWriter::OriginWriter(const std::filesystem::path& folder, AncestryFormat format, LineEnds lineEnds)
    : format_(format), file_(CreateIn(folder, "Origin.txt", lineEnds)) {
  file_.Write("IndID    Proportion of YRI\n");
}

void OriginWriter::Individual(const IndividualRecord& individual, const GenotypeRow& /*row*/) {
  TextBuffer line;
  AppendInt(line, individual.id);
  Append(line, "        ");
  if (format_ == AncestryFormat::kSourcePool) {
    // An individual of a source pool is wholly of that population.
    Append(line, individual.ancestry == 1.0 ? "1.0" : "0.0");
  } else {
    AppendFixed6(line, individual.ancestry);
  }
  Append(line, "\n");
  WriteOut(file_, line);
}

void OriginWriter::Close() { file_.Close(); }

}  // namespace korvane
