#pragma once

// The loci of one replicate attempt: which SNPs of the catalogue are chosen,
// their numbering, the recombination fractions between consecutive chosen
// loci of a region, and the null-locus (AIM) flags.
//
// A chosen locus has three addresses: (region r, position k among the
// region's chosen loci); its global index g = offset[r] + k, 0-based in
// catalogue order; and its SNP number g + 1, the n of its name "snp<n>" in
// every output file.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "random/lane_generator.h"
#include "random/random_generator.h"
#include "refdata/reference_data.h"
#include "refdata/region_catalogue.h"

namespace korvane {

struct MarkerSet {
  static constexpr int kRegions = RegionCatalogue::kCount;

  // SNP indices (0-based, ascending) of the chosen loci of each region.
  std::array<std::vector<int>, kRegions> selected;
  // Global index of each region's first chosen locus; offset[kRegions] = total.
  std::array<int, kRegions + 1> offset{};
  int total = 0;
  // recombination[r][k]: probability of a switch between chosen loci k - 1
  // and k of region r (Kosambi's fraction of their map distance); [r][0] = 0.
  std::array<std::vector<double>, kRegions> recombination;
  // switchThreshold[r][k]: the number of thousandths below recombination[r][k],
  // so that a U(0,1) draw of t/1000 switches exactly when t < threshold.
  std::array<std::vector<int>, kRegions> switchThreshold;
  // Null-locus flags by global index; nullCount of them set.
  std::vector<std::uint8_t> isNull;
  int nullCount = 0;

  int SelectedCount(int r) const { return static_cast<int>(selected[r].size()); }
  bool IsNull(int global) const { return isNull[global] != 0; }
  int RegionOf(int global) const;

  // Builds the offsets, the total and empty fractions and flags from `selected`.
  void IndexSelection();
};

// Chooses exactly `totalLoci` SNPs (0 to 12867): passes over the catalogue,
// each drawing one U(0,1) per SNP and taking the SNP when the draw is below
// totalLoci / 12867 and the pass has not yet reached the target, until a pass
// reaches it. totalLoci 0 runs no pass and chooses nothing.
MarkerSet SelectMarkers(RandomGenerator& gen, int totalLoci);

// Chooses exactly `totalLoci` SNPs (0 to 12867) of the catalogue with every
// subset of that size equally likely (sequential selection sampling: SNP i
// of the N - i left is taken with probability wanted / (N - i), decided by an
// exactly uniform integer draw). The calibrated model's choice.
MarkerSet SelectMarkersUniformly(LaneGenerator& gen, int totalLoci);

// One line of the locus listings: a chosen locus with its map distance from
// the preceding chosen locus of its region (none for the first of a region).
struct MapEntry {
  int regionNumber = 0;            // region index + 1
  int snpNumber = 0;               // 1-based position among all chosen loci
  std::optional<double> distance;  // centimorgans
  double position = 0;             // base pairs
  // The letters of allele class 1 (A or T) and class 2 (C or G) in the
  // reference panels of both populations, where each class shows one
  // letter; 0 for a class that shows none or both (ClassLetter).
  char classOneLetter = 0;
  char classTwoLetter = 0;
};

// The map entries of every chosen locus in catalogue order, numbered from 1,
// with the letters of the panels of both populations.
// The distance of a locus is the sum of the distanceFromPrevious values of
// the SNPs after the preceding chosen locus of its region, up to and
// including itself.
std::vector<MapEntry> MarkerMapEntries(const MarkerSet& markers, const ReferenceData& data);

// Kosambi's map function, computed as (exp(x) - 1) * 0.5 / (exp(x) + 1) with
// x = 4 * d * 0.01 for a distance d in centimorgans.
double KosambiFraction(double centimorgans);

// The number of thousandths t/1000 (t = 0..999) that lie below `probability`:
// a U(0,1) draw u is below the probability exactly when its thousandths are
// below this number.
int ThousandthsBelow(double probability);

// Fills the recombination fractions (and switch thresholds) of `markers` from
// the map and returns the map entries for the map writers.
std::vector<MapEntry> BuildMarkerMap(MarkerSet& markers, const ReferenceData& data);

// Step 1 of the null-locus choice: a locus is eligible when its frequency m
// (of either allele class) satisfies minMaf <= m <= maxMaf or
// minMaf <= 1 - m <= maxMaf. `frequency` is indexed by global locus.
std::vector<bool> NullEligibility(std::span<const double> frequency, float minMaf, float maxMaf);
bool IsNullEligible(double frequency, float minMaf, float maxMaf);

// Steps 2 and 3: the first `wanted` eligible loci in catalogue order outside
// the excluded regions become the null loci; returns how many were found.
int ChooseNullLoci(MarkerSet& markers, const std::vector<bool>& eligible, int wanted,
                   std::span<const int> excludedRegions);

// The 1-based position of a chosen locus among the chosen loci that are not
// null loci.
int CandidatePosition(const MarkerSet& markers, int global);

}  // namespace korvane
