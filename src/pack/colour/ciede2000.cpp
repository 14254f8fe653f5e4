#include "pack/colour/ciede2000.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "pack/colour/oklab.hpp"

namespace varnu::pack {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The cube root of t from 0.0088 to 1 (white, and a hair more by rounding), where CIELAB takes
// it: from a table of 1025 roots, drawn once, a straight line between the two around t is within
// 0.04% of the root; one step of Halley's method, which triples the digits, then reaches 1e-10.
constexpr int kRootSteps = 1024;

double newton_step(double x, double t) {
  return (2.0 * x + t / (x * x)) / 3.0;
}

const std::array<double, kRootSteps + 2>& cube_roots() {
  static const std::array<double, kRootSteps + 2> roots = [] {
    std::array<double, kRootSteps + 2> table{};
    for (int k = 1; k < kRootSteps + 2; ++k) {
      const double t = static_cast<double>(k) / kRootSteps;
      double x = (0.1 + 1.9 * t) / (0.35 + t);  // within 20%; six steps reach a double's precision
      for (int step = 0; step < 6; ++step) x = newton_step(x, t);
      table[static_cast<std::size_t>(k)] = x;
    }
    return table;
  }();
  return roots;
}

double cube_root(double t) {
  const double place = std::min(t, 1.0) * kRootSteps;
  const auto below = static_cast<std::size_t>(place);
  const std::array<double, kRootSteps + 2>& roots = cube_roots();
  const double x =
      roots[below] + (place - static_cast<double>(below)) * (roots[below + 1] - roots[below]);
  const double cube = x * x * x;
  return x * (cube + 2.0 * t) / (2.0 * cube + t);
}

// The arctangent of y / x in degrees, 0 to 360: folded onto [0, 1] and a polynomial whose error
// is under 1e-5 degrees.
double angle_degrees(double y, double x) {
  const double ax = std::fabs(x), ay = std::fabs(y);
  if (ax == 0.0 && ay == 0.0) return 0.0;
  const bool steep = ay > ax;
  const double z = steep ? ax / ay : ay / ax;
  const double z2 = z * z;
  double r =
      z * (0.99997726 +
           z2 * (-0.33262347 +
                 z2 * (0.19354346 + z2 * (-0.11643287 + z2 * (0.05265332 + z2 * -0.01172120)))));
  if (steep) r = kPi / 2.0 - r;
  if (x < 0.0) r = kPi - r;
  if (y < 0.0) r = 2.0 * kPi - r;
  return r * 180.0 / kPi;
}

// e^y for y <= 0, as (e^(y / 64))^64 with the small power from its series.
double exp_of_negative(double y) {
  if (y < -40.0) return 0.0;
  const double s = y / 64.0;
  double e =
      1.0 +
      s * (1.0 + s / 2.0 * (1.0 + s / 3.0 * (1.0 + s / 4.0 * (1.0 + s / 5.0 * (1.0 + s / 6.0)))));
  for (int k = 0; k < 6; ++k) e *= e;
  return e;
}

// sin x for x in [0, pi / 2], from its series.
double sine(double x) {
  const double x2 = x * x;
  return x *
         (1.0 - x2 / 6.0 *
                    (1.0 - x2 / 20.0 * (1.0 - x2 / 42.0 * (1.0 - x2 / 72.0 * (1.0 - x2 / 110.0)))));
}

// sin(2 R) for the rotation R of blues at mean hue h, R = 30 exp(-((h - 275) / 25)^2) degrees,
// from a table drawn once at every 32nd of a degree from 120 (below which it is under 1e-15)
// to 360, and a straight line between: within 1e-6 of the formula.
constexpr int kRotationSteps = 32;  // a degree
constexpr double kRotationFrom = 120.0;

double rotation_sine(double hue) {
  static const std::vector<double> table = [] {
    std::vector<double> sines;
    for (int k = 0; k <= static_cast<int>(360.0 - kRotationFrom) * kRotationSteps + 1; ++k) {
      const double h = kRotationFrom + static_cast<double>(k) / kRotationSteps;
      const double away = (h - 275.0) * (1.0 / 25.0);
      const double rotation = 30.0 * exp_of_negative(-away * away);  // degrees, 0 to 30
      sines.push_back(sine(rotation * (2.0 * kPi / 180.0)));
    }
    return sines;
  }();
  const double place = (std::max(hue, kRotationFrom) - kRotationFrom) * kRotationSteps;
  const auto below = static_cast<std::size_t>(place);
  return table[below] + (place - static_cast<double>(below)) * (table[below + 1] - table[below]);
}

double seventh(double x) {
  const double x2 = x * x;
  return x2 * x2 * x2 * x;
}

constexpr double kTwentyFiveToTheSeventh = 6103515625.0;

}  // namespace

CieColour cie_colour(Colour colour) {
  const double r = linear_light(colour >> 16 & 0xFF);
  const double g = linear_light(colour >> 8 & 0xFF);
  const double b = linear_light(colour & 0xFF);
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  const auto f = [](double t) {
    return t > 216.0 / 24389.0 ? cube_root(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
  };
  return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

namespace {

// The differences from `one` to each of `two`, side by side: each step is a loop over the lanes,
// which compilers make one vector instruction for two, with a choice where the formula has a
// branch; for one, it is the formula as written.
template <std::size_t kLanes>
std::array<double, kLanes> differences(const CieColour& one,
                                       const std::array<CieColour, kLanes>& two) {
  const double c1 = std::sqrt(one.a * one.a + one.b * one.b);
  std::array<double, kLanes> out;
  double g[kLanes], a1[kLanes], a2[kLanes], cp1[kLanes], cp2[kLanes], dh[kLanes], cs[kLanes],
      sn[kLanes], t[kLanes];
  for (std::size_t i = 0; i < kLanes; ++i) {
    const double c2 = std::sqrt(two[i].a * two[i].a + two[i].b * two[i].b);
    const double c7 = seventh((c1 + c2) * 0.5);
    g[i] = 0.5 * (1.0 - std::sqrt(c7 / (c7 + kTwentyFiveToTheSeventh)));
  }
  for (std::size_t i = 0; i < kLanes; ++i) {
    a1[i] = (1.0 + g[i]) * one.a;
    a2[i] = (1.0 + g[i]) * two[i].a;
    cp1[i] = std::sqrt(a1[i] * a1[i] + one.b * one.b);
    cp2[i] = std::sqrt(a2[i] * a2[i] + two[i].b * two[i].b);
  }
  // The hue difference without angles: its square is 2 (C1' C2' - a1' a2' - b1 b2), its sign
  // that of the turn from one hue to the other.
  for (std::size_t i = 0; i < kLanes; ++i) {
    const double dh2 = 2.0 * (cp1[i] * cp2[i] - a1[i] * a2[i] - one.b * two[i].b);
    const double size = std::sqrt(dh2 > 0.0 ? dh2 : 0.0);
    dh[i] = a1[i] * two[i].b - a2[i] * one.b < 0.0 ? -size : size;
  }
  // The mean hue: the bisector of the two hues' directions (each direction times the other's
  // chroma, which points the same way without dividing), the one hue where the other has none,
  // 0 where neither has, and square to the hues where they are opposite.
  for (std::size_t i = 0; i < kLanes; ++i) {
    double hx = a1[i] * cp2[i] + a2[i] * cp1[i], hy = one.b * cp2[i] + two[i].b * cp1[i];
    hx = cp1[i] == 0.0 ? a2[i] : cp2[i] == 0.0 ? a1[i] : hx;
    hy = cp1[i] == 0.0 ? two[i].b : cp2[i] == 0.0 ? one.b : hy;
    const bool opposite = cp1[i] > 0.0 && cp2[i] > 0.0 && hx == 0.0 && hy == 0.0;
    const double x = opposite ? -one.b : hx, y = opposite ? a1[i] : hy;
    const double length = std::sqrt(x * x + y * y);
    const double to_unit = 1.0 / (length > 0.0 ? length : 1.0);
    cs[i] = length > 0.0 ? x * to_unit : 1.0;
    sn[i] = y * to_unit;
  }
  // cos(h - 30), cos 2h, cos(3h + 6) and cos(4h - 63), in degrees.
  for (std::size_t i = 0; i < kLanes; ++i) {
    const double c = cs[i], s = sn[i];
    const double cos2 = c * c - s * s, sin2 = 2.0 * s * c;
    const double cos3 = c * (4.0 * c * c - 3.0), sin3 = s * (3.0 - 4.0 * s * s);
    const double cos4 = 2.0 * cos2 * cos2 - 1.0, sin4 = 2.0 * sin2 * cos2;
    t[i] = 1.0 - 0.17 * (c * 0.86602540378443865 + s * 0.5) + 0.24 * cos2 +
           0.32 * (cos3 * 0.99452189536827333 - sin3 * 0.10452846326765347) -
           0.20 * (cos4 * 0.45399049973954675 + sin4 * 0.89100652418836786);
  }
  // The rotation of blues: 30 degrees at a mean hue of 275, less than 1e-15 of a degree below
  // 120, too little to move a sum of doubles, so not worked out there.
  double rt[kLanes] = {};
  for (std::size_t i = 0; i < kLanes; ++i) {
    if (sn[i] < 0.0 || cs[i] < -0.5) {
      const double cp7 = seventh((cp1[i] + cp2[i]) * 0.5);
      const double rc = 2.0 * std::sqrt(cp7 / (cp7 + kTwentyFiveToTheSeventh));
      rt[i] = -rotation_sine(angle_degrees(sn[i], cs[i])) * rc;
    }
  }
  for (std::size_t i = 0; i < kLanes; ++i) {
    const double mean_l = (one.l + two[i].l) * 0.5 - 50.0;
    const double l50 = mean_l * mean_l;
    const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double cp_mean = (cp1[i] + cp2[i]) * 0.5;
    const double sc = 1.0 + 0.045 * cp_mean;
    const double sh = 1.0 + 0.015 * cp_mean * t[i];
    const double l_term = (two[i].l - one.l) / sl, c_term = (cp2[i] - cp1[i]) / sc;
    const double h_term = dh[i] / sh;
    out[i] =
        std::sqrt(l_term * l_term + c_term * c_term + h_term * h_term + rt[i] * c_term * h_term);
  }
  return out;
}

}  // namespace

double ciede2000(const CieColour& one, const CieColour& two) {
  return differences<1>(one, {two})[0];
}

std::array<double, 2> ciede2000(const CieColour& one, const std::array<CieColour, 2>& two) {
  return differences<2>(one, two);
}

}  // namespace varnu::pack
