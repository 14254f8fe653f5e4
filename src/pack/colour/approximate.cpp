// Without dither each colour's nearest entry is remembered in a small table, since edited
// pictures repeat a few colours over many pixels; the table only saves searches, so what it holds
// never changes a result. With dither every pixel's target differs, and each is searched.
#include "pack/colour/approximate.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "pack/colour/nearest.hpp"

namespace varnu::pack {
namespace {

// The part of the error that is spread, in sixteenths: all of it overshoots on the thin strokes
// of anti-aliased text, where most neighbours are settled and take none.
constexpr std::int64_t kSpread = 12;
// How far the error carried into one pixel may reach on each axis: a pixel far off the palette
// would otherwise push its neighbours to colours farther off than their own nearest.
constexpr std::int32_t kMostCarried = kLabOne / 12;

class NearestCache {
 public:
  std::uint8_t nearest(Colour colour, const NearestEntry& entries) {
    Slot& slot = slots_[(colour * 0x9E3779B1u) >> (32 - kSlotBits)];
    if (slot.colour != colour) slot = {colour, entries.nearest(to_oklab(colour))};
    return slot.index;
  }

 private:
  static constexpr unsigned kSlotBits = 14;
  struct Slot {
    Colour colour = 0xFFFFFFFF;  // no colour: colours have 24 bits
    std::uint8_t index = 0;
  };
  std::vector<Slot> slots_ = std::vector<Slot>(std::size_t{1} << kSlotBits);
};

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

ColourMapping measure(const TrueColourPicture& picture, std::span<const Colour> palette,
                      const NearestEntry& entries, std::span<const std::uint8_t> indices) {
  ColourMapping mapping;
  mapping.moved.resize(picture.colours.size());
  std::uint64_t total = 0;  // in units of 1 / kLabOne: at most 2^24 pixels of 2^18
  std::uint32_t largest = 0;
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    if (palette[indices[p]] == picture.colours[p]) continue;
    mapping.moved[p] = 1;
    ++mapping.figures.pixels_moved;
    const std::uint32_t error = distance(to_oklab(picture.colours[p]), entries.lab(indices[p]));
    total += error;
    largest = std::max(largest, error);
  }
  // Hundredths of the distance times 100, rounded.
  const auto hundredths = [](std::uint64_t units, std::uint64_t count) {
    const std::uint64_t whole = std::uint64_t{kLabOne} * count;
    return static_cast<std::uint32_t>((units * 10000 + whole / 2) / whole);
  };
  if (mapping.figures.pixels_moved != 0) {
    mapping.figures.mean_error = hundredths(total, mapping.figures.pixels_moved);
    mapping.figures.largest_error = hundredths(largest, 1);
  }
  return mapping;
}

}  // namespace

ColourMapping approximate(const TrueColourPicture& picture, std::span<const std::uint8_t> settled,
                          std::span<const Colour> palette,
                          const std::bitset<kPaletteEntries>& candidates, bool dither,
                          std::span<std::uint8_t> indices) {
  const NearestEntry entries(palette, candidates);
  if (dither) {
    diffuse(picture, settled, entries, indices);
  } else {
    NearestCache cache;
    for (std::size_t p = 0; p < picture.colours.size(); ++p) {
      if (settled[p] == 0) indices[p] = cache.nearest(picture.colours[p], entries);
    }
  }
  return measure(picture, palette, entries, indices);
}

}  // namespace varnu::pack
