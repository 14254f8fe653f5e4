// The points are split in halves by their widest axis, again and again, into groups of at most
// 32 neighbours, each with the box around it. A search measures the target's distance to each
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
#include <cmath>
#include <cstring>
#include <limits>

namespace varnu::pack {
namespace {

constexpr float kSlack = 1.0f / (1 << 20);  // far above the rounding of a float distance
constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::max();
// Where the places past the groups lie: far beyond any point or target, yet its square's sums
// stay finite floats.
constexpr float kFar = 1e18f;

void to_floats(const NearestPoint::Coordinates& c, float (&out)[3]) {
  for (unsigned axis = 0; axis < 3; ++axis) out[axis] = static_cast<float>(c[axis]);
}

// Floats of one sign are in the order of their bits. (By memcpy, which compilers make a move:
// the WebAssembly build's library has no std::bit_cast.)
std::int32_t bits(float f) {
  std::int32_t out;
  std::memcpy(&out, &f, sizeof out);
  return out;
}

float from_bits(std::int32_t b) {
  float out;
  std::memcpy(&out, &b, sizeof out);
  return out;
}

// Of the keys (float distances' bits with an index in place of the lowest 8 of them), those
// within a hair of the least: the index bits stand for at most 2^-15 of a distance, and a
// float distance is within 2^-22 of the true one.
std::int32_t within_a_hair(std::int32_t least) {
  return bits(from_bits(least & ~0xFF) * (1.0f + 1.0f / (1 << 13))) | 0xFF;
}

}  // namespace

NearestPoint::NearestPoint(std::vector<Point> points) {
  for (unsigned axis = 0; axis < 3; ++axis) {
    low_[axis].fill(kFar);
    high_[axis].fill(kFar);
    middle_[axis].fill(kFar);
  }
  group(points, 0, points.size());
}

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
  const auto member = [&](std::size_t k) -> const Point& {
    return points[begin + k < end ? begin + k : begin];
  };
  for (unsigned axis = 0; axis < 3; ++axis) {
    for (Space* space : {&space_, &also_}) {
      Row near{};
      WholeRow at{};
      for (std::size_t k = 0; k < kGroupSize; ++k) {
        at[k] = space == &space_ ? member(k).at[axis] : member(k).also[axis];
        near[k] = static_cast<float>(at[k]);
      }
      space->near[axis].push_back(near);
      space->at[axis].push_back(at);
    }
    const std::size_t g = index_.size();
    low_[axis][g] = static_cast<float>(low[axis]);
    high_[axis][g] = static_cast<float>(high[axis]);
    middle_[axis][g] = static_cast<float>(points[central].at[axis]);
  }
  WholeRow index{};
  for (std::size_t k = 0; k < kGroupSize; ++k) {
    index[k] = member(k).index;
    ++copies_[member(k).index];
  }
  place_[points[begin].index] = {index_.size(), 0};
  for (std::size_t k = 1; begin + k < end; ++k) {
    place_[points[begin + k].index] = {index_.size(), k};
  }
  index_.push_back(index);
}

template <typename Measure>
void NearestPoint::for_groups_within(const float (&t)[3], float bound, Measure measure) const {
  std::array<float, kMostGroups> to_box;
  for (std::size_t g = 0; g < kMostGroups; ++g) {
    const float gx = std::max(std::max(low_[0][g] - t[0], t[0] - high_[0][g]), 0.0f);
    const float gy = std::max(std::max(low_[1][g] - t[1], t[1] - high_[1][g]), 0.0f);
    const float gz = std::max(std::max(low_[2][g] - t[2], t[2] - high_[2][g]), 0.0f);
    to_box[g] = (gx * gx + gy * gy + gz * gz) * (1.0f - kSlack);
  }
  for (std::size_t g = 0; g < index_.size(); ++g) {
    if (to_box[g] <= bound) measure(g);
  }
}

// Inline, as the searches measure a group or three each time and a call costs about as much.
inline std::int32_t NearestPoint::measure_group(const Space& space, std::size_t g,
                                                const float (&t)[3], WholeRow& key) const {
  std::int32_t least = kNone;
  for (std::size_t k = 0; k < kGroupSize; ++k) {
    const float dx = space.near[0][g][k] - t[0], dy = space.near[1][g][k] - t[1],
                dz = space.near[2][g][k] - t[2];
    key[k] = (bits(dx * dx + dy * dy + dz * dz) & ~0xFF) | index_[g][k];
    least = std::min(least, key[k]);
  }
  return least;
}

inline std::int32_t NearestPoint::measured_also(std::size_t g, const float (&t)[3],
                                                const float (&a)[3], WholeRow& distance,
                                                WholeRow& key) const {
  std::int32_t nearest = kNone;
  for (std::size_t k = 0; k < kGroupSize; ++k) {
    const float dx = space_.near[0][g][k] - t[0], dy = space_.near[1][g][k] - t[1],
                dz = space_.near[2][g][k] - t[2];
    distance[k] = static_cast<std::int32_t>(dx * dx + dy * dy + dz * dz);
    nearest = std::min(nearest, distance[k] << 8 | index_[g][k]);
  }
  measure_group(also_, g, a, key);
  return nearest;
}

namespace {

// Makes kNone the keys of the points farther than `limit`, and gives the least key left; as
// arithmetic rather than a branch, so that it stays a vector operation.
using WholeRow = std::array<std::int32_t, NearestPoint::kGroupSize>;

std::int32_t beyond(std::int32_t limit, const WholeRow& distance, WholeRow& key) {
  std::int32_t least = kNone;
  for (std::size_t k = 0; k < NearestPoint::kGroupSize; ++k) {
    key[k] |= -static_cast<std::int32_t>(distance[k] > limit) & kNone;
    least = std::min(least, key[k]);
  }
  return least;
}

}  // namespace

std::int64_t NearestPoint::exactly(const Space& space, std::size_t g, std::size_t k,
                                   const Coordinates& target) const {
  std::int64_t sum = 0;
  for (unsigned axis = 0; axis < 3; ++axis) {
    const std::int64_t d = std::int64_t{space.at[axis][g][k]} - target[axis];
    sum += d * d;
  }
  return sum;
}

namespace {

// How far the nearest point can be, squared: no farther than the nearest middle point.
float nearest_middle(const std::array<std::array<float, NearestPoint::kMostGroups>, 3>& middle,
                     const float (&t)[3]) {
  std::int32_t least = kNone;
  for (std::size_t g = 0; g < NearestPoint::kMostGroups; ++g) {
    const float dx = middle[0][g] - t[0], dy = middle[1][g] - t[1], dz = middle[2][g] - t[2];
    least = std::min(least, bits(dx * dx + dy * dy + dz * dz));
  }
  return from_bits(least);
}

}  // namespace

NearestPoint::Found NearestPoint::nearest(const Coordinates& target) const {
  float t[3];
  to_floats(target, t);
  return nearest_within_bound(target, t, nearest_middle(middle_, t));
}

NearestPoint::Found NearestPoint::nearest(const Coordinates& target, std::uint8_t near) const {
  float t[3];
  to_floats(target, t);
  const Place at = place_[near];
  float d = 0.0f;
  for (unsigned axis = 0; axis < 3; ++axis) {
    const float delta = space_.near[axis][at.group][at.slot] - t[axis];
    d += delta * delta;
  }
  return nearest_within_bound(target, t, d);
}

NearestPoint::Found NearestPoint::nearest_within_bound(const Coordinates& target,
                                                       const float (&t)[3], float bound) const {
  // The keys of the points of the groups that can hold the nearest.
  std::array<WholeRow, kMostGroups> keys;
  std::array<std::uint8_t, kMostGroups> measured;
  std::size_t count = 0;
  std::int32_t least = kNone;
  for_groups_within(t, bound * (1.0f + kSlack), [&](std::size_t g) {
    WholeRow& key = keys[count];
    measured[count++] = static_cast<std::uint8_t>(g);
    least = std::min(least, measure_group(space_, g, t, key));
  });
  const std::uint8_t index = resolve(space_, keys, measured, count, least, target);
  const Place at = place_[index];
  return {index, exactly(space_, at.group, at.slot, target)};
}

NearestPoint::NearestTwice NearestPoint::nearest_within(const Coordinates& target,
                                                        const Coordinates& also,
                                                        float reach) const {
  float t[3], a[3];
  to_floats(target, t);
  to_floats(also, a);
  // Squared distances below 2^24 are exact in floats, and with the index in the lowest 8 bits
  // of a whole number, the least is the nearest point of the lowest index.
  const float middle = nearest_middle(middle_, t);
  const float reached = std::sqrt(middle) + reach;
  std::array<WholeRow, kMostGroups> distances, keys;
  std::array<std::uint8_t, kMostGroups> measured;
  std::size_t count = 0;
  std::int32_t nearest = kNone;
  for_groups_within(t, reached * reached * (1.0f + kSlack), [&](std::size_t g) {
    nearest = std::min(nearest, measured_also(g, t, a, distances[count], keys[count]));
    measured[count++] = static_cast<std::uint8_t>(g);
  });
  // Those no more than `reach` farther, nearest in the second space as nearest() finds it.
  const float within_reach = std::sqrt(static_cast<float>(nearest >> 8)) + reach;
  const auto limit = static_cast<std::int32_t>(
      std::max(within_reach * within_reach, static_cast<float>(nearest >> 8)));
  std::int32_t least = kNone;
  for (std::size_t m = 0; m < count; ++m) {
    least = std::min(least, beyond(limit, distances[m], keys[m]));
  }
  return {static_cast<std::uint8_t>(nearest & 0xFF),
          resolve(also_, keys, measured, count, least, also)};
}

std::uint8_t NearestPoint::resolve(const Space& space,
                                   const std::array<WholeRow, kMostGroups>& keys,
                                   const std::array<std::uint8_t, kMostGroups>& measured,
                                   std::size_t count, std::int32_t least,
                                   const Coordinates& target) const {
  const std::int32_t within = within_a_hair(least);
  std::int32_t near = 0;
  for (std::size_t m = 0; m < count; ++m) {
    for (std::size_t k = 0; k < kGroupSize; ++k) near += keys[m][k] <= within ? 1 : 0;
  }
  // Mostly the one point of the least key, and its copies where its group is short.
  const auto index = static_cast<std::uint8_t>(least & 0xFF);
  if (near <= copies_[index]) return index;
  // Those within a hair measured again exactly. Distance and index in one number, so that the
  // lesser is the nearer, then the lower index.
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  for (std::size_t m = 0; m < count; ++m) {
    for (std::size_t k = 0; k < kGroupSize; ++k) {
      if (keys[m][k] > within) continue;
      best = std::min(best, exactly(space, measured[m], k, target) << 8 | index_[measured[m]][k]);
    }
  }
  return static_cast<std::uint8_t>(best & 0xFF);
}

}  // namespace varnu::pack
