#include "pack/colour/nearest.hpp"

#include <algorithm>
#include <limits>

namespace varnu::pack {
namespace {

constexpr std::int64_t kFarthest = std::numeric_limits<std::int64_t>::max();

// The two best of candidates offered one by one: by distance, then by index.
struct BestTwo {
  std::int64_t distance[2] = {kFarthest, kFarthest};
  std::uint8_t index[2] = {0, 0};
  bool before(std::int64_t d, std::uint8_t i, int rank) const {
    return d < distance[rank] || (d == distance[rank] && i < index[rank]);
  }
  void offer(std::int64_t d, std::uint8_t i) {
    if (before(d, i, 0)) {
      distance[1] = distance[0], index[1] = index[0];
      distance[0] = d, index[0] = i;
    } else if (before(d, i, 1)) {
      distance[1] = d, index[1] = i;
    }
  }
};

// Visits the elements of the sorted [first, last) outwards from `start`, upwards then downwards,
// each way until one is `too_far`: sorted by one coordinate, what lies farther along it than the
// best found cannot be nearer.
template <typename It, typename TooFar, typename Visit>
void outwards(It first, It last, It start, TooFar too_far, Visit visit) {
  for (auto it = start; it != last && !too_far(*it); ++it) visit(*it);
  for (auto it = start; it != first;) {
    --it;
    if (too_far(*it)) break;
    visit(*it);
  }
}

std::int64_t green(Colour c) { return c >> 8 & 0xFF; }

std::int64_t srgb_distance_squared(Colour x, Colour y) {
  std::int64_t sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::int64_t d = static_cast<std::int64_t>(x >> shift & 0xFF) - (y >> shift & 0xFF);
    sum += d * d;
  }
  return sum;
}

}  // namespace

NearestEntry::NearestEntry(std::span<const Colour> palette,
                           const std::bitset<kPaletteEntries>& candidates)
    : colours_(palette.begin(), palette.end()) {
  for (const Colour c : palette) {
    labs_.push_back(to_oklab(c));
    cies_.push_back(cie_colour(c));
  }
  for (std::size_t k = 0; k < palette.size(); ++k) {
    if (candidates.test(k)) by_lightness_.push_back({labs_[k], static_cast<std::uint8_t>(k)});
  }
  std::sort(by_lightness_.begin(), by_lightness_.end(), [](const Candidate& x, const Candidate& y) {
    return x.lab.l != y.lab.l ? x.lab.l < y.lab.l : x.index < y.index;
  });
  for (const Candidate& c : by_lightness_) by_green_.push_back({colours_[c.index], c.index});
  std::sort(by_green_.begin(), by_green_.end(), [](const ByGreen& x, const ByGreen& y) {
    return green(x.colour) != green(y.colour) ? green(x.colour) < green(y.colour)
                                              : x.index < y.index;
  });
}

std::uint8_t NearestEntry::nearest(const Lab& target) const {
  std::int64_t unused = 0;
  return nearest(target, unused);
}

std::uint8_t NearestEntry::nearest(const Lab& target, std::int64_t& best) const {
  std::uint8_t two[2];
  nearest_two(target, two);
  best = distance_squared(labs_[two[0]], target);
  return two[0];
}

void NearestEntry::nearest_two(const Lab& target, std::uint8_t (&chosen)[2]) const {
  const auto start = std::lower_bound(
      by_lightness_.begin(), by_lightness_.end(), target.l,
      [](const Candidate& c, std::int32_t l) { return c.lab.l < l; });
  BestTwo best;
  // Lightness alone is a lower bound on the distance; equal to the second best may still tie at
  // a lower index, so the walk stops only past it.
  const auto too_far = [&](const Candidate& c) {
    const std::int64_t dl = c.lab.l - target.l;
    return dl * dl > best.distance[1];
  };
  outwards(by_lightness_.begin(), by_lightness_.end(), start, too_far,
           [&](const Candidate& c) { best.offer(distance_squared(c.lab, target), c.index); });
  // With one candidate, the second is the first.
  chosen[0] = best.index[0];
  chosen[1] = best.distance[1] == kFarthest ? best.index[0] : best.index[1];
}

std::uint8_t NearestEntry::closest(Colour colour, double& best) const {
  std::uint8_t by_oklab[2];
  nearest_two(to_oklab(colour), by_oklab);
  // As by lightness: outwards from the colour's green, until green alone is farther than the
  // second best.
  BestTwo by_srgb;
  const auto start = std::lower_bound(
      by_green_.begin(), by_green_.end(), green(colour),
      [](const ByGreen& c, std::int64_t g) { return green(c.colour) < g; });
  const auto too_far = [&](const ByGreen& c) {
    const std::int64_t dg = green(c.colour) - green(colour);
    return dg * dg > by_srgb.distance[1];
  };
  outwards(by_green_.begin(), by_green_.end(), start, too_far, [&](const ByGreen& c) {
    by_srgb.offer(srgb_distance_squared(c.colour, colour), c.index);
  });
  const std::uint8_t shortlist[4] = {
      by_oklab[0], by_oklab[1], by_srgb.index[0],
      by_srgb.distance[1] == kFarthest ? by_srgb.index[0] : by_srgb.index[1]};
  const CieColour own = cie_colour(colour);
  best = 0.0;
  std::uint8_t chosen = shortlist[0];
  for (int k = 0; k < 4; ++k) {
    if (std::find(shortlist, shortlist + k, shortlist[k]) != shortlist + k) continue;
    const double d = ciede2000(own, cies_[shortlist[k]]);
    if (k == 0 || d < best || (d == best && shortlist[k] < chosen)) {
      best = d;
      chosen = shortlist[k];
    }
  }
  return chosen;
}

}  // namespace varnu::pack
