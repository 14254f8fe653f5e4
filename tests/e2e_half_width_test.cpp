// Half-width mode as a user meets it: the files read back with a separate 24-bit reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pack/encoder/lzss_pack.hpp"
#include "tests/support/run_program.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace varnu::testing {
namespace {

// A minimal reader for uncompressed 24-bit bitmaps, written from the file format alone.
struct TrueColourImage {
  int width = 0;
  int height = 0;
  std::vector<std::array<std::uint8_t, 3>> pixels;  // stored row order, blue green red

  std::array<std::uint8_t, 3> at(int x, int y) const { return pixels[y * width + x]; }
};

std::uint32_t le(const Bytes& b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int k = 0; k < n; ++k) v |= std::uint32_t{b[at + k]} << (8 * k);
  return v;
}

TrueColourImage read_true_colour(const Bytes& file) {
  EXPECT_GE(file.size(), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(le(file, 2, 4), file.size());
  EXPECT_EQ(le(file, 28, 2), 24u);
  TrueColourImage image;
  image.width = static_cast<int>(le(file, 18, 4));
  image.height = static_cast<int>(le(file, 22, 4));
  const std::size_t offset = le(file, 10, 4);
  const std::size_t stride = (3 * image.width + 3) / 4 * 4;
  EXPECT_EQ(offset + stride * image.height, file.size());
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::size_t p = offset + y * stride + 3 * x;
      image.pixels.push_back({file[p], file[p + 1], file[p + 2]});
    }
  }
  return image;
}

std::array<std::uint8_t, 3> colour(const tools::Picture& picture, int x, int y) {
  const std::size_t entry = picture.pixels[y * picture.width + x];
  return {picture.palette[4 * entry], picture.palette[4 * entry + 1],
          picture.palette[4 * entry + 2]};
}

std::array<std::uint8_t, 3> mean(std::array<std::uint8_t, 3> a, std::array<std::uint8_t, 3> b) {
  return {static_cast<std::uint8_t>((a[0] + b[0]) / 2),
          static_cast<std::uint8_t>((a[1] + b[1]) / 2),
          static_cast<std::uint8_t>((a[2] + b[2]) / 2)};
}

TEST(HalfWidthFiles, HoldThePaletteMeansOfPixelPairs) {
  const tools::Picture pictures[] = {tools::draw_noise(101, 40, 9), tools::draw_green_keyed(77, 31),
                                     tools::draw_gradient(64, 8)};
  std::vector<Bytes> payloads;
  for (const auto& picture : pictures) payloads.push_back(tools::pack_entry_payload(picture));
  TempDir dir;
  write_bytes(dir.path() / "pics.arc", tools::build_archive(payloads));

  const RunResult result = run_varnu({.args = {"pics.arc", "x"}, .cwd = dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");

  const char* names[] = {"pics_000.BMP", "pics_001.BMP", "pics_002.BMP"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(names[k]);
    const tools::Picture& picture = pictures[k];
    const TrueColourImage image = read_true_colour(read_bytes(dir.path() / names[k]));
    ASSERT_EQ(image.width, (picture.width + 1) / 2);
    ASSERT_EQ(image.height, picture.height);
    const bool flipped = k == 1;  // the green-keyed picture is stored upside down
    for (int y : {0, 1, picture.height / 2, picture.height - 1}) {
      const int source_row = flipped ? picture.height - 1 - y : y;
      for (int x : {0, 1, image.width / 2, image.width - 2}) {
        EXPECT_EQ(image.at(x, y),
                  mean(colour(picture, 2 * x, source_row), colour(picture, 2 * x + 1, source_row)))
            << x << "," << y;
      }
      // Odd widths end each row with the last pixel's own colour.
      if (picture.width % 2 == 1) {
        EXPECT_EQ(image.at(image.width - 1, y), colour(picture, picture.width - 1, source_row));
      }
    }
  }
}

// Every pixel of every width from 1 to 17: rows that end after whole steps of eight, four or two
// source pixels, or after one more, where a writer working in blocks of pixels finishes a row.
TEST(HalfWidthFiles, EveryPixelWhereverTheRowEnds) {
  std::vector<tools::Picture> pictures;
  std::vector<Bytes> payloads;
  for (std::uint16_t width = 1; width <= 17; ++width) {
    pictures.push_back(tools::draw_noise(width, 3, width));
    payloads.push_back(tools::pack_entry_payload(pictures.back()));
  }
  TempDir dir;
  write_bytes(dir.path() / "w.arc", tools::build_archive(payloads));
  const RunResult result = run_varnu({.args = {"w.arc", "x"}, .cwd = dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");

  for (std::size_t k = 0; k < pictures.size(); ++k) {
    const tools::Picture& picture = pictures[k];
    SCOPED_TRACE(picture.width);
    const std::string number = std::to_string(k);
    const std::string name = "w_" + std::string(3 - number.size(), '0') + number + ".BMP";
    const TrueColourImage image = read_true_colour(read_bytes(dir.path() / name));
    ASSERT_EQ(image.width, (picture.width + 1) / 2);
    ASSERT_EQ(image.height, picture.height);
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const int right = std::min(2 * x + 1, picture.width - 1);
        EXPECT_EQ(image.at(x, y), mean(colour(picture, 2 * x, y), colour(picture, right, y)))
            << x << "," << y;
      }
    }
  }
}

// A picture whose rows reach past everything it unpacked is refused before its file exists;
// plain mode never reads the rows and writes it.
TEST(HalfWidthFiles, RowsOutsideTheBufferAreRefused) {
  Bytes bitmap = pack::encode_bmp(tools::draw_gradient(16, 4));
  bitmap[22] = 0xFF, bitmap[23] = 0xFF;  // 65,535 rows of 16 bytes: past the image buffer
  TempDir dir;
  write_bytes(dir.path() / "t.arc",
              tools::build_archive({tools::pack_entry_payload(tools::draw_gradient(8, 2)),
                                    pack::lzss_pack(bitmap)}));

  RunResult result = run_varnu({.args = {"t.arc", "x"}, .cwd = dir.path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, message_line(3));
  auto files = files_in(dir.path());
  EXPECT_TRUE(files.count("t_000.BMP"));
  EXPECT_FALSE(files.count("t_001.BMP"));

  result = run_varnu({.args = {"t.arc"}, .cwd = dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(files_in(dir.path()).count("t_001.BMP"));
}

TEST(HalfWidthFiles, AFailedWriteRemovesThePartialFile) {
  if (testing_windows_program()) GTEST_SKIP() << "Windows has no file-size limit";
  TempDir dir;
  write_bytes(dir.path() / "t.arc",
              tools::build_archive({tools::pack_entry_payload(tools::draw_gradient(8, 2)),
                                    tools::pack_entry_payload(tools::draw_noise(640, 480, 1))}));
  const RunResult result =
      run_varnu({.args = {"t.arc", "x"}, .cwd = dir.path(), .file_size_limit = 100000});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, message_line(2));
  const auto files = files_in(dir.path());
  EXPECT_TRUE(files.count("t_000.BMP"));
  EXPECT_FALSE(files.count("t_001.BMP"));
}

}  // namespace
}  // namespace varnu::testing
