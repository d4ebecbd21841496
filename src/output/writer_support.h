#pragma once

// Helpers shared by the format writers: line text is built in a reusable
// memory buffer and handed to its file whole. Numbers go through {fmt},
// whose fixed-point output is the exactly rounded decimal value, the same
// text as the C library's "%f", "%.2f" and "%.0f", and independent of the
// locale.

#include <fmt/format.h>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

#include "output/format_writer.h"
#include "output/output_file.h"

namespace korvane::output_detail {

using TextBuffer = fmt::memory_buffer;

inline void Append(TextBuffer& text, std::string_view piece) { text.append(piece.data(), piece.data() + piece.size()); }

// "%d"
inline void AppendInt(TextBuffer& text, int value) { fmt::format_to(fmt::appender(text), "{}", value); }
// "%f": six decimals.
inline void AppendFixed6(TextBuffer& text, double value) { fmt::format_to(fmt::appender(text), "{:.6f}", value); }
// "%.2f"
inline void AppendFixed2(TextBuffer& text, double value) { fmt::format_to(fmt::appender(text), "{:.2f}", value); }
// "%.0f"
inline void AppendFixed0(TextBuffer& text, double value) { fmt::format_to(fmt::appender(text), "{:.0f}", value); }

// The code of an allele class in the genotype formats: 1 for class 1 (A, T),
// 2 for any other class.
inline char AlleleCode(std::uint8_t alleleClass) { return alleleClass == 1 ? '1' : '2'; }

// Per-locus text is written through a pointer into room reserved in advance
// (one resize per line instead of one append per allele):
//   char* out = Extend(text, most);  ... *out++ = c; ...  EndAt(text, out);
inline char* Extend(TextBuffer& text, std::size_t most) {
  const std::size_t used = text.size();
  text.resize(used + most);
  return text.data() + used;
}
inline void EndAt(TextBuffer& text, const char* end) { text.resize(static_cast<std::size_t>(end - text.data())); }

// Writes " a b": the genotype's two allele codes, each after a space, or
// `missing` for both alleles of a missing genotype. Returns the new end.
inline char* PutLeadingSpaced(char* out, const Genotype& genotype, std::string_view missing) {
  if (genotype.Missing()) {
    for (int k = 0; k < 2; ++k) {
      *out++ = ' ';
      for (char c : missing) *out++ = c;
    }
    return out;
  }
  out[0] = ' ';
  out[1] = AlleleCode(genotype.first);
  out[2] = ' ';
  out[3] = AlleleCode(genotype.second);
  return out + 4;
}

// Hands the whole buffer to the file and empties the buffer.
inline void WriteOut(OutputFile& file, TextBuffer& text) {
  file.Write(std::string_view(text.data(), text.size()));
  text.clear();
}

// Opens `name` in `folder` for writing, emptied.
inline OutputFile CreateIn(const std::filesystem::path& folder, const char* name, LineEnds lineEnds) {
  return OutputFile(folder / name, OutputFile::Mode::kTruncate, lineEnds);
}

// Runs every step in order, also after one has failed, then rethrows the
// first failure: a file that cannot be closed does not keep the others open.
class FirstFailure {
 public:
  template <typename Step>
  void Run(Step&& step) {
    try {
      step();
    } catch (...) {
      if (!first_) first_ = std::current_exception();
    }
  }
  void Rethrow() const {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::exception_ptr first_;
};

// Closes the files in the given order; throws the first failure after trying all.
inline void CloseInOrder(std::initializer_list<OutputFile*> files) {
  FirstFailure failure;
  for (OutputFile* file : files) failure.Run([file] { file->Close(); });
  failure.Rethrow();
}

// Throws std::invalid_argument unless the row has one null-locus flag per genotype.
inline void CheckRow(const GenotypeRow& row) {
  if (row.isNull.size() != row.genotypes.size()) {
    throw std::invalid_argument(fmt::format("genotype row: {} genotypes but {} null-locus flags",
                                            row.genotypes.size(), row.isNull.size()));
  }
}

}  // namespace korvane::output_detail
