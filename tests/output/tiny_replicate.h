#pragma once

// A hand-made replicate small enough to check every file byte by byte:
// seven loci in three regions, three individuals, null loci ahead of the
// candidate loci, a missing genotype, and a causal locus that is the first
// chosen locus of its region.

#include <optional>
#include <vector>

#include "output/format_writer.h"
#include "output/output_set.h"

namespace korvane::testing {

struct TinyReplicate {
  std::vector<MapEntry> entries;
  std::vector<IndividualRecord> individuals;
  std::vector<std::vector<Genotype>> genotypes;
  std::vector<std::uint8_t> isNull;
  ReplicateTruth truth;

  // Qualitative: cases 1 and 3, control 2; the causal locus is snp4.
  static TinyReplicate Qualitative() {
    TinyReplicate r;
    r.entries = {
        {1, 1, std::nullopt, 1000}, {1, 2, 0.0000004, 2000},  // prints as zero: NA in the ADMIXMAP locus list
        {1, 3, 0.001, 3000.5},                                // a halfway position: "%.0f" rounds it to even
        {2, 4, std::nullopt, 500},  {2, 5, 1.25, 12345678},  {3, 6, std::nullopt, 42}, {3, 7, 0.0, 43},
    };
    r.individuals = {
        {1, Sex::kMale, Affection::kAffected, std::nullopt, 1.0},
        {2, Sex::kFemale, Affection::kUnaffected, std::nullopt, 0.0},
        {3, Sex::kMale, Affection::kAffected, std::nullopt, 1.0},
    };
    r.genotypes = {
        {{1, 1}, {1, 2}, {2, 2}, {2, 1}, {1, 1}, {2, 2}, {1, 2}},
        {{2, 2}, {0, 0}, {1, 1}, {1, 2}, {2, 1}, {1, 1}, {0, 0}},
        {{1, 2}, {2, 2}, {1, 1}, {1, 1}, {2, 2}, {1, 2}, {2, 1}},
    };
    r.isNull = {1, 1, 0, 0, 1, 0, 0};
    r.truth.causalPositionsAll = {4};
    return r;
  }

  // Quantitative: the same loci and genotypes with phenotype values; QTLs at
  // snp4 (chosen twice) and snp7, and an unused slot (0).
  static TinyReplicate Quantitative() {
    TinyReplicate r = Qualitative();
    const double phenotypes[] = {-3.456, 20.0, 0.125};
    for (std::size_t i = 0; i < r.individuals.size(); ++i) {
      r.individuals[i].affection = std::nullopt;
      r.individuals[i].phenotype = phenotypes[i];
    }
    r.truth.causalPositionsAll = {4, 7, 4, 0};
    return r;
  }

  GenotypeRow Row(std::size_t i) const { return GenotypeRow{genotypes[i], isNull}; }

  template <typename Sink>
  void FeedLoci(Sink& sink) const {
    sink.BeginLoci();
    for (const MapEntry& entry : entries) sink.Locus(entry);
    sink.EndLoci();
  }

  template <typename Sink>
  void FeedIndividuals(Sink& sink) const {
    for (std::size_t i = 0; i < individuals.size(); ++i) sink.Individual(individuals[i], Row(i));
  }

  // The events of a successful attempt.
  template <typename Sink>
  void Feed(Sink& sink) const {
    FeedLoci(sink);
    FeedIndividuals(sink);
    sink.Finish(truth);
  }
};

}  // namespace korvane::testing
