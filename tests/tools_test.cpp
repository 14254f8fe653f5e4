#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "pack/encoder/classic_lzss.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using varnu::pack::classic_lzss_decode;
using namespace varnu::pack;
using namespace varnu::tools;

std::uint32_t le(const Bytes& b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
  return v;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed, int zero_percent = 0) {
  Bytes out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = (x % 100 < static_cast<std::uint32_t>(zero_percent)) ? 0
                                                             : static_cast<std::uint8_t>(x >> 24);
  }
  return out;
}

// Runs of one value, of every length from 1 to 40, values alternating: the packer's run
// shortcut must match what a full comparison finds.
Bytes runs() {
  Bytes out;
  for (int round = 0; round < 3; ++round) {
    for (std::size_t length = 1; length <= 40; ++length) out.insert(out.end(), length, length % 3);
  }
  return out;
}

Bytes repeat(const Bytes& block, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), block.begin(), block.end());
  return out;
}

// ---- the reference decoder ----

TEST(ClassicLzss, DecodesKnownStreams) {
  Bytes twenty_literals = {0xFF, 1,  2,  3,  4,  5,    6,  7,  8,  0xFF, 9,    10,  11,
                           12,   13, 14, 15, 16, 0x0F, 17, 18, 19, 20,   0xFF, 0xF0};
  Bytes twenty_wrapped;
  for (std::uint8_t v = 1; v <= 20; ++v) twenty_wrapped.push_back(v);
  twenty_wrapped.insert(twenty_wrapped.end(), {18, 19, 20});

  const std::vector<std::tuple<const char*, Bytes, Bytes>> cases = {
      {"worked example", {0x03, 0x41, 0x42, 0xEE, 0xF1}, {0x41, 0x42, 0x41, 0x42, 0x41, 0x42}},
      {"empty", {}, {}},
      {"overlapping run", {0x01, 0x07, 0xEE, 0xFF}, Bytes(19, 0x07)},
      {"unwritten ring reads zero", {0x01, 0x41, 0x10, 0x03}, {0x41, 0, 0, 0, 0, 0, 0}},
      // Output 17 sits in slot 0xFFF, output 18 in slot 0: the copy must wrap.
      {"position wraps", twenty_literals, twenty_wrapped},
      {"flag byte last, literal past end", {0xFF}, {0x00}},
      {"flag byte last, match past end", {0x00}, {0, 0, 0}},
      {"match cut after its first byte", {0x01, 0x41, 0xEE}, {0x41, 0, 0, 0}},
  };
  for (const auto& [name, stream, expected] : cases) {
    EXPECT_EQ(classic_lzss_decode(stream), expected) << name;
  }
}

// ---- the packer ----

TEST(LzssPack, RoundTripsThroughClassicDecoder) {
  Bytes zeros_then_text(4080, 0);
  for (char c : std::string("crossing the start of the ring")) zeros_then_text.push_back(c);
  zeros_then_text.insert(zeros_then_text.end(), 40, 0);

  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"empty", {}},
      {"one byte", {0x5A}},
      {"one zero", {0x00}},
      {"two bytes", {0x00, 0x01}},
      {"three equal bytes", {0x61, 0x61, 0x61}},
      {"three zeros", {0, 0, 0}},
      {"18 zeros", Bytes(18, 0)},
      {"19 zeros", Bytes(19, 0)},
      {"zeros across the ring start", Bytes(5000, 0)},
      {"long zero run", Bytes(100000, 0)},
      {"zeros then text", zeros_then_text},
      {"short period", repeat({'a', 'b', 'c'}, 1000)},
      {"runs of every length", runs()},
      {"long period", repeat(random_bytes(1000, 1), 50)},
      {"period of a whole ring", repeat(random_bytes(4096, 2), 3)},
      {"period just over a ring", repeat(random_bytes(4097, 3), 3)},
      {"random 1", random_bytes(1, 4)},
      {"random 17", random_bytes(17, 5)},
      {"random 4095", random_bytes(4095, 6)},
      {"random 4096", random_bytes(4096, 7)},
      {"random 4097", random_bytes(4097, 8)},
      {"random 65536", random_bytes(65536, 9)},
      {"random 300000", random_bytes(300000, 10)},
      {"mostly zeros 300000", random_bytes(300000, 11, 90)},
      {"gradient", encode_bmp(draw_gradient(160, 120))},
      {"checkerboard", encode_bmp(draw_checkerboard(96, 96, 12))},
      {"green keyed", encode_bmp(draw_green_keyed(101, 75))},
      {"noise", encode_bmp(draw_noise(320, 240, 1))},
      {"line art", encode_bmp(draw_line_art(640, 480))},
      {"sprite", encode_bmp(draw_sprite(3))},
  };
  for (const auto& [name, data] : cases) {
    const Bytes packed = lzss_pack(data);
    EXPECT_TRUE(classic_lzss_decode(packed) == data) << name << ": " << data.size() << " bytes";
  }
}

TEST(LzssPack, FindsTheMatchesItShould) {
  struct Case {
    const char* name;
    Bytes data;
    std::size_t max_packed;
  };
  const std::vector<Case> cases = {
      // One flag byte and one match from the zero-filled ring.
      {"18 zeros", Bytes(18, 0), 3},
      {"16 KB of zeros", Bytes(16384, 0), 16384 / 18 * 2 + 16384 / 18 / 8 + 4},
      // The second copy is exactly one ring away, the farthest a match can reach.
      {"random block twice", repeat(random_bytes(4096, 12), 2),
       4096 * 9 / 8 + 4096 / 18 * 2 + 4096 / 18 / 8 + 8},
  };
  for (const auto& c : cases) {
    EXPECT_LE(lzss_pack(c.data).size(), c.max_packed) << c.name;
  }
}

TEST(LzssPack, EndsRightAfterTheLastItem) {
  // Distinct bytes cannot be matched, so the stream is all literals: a flag byte is due only
  // before the 1st, 9th, 17th... item, never as a trailing byte after a full group.
  for (std::size_t n = 1; n <= 17; ++n) {
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(0x41 + i);
    const Bytes packed = lzss_pack(data);
    EXPECT_EQ(packed.size(), n + (n + 7) / 8) << n << " literals";
    EXPECT_EQ(classic_lzss_decode(packed), data) << n << " literals";
  }
}

// ---- bitmaps ----

TEST(EncodeBmp, HeaderAndRowPadding) {
  for (std::uint16_t width = 1; width <= 5; ++width) {
    SCOPED_TRACE("width " + std::to_string(width));
    Picture p;
    p.width = width;
    p.height = 3;
    for (std::size_t i = 0; i < std::size_t{width} * 3; ++i) p.pixels.push_back(0xA0 + i);
    p.palette[5] = 0x77;
    const std::size_t stride = width <= 4 ? 4 : 8;
    const Bytes bmp = encode_bmp(p);

    ASSERT_EQ(bmp.size(), 1078 + stride * 3);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    const std::vector<std::pair<std::size_t, std::uint32_t>> fields32 = {
        {2, 1078 + stride * 3}, {6, 0},  {10, 1078}, {14, 40},  {18, width}, {22, 3}, {30, 0},
        {34, stride * 3},       {38, 0}, {42, 0},    {46, 256}, {50, 0}};
    for (const auto& [at, value] : fields32) EXPECT_EQ(le(bmp, at, 4), value) << "offset " << at;
    EXPECT_EQ(le(bmp, 26, 2), 1u);
    EXPECT_EQ(le(bmp, 28, 2), 8u);
    EXPECT_EQ(bmp[54 + 5], 0x77);

    for (std::size_t y = 0; y < 3; ++y) {
      for (std::size_t x = 0; x < stride; ++x) {
        const std::uint8_t expected = x < width ? p.pixels[y * width + x] : 0;
        EXPECT_EQ(bmp[1078 + y * stride + x], expected) << "row " << y << " byte " << x;
      }
    }
  }
}

TEST(EncodeBmp, RejectsWrongPixelCount) {
  Picture p;
  p.width = 4;
  p.height = 2;
  p.pixels.resize(7);
  EXPECT_THROW(encode_bmp(p), std::invalid_argument);
}

TEST(Drawings, AreWellFormedAndRepeatable) {
  const std::vector<std::tuple<const char*, std::function<Picture()>, int, int>> cases = {
      {"gradient", [] { return draw_gradient(161, 99); }, 161, 99},
      {"checkerboard", [] { return draw_checkerboard(96, 96, 12); }, 96, 96},
      {"green keyed", [] { return draw_green_keyed(101, 75); }, 101, 75},
      {"noise", [] { return draw_noise(130, 70, 5); }, 130, 70},
      {"line art", [] { return draw_line_art(203, 150); }, 203, 150},
      {"sprite", [] { return draw_sprite(9); }, 64, 64},
  };
  for (const auto& [name, draw, width, height] : cases) {
    SCOPED_TRACE(name);
    const Picture p = draw();
    EXPECT_EQ(p.width, width);
    EXPECT_EQ(p.height, height);
    EXPECT_EQ(p.pixels.size(), std::size_t(width) * height);
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i < 256; ++i)
      colours.insert(le({p.palette.begin(), p.palette.end()}, i * 4, 4));
    EXPECT_EQ(colours.size(), 256u);
    std::set<std::uint8_t> used(p.pixels.begin(), p.pixels.end());
    EXPECT_GE(used.size(), 2u);
    const Picture again = draw();
    EXPECT_TRUE(again.pixels == p.pixels && again.palette == p.palette);
  }
}

TEST(Drawings, GreenKeyedStartsOnTheKeyColour) {
  const Picture p = draw_green_keyed(101, 75);
  EXPECT_EQ(p.palette[0], 0);
  EXPECT_EQ(p.palette[1], 255);
  EXPECT_EQ(p.palette[2], 0);
  EXPECT_EQ(p.palette[3], 0);
  EXPECT_EQ(p.pixels[0], 0);
}

TEST(Drawings, SeedsChangeThePicture) {
  EXPECT_NE(draw_noise(64, 64, 1).pixels, draw_noise(64, 64, 2).pixels);
  EXPECT_NE(draw_sprite(1).pixels, draw_sprite(2).pixels);
}

// ---- archives ----

TEST(BuildArchive, AlignsEntriesAndRecordsLengths) {
  // 2036 bytes end exactly on a boundary, 2037 spill one byte past it; 0x012345 shows byte order.
  const std::vector<Bytes> payloads = {random_bytes(5, 20),
                                       random_bytes(2036, 21),
                                       random_bytes(2037, 22),
                                       random_bytes(0x012345, 23),
                                       {}};
  const std::vector<std::size_t> offsets = {0, 2048, 4096, 8192, 83968};

  for (bool pad_last : {true, false}) {
    SCOPED_TRACE(pad_last ? "padded" : "unpadded");
    const Bytes arc = build_archive(payloads, pad_last);
    std::size_t covered = 0;
    for (std::size_t i = 0; i < payloads.size(); ++i) {
      const std::size_t at = offsets[i];
      ASSERT_LE(at + 12 + payloads[i].size(), arc.size()) << "entry " << i;
      EXPECT_TRUE(
          std::all_of(arc.begin() + covered, arc.begin() + at, [](auto b) { return b == 0; }))
          << "filler before entry " << i;
      EXPECT_EQ(std::string(arc.begin() + at, arc.begin() + at + 6), "vazmur");
      EXPECT_EQ(le(arc, at + 6, 2), 0u);
      EXPECT_EQ(le(arc, at + 8, 3), payloads[i].size());
      EXPECT_EQ(arc[at + 11], 0);
      EXPECT_TRUE(std::equal(payloads[i].begin(), payloads[i].end(), arc.begin() + at + 12));
      covered = at + 12 + payloads[i].size();
    }
    EXPECT_EQ(arc.size(), pad_last ? 86016u : covered);
    EXPECT_TRUE(std::all_of(arc.begin() + covered, arc.end(), [](auto b) { return b == 0; }));
  }
}

TEST(BuildArchive, RejectsPayloadsTooLongForTheLengthField) {
  EXPECT_NO_THROW(build_archive({Bytes(0xFFFFFF)}));
  EXPECT_THROW(build_archive({Bytes(0x1000000)}), std::length_error);
}

TEST(PackEntryPayload, UnpacksToTheBitmap) {
  const Picture p = draw_green_keyed(33, 17);
  EXPECT_EQ(classic_lzss_decode(pack_entry_payload(p)), encode_bmp(p));
}

TEST(WriteFile, WritesBytesAndReportsFailure) {
  const std::string path = ::testing::TempDir() + "varnu_tools_test.bin";
  const Bytes data = random_bytes(3000, 30);
  write_file(path, data);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), data);
  EXPECT_THROW(write_file(::testing::TempDir() + "no/such/dir/x.bin", data), std::runtime_error);
}

}  // namespace
