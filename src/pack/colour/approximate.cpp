// Without dither each colour takes its closest entry (NearestEntry::closest), remembered in a
// small table, since edited pictures repeat a few colours over many pixels; the table only saves
// searches, so what it holds never changes a result. With dither every pixel's target, its colour
// plus the error carried to it, is a point of OKLab, and each takes the entry nearest there.
#include "pack/colour/approximate.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "pack/colour/ciede2000.hpp"
#include "pack/colour/nearest.hpp"

namespace varnu::pack {
namespace {

// The part of the error that is spread, in sixteenths: all of it overshoots on the thin strokes
// of anti-aliased text, where most neighbours are settled and take none.
constexpr std::int64_t kSpread = 12;
// How far the error carried into one pixel may reach on each axis: a pixel far off the palette
// would otherwise push its neighbours to colours farther off than their own nearest.
constexpr std::int32_t kMostCarried = kLabOne / 12;


struct Carry {
  std::int32_t l = 0, a = 0, b = 0;
};

void add_share(Carry& to, const Lab& error, std::int64_t weight) {
  const auto share = [&](std::int32_t e) {
    return static_cast<std::int32_t>(e * weight * kSpread / 256);
  };
  to.l += share(error.l);
  to.a += share(error.a);
  to.b += share(error.b);
}

std::int32_t limited(std::int32_t carried) {
  return std::clamp(carried, -kMostCarried, kMostCarried);
}

void diffuse(const TrueColourPicture& picture, std::span<const std::uint8_t> settled,
             const NearestEntry& entries, std::span<std::uint8_t> indices) {
  const std::size_t width = picture.width;
  const std::size_t height = picture.height;
  // Carried error for this row and the next, with a slot either side of the row.
  std::vector<Carry> row(width + 2), below(width + 2);
  for (std::size_t t = 0; t < height; ++t) {
    // Row t from the top, stored height - 1 - t from the bottom.
    const std::size_t at = (height - 1 - t) * width;
    const bool rightwards = t % 2 == 0;
    const auto open_below = [&](std::size_t x) {  // x counted from 1, as the slots are
      return t + 1 < height && x >= 1 && x <= width && settled[at - width + x - 1] == 0;
    };
    for (std::size_t step = 0; step < width; ++step) {
      const std::size_t x = rightwards ? step : width - 1 - step;
      const std::size_t p = at + x;
      if (settled[p] != 0) continue;
      const Lab own = to_oklab(picture.colours[p]);
      const Carry& carried = row[x + 1];
      const Lab target = {own.l + limited(carried.l), own.a + limited(carried.a),
                          own.b + limited(carried.b)};
      const std::uint8_t index = entries.nearest(target);
      indices[p] = index;
      const Lab& given = entries.lab(index);
      const Lab error = {target.l - given.l, target.a - given.a, target.b - given.b};
      const std::size_t ahead = rightwards ? x + 2 : x;  // slot of the next pixel in the row
      const std::size_t behind = rightwards ? x : x + 2;
      if (step + 1 < width && settled[rightwards ? p + 1 : p - 1] == 0) {
        add_share(row[ahead], error, 7);
      }
      if (open_below(behind)) add_share(below[behind], error, 3);
      if (open_below(x + 1)) add_share(below[x + 1], error, 5);
      if (open_below(ahead)) add_share(below[ahead], error, 1);
    }
    std::swap(row, below);
    std::fill(below.begin(), below.end(), Carry{});
  }
}

// A colour's entry and its CIEDE2000 from it, remembered by colour and entry: a pixel without
// dither takes its colour's closest entry, with dither whichever its target was nearest.
class ChoiceCache {
 public:
  struct Choice {
    std::uint8_t index;
    double error;
  };
  Choice closest(Colour colour, const NearestEntry& entries) {
    Slot& slot = slot_of(colour | kClosest);
    if (!slot.filled || slot.key != (colour | kClosest)) {
      double error = 0.0;
      const std::uint8_t index = entries.closest(colour, error);
      slot = {colour | kClosest, true, {index, error}};
      slot_of(key_of(colour, index)) = {key_of(colour, index), true, {index, error}};
    }
    return slot.choice;
  }
  double error(Colour colour, std::uint8_t index, const NearestEntry& entries) {
    const std::uint64_t key = key_of(colour, index);
    Slot& slot = slot_of(key);
    if (!slot.filled || slot.key != key) {
      slot = {key, true, {index, ciede2000(cie_colour(colour), entries.cie(index))}};
    }
    return slot.choice.error;
  }

 private:
  static constexpr unsigned kSlotBits = 14;
  static constexpr std::uint64_t kClosest = std::uint64_t{1} << 32;
  struct Slot {
    std::uint64_t key = 0;
    bool filled = false;
    Choice choice{0, 0.0};
  };
  static std::uint64_t key_of(Colour colour, std::uint8_t index) {
    return colour | std::uint64_t{index} << 24;
  }
  Slot& slot_of(std::uint64_t key) {
    return slots_[((key ^ key >> 29) * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
  }
  std::vector<Slot> slots_ = std::vector<Slot>(std::size_t{1} << kSlotBits);
};

ColourMapping measure(const TrueColourPicture& picture, std::span<const Colour> palette,
                      const NearestEntry& entries, std::span<const std::uint8_t> indices,
                      ChoiceCache& errors) {
  ColourMapping mapping;
  mapping.moved.resize(picture.colours.size());
  // Summed in the pixels' order, so that every platform adds the same numbers the same way.
  double total = 0.0;
  double largest = 0.0;
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    if (palette[indices[p]] == picture.colours[p]) continue;
    mapping.moved[p] = 1;
    ++mapping.figures.pixels_moved;
    const double error = errors.error(picture.colours[p], indices[p], entries);
    total += error;
    largest = std::max(largest, error);
  }
  const auto hundredths = [](double error) { return static_cast<std::uint32_t>(error * 100.0 + 0.5); };
  if (mapping.figures.pixels_moved != 0) {
    mapping.figures.mean_error =
        hundredths(total / static_cast<double>(mapping.figures.pixels_moved));
    mapping.figures.largest_error = hundredths(largest);
  }
  return mapping;
}

}  // namespace

ColourMapping approximate(const TrueColourPicture& picture, std::span<const std::uint8_t> settled,
                          std::span<const Colour> palette,
                          const std::bitset<kPaletteEntries>& candidates, bool dither,
                          std::span<std::uint8_t> indices) {
  const NearestEntry entries(palette, candidates);
  ChoiceCache cache;
  if (dither) {
    diffuse(picture, settled, entries, indices);
  } else {
    for (std::size_t p = 0; p < picture.colours.size(); ++p) {
      if (settled[p] == 0) indices[p] = cache.closest(picture.colours[p], entries).index;
    }
  }
  return measure(picture, palette, entries, indices, cache);
}

}  // namespace varnu::pack
