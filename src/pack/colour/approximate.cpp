// The pixels to map are first put side by side by colour (distinct.hpp), so that each different
// colour is measured once however many pixels it covers: without dither it takes its closest
// entry (NearestEntry::closest); with dither every pixel's target, its colour plus the error
// carried to it, is a point of OKLab, and each takes the entry nearest there, and the CIEDE2000
// of each colour from the few entries its pixels took is worked out once.
#include "pack/colour/approximate.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "pack/colour/ciede2000.hpp"
#include "pack/colour/distinct.hpp"
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
  // The entry of the pixel mapped last, mostly as near as any to the next one's target.
  std::optional<std::uint8_t> last;
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
      const std::uint8_t index = last ? entries.nearest(target, *last) : entries.nearest(target);
      last = index;
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

// The pixels to map, as runs of one colour: run_of[p] for each such pixel.
struct Runs {
  std::vector<std::uint32_t> order;  // positions, colour by colour
  std::vector<Colour> colour;        // of each run
  std::vector<std::uint32_t> start;  // in order, of each run, and one past the last
  std::vector<std::uint32_t> run_of;
};

Runs runs_of(const TrueColourPicture& picture, std::span<const std::uint8_t> settled) {
  Runs runs;
  runs.order = positions_by_colour(picture.colours, settled);
  runs.run_of.resize(picture.colours.size());
  for (std::size_t k = 0; k < runs.order.size(); ++k) {
    const Colour c = picture.colours[runs.order[k]];
    if (k == 0 || c != runs.colour.back()) {
      runs.colour.push_back(c);
      runs.start.push_back(static_cast<std::uint32_t>(k));
    }
    runs.run_of[runs.order[k]] = static_cast<std::uint32_t>(runs.colour.size() - 1);
  }
  runs.start.push_back(static_cast<std::uint32_t>(runs.order.size()));
  return runs;
}

// Each run's closest entry, given to its pixels, and its CIEDE2000 from it.
std::vector<double> give_closest(const Runs& runs, const NearestEntry& entries,
                                 std::span<std::uint8_t> indices) {
  std::vector<double> errors(runs.colour.size());
  for (std::size_t r = 0; r < runs.colour.size(); ++r) {
    const std::uint8_t index = entries.closest(runs.colour[r], errors[r]);
    for (std::uint32_t k = runs.start[r]; k < runs.start[r + 1]; ++k) {
      indices[runs.order[k]] = index;
    }
  }
  return errors;
}

// A run's CIEDE2000 from the entries its pixels took, for the first two of them: dither gives
// a colour's pixels few entries, mostly one or two.
class RunErrors {
 public:
  RunErrors(const Runs& runs, const NearestEntry& entries)
      : runs_(runs), entries_(entries), known_(runs.colour.size()) {}
  double error(std::uint32_t run, std::uint8_t index) {
    Known& known = known_[run];
    for (unsigned k = 0; k < known.count; ++k) {
      if (known.index[k] == index) return known.error[k];
    }
    const double error = ciede2000(cie_colour(runs_.colour[run]), entries_.cie(index));
    if (known.count < 2) {
      known.index[known.count] = index;
      known.error[known.count++] = error;
    }
    return error;
  }

 private:
  struct Known {
    std::uint8_t index[2] = {0, 0};
    std::uint8_t count = 0;
    double error[2] = {0.0, 0.0};
  };
  const Runs& runs_;
  const NearestEntry& entries_;
  std::vector<Known> known_;
};

// What changed, with `error_of(pixel)` the CIEDE2000 of a moved pixel from its entry: only the
// runs' pixels can have.
template <typename ErrorOf>
ColourMapping measure(const TrueColourPicture& picture, const Runs& runs,
                      std::span<const Colour> palette, std::span<const std::uint8_t> indices,
                      ErrorOf error_of) {
  ColourMapping mapping;
  mapping.moved.resize(picture.colours.size());
  // Summed in the runs' order, so that every platform adds the same numbers the same way.
  double total = 0.0;
  double largest = 0.0;
  for (const std::uint32_t p : runs.order) {
    if (palette[indices[p]] == picture.colours[p]) continue;
    mapping.moved[p] = 1;
    ++mapping.figures.pixels_moved;
    const double error = error_of(p);
    total += error;
    largest = std::max(largest, error);
  }
  const auto hundredths = [](double error) {
    return static_cast<std::uint32_t>(error * 100.0 + 0.5);
  };
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
  const Runs runs = runs_of(picture, settled);
  if (dither) {
    diffuse(picture, settled, entries, indices);
    RunErrors errors(runs, entries);
    return measure(picture, runs, palette, indices,
                   [&](std::size_t p) { return errors.error(runs.run_of[p], indices[p]); });
  }
  const std::vector<double> errors = give_closest(runs, entries, indices);
  return measure(picture, runs, palette, indices,
                 [&](std::size_t p) { return errors[runs.run_of[p]]; });
}

}  // namespace varnu::pack
