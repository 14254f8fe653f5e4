#include "pack/colour/mapping.hpp"

namespace varnu::pack {
namespace {

// 152 as "1.52": whole numbers only, so that every platform prints the same.
std::string in_hundredths(std::uint32_t value) {
  const std::uint32_t fraction = value % 100;
  return std::to_string(value / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction);
}

}  // namespace

std::string describe(const MappingFigures& figures) {
  return std::to_string(figures.pixels_moved) +
         (figures.pixels_moved == 1 ? " pixel moved" : " pixels moved") +
         ", colour error (CIEDE2000) mean " + in_hundredths(figures.mean_error) + ", largest " +
         in_hundredths(figures.largest_error);
}

}  // namespace varnu::pack
