// The packer against reckonings of its own: the smallest stream the format allows, from a
// brute-force search of the whole window at every position; streams for runs worked out by hand;
// and round trips over the pictures that make a match search work hardest.
#include "pack/encoder/lzss_pack.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "pack/encoder/classic_lzss.hpp"
#include "tools/picture.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using varnu::pack::classic_lzss_decode;
using varnu::pack::lzss_pack;
using namespace varnu::tools;

// The size of the smallest stream: every literal 9 bits, every match (3 to 18 bytes, copied
// from up to 4096 bytes back, the zeros of the untouched ring included) 17 bits, flag bits
// grouped by eight, so the bytes are the bits rounded up.
std::size_t smallest_stream(const Bytes& data) {
  constexpr std::size_t kRing = 4096;
  Bytes all(kRing, 0);
  all.insert(all.end(), data.begin(), data.end());
  const std::size_t n = data.size();
  std::vector<std::size_t> bits(n + 1, 0);
  for (std::size_t i = n; i-- > 0;) {
    std::size_t longest = 0;
    for (std::size_t back = 1; back <= kRing; ++back) {
      std::size_t l = 0;
      while (l < 18 && i + l < n && all[kRing + i - back + l] == all[kRing + i + l]) ++l;
      longest = std::max(longest, l);
    }
    bits[i] = 9 + bits[i + 1];
    for (std::size_t l = 3; l <= longest; ++l) bits[i] = std::min(bits[i], 17 + bits[i + l]);
  }
  return (bits[0] + 7) / 8;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return out;
}

// The pixels with each index replaced by values[index], and every `stride`-th one by a byte of
// its own, so that strings of few values are cut at every length.
Bytes recoloured(const Picture& p, const Bytes& values, std::size_t stride = 0) {
  Bytes out;
  for (std::size_t i = 0; i < p.pixels.size(); ++i) {
    const bool cut = stride != 0 && i % stride == stride - 1;
    out.push_back(cut ? static_cast<std::uint8_t>(0x80 + i % 64) : values.at(p.pixels[i]));
  }
  return out;
}

// Runs of 1 to `longest` bytes, their lengths at random, of `values` in turn.
Bytes random_runs(std::size_t n, std::size_t longest, const Bytes& values) {
  Bytes out;
  const Bytes lengths = random_bytes(n, 6);
  for (std::size_t k = 0; out.size() < n; ++k) {
    out.insert(out.end(), 1 + lengths[k] % longest, values[k % values.size()]);
  }
  out.resize(n);
  return out;
}

Bytes twice(Bytes block) {
  block.insert(block.end(), block.begin(), block.end());
  return block;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(LzssPack, WritesTheSmallestStreamTheFormatAllows) {
  Bytes runs;
  for (std::size_t length = 1; length <= 40; ++length) runs.insert(runs.end(), length, length % 3);
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"noise of 2 values", draw_level_noise(80, 60, 2, 7).pixels},
      {"noise of 4 values", draw_level_noise(80, 60, 4, 8).pixels},
      {"noise of 16 values", draw_level_noise(80, 60, 16, 9).pixels},
      {"noise of 2 other values", recoloured(draw_level_noise(80, 60, 2, 10), {0xC3, 0x3C})},
      {"noise of 4 values, cut every 5",
       recoloured(draw_level_noise(80, 60, 4, 11), {9, 0, 7, 1}, 5)},
      {"noise of 2 values, cut every 9", recoloured(draw_level_noise(80, 60, 2, 12), {1, 2}, 9)},
      {"noise of 2 values, cut every 14", recoloured(draw_level_noise(80, 60, 2, 13), {1, 2}, 14)},
      {"sky", draw_vertical_gradient(64, 64).pixels},
      {"glow", draw_radial_gradient(80, 60).pixels},
      {"runs of every length", twice(runs)},
      {"runs of 2 values, 1 to 30 long", random_runs(5000, 30, {0x11, 0x22})},
      {"runs of 4 values, 1 to 20 long", random_runs(5000, 20, {5, 6, 5, 7, 8})},
      // The only matches lie exactly one ring back, then one byte past the ring.
      {"a block one ring back", twice(random_bytes(4096, 1))},
      {"a block one byte past the ring", concat({random_bytes(4097, 2), random_bytes(4097, 2)})},
      {"a run into the end", concat({random_bytes(100, 3), Bytes(20, 0x55)})},
      {"zeros into the end", concat({random_bytes(100, 4), Bytes(21, 0)})},
      {"zeros across the ring start", concat({Bytes(4090, 0), random_bytes(20, 5), Bytes(30, 0)})},
  };
  for (const auto& [name, data] : cases) {
    const Bytes packed = lzss_pack(data);
    EXPECT_EQ(packed.size(), smallest_stream(data)) << name;
    EXPECT_TRUE(classic_lzss_decode(packed) == data) << name;
  }
}

TEST(LzssPack, RunStreamsAreAsShortAsWorkedOut) {
  struct Case {
    const char* name;
    Bytes data;
    std::size_t size;
    Bytes stream;  // where only one stream has that size
  };
  const std::vector<Case> cases = {
      // A literal, then 18 bytes from the one before it: ring slot 0xFEE.
      {"19 of one value", Bytes(19, 'A'), 4, {0x01, 'A', 0xEE, 0xFF}},
      // Literals x and v, 9 more v from the v (slot 0xFEF), literal y: flags 1, 1, 0, 1.
      {"a run no earlier run is like",
       concat({{'x'}, Bytes(10, 'v'), {'y'}}),
       6,
       {0x0B, 'x', 'v', 0xEF, 0xF6, 'y'}},
      // A literal, a match of 18 and a literal, cheaper than two matches.
      {"20 of one value", Bytes(20, 'A'), 5, {}},
      // A literal and 56 matches (999 = 55 * 18 + 9), 57 items in 8 flag bytes.
      {"1000 of one value", Bytes(1000, 'A'), 8 + 1 + 56 * 2, {}},
      // From the zeros of the untouched ring.
      {"18 zeros", Bytes(18, 0), 3, {}},
      // A match of 18 and a literal.
      {"19 zeros", Bytes(19, 0), 4, {}},
      {"1000 zeros", Bytes(1000, 0), 7 + 56 * 2, {}},
  };
  for (const Case& c : cases) {
    const Bytes packed = lzss_pack(c.data);
    EXPECT_EQ(packed.size(), c.size) << c.name;
    if (!c.stream.empty()) {
      EXPECT_EQ(packed, c.stream) << c.name;
    }
    EXPECT_TRUE(classic_lzss_decode(packed) == c.data) << c.name;
  }
}

TEST(LzssPack, RoundTripsTheHardestPictures) {
  const std::vector<std::pair<std::string, Picture>> cases = {
      {"sky", draw_vertical_gradient(640, 480)},
      {"glow", draw_radial_gradient(640, 480)},
      {"noise of 2 values", draw_level_noise(320, 240, 2, 1)},
      {"noise of 4 values", draw_level_noise(320, 240, 4, 2)},
      {"noise of 16 values", draw_level_noise(320, 240, 16, 3)},
  };
  for (const auto& [name, picture] : cases) {
    const Bytes file = varnu::pack::encode_bmp(picture);
    EXPECT_TRUE(classic_lzss_decode(lzss_pack(file)) == file) << name;
  }
}

TEST(LevelNoise, DrawsExactlyTheLevelsAsked) {
  for (unsigned levels : {1u, 2u, 4u, 256u}) {
    const Picture p = draw_level_noise(64, 64, levels, 1);
    const auto highest = *std::max_element(p.pixels.begin(), p.pixels.end());
    EXPECT_EQ(highest, levels - 1) << levels << " levels";
  }
  for (unsigned levels : {0u, 257u}) {
    EXPECT_THROW(draw_level_noise(64, 64, levels, 1), std::invalid_argument) << levels;
  }
}

}  // namespace
