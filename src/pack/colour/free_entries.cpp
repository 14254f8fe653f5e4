// The choice is greedy: take the colour that matters most, then lower what every other colour
// matters by its distance to that one, and again. Only the colours that matter most at the start
// (a few times as many as there are entries) are weighed against each other, so that the work
// stays a few hundred thousand distances whatever the picture holds.
#include "pack/colour/free_entries.hpp"

#include <algorithm>
#include <cstdint>

namespace varnu::pack {
namespace {

constexpr std::size_t kContendersPerEntry = 8;

struct Contender {
  Colour colour;
  Lab lab;
  std::uint64_t pixels;
  std::uint64_t distance;  // to the nearest colour the picture can have so far
  std::uint64_t weight() const { return pixels * distance; }
};

// Heavier first; of equal weight, the lower colour, so that the order is total.
bool heavier(const Contender& x, const Contender& y) {
  return x.weight() != y.weight() ? x.weight() > y.weight() : x.colour < y.colour;
}

}  // namespace

std::vector<Colour> colours_for_free_entries(std::span<const ColourCount> fresh,
                                             const NearestEntry* palette, std::size_t free) {
  if (free == 0) return {};
  std::vector<Contender> contenders;
  contenders.reserve(fresh.size());
  for (const ColourCount& c : fresh) {
    const Lab lab = to_oklab(c.colour);
    // As far as black from white when there is nothing to be near.
    std::int64_t squared = std::int64_t{kLabOne} * kLabOne;
    if (palette != nullptr) palette->nearest(lab, squared);
    contenders.push_back(
        {c.colour, lab, c.pixels, whole_square_root(static_cast<std::uint64_t>(squared))});
  }
  const std::size_t kept = std::min(contenders.size(), free * kContendersPerEntry);
  std::nth_element(contenders.begin(), contenders.begin() + static_cast<std::ptrdiff_t>(kept),
                   contenders.end(), heavier);
  contenders.resize(kept);

  std::vector<Colour> chosen;
  while (chosen.size() < free && !contenders.empty()) {
    const auto best = std::min_element(contenders.begin(), contenders.end(), heavier);
    const Contender taken = *best;
    chosen.push_back(taken.colour);
    *best = contenders.back();
    contenders.pop_back();
    for (Contender& c : contenders) {
      c.distance = std::min<std::uint64_t>(c.distance, distance(c.lab, taken.lab));
    }
  }
  return chosen;
}

}  // namespace varnu::pack
