// The fix-up every decoded bitmap gets (green-key flip, resolution) and the plain write.
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
using testing::image_buffer;
using testing::striped_picture;

constexpr std::size_t kPixels = 54 + 1024;

// The row index stored at each row position, read from the first pixel of each row.
std::vector<int> row_order(const Bytes& image, std::uint16_t width, std::uint16_t height) {
  const std::size_t stride = (width + 3u) & ~3u;
  std::vector<int> order;
  for (std::size_t y = 0; y < height; ++y) order.push_back(image[kPixels + y * stride] - 1);
  return order;
}

OutputMode mode(bool half_width) {
  return half_width ? OutputMode::kHalfWidth : OutputMode::kPlain;
}

Bytes fixed_up(Bytes image) {
  const std::optional<BitmapPlan> plan = plan_bitmap(image, OutputMode::kPlain);
  EXPECT_TRUE(plan.has_value());
  if (plan) fix_up_bitmap(image, *plan);
  return image;
}

TEST(GreenKey, FlipsOnlyWhenPaletteEntryZeroIsGreenAndTheFirstPixelUsesIt) {
  const struct {
    std::uint8_t blue, green, red, first_pixel;
    bool flips;
  } cases[] = {
      {0, 255, 0, 0, true},   {15, 240, 15, 0, true},    {0, 255, 0, 1, false},
      {16, 255, 0, 0, false}, {0, 239, 0, 0, false},     {0, 255, 16, 0, false},
      {0, 0, 0, 0, false},    {255, 255, 255, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.blue} << "," << int{c.green} << "," << int{c.red}
                                      << " first pixel " << int{c.first_pixel});
    Bytes image = image_buffer(striped_picture(3, 4, c.blue, c.green, c.red), 4096);
    image[kPixels] = c.first_pixel;
    const Bytes after = fixed_up(image);
    const std::vector<int> expected = c.flips ? std::vector<int>{3, 2, 1, c.first_pixel - 1}
                                              : std::vector<int>{c.first_pixel - 1, 1, 2, 3};
    EXPECT_EQ(row_order(after, 3, 4), expected);
  }
}

// The green-keyed picture's first pixel must be 0, so row 0 is marked by its second pixel.
TEST(GreenKey, ReversesRowsWithTheirPadding) {
  const struct {
    std::uint16_t width, height;
  } cases[] = {{5, 0}, {5, 1}, {5, 2}, {5, 3}, {1, 4}, {4, 5}, {4096, 3}, {4100, 3}, {65535, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    tools::Picture picture = striped_picture(c.width, c.height, 0, 255, 0);
    if (c.height > 0) picture.pixels[0] = 0;
    const Bytes before = image_buffer(picture, 2048);
    const Bytes after = fixed_up(before);
    const std::size_t stride = (c.width + 3u) & ~3u;
    for (std::size_t y = 0; y < c.height; ++y) {
      const std::size_t from = kPixels + (c.height - 1 - y) * stride;
      ASSERT_TRUE(std::equal(after.begin() + kPixels + y * stride,
                             after.begin() + kPixels + (y + 1) * stride, before.begin() + from));
    }
    // Nothing but the rows and the resolution fields changes.
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 38, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 46, after.begin() + kPixels, before.begin() + 46));
  }
}

TEST(Resolution, BothFieldsBecome2923PixelsPerMetre) {
  Bytes image = image_buffer(striped_picture(7, 2), 4096);
  std::fill(image.begin() + 38, image.begin() + 46, 0x55);
  const Bytes after = fixed_up(image);
  EXPECT_EQ(Bytes(after.begin() + 38, after.begin() + 46),
            (Bytes{0x6B, 0x0B, 0x00, 0x00, 0x6B, 0x0B, 0x00, 0x00}));
}

void set_le(Bytes& image, std::size_t offset, std::uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) image[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// The writer is refused exactly when it would read or move bytes outside the buffer.
TEST(Plan, RefusesBitmapsThatReachPastTheBuffer) {
  constexpr std::size_t kSize = 8192;
  const std::size_t rows_end = kPixels + 8 * 100;  // an 8-wide, 100-row picture
  const struct {
    const char* name;
    bool green;
    std::uint32_t file_size, pixel_offset;
    std::uint16_t height;
    bool half_width;
    bool accepted;
  } cases[] = {
      {"plain, S = buffer", false, kSize, kPixels, 100, false, true},
      {"plain, S past buffer", false, kSize + 1, kPixels, 100, false, false},
      {"plain, S = 0", false, 0, kPixels, 100, false, true},
      {"plain, rows past buffer are never read", false, 100, kSize, 65535, false, true},
      {"green, P last byte", true, 100, kSize - 1, 1, false, true},
      {"green, P past buffer", true, 100, kSize, 1, false, false},
      {"green, rows end at buffer end", true, 100, kSize - 800, 100, false, true},
      {"green, rows past buffer", true, 100, kSize - 799, 100, false, false},
      {"green, one row past buffer moves nothing", true, 100, kSize - 1, 1, false, true},
      {"half, rows end at buffer end", false, kSize + 9, kSize - 800, 100, true, true},
      {"half, rows past buffer", false, 100, kSize - 799, 100, true, false},
      {"half, no rows, P past buffer", false, 100, kSize + 5, 0, true, true},
      {"fits", false, rows_end, kPixels, 100, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes image = image_buffer(striped_picture(8, 100, 0, c.green ? 255 : 0, 0), kSize);
    set_le(image, 2, c.file_size, 3);
    set_le(image, 10, c.pixel_offset, 3);
    set_le(image, 22, c.height, 2);
    if (c.pixel_offset < kSize) image[c.pixel_offset] = 0;
    EXPECT_EQ(plan_bitmap(image, mode(c.half_width)).has_value(), c.accepted);
  }
}

// Both modes read the headers and palette entry 0; the half-width writer may look up any entry,
// so it needs the whole palette, 54 + 1024 bytes.
TEST(Plan, RefusesBuffersTooShortForThePaletteItReads) {
  const struct {
    bool half_width;
    std::size_t size;
    bool accepted;
  } cases[] = {{false, 57, true}, {false, 56, false}, {true, 1078, true}, {true, 1077, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << (c.half_width ? " bytes, half" : " bytes"));
    // No pixels, file size 0 and a black palette: nothing else is read.
    EXPECT_EQ(plan_bitmap(Bytes(c.size, 0), mode(c.half_width)).has_value(), c.accepted);
  }
}

Bytes written_plain(const Bytes& image, std::uint32_t file_size) {
  Bytes row(kMaxHalfWidthRowBytes);
  return testing::written_by([&](std::FILE* out) {
    write_prepared(image, BitmapPlan{.layout = {.file_size = file_size}}, row, out);
  });
}

TEST(PlainWrite, WritesExactlyTheFileSizeFromTheStart) {
  Bytes image(1000);
  for (std::size_t k = 0; k < image.size(); ++k) image[k] = static_cast<std::uint8_t>(k * 13);
  for (std::uint32_t size : {0u, 1u, 53u, 54u, 1000u}) {
    EXPECT_EQ(written_plain(image, size), Bytes(image.begin(), image.begin() + size));
  }
}

}  // namespace
}  // namespace varnu
