#include "pack/colour/ciede2000.hpp"

#include <cmath>

#include "pack/colour/oklab.hpp"

namespace varnu::pack {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The cube root of t in [0.0088, 1.1] (where CIELAB takes it), by Newton's method from a
// rational guess within 20%: six steps reach a double's precision.
double cube_root(double t) {
  double x = (0.1 + 1.9 * t) / (0.35 + t);
  for (int k = 0; k < 6; ++k) x = (2.0 * x + t / (x * x)) / 3.0;
  return x;
}

// The arctangent of y / x in degrees, 0 to 360: folded onto [0, 1] and a polynomial whose error
// is under 1e-5 degrees.
double angle_degrees(double y, double x) {
  const double ax = std::fabs(x), ay = std::fabs(y);
  if (ax == 0.0 && ay == 0.0) return 0.0;
  const bool steep = ay > ax;
  const double z = steep ? ax / ay : ay / ax;
  const double z2 = z * z;
  double r = z * (0.99997726 +
                  z2 * (-0.33262347 + z2 * (0.19354346 + z2 * (-0.11643287 +
                                                               z2 * (0.05265332 + z2 * -0.01172120)))));
  if (steep) r = kPi / 2.0 - r;
  if (x < 0.0) r = kPi - r;
  if (y < 0.0) r = 2.0 * kPi - r;
  return r * 180.0 / kPi;
}

// e^y for y <= 0, as (e^(y / 64))^64 with the small power from its series.
double exp_of_negative(double y) {
  if (y < -40.0) return 0.0;
  const double s = y / 64.0;
  double e = 1.0 + s * (1.0 + s / 2.0 * (1.0 + s / 3.0 * (1.0 + s / 4.0 * (1.0 + s / 5.0 * (1.0 + s / 6.0)))));
  for (int k = 0; k < 6; ++k) e *= e;
  return e;
}

// sin x for x in [0, pi / 2], from its series.
double sine(double x) {
  const double x2 = x * x;
  return x * (1.0 - x2 / 6.0 * (1.0 - x2 / 20.0 * (1.0 - x2 / 42.0 * (1.0 - x2 / 72.0 *
                                                                                (1.0 - x2 / 110.0)))));
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

double ciede2000(const CieColour& one, const CieColour& two) {
  const double c1 = std::sqrt(one.a * one.a + one.b * one.b);
  const double c2 = std::sqrt(two.a * two.a + two.b * two.b);
  const double c7 = seventh((c1 + c2) / 2.0);
  const double g = 0.5 * (1.0 - std::sqrt(c7 / (c7 + kTwentyFiveToTheSeventh)));
  const double a1 = (1.0 + g) * one.a, a2 = (1.0 + g) * two.a;
  const double cp1 = std::sqrt(a1 * a1 + one.b * one.b);
  const double cp2 = std::sqrt(a2 * a2 + two.b * two.b);
  const double dl = two.l - one.l;
  const double dc = cp2 - cp1;
  // The hue difference without angles: its square is 2 (C1' C2' - a1' a2' - b1 b2), its sign
  // that of the turn from one hue to the other.
  const double turn = a1 * two.b - a2 * one.b;
  const double dh2 = 2.0 * (cp1 * cp2 - a1 * a2 - one.b * two.b);
  const double dh = (turn < 0.0 ? -1.0 : 1.0) * std::sqrt(dh2 > 0.0 ? dh2 : 0.0);
  // The mean hue: the bisector of the two hues' directions, the one hue where the other has
  // none, 0 where neither has.
  double hx = 0.0, hy = 0.0;
  if (cp1 > 0.0) hx += a1 / cp1, hy += one.b / cp1;
  if (cp2 > 0.0) hx += a2 / cp2, hy += two.b / cp2;
  if (cp1 > 0.0 && cp2 > 0.0 && hx == 0.0 && hy == 0.0) hx = -one.b / cp1, hy = a1 / cp1;
  const double length = std::sqrt(hx * hx + hy * hy);
  const double cs = length > 0.0 ? hx / length : 1.0;
  const double sn = length > 0.0 ? hy / length : 0.0;
  const double cos2 = cs * cs - sn * sn, sin2 = 2.0 * sn * cs;
  const double cos3 = cs * (4.0 * cs * cs - 3.0), sin3 = sn * (3.0 - 4.0 * sn * sn);
  const double cos4 = 2.0 * cos2 * cos2 - 1.0, sin4 = 2.0 * sin2 * cos2;
  // cos(h - 30), cos 2h, cos(3h + 6) and cos(4h - 63), in degrees.
  const double t = 1.0 - 0.17 * (cs * 0.86602540378443865 + sn * 0.5) + 0.24 * cos2 +
                   0.32 * (cos3 * 0.99452189536827333 - sin3 * 0.10452846326765347) -
                   0.20 * (cos4 * 0.45399049973954675 + sin4 * 0.89100652418836786);
  const double mean_hue = angle_degrees(sn, cs);
  const double away = (mean_hue - 275.0) / 25.0;
  const double rotation = 30.0 * exp_of_negative(-away * away);  // degrees, 0 to 30
  const double cp7 = seventh((cp1 + cp2) / 2.0);
  const double rc = 2.0 * std::sqrt(cp7 / (cp7 + kTwentyFiveToTheSeventh));
  const double l50 = ((one.l + two.l) / 2.0 - 50.0) * ((one.l + two.l) / 2.0 - 50.0);
  const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
  const double cp_mean = (cp1 + cp2) / 2.0;
  const double sc = 1.0 + 0.045 * cp_mean;
  const double sh = 1.0 + 0.015 * cp_mean * t;
  const double rt = -sine(2.0 * rotation * kPi / 180.0) * rc;
  const double l_term = dl / sl, c_term = dc / sc, h_term = dh / sh;
  return std::sqrt(l_term * l_term + c_term * c_term + h_term * h_term + rt * c_term * h_term);
}

}  // namespace varnu::pack
