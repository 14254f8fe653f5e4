// CIEDE2000, the CIE's colour difference, computed the same way on every platform: only
// additions, multiplications, divisions and square roots of doubles (which IEEE 754 rounds
// exactly, and which the build never fuses), with the arctangent, exponential and sine written
// out as fixed series rather than taken from a C library.
#pragma once

#include <array>

#include "pack/picture/true_colour.hpp"

namespace varnu::pack {

// CIELAB under D65.
struct CieColour {
  double l = 0, a = 0, b = 0;
};

CieColour cie_colour(Colour colour);

// The difference, with kL = kC = kH = 1.
double ciede2000(const CieColour& one, const CieColour& two);
// From one colour to two others, in about the time of one.
std::array<double, 2> ciede2000(const CieColour& one, const std::array<CieColour, 2>& two);

}  // namespace varnu::pack
