// varnu-pack --remap from end to end, with the packer under test (native, Windows under Wine,
// Node.js): the same archive and warnings for any --jobs and as the native packer writes them;
// one warning for each mapped picture, whose figures are those of the files the converter then
// writes, measured by the benchmark's own CIEDE2000; exact pixels keep colour and index.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/colour_error.hpp"
#include "tests/support/pack_files.hpp"
#include "tools/archive.hpp"
#include "tools/edits.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;
using namespace varnu::tools;

// What the converter wrote for an 8-bit bitmap: its indices and their colours, bottom row first.
struct Shown {
  std::vector<std::uint8_t> indices;
  std::vector<Colour> colours;
};

Shown shown(const Bytes& bmp) {
  const auto u32 = [&](std::size_t at) {
    return std::uint32_t{bmp.at(at)} | bmp.at(at + 1) << 8 | bmp.at(at + 2) << 16 |
           std::uint32_t{bmp.at(at + 3)} << 24;
  };
  const std::size_t offset = u32(10), width = u32(18), height = u32(22);
  const std::size_t stride = (width + 3) & ~std::size_t{3};
  Shown out;
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t index = bmp.at(offset + y * stride + x);
      out.indices.push_back(index);
      out.colours.push_back(u32(54 + 4 * std::size_t{index}) & 0xFFFFFF);
    }
  }
  return out;
}

struct Figures {
  unsigned long long moved = 0;
  double mean = 0, largest = 0;
};

// The figures at the end of a warning line.
Figures figures_in(const std::string& line) {
  Figures f;
  const std::size_t at = line.rfind(": ");
  EXPECT_EQ(std::sscanf(line.c_str() + at + 2,
                        "%llu pixels moved, colour error (CIEDE2000) mean %lf, largest %lf",
                        &f.moved, &f.mean, &f.largest),
            3)
      << line;
  return f;
}

TEST(PackRemap, SameBytesEverywhereFiguresOfTheBytesExactPixelsKept) {
  // Every entry used; entries free; green-keyed, which the converter may turn over.
  const std::vector<Picture> originals = {draw_noise(96, 48, 3), draw_pixel_art(96, 64, 8, 40),
                                          draw_green_keyed(64, 40)};
  std::vector<TrueColourPicture> edits;
  for (const Picture& p : originals) edits.push_back(true_colour_of(p));
  draw_text(edits[0], 4, 8, 3, "TITLE", 0xFFF0C0, true);
  paste_photo(edits[1], 10, 10, 60, 40, 4);
  // Fewer new colours than free entries: nothing to approximate, no warning.
  draw_text(edits[2], 2, 10, 2, "MENU", 0x40E0FF, false);
  std::vector<std::vector<std::uint8_t>> payloads;
  for (const Picture& p : originals) payloads.push_back(pack_entry_payload(p));
  const Bytes original = build_archive(payloads);

  TempDir dir;
  write_bytes(dir.path() / "orig.arc", original);
  const std::vector<std::string> names = {"e0.bmp", "e1.bmp", "e2.bmp"};
  for (std::size_t k = 0; k < edits.size(); ++k) {
    write_bytes(dir.path() / names[k], encode_colours_bmp(edits[k]));
  }
  const auto originals_shown = files_converted(dir.path(), "orig.arc");
  ASSERT_TRUE(originals_shown);

  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--remap"}, std::vector<std::string>{"--remap", "--dither"}}) {
    SCOPED_TRACE(options.size() == 1 ? "--remap" : "--remap --dither");
    const auto args = [&](const std::string& jobs) {
      std::vector<std::string> a = {"--jobs", jobs};
      a.insert(a.end(), options.begin(), options.end());
      a.insert(a.end(), {"--like", "orig.arc", "out.arc"});
      a.insert(a.end(), names.begin(), names.end());
      return a;
    };
    const PackRun native = run_pack(dir.path(), args("1"));
    ASSERT_EQ(native.status, 0) << native.err;
    const Bytes expected = read_bytes(dir.path() / "out.arc");
    for (const char* jobs : {"1", "2", "7"}) {
      const PackRun run = run_pack(dir.path(), args(jobs), std::nullopt, true);
      EXPECT_EQ(run.status, 0) << jobs;
      // The Windows program ends its lines as Windows does.
      std::string err = run.err;
      std::erase(err, '\r');
      EXPECT_EQ(err, native.err) << jobs;
      EXPECT_TRUE(read_bytes(dir.path() / "out.arc") == expected) << "--jobs " << jobs;
    }

    // One warning for each picture that moved: the first two.
    std::vector<std::string> lines;
    for (std::size_t from = 0, to; (to = native.err.find('\n', from)) != std::string::npos;
         from = to + 1) {
      lines.push_back(native.err.substr(from, to - from));
    }
    ASSERT_EQ(lines.size(), 2u) << native.err;
    for (std::size_t k = 0; k < edits.size(); ++k) {
      fs::remove(dir.path() / ("out_00" + std::to_string(k) + ".BMP"));
    }
    const auto written = files_converted(dir.path(), "out.arc");
    ASSERT_TRUE(written);
    for (std::size_t k = 0; k < edits.size(); ++k) {
      SCOPED_TRACE(names[k]);
      const std::string number = "_00" + std::to_string(k) + ".BMP";
      const Shown after = shown(written->at("out" + number));
      const Shown before = shown(originals_shown->at("orig" + number));
      const ColourError measured = colour_error(edits[k].colours, after.colours);
      if (k < lines.size()) {
        EXPECT_TRUE(lines[k].starts_with("varnu-pack: warning: " + names[k] + ": ")) << lines[k];
        const Figures said = figures_in(lines[k]);
        EXPECT_EQ(said.moved, measured.moved);
        EXPECT_NEAR(said.mean, measured.mean, 0.011);
        EXPECT_NEAR(said.largest, measured.largest, 0.011);
      } else {
        EXPECT_EQ(measured.moved, 0u);
      }
      for (std::size_t p = 0; p < after.colours.size(); ++p) {
        if (edits[k].colours[p] != before.colours[p]) continue;
        ASSERT_EQ(after.colours[p], before.colours[p]) << "exact pixel " << p;
        ASSERT_EQ(after.indices[p], before.indices[p]) << "exact pixel " << p;
      }
    }
  }
}

}  // namespace
