// The nearest of a few points of whole-number space to any other point, exactly: of several as
// near, the one of the lowest index.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace varnu::pack {

class NearestPoint {
 public:
  using Coordinates = std::array<std::int32_t, 3>;
  struct Point {
    Coordinates at;
    std::uint8_t index;
    // The point in a second space, for nearest_within.
    Coordinates also{};
  };
  // At least one point and at most 256, of different indices; coordinates within 2^20 of 0, as
  // are the targets'.
  explicit NearestPoint(std::vector<Point> points);

  // The index of the nearest point, and its squared distance.
  struct Found {
    std::uint8_t index;
    std::int64_t distance_squared;
  };
  Found nearest(const Coordinates& target) const;
  // The same, faster where the point of index `near` is as near as can be: the one found for a
  // target nearby, say.
  Found nearest(const Coordinates& target, std::uint8_t near) const;

  // The nearest point to `target`, and of the points at most `reach` farther from it than that
  // one, the nearest to `also` in the second space. For points and targets of coordinates 0 to
  // 255, whose squared distances floats hold exactly; "at most `reach` farther" is squared
  // distance at most (sqrt(nearest's) + reach)^2, worked out in floats.
  struct NearestTwice {
    std::uint8_t nearest;
    std::uint8_t nearest_also;
  };
  NearestTwice nearest_within(const Coordinates& target, const Coordinates& also,
                              float reach) const;

  static constexpr std::size_t kGroupSize = 32;
  // 256 points halved until 32 or fewer: 8 groups at most.
  static constexpr std::size_t kMostGroups = 8;

 private:
  using Row = std::array<float, kGroupSize>;
  using WholeRow = std::array<std::int32_t, kGroupSize>;
  struct Space {
    // Each group's points axis by axis, as floats and as whole numbers, in kGroupSize places
    // (the rest taken by copies of its first point).
    std::vector<Row> near[3];
    std::vector<WholeRow> at[3];
  };
  void group(std::vector<Point>& points, std::size_t begin, std::size_t end);
  // The nearest, no farther than `bound` (a float squared distance), from the target's floats `t`.
  Found nearest_within_bound(const Coordinates& target, const float (&t)[3], float bound) const;
  // The groups whose box is within `bound` (a float squared distance) of the target.
  template <typename Measure>
  void for_groups_within(const float (&target)[3], float bound, Measure measure) const;
  // Of the measured groups' keys (float distances' bits with the index in place of the lowest 8)
  // the index of the nearest point: of the least key, unless others are within a hair of it,
  // and those measured again exactly.
  std::uint8_t resolve(const Space& space, const std::array<WholeRow, kMostGroups>& keys,
                       const std::array<std::uint8_t, kMostGroups>& measured, std::size_t count,
                       std::int32_t least, const Coordinates& target) const;
  // A group's keys (float distances' bits with the index in place of the lowest 8), and the least.
  std::int32_t measure_group(const Space& space, std::size_t group, const float (&target)[3],
                             WholeRow& key) const;
  // A group's squared distances from `target` (0 to 255 a coordinate), and its keys in the
  // second space from `also`; gives the least squared distance with the index in the lowest 8
  // bits.
  std::int32_t measured_also(std::size_t group, const float (&target)[3], const float (&also)[3],
                             WholeRow& distance, WholeRow& key) const;
  // The squared distance of a group's point from the target, exactly.
  std::int64_t exactly(const Space& space, std::size_t group, std::size_t k,
                       const Coordinates& target) const;

  Space space_;
  Space also_;
  std::vector<WholeRow> index_;
  // Where each index is, and in how many places (its copies fill its group's empty places).
  struct Place {
    std::size_t group = 0, slot = 0;
  };
  std::array<Place, 256> place_{};
  std::array<std::int32_t, 256> copies_{};
  // Each group's box, and the point of it nearest its middle, axis by axis; kMostGroups places
  // always, the ones past the groups far from everything, so that a loop over them has the same
  // length every time.
  using GroupRow = std::array<float, kMostGroups>;
  std::array<GroupRow, 3> low_, high_, middle_;
};

}  // namespace varnu::pack
