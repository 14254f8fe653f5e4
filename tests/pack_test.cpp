// varnu-pack as a user runs it, next to the converter: the round trip, the input forms it
// accepts, and what it refuses without leaving anything broken behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "format/archive.hpp"
#include "pack/encoder/classic_lzss.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "pack/entry/orientation.hpp"
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
using varnu::kEntryAlignment;
using varnu::kPayloadOffset;

const fs::path kImageMagick = "/usr/bin/convert";

varnu::testing::RunResult run(const fs::path& program, const fs::path& cwd,
                              std::vector<std::string> args) {
  return varnu::testing::run_varnu(
      RunOptions{.program = program, .args = std::move(args), .cwd = cwd, .capture_stderr = true});
}

// Runs the packer under test (the Node.js one in the node. tests).
varnu::testing::RunResult pack(const fs::path& cwd, std::vector<std::string> args) {
  return varnu::testing::run_varnu(
      RunOptions{.args = std::move(args), .cwd = cwd, .capture_stderr = true, .packer = true});
}

// Runs the converter under test (the Windows one, under Wine, in the wine. tests) on `archive` in
// its folder and returns what it wrote, by name.
std::map<std::string, Bytes> convert(const fs::path& dir, const std::string& archive) {
  auto written = varnu::testing::files_converted(dir, archive);
  EXPECT_TRUE(written) << archive << " was not converted";
  return written.value_or(std::map<std::string, Bytes>{});
}

struct Entry {
  Bytes header;
  Bytes payload;
};

std::vector<Entry> entries_of(const Bytes& archive) {
  std::vector<Entry> entries;
  for (std::size_t at = 0; at + kPayloadOffset <= archive.size(); at += kEntryAlignment) {
    const std::size_t length = archive[at + 8] | archive[at + 9] << 8 | archive[at + 10] << 16;
    const auto start = archive.begin() + static_cast<std::ptrdiff_t>(at);
    entries.push_back({Bytes(start, start + kPayloadOffset),
                       Bytes(start + kPayloadOffset, start + kPayloadOffset + length)});
    at += kPayloadOffset + length - 1;
    at -= at % kEntryAlignment;
  }
  return entries;
}

void set_resolution(Bytes& bmp, std::uint8_t seed) {
  for (std::size_t k = 38; k < 46; ++k) bmp[k] = static_cast<std::uint8_t>(seed + k);
}

// A green-keyed picture whose stored first pixel and first pixel of the last stored row are
// set as given (0 is the key colour).
Picture keyed(std::uint16_t width, std::uint16_t height, std::uint8_t first, std::uint8_t last) {
  Picture p = draw_green_keyed(width, height);
  p.pixels.front() = first;
  p.pixels[std::size_t{width} * (height - 1u)] = last;
  return p;
}

// Both unedited round trips of an archive of every orientation case: plain repacking gives the
// same converted files; with --like the entries decode to the original bytes, header included.
TEST(VarnuPack, RoundTripOfAMixedArchive) {
  struct Case {
    const char* name;
    Picture picture;
    bool stored_upside_down;  // by plain repacking
  };
  const std::vector<Case> cases = {
      {"gradient, odd width", draw_gradient(37, 21), false},
      {"photograph-like", draw_noise(64, 48, 7), false},
      {"flipped by varnu, only upside down comes back", keyed(40, 9, 0, 5), true},
      {"flipped by varnu, both come back", keyed(41, 8, 0, 0), true},
      {"not flipped, both come back", keyed(42, 7, 3, 0), true},
      {"not flipped, only as is comes back", keyed(43, 6, 3, 4), false},
      {"one row keyed", keyed(17, 1, 0, 0), false},
  };
  TempDir dir;
  Bytes original;
  std::vector<Bytes> decoded;
  for (std::size_t k = 0; k < cases.size(); ++k) {
    decoded.push_back(encode_bmp(cases[k].picture));
    set_resolution(decoded.back(), static_cast<std::uint8_t>(k));
    const Bytes payload = lzss_pack(decoded.back());
    const auto k8 = static_cast<std::uint8_t>(k);
    const auto header = varnu::entry_start(
        payload.size(),
        {static_cast<std::uint8_t>(0xA0 + k8), static_cast<std::uint8_t>(0x50 + k8), 0xFF});
    original.insert(original.end(), header.begin(), header.end());
    original.insert(original.end(), payload.begin(), payload.end());
    original.resize(original.size() + varnu::filler_size(original.size()));
  }
  write_bytes(dir.path() / "A.arc", original);
  const auto pictures = convert(dir.path(), "A.arc");
  ASSERT_EQ(pictures.size(), cases.size());
  std::vector<std::string> names;
  for (const auto& [name, bytes] : pictures) names.push_back(name);

  for (const bool like : {false, true}) {
    SCOPED_TRACE(like ? "--like" : "plain");
    const fs::path out = dir.path() / (like ? "like" : "plain");
    fs::create_directory(out);
    std::vector<std::string> args = {"B.arc"};
    for (const auto& name : names) args.push_back("../" + name);
    if (like) args.insert(args.begin(), {"--like", "../A.arc"});
    const auto result = pack(out, args);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "");

    const auto again = convert(out, "B.arc");
    ASSERT_EQ(again.size(), names.size());
    auto it = again.begin();
    for (std::size_t k = 0; k < names.size(); ++k, ++it) {
      EXPECT_EQ(it->second, pictures.at(names[k])) << cases[k].name;
    }

    const auto entries = entries_of(read_bytes(out / "B.arc"));
    const auto originals = entries_of(original);
    ASSERT_EQ(entries.size(), cases.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
      SCOPED_TRACE(cases[k].name);
      const Bytes stored = varnu::pack::classic_lzss_decode(entries[k].payload);
      const Bytes& picture = pictures.at(names[k]);
      if (like) {
        EXPECT_EQ(stored, decoded[k]);
        EXPECT_EQ(entries[k].header, originals[k].header);
      } else {
        EXPECT_EQ(stored, cases[k].stored_upside_down ? upside_down(picture) : picture);
        EXPECT_EQ(entries[k].header[6] | entries[k].header[7] | entries[k].header[11], 0);
      }
    }
  }
}

// Pixels as colours (blue, green, red), bottom row first: what a picture shows, whatever its
// palette order or form. `bmp` is in the entry form.
std::vector<std::array<std::uint8_t, 3>> colours_of(const Bytes& bmp) {
  const std::size_t offset = bmp[10] | bmp[11] << 8 | bmp[12] << 16;
  const std::size_t width = bmp[18] | bmp[19] << 8;
  const std::size_t height = bmp[22] | bmp[23] << 8;
  const std::size_t stride = (width + 3) & ~std::size_t{3};
  std::vector<std::array<std::uint8_t, 3>> out;
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t entry = 54 + 4 * std::size_t{bmp.at(offset + y * stride + x)};
      out.push_back({bmp.at(entry), bmp.at(entry + 1), bmp.at(entry + 2)});
    }
  }
  return out;
}

// 13 x 7 pixels (rows padded in every depth) using the first `colours` palette entries.
Picture small_picture(unsigned colours) {
  Picture p = draw_gradient(13, 7);
  for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = (i * 7 + i / 13) % colours;
  return p;
}

// Has ImageMagick turn `source` (written by the tests) into `format:` in `dir`.
Bytes via_image_magick(const fs::path& dir, const Bytes& source, const std::string& format) {
  write_bytes(dir / "source.bmp", source);
  const auto result =
      run(kImageMagick, dir, {"source.bmp", "-compress", "None", format + ":magick.bmp"});
  EXPECT_EQ(result.status, 0) << result.output;
  return read_bytes(dir / "magick.bmp");
}

// Every accepted form comes back from the converter with the same colours, in the entry form
// with its fields right; the entry form itself comes back byte for byte.
TEST(VarnuPack, AcceptsBitmapsAsEditorsSaveThem) {
  struct Case {
    const char* name;
    unsigned colours;
    std::function<Bytes(const fs::path&, const Picture&)> make;
    bool byte_for_byte = false;
    bool needs_image_magick = false;
  };
  auto form = [](BmpForm f) {
    return [f](const fs::path&, const Picture& p) { return encode_bmp_form(p, f); };
  };
  auto magick = [](std::string format, BmpForm f = {}) {
    return [format, f](const fs::path& dir, const Picture& p) {
      return via_image_magick(dir, encode_bmp_form(p, f), format);
    };
  };
  const std::vector<Case> cases = {
      {"entry form", 256, [](auto&, const Picture& p) { return encode_bmp(p); }, true},
      {"entry form, 16-entry palette", 16, form({.colours = 16}), true},
      {"8-bit, file-size field 0", 200,
       [](auto&, const Picture& p) {
         Bytes b = encode_bmp(p);
         std::fill_n(b.begin() + 2, 4, 0);
         return b;
       }},
      {"1-bit", 2, form({.bits = 1, .colours = 2})},
      {"4-bit, V4 header, 12-entry palette", 12,
       form({.bits = 4, .info_size = 108, .colours = 12})},
      {"8-bit, V5 header, top-down", 200, form({.info_size = 124, .top_down = true})},
      {"ImageMagick 40-byte, 8-bit", 200, magick("BMP3"), false, true},
      {"ImageMagick 40-byte, 4-bit", 16, magick("BMP3"), false, true},
      {"ImageMagick V5, 8-bit", 200, magick("BMP"), false, true},
      {"ImageMagick V5, 1-bit", 2, magick("BMP"), false, true},
      // ImageMagick writes no top-down files; it reads ours as the control.
      {"top-down, as ImageMagick reads it", 200, magick("BMP3", {.top_down = true}), false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_image_magick && !fs::exists(kImageMagick)) {
      GTEST_SKIP() << "no ImageMagick at " << kImageMagick;
    }
    TempDir dir;
    const Picture picture = small_picture(c.colours);
    Bytes input = c.make(dir.path(), picture);
    // The converter rewrites these; the same values keep a byte-for-byte input comparable.
    std::copy_n(std::array<std::uint8_t, 4>{0x6B, 0x0B, 0, 0}.begin(), 4, input.begin() + 38);
    std::copy_n(input.begin() + 38, 4, input.begin() + 42);
    write_bytes(dir.path() / "in.bmp", input);
    const auto result = pack(dir.path(), {"out.arc", "in.bmp"});
    ASSERT_EQ(result.status, 0) << result.output;
    const auto written = convert(dir.path(), "out.arc");
    ASSERT_EQ(written.size(), 1u);
    const Bytes& out = written.begin()->second;

    EXPECT_EQ(colours_of(out), colours_of(encode_bmp(picture)));
    if (c.byte_for_byte) {
      EXPECT_EQ(out, input);
    } else {
      const Bytes expected_headers = encode_bmp(picture);
      // File size, pixel offset, image size: everything the converted headers say.
      for (std::size_t at : {2, 10, 34}) {
        EXPECT_TRUE(
            std::equal(out.begin() + at, out.begin() + at + 4, expected_headers.begin() + at))
            << "field at " << at;
      }
      EXPECT_EQ(out.size(), expected_headers.size());
    }
  }
}

// Random pixels: an incompressible picture.
Picture noise_picture(std::uint16_t width, std::uint16_t height) {
  Picture p = draw_gradient(width, height);
  std::uint32_t x = 12345;
  for (auto& pixel : p.pixels) {
    x = x * 1664525u + 1013904223u;
    pixel = static_cast<std::uint8_t>(x >> 24);
  }
  return p;
}

// Whether `text` begins with `pattern`, where a '*' in it stands for any run of characters.
bool matches(const std::string& text, const std::string& pattern) {
  std::size_t at = 0;
  for (std::size_t from = 0;;) {
    const std::size_t star = pattern.find('*', from);
    const std::string part = pattern.substr(from, star - from);
    const std::size_t found =
        from == 0 ? (text.starts_with(part) ? 0 : text.npos) : text.find(part, at);
    if (found == text.npos) return false;
    if (star == pattern.npos) return true;
    at = found + part.size();
    from = star + 1;
  }
}

// Each failure is one line naming the file and the reason, status 1, and the folder as it was;
// a warning leaves status 0 and the archive written.
TEST(VarnuPack, RefusesWithoutLeavingAnythingBroken) {
  const Bytes good = encode_bmp(draw_gradient(20, 10));
  Bytes cut = good;
  cut.resize(good.size() - 10);
  Bytes sixteen_bit = good;
  sixteen_bit[28] = 16;
  Bytes rle = good;
  rle[30] = 1;
  const Bytes large = encode_bmp(draw_gradient(1000, 700));
  const Bytes dense = encode_bmp(noise_picture(400, 420));
  const Bytes wide_keyed = encode_bmp(keyed(4100, 2, 0, 0));
  const Bytes huge = encode_bmp(noise_picture(4000, 4000));
  const Bytes upside = encode_bmp(keyed(30, 4, 0, 2));
  const Bytes original = build_archive({lzss_pack(good)});
  std::vector<std::string> many_inputs(3602, "good.bmp");
  many_inputs.front() = "out.arc";

  struct Case {
    const char* name;
    std::map<std::string, Bytes> files;  // besides good.bmp
    std::vector<std::string> args;
    int status;
    // The start of the only line on stderr; a '*' stands for any text.
    std::string message;
  };
  const std::vector<Case> cases = {
      {"missing input", {}, {"out.arc", "none.bmp"}, 1, "varnu-pack: none.bmp: cannot open it\n"},
      {"truncated",
       {{"cut.bmp", cut}},
       {"out.arc", "good.bmp", "cut.bmp"},
       1,
       "varnu-pack: cut.bmp: truncated: its rows end at byte 1278, the file has 1268\n"},
      {"not a bitmap",
       {{"text.bmp", {'h', 'i'}}},
       {"out.arc", "text.bmp"},
       1,
       "varnu-pack: text.bmp: neither a bitmap nor a PNG file"},
      {"16-bit",
       {{"tc.bmp", sixteen_bit}},
       {"out.arc", "tc.bmp"},
       1,
       "varnu-pack: tc.bmp: 16-bit bitmap, whose colours would have to change to fit; save it as "
       "a 24-bit bitmap, or an 8-bit one of 256 colours or fewer\n"},
      {"rows that are no run-length stream",
       {{"rle.bmp", rle}},
       {"out.arc", "rle.bmp"},
       1,
       "varnu-pack: rle.bmp: malformed RLE8 stream: *\n"},
      {"output folder missing",
       {},
       {"no/out.arc", "good.bmp"},
       1,
       "varnu-pack: no/out.arc: cannot create a file in its folder\n"},
      {"output is a folder",
       {{"out.arc/keep", {}}},
       {"out.arc", "good.bmp"},
       1,
       "varnu-pack: out.arc: cannot put it in place: *\n"},
      {"existing archive kept",
       {{"out.arc", {'o', 'l', 'd'}}},
       {"out.arc", "good.bmp", "none.bmp"},
       1,
       "varnu-pack: none.bmp: cannot open it\n"},
      {"bitmap over 688128 bytes",
       {{"large.bmp", large}},
       {"out.arc", "large.bmp"},
       1,
       "varnu-pack: large.bmp: the bitmap is 701078 bytes, more than the 688128 that readers "
       "with fixed buffers hold (--no-limits packs it anyway)\n"},
      {"... with --no-limits",
       {{"large.bmp", large}},
       {"--no-limits", "out.arc", "large.bmp"},
       0,
       ""},
      {"payload over 163838 bytes",
       {{"dense.bmp", dense}},
       {"out.arc", "dense.bmp"},
       1,
       "varnu-pack: dense.bmp: packs to * bytes, more than the 163838 that readers with fixed "
       "buffers hold (--no-limits packs it anyway)\n"},
      {"... with --no-limits",
       {{"dense.bmp", dense}},
       {"--no-limits", "out.arc", "dense.bmp"},
       0,
       ""},
      {"keyed rows over 4096 bytes",
       {{"wide.bmp", wide_keyed}},
       {"out.arc", "wide.bmp"},
       1,
       "varnu-pack: wide.bmp: green-keyed rows of 4100 bytes, longer than the 4096"},
      {"... with --no-limits",
       {{"wide.bmp", wide_keyed}},
       {"--no-limits", "out.arc", "wide.bmp"},
       0,
       ""},
      {"payload of 16 MiB, even with --no-limits",
       {{"huge.bmp", huge}},
       {"--no-limits", "out.arc", "huge.bmp"},
       1,
       "varnu-pack: huge.bmp: packs to * bytes, more than an entry's 24-bit length can say "
       "(16777215)\n"},
      {"3601 pictures",
       {},
       std::vector<std::string>(3602, "good.bmp"),
       1,
       "varnu-pack: good.bmp: 3601 pictures, more than the 3600 that readers name (_000 to _Z99) "
       "(--no-limits packs it anyway)\n"},
      {"--like with another entry count",
       {{"a.arc", original}},
       {"--like", "a.arc", "out.arc", "good.bmp", "good.bmp"},
       1,
       "varnu-pack: a.arc: has 1 entries but 2 pictures were given\n"},
      {"warning: comes back upside down",
       {{"up.bmp", upside}},
       {"out.arc", "good.bmp", "up.bmp"},
       0,
       "varnu-pack: warning: up.bmp: green-keyed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_bytes(dir.path() / "good.bmp", good);
    for (const auto& [name, bytes] : c.files) {
      fs::create_directories((dir.path() / name).parent_path());
      write_bytes(dir.path() / name, bytes);
    }
    const auto before = files_in(dir.path());

    const auto result = pack(dir.path(), c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_TRUE(matches(result.output, c.message)) << result.output;
    auto after = files_in(dir.path());
    if (c.status == 0) {
      EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'),
                c.message.empty() ? 0 : 1);
      EXPECT_EQ(after.erase("out.arc"), 1u);
    } else {
      EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1);
    }
    EXPECT_EQ(after, before);
  }
}

}  // namespace
