#include "pack/colour/nearest.hpp"

#include <cmath>

namespace varnu::pack {
namespace {

// How much farther in sRGB than its nearest an entry may be for its nearness in CIELAB to count.
constexpr float kNearlyAsNear = 16.0f;

NearestPoint::Coordinates oklab_point(const Lab& lab) {
  return {lab.l, lab.a, lab.b};
}

// CIELAB to a thousandth (1/1024) of its unit, far finer than any difference people see.
NearestPoint::Coordinates cielab_point(const CieColour& cie) {
  const auto whole = [](double v) {
    return static_cast<std::int32_t>(std::floor(v * 1024.0 + 0.5));
  };
  return {whole(cie.l), whole(cie.a), whole(cie.b)};
}

NearestPoint::Coordinates srgb_point(Colour c) {
  return {static_cast<std::int32_t>(c >> 16 & 0xFF), static_cast<std::int32_t>(c >> 8 & 0xFF),
          static_cast<std::int32_t>(c & 0xFF)};
}

// The candidates at `place(k)`, and also at `also(k)`.
template <typename Place, typename Also>
NearestPoint search_of(const std::bitset<kPaletteEntries>& candidates, std::size_t entries,
                       Place place, Also also) {
  std::vector<NearestPoint::Point> points;
  for (std::size_t k = 0; k < entries; ++k) {
    if (candidates.test(k)) points.push_back({place(k), static_cast<std::uint8_t>(k), also(k)});
  }
  return NearestPoint(std::move(points));
}

std::vector<Lab> labs_of(std::span<const Colour> palette) {
  std::vector<Lab> labs;
  for (const Colour c : palette) labs.push_back(to_oklab(c));
  return labs;
}

std::vector<CieColour> cies_of(std::span<const Colour> palette) {
  std::vector<CieColour> cies;
  for (const Colour c : palette) cies.push_back(cie_colour(c));
  return cies;
}

}  // namespace

NearestEntry::NearestEntry(std::span<const Colour> palette,
                           const std::bitset<kPaletteEntries>& candidates)
    : labs_(labs_of(palette)),
      cies_(cies_of(palette)),
      by_oklab_(search_of(
          candidates, palette.size(), [&](std::size_t k) { return oklab_point(labs_[k]); },
          [](std::size_t) { return NearestPoint::Coordinates{}; })),
      by_srgb_(search_of(
          candidates, palette.size(), [&](std::size_t k) { return srgb_point(palette[k]); },
          [&](std::size_t k) { return cielab_point(cies_[k]); })) {}

std::uint8_t NearestEntry::nearest(const Lab& target) const {
  return by_oklab_.nearest(oklab_point(target)).index;
}

std::uint8_t NearestEntry::nearest(const Lab& target, std::uint8_t near) const {
  return by_oklab_.nearest(oklab_point(target), near).index;
}

std::uint8_t NearestEntry::nearest(const Lab& target, std::int64_t& distance_squared) const {
  const NearestPoint::Found found = by_oklab_.nearest(oklab_point(target));
  distance_squared = found.distance_squared;
  return found.index;
}

std::uint8_t NearestEntry::closest(Colour colour, double& error) const {
  const CieColour own = cie_colour(colour);
  const NearestPoint::NearestTwice found =
      by_srgb_.nearest_within(srgb_point(colour), cielab_point(own), kNearlyAsNear);
  const std::uint8_t by_cielab = found.nearest_also;
  const std::uint8_t by_srgb = found.nearest;
  if (by_srgb == by_cielab) {
    error = ciede2000(own, cies_[by_cielab]);
    return by_cielab;
  }
  const auto [to_cielab, to_srgb] = ciede2000(own, {cies_[by_cielab], cies_[by_srgb]});
  const bool srgb_nearer = to_srgb < to_cielab || (to_srgb == to_cielab && by_srgb < by_cielab);
  error = srgb_nearer ? to_srgb : to_cielab;
  return srgb_nearer ? by_srgb : by_cielab;
}

}  // namespace varnu::pack
