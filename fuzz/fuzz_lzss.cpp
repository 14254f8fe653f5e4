// The decoder on arbitrary payloads. Every result is checked against the classic ring decoder,
// and the buffer it decodes into against what the decoder promises the driver: it never
// shrinks, and bytes past the decoded length keep what an earlier entry left there.
//
// Input: the buffer's size before decoding (two bytes, little-endian), a byte that seeds the
// pattern the buffer is filled with, then the payload.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "lzss/lzss.hpp"
#include "pack/encoder/classic_lzss.hpp"

namespace {

constexpr std::size_t kPrefixSize = 3;

// Neighbouring bytes differ, so that a byte copied from the wrong place or a shifted run shows.
std::uint8_t pattern_byte(std::uint8_t seed, std::size_t k) {
  return static_cast<std::uint8_t>(seed + k * 151 + (k >> 8));
}

[[noreturn]] void fault(const char* what, std::size_t at) {
  std::fprintf(stderr, "fuzz-lzss: %s (at %zu)\n", what, at);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefixSize) return 0;
  const std::size_t size_before = data[0] | std::size_t{data[1]} << 8;
  const std::uint8_t seed = data[2];
  const std::span<const std::uint8_t> payload(data + kPrefixSize, size - kPrefixSize);

  // Exactly as large as asked, so that any growth moves the buffer and a stale pointer into
  // the old one is caught.
  std::vector<std::uint8_t> image(size_before);
  for (std::size_t k = 0; k < size_before; ++k) image[k] = pattern_byte(seed, k);

  const std::size_t decoded = varnu::lzss_expand(payload, image);
  const std::vector<std::uint8_t> expected = varnu::pack::classic_lzss_decode(payload);

  if (decoded != expected.size()) fault("decoded length differs from the ring decoder", decoded);
  if (image.size() < size_before) fault("the buffer shrank", image.size());
  if (image.size() != std::max(size_before, decoded))
    fault("the buffer has the wrong size", image.size());
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), image.begin());
  if (mismatch.first != expected.end()) {
    fault("decoded byte differs from the ring decoder",
          static_cast<std::size_t>(mismatch.first - expected.begin()));
  }
  for (std::size_t k = decoded; k < size_before; ++k) {
    if (image[k] != pattern_byte(seed, k)) fault("a byte past the decoded length changed", k);
  }
  return 0;
}
