// Colours are gathered in small maps that stop at what a palette can hold; only a picture whose
// colours do not fit has them all counted, by sorting, in memory that grows with its pixels alone.
#include "pack/picture/colour_map.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "pack/colour/approximate.hpp"
#include "pack/colour/distinct.hpp"
#include "pack/colour/free_entries.hpp"
#include "pack/colour/nearest.hpp"
#include "pack/colour/quantize.hpp"
#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

constexpr std::uint8_t kKeyEntry = 0;

std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Calls visit(pixel) for every pixel from the top-left, row by row: the order people read a
// picture in, whichever way the rows are stored.
template <typename Visit>
void top_left_first(const TrueColourPicture& picture, Visit visit) {
  const std::size_t width = picture.width;
  for (std::size_t y = picture.height; y-- > 0;) {
    for (std::size_t x = 0; x < width; ++x) visit(y * width + x);
  }
}

// The different colours of the pixels not yet settled.
std::vector<ColourCount> unsettled_colours(const TrueColourPicture& picture,
                                           std::span<const std::uint8_t> settled) {
  std::vector<Colour> colours;
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    if (settled[p] == 0) colours.push_back(picture.colours[p]);
  }
  return distinct_colours(colours);
}

// Settles every unsettled pixel whose colour is one of `entries`' at that entry.
void settle_at(const TrueColourPicture& picture,
               const std::vector<std::pair<std::uint8_t, Colour>>& entries,
               std::span<std::uint8_t> settled, std::span<std::uint8_t> indices) {
  std::vector<std::pair<Colour, std::uint8_t>> by_colour;
  for (const auto& [index, colour] : entries) by_colour.emplace_back(colour, index);
  std::sort(by_colour.begin(), by_colour.end());
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    if (settled[p] != 0) continue;
    const auto it = std::lower_bound(by_colour.begin(), by_colour.end(),
                                     std::pair<Colour, std::uint8_t>{picture.colours[p], 0});
    if (it != by_colour.end() && it->first == picture.colours[p]) {
      indices[p] = it->second;
      settled[p] = 1;
    }
  }
}

// The entries 1 to count - 1: all that a new colour may be shown by.
std::bitset<kPaletteEntries> all_but_the_key(std::size_t count) {
  std::bitset<kPaletteEntries> entries;
  for (std::size_t k = 1; k < count && k < kPaletteEntries; ++k) entries.set(k);
  return entries;
}

MappedPicture reduced_to_own_palette(const TrueColourPicture& picture, const RemapOptions& options) {
  MappedPicture mapped;
  mapped.indices.resize(picture.colours.size());
  std::vector<std::uint8_t> settled(picture.colours.size());
  const Colour key = picture.colours[std::size_t{picture.height - 1u} * picture.width];
  mapped.entries.emplace_back(kKeyEntry, key);
  settle_at(picture, mapped.entries, settled, mapped.indices);
  const std::vector<ColourCount> others = unsettled_colours(picture, settled);
  const std::vector<Colour> reduced = quantize(others, kPaletteEntries - 1);
  std::vector<Colour> palette = {key};
  for (const Colour c : reduced) {
    mapped.entries.emplace_back(static_cast<std::uint8_t>(palette.size()), c);
    palette.push_back(c);
  }
  settle_at(picture, mapped.entries, settled, mapped.indices);
  mapped.mapping = approximate(picture, settled, palette, all_but_the_key(palette.size()),
                               options.dither, mapped.indices);
  mapped.warning = "has " + std::to_string(others.size() + 1) +
                   " colours, more than the 256 a palette holds; they were reduced to " +
                   std::to_string(palette.size()) + ": " + describe(mapped.mapping->figures);
  return mapped;
}

MappedPicture remapped(const TrueColourPicture& picture, const PaletteTarget& target,
                       const RemapOptions& options, std::span<const std::uint8_t> free,
                       std::span<const ColourCount> fresh, MappedPicture mapped,
                       std::vector<std::uint8_t> settled) {
  const std::size_t entries = std::min(target.capacity, kPaletteEntries);
  std::vector<Colour> palette = target.palette;
  palette.resize(entries);
  const std::bitset<kPaletteEntries> old_ones = all_but_the_key(target.palette.size());
  std::optional<NearestEntry> nearest_old;
  if (old_ones.any()) nearest_old.emplace(target.palette, old_ones);
  const std::vector<Colour> chosen =
      colours_for_free_entries(fresh, nearest_old ? &*nearest_old : nullptr, free.size());
  mapped.entries.clear();
  for (std::size_t k = 0; k < chosen.size(); ++k) {
    mapped.entries.emplace_back(free[k], chosen[k]);
    palette[free[k]] = chosen[k];
  }
  settle_at(picture, mapped.entries, settled, mapped.indices);
  const std::bitset<kPaletteEntries> candidates = all_but_the_key(entries);
  if (candidates.none()) {
    throw InputError("has colours not in the original entry's palette, and the palette has no "
                     "entry but entry 0, which only the key colour may take");
  }
  mapped.mapping =
      approximate(picture, settled, palette, candidates, options.dither, mapped.indices);
  mapped.warning = "has " + counted(fresh.size(), "colour", "colours") +
                   " not in the original entry's palette and " +
                   counted(free.size(), "free palette entry", "free palette entries") + "; " +
                   (free.empty() ? "they were" : "those that matter most took them, the rest") +
                   " mapped to the palette's nearest colours: " +
                   describe(mapped.mapping->figures);
  return mapped;
}

}  // namespace

MappedPicture map_onto_own_palette(const TrueColourPicture& picture, const RemapOptions& options) {
  MappedPicture mapped;
  mapped.indices.resize(picture.colours.size());
  std::unordered_map<Colour, std::size_t> index_of;
  bool too_many = false;
  top_left_first(picture, [&](std::size_t p) {
    if (too_many) return;
    const Colour c = picture.colours[p];
    auto [it, inserted] = index_of.try_emplace(c, index_of.size());
    if (it->second >= kPaletteEntries) {
      too_many = true;
      return;
    }
    const auto index = static_cast<std::uint8_t>(it->second);
    if (inserted) mapped.entries.emplace_back(index, c);
    mapped.indices[p] = index;
  });
  if (!too_many) return mapped;
  if (options.remap) return reduced_to_own_palette(picture, options);
  const std::size_t count = distinct_colours(picture.colours).size();
  throw InputError("has " + std::to_string(count) +
                   " colours, more than the 256 a palette holds; reduce it to 256 colours or "
                   "fewer in an image editor, save it as an 8-bit bitmap, or pack with --remap");
}

MappedPicture map_onto_palette(const TrueColourPicture& picture, const PaletteTarget& target,
                               const RemapOptions& options) {
  std::unordered_map<Colour, std::uint8_t> lowest;
  for (std::size_t k = target.palette.size(); k-- > 0;) {
    lowest[target.palette[k]] = static_cast<std::uint8_t>(k);
  }
  MappedPicture mapped;
  mapped.indices.resize(picture.colours.size());
  // Pixels whose colour is the palette's: they keep it, and no error reaches them.
  std::vector<std::uint8_t> settled(picture.colours.size());
  // An entry that takes an existing colour must keep it, so it is not free for a new one.
  std::bitset<kPaletteEntries> taken = target.used;
  taken.set(kKeyEntry);
  bool any_new = false;
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    if (!target.indices.empty() && target.indices[p] < target.palette.size() &&
        target.palette[target.indices[p]] == picture.colours[p]) {
      mapped.indices[p] = target.indices[p];
      settled[p] = 1;
    } else if (const auto it = lowest.find(picture.colours[p]); it != lowest.end()) {
      mapped.indices[p] = it->second;
      taken.set(it->second);
      settled[p] = 1;
    } else {
      any_new = true;
    }
  }
  if (!any_new) return mapped;

  std::vector<std::uint8_t> free;
  for (std::size_t k = 0; k < target.capacity && k < kPaletteEntries; ++k) {
    if (!taken.test(k)) free.push_back(static_cast<std::uint8_t>(k));
  }
  std::unordered_map<Colour, std::uint8_t> added;
  bool too_many = false;
  top_left_first(picture, [&](std::size_t p) {
    if (too_many || settled[p] != 0) return;
    auto [it, inserted] = added.try_emplace(picture.colours[p], std::uint8_t{0});
    if (inserted) {
      if (added.size() > free.size()) {
        too_many = true;
        return;
      }
      it->second = free[added.size() - 1];
      mapped.entries.emplace_back(it->second, picture.colours[p]);
    }
    mapped.indices[p] = it->second;
  });
  if (!too_many) return mapped;
  const std::vector<ColourCount> fresh = unsettled_colours(picture, settled);
  if (options.remap) {
    return remapped(picture, target, options, free, fresh, std::move(mapped), std::move(settled));
  }
  throw InputError("has " + counted(fresh.size(), "colour", "colours") +
                   " not in the original entry's palette, but only " +
                   counted(free.size(), "palette entry", "palette entries") +
                   " free (used by no pixel of the original, and not entry 0); reduce the new "
                   "colours to that many, or pack with --remap to map them onto the palette");
}

}  // namespace varnu::pack
