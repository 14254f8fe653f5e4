// The decoder against hand-made streams, against the classic ring decoder, and through the
// project's packer.
#include "lzss/lzss.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "pack/encoder/classic_lzss.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "tools/picture.hpp"

namespace varnu {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes decode(const Bytes& payload) {
  Bytes image;
  const std::size_t length = lzss_expand(payload, image);
  EXPECT_EQ(length, image.size());
  return image;
}

Bytes repeat(std::size_t count, std::uint8_t value) {
  return Bytes(count, value);
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes literals(std::size_t count) {
  Bytes bytes;
  for (std::size_t k = 0; k < count; ++k) bytes.push_back(static_cast<std::uint8_t>(0x20 + k));
  return bytes;
}

struct StreamCase {
  const char* name;
  Bytes payload;
  Bytes expected;
};

// Each stream exercises one rule of the format; the expected bytes are worked out by hand.
TEST(LzssDecode, HandMadeStreams) {
  const StreamCase cases[] = {
      {"worked example: absolute position, self-overlapping match",
       {0x03, 0x41, 0x42, 0xEE, 0xF1},
       {0x41, 0x42, 0x41, 0x42, 0x41, 0x42}},
      {"empty payload", {}, {}},
      {"eight literals", concat({{0xFF}, literals(8)}), literals(8)},
      {"match into the untouched zero ring", {0x00, 0x00, 0x0F}, repeat(18, 0)},
      {"one literal repeated by a match on its own position",
       {0x01, 0x7A, 0xEE, 0xFF},
       repeat(19, 0x7A)},
      {"a ninth item needs a second flag byte", concat({{0xFF}, literals(8), {0x01, 0x99}}),
       concat({literals(8), {0x99}})},
      {"a flag byte as the last byte, then a literal read past the end", {0x01}, {0x00}},
      {"a flag byte as the last byte, then a match of two bytes past the end",
       {0x00},
       repeat(3, 0)},
      {"a match whose second byte is past the end", {0x01, 0x41, 0xEE}, {0x41, 0x00, 0x00, 0x00}},
      {"unused flag bits after the end are ignored", {0x01, 0x41}, {0x41}},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(c.payload), c.expected);
    EXPECT_EQ(pack::classic_lzss_decode(c.payload), c.expected);
  }
}

// Output offsets 17, 18 and 19 sit at ring positions 4095, 0 and 1.
TEST(LzssDecode, MatchWrapsAroundTheRingEnd) {
  Bytes payload;
  const Bytes data = literals(20);
  for (std::size_t k = 0; k < data.size(); ++k) {
    // The last group's flag byte holds four literals and then the match.
    if (k % 8 == 0) payload.push_back(k < 16 ? 0xFF : 0x0F);
    payload.push_back(data[k]);
  }
  payload.insert(payload.end(), {0xFF, 0xF0});  // position 0xFFF, count 3
  EXPECT_EQ(decode(payload), concat({data, {data[17], data[18], data[19]}}));
}

TEST(LzssDecode, LeavesBytesPastTheDecodedLengthAlone) {
  Bytes image(100, 0xAA);
  EXPECT_EQ(lzss_expand(Bytes{0x03, 0x41, 0x42, 0xEE, 0xF1}, image), 6u);
  EXPECT_EQ(image.size(), 100u);
  EXPECT_EQ(Bytes(image.begin(), image.begin() + 6), (Bytes{0x41, 0x42, 0x41, 0x42, 0x41, 0x42}));
  EXPECT_EQ(Bytes(image.begin() + 6, image.end()), repeat(94, 0xAA));

  EXPECT_EQ(lzss_expand(Bytes{}, image), 0u);
  EXPECT_EQ(image[0], 0x41);
}

TEST(LzssDecode, GrowsTheImageToExactlyTheDecodedLength) {
  Bytes image(10, 0xAA);
  // Flag 0 then eight matches of 18 zero bytes, twice over.
  Bytes payload;
  for (int group = 0; group < 2; ++group) {
    payload.push_back(0x00);
    for (int item = 0; item < 8; ++item) payload.insert(payload.end(), {0x00, 0x0F});
  }
  EXPECT_EQ(lzss_expand(payload, image), 288u);
  EXPECT_EQ(image, repeat(288, 0));
}

// Arbitrary byte strings are valid streams: the fast decoder must agree with the ring decoder
// on all of them, ring wrap, overlaps and the end of the payload included, and must leave every
// byte past the decoded length as it was, whatever its block copies wrote on the way.
TEST(LzssDecode, AgreesWithTheRingDecoderOnRandomStreams) {
  std::mt19937 random(12345);
  for (std::size_t length : {1u, 2u, 3u, 16u, 17u, 18u, 33u, 64u, 65u, 66u, 700u, 5000u, 70000u}) {
    for (int round = 0; round < 20; ++round) {
      Bytes payload(length);
      // Bytes biased towards zero bits make match-heavy streams with long outputs that wrap the
      // ring many times; biased towards ones, streams of literal runs.
      for (std::uint8_t& b : payload) {
        b = static_cast<std::uint8_t>(round % 2 ? random() & random() : random() | random());
      }
      const Bytes expected = pack::classic_lzss_decode(payload);
      const std::size_t size_before = random() % (expected.size() + 64);
      Bytes image(size_before, 0xA5);
      SCOPED_TRACE(::testing::Message() << length << " bytes, buffer " << size_before);
      ASSERT_EQ(lzss_expand(payload, image), expected.size());
      ASSERT_EQ(image.size(), std::max(size_before, expected.size()));
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
      ASSERT_EQ(std::count(image.begin() + expected.size(), image.end(), 0xA5),
                static_cast<std::ptrdiff_t>(image.size() - expected.size()));
    }
  }
}

// One item of a hand-built group: a literal (distance 0) or a match `distance` bytes back.
struct Item {
  std::size_t distance;
  std::size_t count;
};

// Appends one group of eight items to `payload`, whose output so far is `out` bytes long.
// Literals are never 0xA5, the pattern the buffer is filled with below.
void add_group(Bytes& payload, std::size_t& out, const std::vector<Item>& items) {
  const std::size_t flag_at = payload.size();
  payload.push_back(0);
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (items[k].distance == 0) {
      payload[flag_at] |= static_cast<std::uint8_t>(1u << k);
      payload.push_back(static_cast<std::uint8_t>(0x30 + out % 61));
      out += 1;
    } else {
      const std::size_t position = (0xFEE + out - items[k].distance) & 0xFFF;
      payload.push_back(static_cast<std::uint8_t>(position));
      payload.push_back(static_cast<std::uint8_t>((position >> 4 & 0xF0) | (items[k].count - 3)));
      out += items[k].count;
    }
  }
}

// Block copies write past the item they copy; whatever the end of the input or of the buffer,
// none of it may remain past the decoded length or land outside the buffer. Streams end with
// groups that write the most past themselves, followed by every length of input up to well past
// the point where the fast path gives way, decoded into buffers that end at every offset near the
// end of those groups and of the output.
TEST(LzssDecode, BlockCopiesStayInsideTheOutputAndTheBuffer) {
  const Item literal{0, 1};
  const std::vector<Item> groups[] = {
      // 126 bytes, then a 17-byte match copied as two 16-byte blocks: the most a group writes.
      {{16, 18}, {16, 18}, {16, 18}, {16, 18}, {16, 18}, {16, 18}, {16, 18}, {16, 17}},
      {{16, 17}, {16, 17}, {16, 17}, {16, 17}, {16, 17}, {16, 17}, {16, 17}, {16, 17}},
      {literal, {16, 17}, literal, literal, {16, 18}, literal, {16, 17}, literal},
      {{8, 17}, {1, 18}, {15, 17}, {1, 17}, {2, 5}, {8, 18}, literal, {9, 17}},
  };
  for (std::size_t kind = 0; kind < std::size(groups); ++kind) {
    for (std::size_t tail = 0; tail <= 80; ++tail) {
      Bytes payload;
      std::size_t out = 0;
      for (int k = 0; k < 4; ++k) add_group(payload, out, std::vector<Item>(8, literal));
      for (int k = 0; k < 6; ++k) add_group(payload, out, groups[kind]);
      // Literals, the least output per input byte, with a flag byte before every eight.
      for (std::size_t k = 0; k < tail; ++k) {
        payload.push_back(k % 9 == 0 ? 0xFF : static_cast<std::uint8_t>(0x60 + k % 9));
      }
      const Bytes expected = pack::classic_lzss_decode(payload);
      for (std::size_t size = 0; size <= expected.size() + 24; ++size) {
        SCOPED_TRACE(::testing::Message()
                     << "group " << kind << ", " << tail << " bytes after, buffer " << size);
        Bytes image(size, 0xA5);
        ASSERT_EQ(lzss_expand(payload, image), expected.size());
        ASSERT_EQ(image.size(), std::max(size, expected.size()));
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
        ASSERT_EQ(std::count(image.begin() + expected.size(), image.end(), 0xA5),
                  static_cast<std::ptrdiff_t>(image.size() - expected.size()));
      }
    }
  }
}

TEST(LzssDecode, ReadsBackWhatThePackerWrites) {
  std::mt19937 random(777);
  std::vector<Bytes> inputs;
  Bytes noise(100000);
  for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>(random());
  inputs.push_back(noise);
  inputs.push_back(repeat(50000, 0));
  inputs.push_back(pack::encode_bmp(tools::draw_gradient(640, 480)));
  inputs.push_back(pack::encode_bmp(tools::draw_line_art(333, 200)));
  inputs.push_back(pack::encode_bmp(tools::draw_noise(320, 240, 5)));
  for (const Bytes& input : inputs) {
    EXPECT_EQ(decode(pack::lzss_pack(input)), input);
  }
}

}  // namespace
}  // namespace varnu
