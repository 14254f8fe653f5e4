#include "pack/colour/nearest.hpp"

#include <algorithm>
#include <limits>

namespace varnu::pack {

NearestEntry::NearestEntry(std::span<const Colour> palette,
                           const std::bitset<kPaletteEntries>& candidates) {
  labs_.reserve(palette.size());
  for (const Colour c : palette) labs_.push_back(to_oklab(c));
  for (std::size_t k = 0; k < palette.size(); ++k) {
    if (candidates.test(k)) by_lightness_.push_back({labs_[k], static_cast<std::uint8_t>(k)});
  }
  std::sort(by_lightness_.begin(), by_lightness_.end(), [](const Candidate& x, const Candidate& y) {
    return x.lab.l != y.lab.l ? x.lab.l < y.lab.l : x.index < y.index;
  });
}

std::uint8_t NearestEntry::nearest(const Lab& target) const {
  std::int64_t unused = 0;
  return nearest(target, unused);
}

std::uint8_t NearestEntry::nearest(const Lab& target, std::int64_t& best) const {
  const auto start = std::lower_bound(
      by_lightness_.begin(), by_lightness_.end(), target.l,
      [](const Candidate& c, std::int32_t l) { return c.lab.l < l; });
  best = std::numeric_limits<std::int64_t>::max();
  std::uint8_t chosen = 0;
  const auto consider = [&](const Candidate& c) {
    const std::int64_t d = distance_squared(c.lab, target);
    if (d < best || (d == best && c.index < chosen)) {
      best = d;
      chosen = c.index;
    }
  };
  // Lightness alone is a lower bound on the distance; equal to the best may still tie at a lower
  // index, so the walk stops only past it.
  const auto too_far = [&](const Candidate& c) {
    const std::int64_t dl = c.lab.l - target.l;
    return dl * dl > best;
  };
  for (auto it = start; it != by_lightness_.end() && !too_far(*it); ++it) consider(*it);
  for (auto it = start; it != by_lightness_.begin();) {
    --it;
    if (too_far(*it)) break;
    consider(*it);
  }
  return chosen;
}

}  // namespace varnu::pack
