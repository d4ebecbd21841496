#include "output/output_set.h"

#include <stdexcept>

#include "output/writer_support.h"

namespace korvane {

using namespace output_detail;

namespace {

OutputFile OpenLog(const std::string& outputDirectory, const char* name, LineEnds lineEnds) {
  // Joined as text: a directory that ends in "/" gives a doubled separator.
  return OutputFile(outputDirectory + "/" + name, OutputFile::Mode::kAppend, lineEnds);
}

void AppendSnp(TextBuffer& text, int position, bool padded) {
  if (padded) {
    fmt::format_to(fmt::appender(text), "SNP{:<3} ", position);
  } else {
    fmt::format_to(fmt::appender(text), "SNP{} ", position);
  }
}

}  // namespace

CausalLogs::CausalLogs(const std::string& outputDirectory, StudyKind study, LineEnds lineEnds)
    : qualitative_(study == StudyKind::kQualitative) {
  const bool qualitative = qualitative_;
  all_ = OpenLog(outputDirectory,
                 qualitative ? "Causal_Locus_Plink&Admixmap&Eigensoft.txt" : "Causal_Loci_Plink&Admixmap&Eigensoft.txt",
                 lineEnds);
  stratGc_ = OpenLog(outputDirectory, qualitative ? "Causal_Locus_Strat&GC.txt" : "Causal_Loci_Strat&GC.txt", lineEnds);
}

void CausalLogs::WriteHeader(int activeQtlCount) {
  TextBuffer header;
  Append(header, "Simu#  ");
  if (qualitative_) {
    Append(header, "Causal locus");
  } else {
    for (int k = 1; k <= activeQtlCount; ++k) fmt::format_to(fmt::appender(header), "QTL{}   ", k);
  }
  Append(header, "\n");
  const std::string_view text(header.data(), header.size());
  all_.Write(text);
  stratGc_.Write(text);
  FlushBoth();
}

void CausalLogs::StartLine(int replicateNumber) {
  const std::string text = fmt::format("{}      ", replicateNumber);
  all_.Write(text);
  stratGc_.Write(text);
}

void CausalLogs::CausalEntry(int positionAll, int positionCandidate) {
  all_.Write(fmt::format("SNP{:<3}\n", positionAll));
  stratGc_.Write(fmt::format("SNP{:<3}\n", positionCandidate));
  FlushBoth();
}

void CausalLogs::QtlEntries(std::span<const int> positionsAll, std::span<const int> positionsCandidate,
                            bool paddedFormat) {
  if (positionsAll.size() != positionsCandidate.size()) {
    throw std::invalid_argument(fmt::format("causal-locus logs: {} positions among all loci but {} among candidates",
                                            positionsAll.size(), positionsCandidate.size()));
  }
  TextBuffer text;
  for (int position : positionsAll) AppendSnp(text, position, paddedFormat);
  Append(text, "\n");
  WriteOut(all_, text);
  for (int position : positionsCandidate) AppendSnp(text, position, paddedFormat);
  Append(text, "\n");
  WriteOut(stratGc_, text);
  FlushBoth();
}

void CausalLogs::EndLine() {
  all_.Write("\n");
  stratGc_.Write("\n");
  FlushBoth();
}

void CausalLogs::Close() { CloseInOrder({&all_, &stratGc_}); }

void CausalLogs::FlushBoth() {
  all_.Flush();
  stratGc_.Flush();
}

}  // namespace korvane
