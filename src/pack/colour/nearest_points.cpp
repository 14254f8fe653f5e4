// The points are split in halves by their widest axis, again and again, into groups of at most
// 16 neighbours, each with the box around it. A search measures the target's distance to each
// group's middle point, the nearest of which bounds how far the nearest point can be, and to
// each box; only the groups whose box is that near can hold it, mostly one or two: the palettes
// people make are ramps, curves through colour space, whose pieces lie in thin boxes. Those
// groups' points are all measured. Every step is the same few operations on a row of numbers,
// which compilers turn into vector instructions, and no branch depends on a point, so that it is
// faster than a search of a tree, whose branches a processor cannot foresee.
//
// The measuring is in floats, then exact. Coordinates below 2^20 are exact in a float, and so
// are their differences; each square and sum rounds by at most half a unit in the last of 24
// bits, so a float distance, to a point or a box, is within 2^-22 of the true one, relatively.
// The points whose float distance is within a hair of the least (mostly one) are then measured
// again in whole numbers: the answer is theirs, the same on every platform.
#include "pack/colour/nearest_points.hpp"

#include <algorithm>
#include <bit>
#include <limits>

namespace varnu::pack {
namespace {

constexpr std::size_t kMostGroups = 16;  // 256 points split down to 32 or fewer, 16 or more each
constexpr float kSlack = 1.0f / (1 << 20);  // far above the rounding of a float distance

}  // namespace

NearestPoint::NearestPoint(std::vector<Point> points) { group(points, 0, points.size()); }

void NearestPoint::group(std::vector<Point>& points, std::size_t begin, std::size_t end) {
  Coordinates low = points[begin].at, high = points[begin].at;
  for (std::size_t k = begin; k < end; ++k) {
    for (unsigned axis = 0; axis < 3; ++axis) {
      low[axis] = std::min(low[axis], points[k].at[axis]);
      high[axis] = std::max(high[axis], points[k].at[axis]);
    }
  }
  if (end - begin > kGroupSize) {
    unsigned widest = 0;
    for (unsigned axis = 1; axis < 3; ++axis) {
      if (std::int64_t{high[axis]} - low[axis] > std::int64_t{high[widest]} - low[widest]) {
        widest = axis;
      }
    }
    const std::size_t middle = begin + (end - begin) / 2;
    const auto at = [&](std::size_t k) { return points.begin() + static_cast<std::ptrdiff_t>(k); };
    std::nth_element(at(begin), at(middle), at(end), [widest](const Point& x, const Point& y) {
      return x.at[widest] != y.at[widest] ? x.at[widest] < y.at[widest] : x.index < y.index;
    });
    group(points, begin, middle);
    group(points, middle, end);
    return;
  }
  // The point nearest the middle of the box.
  std::size_t central = begin;
  std::int64_t closest = std::numeric_limits<std::int64_t>::max();
  for (std::size_t k = begin; k < end; ++k) {
    std::int64_t sum = 0;
    for (unsigned axis = 0; axis < 3; ++axis) {
      const std::int64_t d = 2 * std::int64_t{points[k].at[axis]} - low[axis] - high[axis];
      sum += d * d;
    }
    if (sum < closest) closest = sum, central = k;
  }
  for (unsigned axis = 0; axis < 3; ++axis) {
    std::array<float, kGroupSize> near{};
    std::array<std::int32_t, kGroupSize> at{};
    for (std::size_t k = 0; k < kGroupSize; ++k) {
      at[k] = points[begin + k < end ? begin + k : begin].at[axis];
      near[k] = static_cast<float>(at[k]);
    }
    near_[axis].push_back(near);
    at_[axis].push_back(at);
    low_[axis].push_back(static_cast<float>(low[axis]));
    high_[axis].push_back(static_cast<float>(high[axis]));
    middle_[axis].push_back(static_cast<float>(points[central].at[axis]));
  }
  std::array<std::int32_t, kGroupSize> index{};
  for (std::size_t k = 0; k < kGroupSize; ++k) {
    index[k] = points[begin + k < end ? begin + k : begin].index;
  }
  index_.push_back(index);
}

NearestPoint::Found NearestPoint::nearest(const Coordinates& target) const {
  const std::size_t groups = index_.size();
  const float t[3] = {static_cast<float>(target[0]), static_cast<float>(target[1]),
                      static_cast<float>(target[2])};
  // How far the nearest point can be: no farther than the nearest middle point. Floats of one
  // sign compare as their bits do.
  std::array<float, kMostGroups> to_box;
  std::int32_t nearest_middle = std::numeric_limits<std::int32_t>::max();
  for (std::size_t g = 0; g < groups; ++g) {
    const float dx = middle_[0][g] - t[0], dy = middle_[1][g] - t[1], dz = middle_[2][g] - t[2];
    const float gx = std::max(std::max(low_[0][g] - t[0], t[0] - high_[0][g]), 0.0f);
    const float gy = std::max(std::max(low_[1][g] - t[1], t[1] - high_[1][g]), 0.0f);
    const float gz = std::max(std::max(low_[2][g] - t[2], t[2] - high_[2][g]), 0.0f);
    to_box[g] = gx * gx + gy * gy + gz * gz;
    nearest_middle =
        std::min(nearest_middle, std::bit_cast<std::int32_t>(dx * dx + dy * dy + dz * dz));
  }
  const float bound = std::bit_cast<float>(nearest_middle) * (1.0f + kSlack);
  // Each float distance of the points of the groups that can hold the nearest, as its bits,
  // with the point's index in place of the lowest 8 of them.
  std::array<std::array<std::int32_t, kGroupSize>, kMostGroups> keys;
  std::array<std::uint8_t, kMostGroups> measured;
  std::size_t count = 0;
  std::int32_t least = std::numeric_limits<std::int32_t>::max();
  for (std::size_t g = 0; g < groups; ++g) {
    if (to_box[g] * (1.0f - kSlack) > bound) continue;
    std::array<std::int32_t, kGroupSize>& key = keys[count];
    measured[count++] = static_cast<std::uint8_t>(g);
    for (std::size_t k = 0; k < kGroupSize; ++k) {
      const float dx = near_[0][g][k] - t[0], dy = near_[1][g][k] - t[1],
                  dz = near_[2][g][k] - t[2];
      key[k] = (std::bit_cast<std::int32_t>(dx * dx + dy * dy + dz * dz) & ~0xFF) | index_[g][k];
      least = std::min(least, key[k]);
    }
  }
  // Within a hair of the least: the index bits stand for at most 2^-15 of a distance.
  const float limit = std::bit_cast<float>(least & ~0xFF) * (1.0f + 1.0f / (1 << 13));
  const std::int32_t within = std::bit_cast<std::int32_t>(limit) | 0xFF;
  // Those measured again exactly. Distance and index in one number, so that the lesser is the
  // nearer, then the lower index.
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  for (std::size_t m = 0; m < count; ++m) {
    const std::size_t g = measured[m];
    for (std::size_t k = 0; k < kGroupSize; ++k) {
      if (keys[m][k] > within) continue;
      std::int64_t sum = 0;
      for (unsigned axis = 0; axis < 3; ++axis) {
        const std::int64_t d = std::int64_t{at_[axis][g][k]} - target[axis];
        sum += d * d;
      }
      best = std::min(best, sum << 8 | index_[g][k]);
    }
  }
  return {static_cast<std::uint8_t>(best & 0xFF), best >> 8};
}

}  // namespace varnu::pack
