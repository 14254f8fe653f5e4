#include "pack/colour/distinct.hpp"

#include <array>
#include <utility>

namespace varnu::pack {
namespace {

constexpr unsigned kDigitBits = 12;  // two passes over 24-bit colours
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;

// One stable pass of a least-significant-digit radix sort.
void sort_by_digit(std::span<const Colour> from, std::span<Colour> to, unsigned shift) {
  std::array<std::size_t, kDigits> start{};
  for (const Colour c : from) ++start[(c >> shift) & (kDigits - 1)];
  std::size_t total = 0;
  for (std::size_t& s : start) total += std::exchange(s, total);
  for (const Colour c : from) to[start[(c >> shift) & (kDigits - 1)]++] = c;
}

}  // namespace

std::vector<ColourCount> distinct_colours(std::span<const Colour> colours) {
  std::vector<Colour> sorted(colours.size());
  {
    std::vector<Colour> half_sorted(colours.size());
    sort_by_digit(colours, half_sorted, 0);
    sort_by_digit(half_sorted, sorted, kDigitBits);
  }
  std::size_t different = 0;
  for (std::size_t k = 0; k < sorted.size(); ++k) different += k == 0 || sorted[k] != sorted[k - 1];
  std::vector<ColourCount> out;
  out.reserve(different);
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    if (k == 0 || sorted[k] != sorted[k - 1]) out.push_back({sorted[k], 0});
    ++out.back().pixels;
  }
  return out;
}

}  // namespace varnu::pack
