// CIEDE2000, the CIE's colour difference, for judging mappings from outside: written from the
// published formula (sRGB with D65 white to CIELAB, then the difference with kL = kC = kH = 1),
// sharing nothing with the packer's own colour code.
#pragma once

#include <cmath>
#include <cstdint>

namespace varnu::bench {

struct CieLab {
  double l, a, b;
};

inline CieLab cielab_of(std::uint32_t rgb) {
  const auto linear = [](unsigned v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const double r = linear(rgb >> 16 & 0xFF), g = linear(rgb >> 8 & 0xFF), b = linear(rgb & 0xFF);
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  const auto f = [](double t) {
    return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
  };
  return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

inline double ciede2000(const CieLab& one, const CieLab& two) {
  constexpr double kPi = 3.14159265358979323846;
  const auto degrees = [&](double radians) { return radians * 180.0 / kPi; };
  const auto radians = [&](double deg) { return deg * kPi / 180.0; };
  const double c1 = std::hypot(one.a, one.b), c2 = std::hypot(two.a, two.b);
  const double c_mean = (c1 + c2) / 2.0;
  const double c7 = std::pow(c_mean, 7.0);
  const double g = 0.5 * (1.0 - std::sqrt(c7 / (c7 + std::pow(25.0, 7.0))));
  const double a1 = (1.0 + g) * one.a, a2 = (1.0 + g) * two.a;
  const double cp1 = std::hypot(a1, one.b), cp2 = std::hypot(a2, two.b);
  const auto hue = [&](double b, double a) {
    if (a == 0.0 && b == 0.0) return 0.0;
    const double h = degrees(std::atan2(b, a));
    return h < 0.0 ? h + 360.0 : h;
  };
  const double hp1 = hue(one.b, a1), hp2 = hue(two.b, a2);
  const double dl = two.l - one.l;
  const double dc = cp2 - cp1;
  double dh = 0.0;
  if (cp1 * cp2 != 0.0) {
    dh = hp2 - hp1;
    if (dh > 180.0) dh -= 360.0;
    if (dh < -180.0) dh += 360.0;
  }
  const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(radians(dh / 2.0));
  const double l_mean = (one.l + two.l) / 2.0;
  const double cp_mean = (cp1 + cp2) / 2.0;
  double hp_mean = hp1 + hp2;
  if (cp1 * cp2 != 0.0) {
    if (std::abs(hp1 - hp2) <= 180.0) {
      hp_mean /= 2.0;
    } else {
      hp_mean = hp1 + hp2 < 360.0 ? (hp1 + hp2 + 360.0) / 2.0 : (hp1 + hp2 - 360.0) / 2.0;
    }
  }
  const double t = 1.0 - 0.17 * std::cos(radians(hp_mean - 30.0)) +
                   0.24 * std::cos(radians(2.0 * hp_mean)) +
                   0.32 * std::cos(radians(3.0 * hp_mean + 6.0)) -
                   0.20 * std::cos(radians(4.0 * hp_mean - 63.0));
  const double d_theta = 30.0 * std::exp(-std::pow((hp_mean - 275.0) / 25.0, 2.0));
  const double cp7 = std::pow(cp_mean, 7.0);
  const double rc = 2.0 * std::sqrt(cp7 / (cp7 + std::pow(25.0, 7.0)));
  const double l50 = (l_mean - 50.0) * (l_mean - 50.0);
  const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
  const double sc = 1.0 + 0.045 * cp_mean;
  const double sh = 1.0 + 0.015 * cp_mean * t;
  const double rt = -std::sin(radians(2.0 * d_theta)) * rc;
  return std::sqrt((dl / sl) * (dl / sl) + (dc / sc) * (dc / sc) + (dH / sh) * (dH / sh) +
                   rt * (dc / sc) * (dH / sh));
}

}  // namespace varnu::bench
