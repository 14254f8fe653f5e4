// The round trip through an image editor: convert an archive, have ImageMagick save every
// output as true colour (or run-length compressed), repack, convert again. True colour with
// --like gives the first outputs byte for byte; every other way, the same colours.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pack/encoder/lzss_pack.hpp"
#include "tests/support/run_program.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace {

namespace fs = std::filesystem;
using varnu::testing::Bytes;
using varnu::testing::files_in;
using varnu::testing::read_bytes;
using varnu::testing::RunOptions;
using varnu::testing::TempDir;
using varnu::testing::write_bytes;
using namespace varnu::pack;
using namespace varnu::tools;

const fs::path kImageMagick = "/usr/bin/convert";

varnu::testing::RunResult run(const fs::path& program, const fs::path& cwd,
                              std::vector<std::string> args) {
  return varnu::testing::run_varnu(
      RunOptions{.program = program, .args = std::move(args), .cwd = cwd, .capture_stderr = true});
}

// What the converter under test writes for `archive` in its folder, by name.
std::map<std::string, Bytes> convert(const fs::path& dir, const std::string& archive) {
  auto written = varnu::testing::files_converted(dir, archive);
  EXPECT_TRUE(written) << archive << " was not converted";
  return written.value_or(std::map<std::string, Bytes>{});
}

// The colour (blue, green, red) of every pixel of a bitmap the converter wrote, bottom row first.
std::vector<std::uint32_t> colours_of(const Bytes& bmp) {
  const std::size_t offset = bmp[10] | bmp[11] << 8 | bmp[12] << 16;
  const std::size_t width = bmp[18] | bmp[19] << 8;
  const std::size_t height = bmp[22] | bmp[23] << 8;
  const std::size_t stride = (width + 3) & ~std::size_t{3};
  std::vector<std::uint32_t> out;
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t entry = 54 + 4 * std::size_t{bmp.at(offset + y * stride + x)};
      out.push_back(bmp.at(entry) | bmp.at(entry + 1) << 8 | bmp.at(entry + 2) << 16);
    }
  }
  return out;
}

Bytes with_resolution(Bytes bmp, std::uint8_t seed) {
  for (std::size_t k = 38; k < 46; ++k) bmp[k] = static_cast<std::uint8_t>(seed * 3 + k);
  return bmp;
}

// An archive of the cases --like must keep apart: a palette that repeats colours, pictures the
// converter turns over or not, a short palette, unused entries, 256 colours in use.
Bytes original_archive() {
  Picture repeats = draw_line_art(33, 17);
  // Entries 1 and 2 both show entry 0's colour; both are used.
  std::copy_n(repeats.palette.begin(), 4, repeats.palette.begin() + 4);
  std::copy_n(repeats.palette.begin(), 4, repeats.palette.begin() + 8);
  for (std::size_t k = 0; k < repeats.pixels.size(); k += 7) {
    repeats.pixels[k] = static_cast<std::uint8_t>(1 + k % 2);
  }
  Picture short_palette = draw_checkerboard(21, 9, 4);
  for (auto& p : short_palette.pixels) p %= 16;
  // Green-keyed pictures with the key at only one left corner: one the converter turns over,
  // one it leaves.
  Picture key_at_bottom_left = draw_green_keyed(24, 6);
  key_at_bottom_left.pixels[std::size_t{24} * 5] = 9;
  Picture key_at_top_left = draw_green_keyed(24, 6);
  key_at_top_left.pixels[0] = 9;
  const std::vector<Bytes> bitmaps = {
      encode_bmp(key_at_bottom_left),
      encode_bmp(key_at_top_left),
      encode_bmp(draw_gradient(37, 21)),
      encode_bmp(draw_green_keyed(40, 9)),
      encode_bmp(repeats),
      encode_bmp_form(short_palette, {.bits = 8, .colours = 16}),
      encode_bmp(draw_noise(30, 20, 5)),
  };
  std::vector<Bytes> payloads;
  for (std::size_t k = 0; k < bitmaps.size(); ++k) {
    payloads.push_back(lzss_pack(with_resolution(bitmaps[k], static_cast<std::uint8_t>(k))));
  }
  return build_archive(payloads);
}

TEST(VarnuPackInput, RoundTripThroughAnImageEditor) {
  if (!fs::exists(kImageMagick)) GTEST_SKIP() << "no ImageMagick at " << kImageMagick;
  struct Form {
    const char* name;
    std::vector<std::string> args;  // before the output name
    const char* format;
    // Palette bitmaps keep their own palette, so only true colour comes back byte for byte.
    bool exact_with_like = true;
  };
  const std::vector<Form> forms = {
      {"24-bit, 40-byte header", {"-type", "TrueColor"}, "BMP3"},
      {"24-bit, V5 header", {"-type", "TrueColor"}, "BMP"},
      {"32-bit, 40-byte header, alpha 255",
       {"-alpha", "set", "-define", "bmp3:alpha=true"},
       "BMP3"},
      {"32-bit bit fields, V5 header, alpha 255",
       {"-alpha", "set", "-type", "TrueColorAlpha"},
       "BMP"},
      {"32-bit bit fields, V5 header, alpha 0",
       {"-alpha", "set", "-channel", "A", "-evaluate", "set", "0", "+channel", "-type",
        "TrueColorAlpha"},
       "BMP"},
      {"8-bit RLE8", {"-compress", "RLE"}, "BMP3", false},
  };
  TempDir dir;
  write_bytes(dir.path() / "A.arc", original_archive());
  const auto first = convert(dir.path(), "A.arc");
  ASSERT_EQ(first.size(), 7u);

  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    const fs::path saved = dir.path() / form.name;
    fs::create_directory(saved);
    std::vector<std::string> inputs;
    for (const auto& [name, bytes] : first) {
      std::vector<std::string> args = {"../" + name};
      args.insert(args.end(), form.args.begin(), form.args.end());
      args.push_back(std::string(form.format) + ":" + name);
      const auto result = run(kImageMagick, saved, args);
      ASSERT_EQ(result.status, 0) << result.output;
      inputs.push_back(name);
    }
    for (const bool like : {true, false}) {
      SCOPED_TRACE(like ? "--like" : "own palette");
      const fs::path out = saved / (like ? "like" : "own");
      fs::create_directory(out);
      std::vector<std::string> args = {"B.arc"};
      if (like) args.insert(args.begin(), {"--like", "../../A.arc"});
      for (const auto& name : inputs) args.push_back("../" + name);
      const auto result = run(VARNU_PACK_BINARY, out, args);
      ASSERT_EQ(result.status, 0) << result.output;
      EXPECT_EQ(result.output, "");
      const auto again = convert(out, "B.arc");
      ASSERT_EQ(again.size(), first.size());
      auto it = again.begin();
      for (const auto& [name, bytes] : first) {
        SCOPED_TRACE(name);
        if (like && form.exact_with_like) {
          EXPECT_EQ(it->second, bytes);
        } else {
          EXPECT_EQ(colours_of(it->second), colours_of(bytes));
        }
        ++it;
      }
    }
  }
}

// Refusals of true-colour pictures reach the user as one line naming the file, status 1.
TEST(VarnuPackInput, RefusesColoursItCannotKeep) {
  TempDir dir;
  // 256 colours, every entry used: a new colour has nowhere to go.
  Picture full = draw_gradient(16, 16);
  for (std::size_t k = 0; k < full.pixels.size(); ++k)
    full.pixels[k] = static_cast<std::uint8_t>(k);
  write_bytes(dir.path() / "A.arc", build_archive({lzss_pack(encode_bmp(full))}));
  Bytes edited = encode_bmp(full);
  edited[54 + 4 * 7] ^= 0x40;  // entry 7 shown in another colour
  write_bytes(dir.path() / "edited.bmp", edited);
  ASSERT_EQ(
      run(kImageMagick, dir.path(), {"edited.bmp", "-type", "TrueColor", "BMP3:tc.bmp"}).status, 0);
  const auto result = run(VARNU_PACK_BINARY, dir.path(), {"--like", "A.arc", "B.arc", "tc.bmp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output,
            "varnu-pack: tc.bmp: has 1 colour not in the original entry's palette, but only 0 "
            "palette entries free (used by no pixel of the original, and not entry 0); reduce the "
            "new colours to that many, or pack with --remap to map them onto the palette\n");
  EXPECT_FALSE(fs::exists(dir.path() / "B.arc"));
}

}  // namespace
