#include "pack/colour/distinct.hpp"

#include <array>
#include <utility>

namespace varnu::pack {
namespace {

constexpr unsigned kDigitBits = 12;  // two passes over 24-bit colours
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;

// One stable pass of a least-significant-digit radix sort, of items by the colour colour_of
// gives them.
template <typename Item, typename ColourOf>
void sort_by_digit(std::span<const Item> from, std::span<Item> to, unsigned shift,
                   ColourOf colour_of) {
  std::array<std::size_t, kDigits> start{};
  for (const Item& item : from) ++start[(colour_of(item) >> shift) & (kDigits - 1)];
  std::size_t total = 0;
  for (std::size_t& s : start) total += std::exchange(s, total);
  for (const Item& item : from) to[start[(colour_of(item) >> shift) & (kDigits - 1)]++] = item;
}

template <typename Item, typename ColourOf>
std::vector<Item> sorted_by_colour(std::vector<Item> items, ColourOf colour_of) {
  std::vector<Item> sorted(items.size());
  sort_by_digit<Item>(items, sorted, 0, colour_of);
  sort_by_digit<Item>(sorted, items, kDigitBits, colour_of);
  return items;
}

}  // namespace

std::vector<ColourCount> distinct_colours(std::span<const Colour> colours) {
  const std::vector<Colour> sorted = sorted_by_colour(
      std::vector<Colour>(colours.begin(), colours.end()), [](Colour c) { return c; });
  std::size_t different = 0;
  for (std::size_t k = 0; k < sorted.size(); ++k) different += k == 0 || sorted[k] != sorted[k - 1];
  std::vector<ColourCount> out;
  out.reserve(different);
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    if (k == 0 || sorted[k] != sorted[k - 1]) out.push_back({sorted[k], 0});
    ++out.back().pixels;
  }
  return out;
}

std::vector<std::uint32_t> positions_by_colour(std::span<const Colour> colours,
                                               std::span<const std::uint8_t> skip) {
  std::vector<std::uint32_t> positions;
  for (std::size_t p = 0; p < colours.size(); ++p) {
    if (skip[p] == 0) positions.push_back(static_cast<std::uint32_t>(p));
  }
  return sorted_by_colour(std::move(positions), [&](std::uint32_t p) { return colours[p]; });
}

}  // namespace varnu::pack
