#include "refdata/marker_set.h"

#include <algorithm>
#include <cmath>

namespace korvane {

int MarkerSet::RegionOf(int global) const {
  const auto it = std::upper_bound(offset.begin(), offset.end(), global);
  return static_cast<int>(it - offset.begin()) - 1;
}

void MarkerSet::IndexSelection() {
  total = 0;
  for (int r = 0; r < kRegions; ++r) {
    offset[r] = total;
    total += SelectedCount(r);
    recombination[r].assign(selected[r].size(), 0.0);
    switchThreshold[r].assign(selected[r].size(), 0);
  }
  offset[kRegions] = total;
  isNull.assign(total, 0);
  nullCount = 0;
}

int ThousandthsBelow(double probability) {
  // The count of t in 0..999 with t / 1000.0 < probability, found from an
  // estimate and settled with the exact comparison the draw makes.
  if (!(probability > 0.0)) return 0;
  if (probability > 1.0) return 1000;
  int t = static_cast<int>(std::ceil(probability * 1000.0));
  t = std::clamp(t, 0, 1000);
  while (t > 0 && (t - 1) / 1000.0 >= probability) --t;
  while (t < 1000 && t / 1000.0 < probability) ++t;
  return t;
}

MarkerSet SelectMarkers(RandomGenerator& gen, int totalLoci) {
  MarkerSet markers;
  const double p = totalLoci / 12867.0;
  const int hitBelow = ThousandthsBelow(p);
  int total = 0;
  while (total < totalLoci) {
    total = 0;
    for (int r = 0; r < MarkerSet::kRegions; ++r) {
      auto& chosen = markers.selected[r];
      chosen.clear();
      const int snps = RegionCatalogue::SnpCount(r);
      for (int i = 0; i < snps; ++i) {
        const int u = DrawThousandths(gen);
        if (u < hitBelow && total < totalLoci) {
          chosen.push_back(i);
          ++total;
        }
      }
    }
  }
  markers.IndexSelection();
  return markers;
}

MarkerSet SelectMarkersUniformly(LaneGenerator& gen, int totalLoci) {
  MarkerSet markers;
  int left = 0;
  for (int r = 0; r < MarkerSet::kRegions; ++r) left += RegionCatalogue::SnpCount(r);
  int wanted = std::clamp(totalLoci, 0, left);
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    const int snps = RegionCatalogue::SnpCount(r);
    for (int i = 0; i < snps; ++i, --left) {
      if (wanted == 0) break;
      if (UniformBelow(gen, static_cast<std::uint64_t>(left)) < static_cast<std::uint64_t>(wanted)) {
        markers.selected[r].push_back(i);
        --wanted;
      }
    }
  }
  markers.IndexSelection();
  return markers;
}

namespace {

// The letters SNP `snp` shows in `panel`, none when the panel kept none.
std::uint8_t LettersOf(const HaplotypeTable& panel, int snp) {
  return static_cast<std::size_t>(snp) < panel.letters.size() ? panel.letters[static_cast<std::size_t>(snp)] : 0;
}

}  // namespace

std::vector<MapEntry> MarkerMapEntries(const MarkerSet& markers, const ReferenceData& data) {
  std::vector<MapEntry> entries;
  entries.reserve(markers.total);
  int snpNumber = 1;
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    const auto& map = data.Region(r).map;
    const auto& chosen = markers.selected[r];
    double accumulated = 0.0;
    bool seenFirst = false;
    std::size_t next = 0;
    for (int i = 0; i < RegionCatalogue::SnpCount(r) && next < chosen.size(); ++i) {
      if (seenFirst) accumulated += map[i].distanceFromPrevious;
      if (chosen[next] != i) continue;
      MapEntry entry;
      entry.regionNumber = r + 1;
      entry.snpNumber = snpNumber++;
      if (seenFirst) entry.distance = accumulated;
      entry.position = map[i].position;
      const std::uint8_t letters = LettersOf(data.Region(r).yri, i) | LettersOf(data.Region(r).second, i);
      entry.classOneLetter = ClassLetter(letters, 1);
      entry.classTwoLetter = ClassLetter(letters, 2);
      entries.push_back(entry);
      accumulated = 0.0;
      seenFirst = true;
      ++next;
    }
  }
  return entries;
}

double KosambiFraction(double centimorgans) {
  const double x = 4.0 * centimorgans * 0.01;
  const double r = (std::exp(x) - 1.0) * 0.5 / (std::exp(x) + 1.0);
  // exp overflows beyond about 1775 cM, far beyond any real region, where the
  // fraction has long reached its limit of one half.
  return std::isnan(r) ? 0.5 : r;
}

std::vector<MapEntry> BuildMarkerMap(MarkerSet& markers, const ReferenceData& data) {
  std::vector<MapEntry> entries = MarkerMapEntries(markers, data);
  for (const MapEntry& entry : entries) {
    const int r = entry.regionNumber - 1;
    const int k = entry.snpNumber - 1 - markers.offset[r];
    const double fraction = entry.distance ? KosambiFraction(*entry.distance) : 0.0;
    markers.recombination[r][k] = fraction;
    markers.switchThreshold[r][k] = ThousandthsBelow(fraction);
  }
  return entries;
}

bool IsNullEligible(double frequency, float minMaf, float maxMaf) {
  const double lo = minMaf;
  const double hi = maxMaf;
  const double other = 1.0 - frequency;
  return (lo <= frequency && frequency <= hi) || (lo <= other && other <= hi);
}

std::vector<bool> NullEligibility(std::span<const double> frequency, float minMaf, float maxMaf) {
  std::vector<bool> eligible(frequency.size());
  for (std::size_t g = 0; g < frequency.size(); ++g) eligible[g] = IsNullEligible(frequency[g], minMaf, maxMaf);
  return eligible;
}

int ChooseNullLoci(MarkerSet& markers, const std::vector<bool>& eligible, int wanted,
                   std::span<const int> excludedRegions) {
  int count = 0;
  for (int r = 0; r < MarkerSet::kRegions; ++r) {
    const bool excluded = std::find(excludedRegions.begin(), excludedRegions.end(), r) != excludedRegions.end();
    for (int g = markers.offset[r]; g < markers.offset[r + 1]; ++g) {
      if (count >= wanted || excluded || !eligible[g]) {
        markers.isNull[g] = 0;
      } else {
        markers.isNull[g] = 1;
        ++count;
      }
    }
  }
  markers.nullCount = count;
  return count;
}

int CandidatePosition(const MarkerSet& markers, int global) {
  int position = 0;
  for (int g = 0; g <= global; ++g) position += !markers.IsNull(g);
  return position;
}

}  // namespace korvane
