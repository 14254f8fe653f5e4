// Sums are of whole numbers: lightness and the two axes shifted down to 13 bits each and at most
// 2^24 pixels keep every sum of squares below 2^51.
#include "pack/colour/quantize.hpp"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>

#include "pack/colour/nearest.hpp"

namespace varnu::pack {
namespace {

// Beyond this many colours, colours that differ only in their two lowest bits of each channel are
// taken together first, so that the work and memory stay bounded by 2^18 points.
constexpr std::size_t kMostPoints = std::size_t{1} << 16;
constexpr unsigned kCellBits = 6;
constexpr int kRounds = 4;  // of k-means
constexpr int kSumShift = 4;

struct Point {
  Colour colour;
  std::uint64_t pixels;
  Lab lab;
  std::array<std::int32_t, 3> axes;  // lab, shifted down by kSumShift
};

Point point(Colour colour, std::uint64_t pixels) {
  const Lab lab = to_oklab(colour);
  return {colour, pixels, lab, {lab.l >> kSumShift, lab.a >> kSumShift, lab.b >> kSumShift}};
}

// The mean colour of the points, by channel, weighted by their pixels and rounded.
struct ColourSum {
  std::array<std::uint64_t, 3> channels{};
  std::uint64_t pixels = 0;
  void add(Colour c, std::uint64_t n) {
    for (unsigned k = 0; k < 3; ++k) channels[k] += n * (c >> (16 - 8 * k) & 0xFF);
    pixels += n;
  }
  Colour mean() const {
    Colour c = 0;
    for (unsigned k = 0; k < 3; ++k) {
      c = c << 8 | static_cast<Colour>((channels[k] + pixels / 2) / pixels);
    }
    return c;
  }
};

std::vector<Point> points_of(std::span<const ColourCount> colours) {
  std::vector<Point> points;
  if (colours.size() <= kMostPoints) {
    for (const ColourCount& c : colours) points.push_back(point(c.colour, c.pixels));
    return points;
  }
  const auto cell = [](Colour c) {
    const unsigned drop = 8 - kCellBits;
    return (c >> (16 + drop) & 0x3F) << 12 | (c >> (8 + drop) & 0x3F) << 6 | (c >> drop & 0x3F);
  };
  std::vector<ColourSum> cells(std::size_t{1} << (3 * kCellBits));
  for (const ColourCount& c : colours) cells[cell(c.colour)].add(c.colour, c.pixels);
  for (const ColourSum& s : cells) {
    if (s.pixels != 0) points.push_back(point(s.mean(), s.pixels));
  }
  return points;
}

// Points [begin, end) and how much they vary along each axis: the sum over them of pixels times
// squared distance from their mean.
struct Box {
  std::size_t begin;
  std::size_t end;
  std::array<std::uint64_t, 3> spread{};
  std::uint64_t total() const { return spread[0] + spread[1] + spread[2]; }
  unsigned widest() const {
    return static_cast<unsigned>(std::max_element(spread.begin(), spread.end()) - spread.begin());
  }
};

Box box_of(std::span<const Point> points, std::size_t begin, std::size_t end) {
  Box box{begin, end};
  std::uint64_t pixels = 0;
  std::array<std::int64_t, 3> sum{};
  std::array<std::uint64_t, 3> squares{};
  for (std::size_t k = begin; k < end; ++k) {
    const Point& p = points[k];
    pixels += p.pixels;
    for (unsigned axis = 0; axis < 3; ++axis) {
      const std::int64_t v = p.axes[axis];
      sum[axis] += static_cast<std::int64_t>(p.pixels) * v;
      squares[axis] += p.pixels * static_cast<std::uint64_t>(v * v);
    }
  }
  for (unsigned axis = 0; axis < 3; ++axis) {
    // sum * mean, with the mean rounded toward zero: never more than the squares.
    const std::int64_t mean = sum[axis] / static_cast<std::int64_t>(pixels);
    const auto centred = static_cast<std::uint64_t>(sum[axis] * mean);
    box.spread[axis] = squares[axis] - std::min(squares[axis], centred);
  }
  return box;
}

// Splits the box along its widest axis where half its pixels lie on either side; both halves
// keep a point.
std::pair<Box, Box> split(std::vector<Point>& points, const Box& box) {
  const unsigned axis = box.widest();
  const auto first = points.begin() + static_cast<std::ptrdiff_t>(box.begin);
  const auto last = points.begin() + static_cast<std::ptrdiff_t>(box.end);
  std::sort(first, last, [axis](const Point& x, const Point& y) {
    return x.axes[axis] != y.axes[axis] ? x.axes[axis] < y.axes[axis] : x.colour < y.colour;
  });
  std::uint64_t pixels = 0;
  for (auto it = first; it != last; ++it) pixels += it->pixels;
  std::uint64_t below = 0;
  std::size_t middle = box.begin;
  while (middle + 1 < box.end && 2 * (below + points[middle].pixels) <= pixels) {
    below += points[middle++].pixels;
  }
  middle = std::max(middle, box.begin + 1);
  return {box_of(points, box.begin, middle), box_of(points, middle, box.end)};
}

std::vector<Box> median_cut(std::vector<Point>& points, std::size_t count) {
  std::vector<Box> boxes = {box_of(points, 0, points.size())};
  while (boxes.size() < count) {
    const auto widest = std::max_element(boxes.begin(), boxes.end(), [](const Box& x, const Box& y) {
      return x.total() < y.total();
    });
    if (widest->total() == 0 || widest->end - widest->begin < 2) break;
    auto [low, high] = split(points, *widest);
    *widest = low;
    boxes.push_back(high);
  }
  return boxes;
}

// The index of each point's nearest colour of `palette`.
std::vector<std::uint8_t> nearest_of(std::span<const Point> points, std::span<const Colour> palette) {
  std::bitset<kPaletteEntries> all;
  for (std::size_t k = 0; k < palette.size(); ++k) all.set(k);
  const NearestEntry entries(palette, all);
  std::vector<std::uint8_t> nearest;
  nearest.reserve(points.size());
  for (const Point& p : points) nearest.push_back(entries.nearest(p.lab));
  return nearest;
}

// The error of showing `members` (indices into points) as `colour`, summed over their pixels.
std::uint64_t error_of(std::span<const Point> points, std::span<const std::size_t> members,
                       Colour colour) {
  const Lab shown = to_oklab(colour);
  std::uint64_t error = 0;
  for (const std::size_t k : members) {
    error += points[k].pixels * distance(points[k].lab, shown);
  }
  return error;
}

}  // namespace

std::vector<Colour> quantize(std::span<const ColourCount> colours, std::size_t count) {
  std::vector<Point> points = points_of(colours);
  std::vector<Colour> palette;
  for (const Box& box : median_cut(points, count)) {
    ColourSum sum;
    for (std::size_t k = box.begin; k < box.end; ++k) sum.add(points[k].colour, points[k].pixels);
    palette.push_back(sum.mean());
  }
  std::vector<std::uint8_t> nearest;
  for (int round = 0; round < kRounds; ++round) {
    nearest = nearest_of(points, palette);
    std::vector<ColourSum> sums(palette.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      sums[nearest[k]].add(points[k].colour, points[k].pixels);
    }
    for (std::size_t c = 0; c < palette.size(); ++c) {
      if (sums[c].pixels != 0) palette[c] = sums[c].mean();
    }
  }
  nearest = nearest_of(points, palette);
  std::vector<std::vector<std::size_t>> members(palette.size());
  for (std::size_t k = 0; k < points.size(); ++k) members[nearest[k]].push_back(k);
  for (std::size_t c = 0; c < palette.size(); ++c) {
    if (members[c].empty()) continue;
    const std::size_t common = *std::max_element(
        members[c].begin(), members[c].end(), [&](std::size_t x, std::size_t y) {
          return points[x].pixels != points[y].pixels ? points[x].pixels < points[y].pixels
                                                      : points[x].colour > points[y].colour;
        });
    if (error_of(points, members[c], points[common].colour) <=
        error_of(points, members[c], palette[c])) {
      palette[c] = points[common].colour;
    }
  }
  std::sort(palette.begin(), palette.end());
  palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  return palette;
}

}  // namespace varnu::pack
