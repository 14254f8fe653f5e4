// The original the patch target applies its inputs to, made from one byte of the input, so that
// the seeds (make_seeds.cpp) and the target agree on it: up to 4 KiB of bytes that repeat with a
// period, as an archive's entries often do, but never the same from one place to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnu::fuzz {

inline std::vector<std::uint8_t> patch_original(std::uint8_t seed) {
  std::vector<std::uint8_t> original(std::size_t{seed} * 16);
  for (std::size_t k = 0; k < original.size(); ++k) {
    original[k] = static_cast<std::uint8_t>((k % (seed % 61 + 3)) * 29 + k / 509);
  }
  return original;
}

}  // namespace varnu::fuzz
