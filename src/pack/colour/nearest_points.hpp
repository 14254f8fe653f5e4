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

  static constexpr std::size_t kGroupSize = 32;

 private:
  void group(std::vector<Point>& points, std::size_t begin, std::size_t end);

  // The points in groups of neighbours, each in kGroupSize places (the rest taken by copies of
  // its first point), axis by axis, as floats and as whole numbers.
  std::vector<std::array<float, kGroupSize>> near_[3];
  std::vector<std::array<std::int32_t, kGroupSize>> at_[3];
  std::vector<std::array<std::int32_t, kGroupSize>> index_;
  // Each group's box, and the point of it nearest its middle.
  std::vector<float> low_[3], high_[3], middle_[3];
};

}  // namespace varnu::pack
