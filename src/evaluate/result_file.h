#pragma once

// evaluation/results.bin: every replicate's evaluation as it was computed,
// so that the evaluations of the shards of one run (runs over adjacent
// replicate ranges, each with --evaluate) combine into the evaluation that
// one run of all the replicates writes, without reading a genotype again.
//
// The file is binary: the bytes "KORVANE-EVALUATION\n", a format version,
// the settings that shape the results (principal components, whether every
// locus's statistics are kept) and then each replicate's result, field by
// field, integers and the bits of doubles and floats little-endian, strings
// and lists with their lengths. Values are kept exactly, so the tables,
// report and summary made from a read file are those made from the results
// themselves.

#include <filesystem>
#include <span>
#include <vector>

#include "evaluate/replicate_evaluation.h"

namespace korvane {

inline constexpr const char* kResultFileName = "results.bin";

struct ResultFile {
  int principalComponents = 0;
  bool keepLoci = false;
  std::vector<ReplicateResult> results;
};

// Writes the results in the order given; throws std::runtime_error naming
// the file when it cannot be written.
void WriteResultFile(const std::filesystem::path& path, const EvaluationSettings& settings,
                     std::span<const ReplicateResult* const> results);

// Reads a file WriteResultFile wrote; throws std::runtime_error naming the
// file when it cannot be read or is not such a file (of this version).
ResultFile ReadResultFile(const std::filesystem::path& path);

}  // namespace korvane
