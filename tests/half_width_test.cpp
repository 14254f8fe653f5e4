// Half-width true-colour output, checked against a plain per-channel model.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bitmap/fix_up.hpp"
#include "bitmap/layout.hpp"
#include "bitmap/write_bitmap.hpp"
#include "common/run_state.hpp"
#include "tests/support/bitmap_builder.hpp"
#include "tests/support/written_stream.hpp"

namespace varnu {
namespace {

using Bytes = std::vector<std::uint8_t>;

unsigned get_le(const Bytes& bytes, std::size_t offset, int count) {
  unsigned value = 0;
  for (int k = count - 1; k >= 0; --k) value = value << 8 | bytes[offset + k];
  return value;
}

// What the half-width file must hold for `image` (already fixed up): written the slow, obvious
// way, one channel at a time, with the header changed before any row is read.
Bytes model(Bytes image) {
  const unsigned pixel_offset = get_le(image, 10, 3);
  const unsigned width = get_le(image, 18, 2);
  const unsigned height = get_le(image, 22, 2);
  const unsigned half = (width + 1) / 2;
  const unsigned pad_out = (4 - (3 * half) % 4) % 4;
  const unsigned size = 54 + height * (3 * half + pad_out);
  const unsigned stride = (width + 3) / 4 * 4;
  for (int k = 0; k < 3; ++k) image[2 + k] = static_cast<std::uint8_t>(size >> (8 * k));
  image[10] = 54, image[11] = 0, image[12] = 0;
  image[18] = static_cast<std::uint8_t>(half), image[19] = static_cast<std::uint8_t>(half >> 8);
  image[28] = 24;
  image[34] = image[35] = image[36] = 0;
  Bytes out(image.begin(), image.begin() + 54);
  for (unsigned y = 0; y < height; ++y) {
    const std::size_t row = pixel_offset + y * stride;
    for (unsigned x = 0; x < width; x += 2) {
      for (unsigned channel = 0; channel < 3; ++channel) {
        const unsigned a = image[54 + 4 * image[row + x] + channel];
        const unsigned b = x + 1 < width ? image[54 + 4 * image[row + x + 1] + channel] : a;
        out.push_back(static_cast<std::uint8_t>((a + b) / 2));
      }
    }
    out.insert(out.end(), pad_out, 0);
  }
  return out;
}

// Fixes up and writes `image` at half width; returns the file and the image buffer after.
std::pair<Bytes, Bytes> convert(Bytes image) {
  const std::optional<BitmapPlan> plan = plan_bitmap(image, OutputMode::kHalfWidth);
  EXPECT_TRUE(plan.has_value());
  if (!plan) return {};
  prepare_file(image, *plan);
  Bytes row(kMaxHalfWidthRowBytes);
  const Bytes written =
      testing::written_by([&](std::FILE* out) { write_prepared(image, *plan, row, out); });
  return {written, image};
}

tools::Picture noisy_picture(std::uint16_t width, std::uint16_t height) {
  tools::Picture picture = testing::striped_picture(width, height);
  std::uint32_t state = 2463534242u;
  for (std::uint8_t& index : picture.pixels) {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    index = static_cast<std::uint8_t>(state);
  }
  return picture;
}

// The widest rows, 98,304 bytes, end with a four-byte store into the row buffer's slack.
TEST(HalfWidth, MatchesTheModelForAnyShape) {
  const struct {
    std::uint16_t width, height;
    std::size_t file_size;
  } cases[] = {
      {1, 3, 54 + 4 * 3},       {2, 3, 54 + 4 * 3}, {5, 3, 90},         {640, 2, 54 + 960 * 2},
      {4101, 2, 54 + 6156 * 2}, {3, 0, 54},         {0, 3, 54},         {7, 1, 54 + 12},
      {65535, 1, 98358},        {65534, 1, 98358},  {65533, 2, 196662}, {65532, 1, 98354},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const Bytes image = testing::image_buffer(noisy_picture(c.width, c.height), 4096);
    const auto [written, after] = convert(image);
    EXPECT_EQ(written.size(), c.file_size);
    EXPECT_EQ(get_le(written, 2, 3), c.file_size);
    Bytes fixed = image;
    fix_up_bitmap(fixed, *plan_bitmap(fixed, OutputMode::kHalfWidth));
    EXPECT_EQ(written, model(fixed));
    // The header is changed in the buffer itself; nothing else is.
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 54, written.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 54, after.end(), fixed.begin() + 54));
  }
}

TEST(HalfWidth, MeansRoundDownPerChannel) {
  const struct {
    std::uint8_t a, b, mean;
  } cases[] = {{255, 0, 127}, {255, 254, 254}, {1, 2, 1}, {0, 0, 0}, {255, 255, 255}, {3, 4, 3}};
  for (const auto& c : cases) {
    tools::Picture picture = testing::striped_picture(2, 1);
    // Entry 1 holds a in every channel, entry 2 holds b in blue and green and a in red.
    for (int k = 0; k < 3; ++k) picture.palette[4 + k] = c.a;
    picture.palette[8] = c.b, picture.palette[9] = c.b, picture.palette[10] = c.a;
    picture.pixels = {1, 2};
    const Bytes written = convert(testing::image_buffer(picture, 4096)).first;
    EXPECT_EQ(Bytes(written.begin() + 54, written.end()), (Bytes{c.mean, c.mean, c.a, 0}));
  }
}

TEST(HalfWidth, HeaderFieldsChangedAndKept) {
  Bytes image = testing::image_buffer(noisy_picture(6, 2), 4096);
  image[46] = 0x12, image[47] = 0x34;  // colours used
  image[5] = 0x77, image[13] = 0x66, image[20] = 0x55, image[29] = 0x44, image[37] = 0x33;
  const Bytes written = convert(image).first;
  EXPECT_EQ(get_le(written, 2, 3), 54u + 2 * 12);
  EXPECT_EQ(get_le(written, 10, 3), 54u);
  EXPECT_EQ(get_le(written, 18, 2), 3u);
  EXPECT_EQ(written[28], 24);
  EXPECT_EQ(get_le(written, 34, 3), 0u);
  // Bytes beyond the changed ones, the colours-used field and the height go out as decoded.
  for (std::size_t offset : {5, 13, 20, 29, 37, 46, 47, 22, 26}) {
    EXPECT_EQ(written[offset], image[offset]) << offset;
  }
  EXPECT_EQ(Bytes(written.begin() + 38, written.begin() + 46),
            (Bytes{0x6B, 0x0B, 0, 0, 0x6B, 0x0B, 0, 0}));
}

TEST(HalfWidth, GreenKeyedRowsAreFlippedBeforeHalving) {
  tools::Picture picture = testing::striped_picture(4, 3, 0, 255, 0);
  picture.pixels[0] = 0;
  const Bytes written = convert(testing::image_buffer(picture, 4096)).first;
  // Stored rows 0, 1, 2 come out as 2, 1, 0: rows 2 and 1 use palette entries 3 and 2.
  for (unsigned y = 0; y < 2; ++y) {
    const std::uint8_t index = static_cast<std::uint8_t>(3 - y);
    EXPECT_EQ(written[54 + y * 8], picture.palette[4 * index]) << y;
  }
}

// Rows starting inside the header read it as already rewritten for the half-width file.
TEST(HalfWidth, RowsInsideTheHeaderReadTheChangedBytes) {
  Bytes image = testing::image_buffer(noisy_picture(8, 2), 4096);
  image[10] = 16, image[11] = 0, image[12] = 0;  // rows start at byte 16: width, height, ...
  const auto [written, after] = convert(image);
  Bytes fixed = image;
  fix_up_bitmap(fixed, *plan_bitmap(fixed, OutputMode::kHalfWidth));
  EXPECT_EQ(written, model(fixed));
}

}  // namespace
}  // namespace varnu
