// How far written colours are from the edited ones, by the benchmark's own CIEDE2000 (never the
// packer's), over the pixels whose colour changed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench/ciede2000.hpp"

namespace varnu::testing {

struct ColourError {
  std::uint64_t moved = 0;
  double mean = 0;  // over the moved pixels
  double largest = 0;
};

inline ColourError colour_error(const std::vector<std::uint32_t>& edited,
                                const std::vector<std::uint32_t>& written) {
  ColourError error;
  double total = 0;
  for (std::size_t p = 0; p < edited.size() && p < written.size(); ++p) {
    if (edited[p] == written[p]) continue;
    ++error.moved;
    const double e = bench::ciede2000(bench::cielab_of(edited[p]), bench::cielab_of(written[p]));
    total += e;
    error.largest = std::max(error.largest, e);
  }
  if (error.moved != 0) error.mean = total / static_cast<double>(error.moved);
  return error;
}

}  // namespace varnu::testing
