// sRGB to linear light by a table, linear light to the cone responses by a matrix of whole
// numbers whose rows add up to exactly kLabOne (so that white is L = kLabOne and every grey has
// a = b = 0), their cube roots by a table of exact integer roots, and those to L, a and b by the
// second matrix, in the same way.
#include "pack/colour/oklab.hpp"

#include <array>
#include <bit>
#include <vector>

namespace varnu::pack {
namespace {

// round(linear(k / 255) * 65536) with sRGB's transfer curve: k / 255 / 12.92 up to 0.04045, then
// ((k / 255 + 0.055) / 1.055) ^ 2.4. Written out rather than computed, so that no C library's
// pow() decides a colour; a test checks it against the formula.
constexpr std::array<std::uint32_t, 256> kLinear = {
    0,     20,    40,    60,    80,    99,    119,   139,   159,   179,   199,   219,
    241,   264,   288,   313,   340,   367,   396,   427,   458,   491,   526,   562,
    599,   637,   677,   718,   761,   805,   851,   898,   947,   997,   1048,  1101,
    1156,  1212,  1270,  1330,  1391,  1453,  1517,  1583,  1651,  1720,  1791,  1863,
    1937,  2013,  2090,  2170,  2250,  2333,  2418,  2504,  2592,  2681,  2773,  2866,
    2961,  3058,  3157,  3258,  3360,  3464,  3570,  3678,  3788,  3900,  4014,  4129,
    4247,  4366,  4488,  4611,  4736,  4864,  4993,  5124,  5257,  5392,  5530,  5669,
    5810,  5953,  6099,  6246,  6395,  6547,  6701,  6856,  7014,  7174,  7336,  7500,
    7666,  7834,  8004,  8177,  8352,  8529,  8708,  8889,  9072,  9258,  9446,  9636,
    9828,  10022, 10219, 10418, 10619, 10822, 11028, 11236, 11446, 11658, 11873, 12090,
    12309, 12531, 12754, 12981, 13209, 13440, 13673, 13909, 14147, 14387, 14629, 14874,
    15122, 15372, 15624, 15878, 16135, 16394, 16656, 16920, 17187, 17456, 17727, 18001,
    18278, 18556, 18838, 19121, 19408, 19696, 19988, 20281, 20578, 20876, 21178, 21481,
    21788, 22096, 22408, 22722, 23038, 23357, 23679, 24003, 24329, 24659, 24991, 25325,
    25662, 26002, 26344, 26689, 27036, 27387, 27739, 28095, 28453, 28813, 29177, 29543,
    29911, 30283, 30657, 31033, 31413, 31795, 32180, 32567, 32957, 33350, 33746, 34144,
    34545, 34949, 35355, 35765, 36177, 36591, 37009, 37429, 37852, 38278, 38707, 39138,
    39572, 40009, 40449, 40892, 41337, 41786, 42237, 42691, 43147, 43607, 44069, 44534,
    45003, 45474, 45947, 46424, 46904, 47386, 47871, 48360, 48851, 49345, 49842, 50342,
    50844, 51350, 51859, 52370, 52884, 53402, 53922, 54445, 54972, 55501, 56033, 56568,
    57106, 57647, 58191, 58738, 59288, 59841, 60397, 60956, 61518, 62083, 62651, 63222,
    63796, 64373, 64953, 65536,
};

// OKLab's two matrices times 65536, each row rounded so that it adds up as the exact one does.
constexpr std::int64_t kToCones[3][3] = {
    {27015, 35149, 3372}, {13887, 44611, 7038}, {5787, 18463, 41286}};
constexpr std::int64_t kToLab[3][3] = {
    {13792, 52011, -267}, {129630, -159160, 29530}, {1697, 51300, -52997}};

// (sum + half) >> 16 for a sum of products of 16-bit fractions: rounded, ties upward; >> of a
// negative number is a floor in C++20, so this holds on every platform.
std::int64_t scaled(std::int64_t sum) { return (sum + (1 << 15)) >> 16; }

// cube_root[v] = the cube root of v / 65536, times 65536, rounded down: v from 0 to 65536.
const std::vector<std::uint32_t>& cube_roots() {
  static const std::vector<std::uint32_t> table = [] {
    std::vector<std::uint32_t> roots(kLabOne + 1);
    std::uint64_t root = 0;
    for (std::uint64_t v = 0; v <= static_cast<std::uint64_t>(kLabOne); ++v) {
      const std::uint64_t scaled_v = v << 32;  // cube root of v << 32 is cbrt(v / 2^16) * 2^16
      while ((root + 1) * (root + 1) * (root + 1) <= scaled_v) ++root;
      roots[v] = static_cast<std::uint32_t>(root);
    }
    return roots;
  }();
  return table;
}

}  // namespace

Lab to_oklab(Colour colour) {
  const std::int64_t linear[3] = {kLinear[colour >> 16 & 0xFF], kLinear[colour >> 8 & 0xFF],
                                  kLinear[colour & 0xFF]};
  const std::vector<std::uint32_t>& cube_root = cube_roots();
  std::int64_t cone[3];
  for (int row = 0; row < 3; ++row) {
    const std::int64_t response = scaled(kToCones[row][0] * linear[0] +
                                         kToCones[row][1] * linear[1] + kToCones[row][2] * linear[2]);
    cone[row] = cube_root[static_cast<std::size_t>(response)];
  }
  std::int32_t lab[3];
  for (int row = 0; row < 3; ++row) {
    lab[row] = static_cast<std::int32_t>(
        scaled(kToLab[row][0] * cone[0] + kToLab[row][1] * cone[1] + kToLab[row][2] * cone[2]));
  }
  return {lab[0], lab[1], lab[2]};
}

double linear_light(unsigned channel) { return kLinear[channel & 0xFF] / 65536.0; }

std::uint32_t whole_square_root(std::uint64_t n) {
  // Bit by bit from the highest: exact, with no floating point.
  std::uint64_t root = 0;
  const int highest = std::bit_width(n) == 0 ? 0 : (std::bit_width(n) - 1) / 2;
  for (std::uint64_t bit = std::uint64_t{1} << highest; bit != 0; bit >>= 1) {
    const std::uint64_t trial = root | bit;
    if (trial * trial <= n) root = trial;
  }
  return static_cast<std::uint32_t>(root);
}

}  // namespace varnu::pack
