// Colours are gathered in small maps that stop at what a palette can hold; only a picture that
// is refused has all its colours counted, in a set of one bit per possible colour (2 MiB), so
// that memory never grows with them.
#include "pack/picture/colour_map.hpp"

#include <bit>
#include <string>
#include <unordered_map>

#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

constexpr std::size_t kColourCount = std::size_t{1} << 24;
constexpr std::uint8_t kKeyEntry = 0;

class ColourSet {
 public:
  void insert(Colour c) { words_[c / 64] |= std::uint64_t{1} << (c % 64); }
  std::size_t size() const {
    std::size_t n = 0;
    for (const std::uint64_t word : words_) n += static_cast<std::size_t>(std::popcount(word));
    return n;
  }

 private:
  std::vector<std::uint64_t> words_ = std::vector<std::uint64_t>(kColourCount / 64);
};

// How many different colours of `colours` pass `wanted`, which sees them in order.
template <typename Wanted>
std::size_t count_colours(const std::vector<Colour>& colours, Wanted wanted) {
  ColourSet set;
  for (const Colour c : colours) {
    if (wanted(c)) set.insert(c);
  }
  return set.size();
}

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

}  // namespace

MappedPicture map_onto_own_palette(const TrueColourPicture& picture) {
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
  if (too_many) {
    const std::size_t count = count_colours(picture.colours, [](Colour) { return true; });
    throw InputError("has " + std::to_string(count) +
                     " colours, more than the 256 a palette holds; reduce it to 256 colours or "
                     "fewer in an image editor, or save it as an 8-bit bitmap");
  }
  return mapped;
}

MappedPicture map_onto_palette(const TrueColourPicture& picture, const PaletteTarget& target) {
  std::unordered_map<Colour, std::uint8_t> lowest;
  for (std::size_t k = target.palette.size(); k-- > 0;) {
    lowest[target.palette[k]] = static_cast<std::uint8_t>(k);
  }
  const auto kept = [&](std::size_t p) {
    if (target.indices.empty()) return false;
    const std::uint8_t index = target.indices[p];
    return index < target.palette.size() && target.palette[index] == picture.colours[p];
  };

  MappedPicture mapped;
  mapped.indices.resize(picture.colours.size());
  // An entry that takes an existing colour must keep it, so it is not free for a new one.
  std::bitset<kPaletteEntries> taken = target.used;
  taken.set(kKeyEntry);
  bool any_new = false;
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    if (kept(p)) {
      mapped.indices[p] = target.indices[p];
    } else if (const auto it = lowest.find(picture.colours[p]); it != lowest.end()) {
      mapped.indices[p] = it->second;
      taken.set(it->second);
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
    const Colour c = picture.colours[p];
    if (too_many || kept(p) || lowest.contains(c)) return;
    auto [it, inserted] = added.try_emplace(c, std::uint8_t{0});
    if (inserted) {
      if (added.size() > free.size()) {
        too_many = true;
        return;
      }
      it->second = free[added.size() - 1];
      mapped.entries.emplace_back(it->second, c);
    }
    mapped.indices[p] = it->second;
  });
  if (too_many) {
    std::size_t p = 0;
    const std::size_t count = count_colours(picture.colours, [&](Colour c) {
      const bool counted = !kept(p) && !lowest.contains(c);
      ++p;
      return counted;
    });
    throw InputError("has " + counted(count, "colour", "colours") +
                     " not in the original entry's palette, but only " +
                     counted(free.size(), "palette entry", "palette entries") +
                     " free (used by no pixel of the original, and not entry 0); reduce the new "
                     "colours to that many");
  }
  return mapped;
}

}  // namespace varnu::pack
