#include "population/generation_parts.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace korvane {

void BuildInParts(WorkTeam& team, int parts, RandomGenerator& gen, int count,
                  const std::function<std::uint64_t(int item)>& drawsBefore,
                  const std::function<void(int part, RandomGenerator& gen, int begin, int end)>& build) {
  parts = std::max(1, std::min({parts, team.Size(), count}));
  if (parts == 1) {
    build(0, gen, 0, count);
    return;
  }
  const std::uint32_t start = gen.State();
  std::vector<std::uint32_t> ends(static_cast<std::size_t>(parts));
  auto bound = [&](int part) { return static_cast<int>(static_cast<long long>(count) * part / parts); };
  team.Run(parts, [&](int part) {
    RandomGenerator own;
    own.SetState(JumpOf(drawsBefore(bound(part))).Apply(start));
    build(part, own, bound(part), bound(part + 1));
    ends[part] = own.State();
  });
  for (int part = 0; part < parts; ++part) {
    if (ends[part] != JumpOf(drawsBefore(bound(part + 1))).Apply(start)) {
      throw std::logic_error("a generation's draws differ from their count; its children cannot be split");
    }
  }
  gen.SetState(ends[parts - 1]);
}

}  // namespace korvane
