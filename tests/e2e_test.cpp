// Runs the built converter in a fresh directory on archives made by the project's own packer and
// compares every file it leaves, byte for byte, with what a small independent model predicts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pack/encoder/lzss_pack.hpp"
#include "tests/support/run_program.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace varnu::testing {
namespace {

namespace fs = std::filesystem;
using tools::Picture;

// The image buffer's size before any entry enlarges it.
constexpr std::size_t kBufferSize = 688128;
constexpr std::size_t kAlignment = 2048;

constexpr int kOk = -1;
constexpr int kUsage = 0;
constexpr int kCannotOpen = 1;
constexpr int kCannotCreate = 2;
constexpr int kCannotConvert = 3;

// Header fields of a decoded bitmap that the converter acts on.
struct Field {
  std::size_t at;
  int bytes;
};
constexpr Field kFileSize{2, 3};
constexpr Field kPixelOffset{10, 3};
constexpr Field kWidth{18, 2};
constexpr Field kHeight{22, 2};

std::uint32_t get(const Bytes& b, Field f) {
  std::uint32_t v = 0;
  for (int i = f.bytes - 1; i >= 0; --i) v = v << 8 | b[f.at + static_cast<std::size_t>(i)];
  return v;
}

Bytes with(Bytes b, Field f, std::uint32_t v) {
  for (int i = 0; i < f.bytes; ++i)
    b[f.at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  return b;
}

// One image buffer lives through the whole run; every entry decodes over its start, so bytes
// past an entry's own end are whatever earlier entries (or the initial zeros) left there.
class Model {
 public:
  Bytes convert(const Bytes& decoded) {
    if (decoded.size() > buffer_.size()) buffer_.resize(decoded.size());
    std::copy(decoded.begin(), decoded.end(), buffer_.begin());
    const std::size_t p = get(buffer_, kPixelOffset);
    const bool green = buffer_[54] < 16 && buffer_[55] > 239 && buffer_[56] < 16;
    if (green && p < buffer_.size() && buffer_[p] == 0) {
      const std::size_t stride = (get(buffer_, kWidth) + 3) / 4 * 4;
      const std::size_t h = get(buffer_, kHeight);
      const auto row = [&](std::size_t y) {
        return buffer_.begin() + static_cast<std::ptrdiff_t>(p + y * stride);
      };
      for (std::size_t y = 0; y < h / 2; ++y) std::swap_ranges(row(y), row(y + 1), row(h - 1 - y));
    }
    const std::uint8_t resolution[] = {0x6B, 0x0B, 0, 0, 0x6B, 0x0B, 0, 0};
    std::copy(std::begin(resolution), std::end(resolution), buffer_.begin() + 38);
    return Bytes(buffer_.begin(), buffer_.begin() + get(buffer_, kFileSize));
  }

 private:
  Bytes buffer_ = Bytes(kBufferSize, 0);
};

std::string suffix(std::size_t i) {
  const char lead = static_cast<char>(i < 1000 ? '0' + i / 100 : 'A' + (i / 100 - 10));
  return {lead, static_cast<char>('0' + i / 10 % 10), static_cast<char>('0' + i % 10)};
}

std::map<std::string, Bytes> expected_files(const std::string& base,
                                            const std::vector<Bytes>& decoded,
                                            std::size_t count = SIZE_MAX) {
  Model model;
  std::map<std::string, Bytes> files;
  for (std::size_t i = 0; i < std::min(count, decoded.size()); ++i) {
    files[base + "_" + suffix(i) + ".BMP"] = model.convert(decoded[i]);
  }
  return files;
}

Bytes bmp(const Picture& p) {
  return pack::encode_bmp(p);
}
Bytes pack(const Bytes& b) {
  return pack::lzss_pack(b);
}

Bytes archive_of(const std::vector<Bytes>& bitmaps, bool pad_last = true) {
  std::vector<Bytes> payloads;
  for (const Bytes& b : bitmaps) payloads.push_back(pack(b));
  return tools::build_archive(payloads, pad_last);
}

// The header and payload of one entry, without filler after it.
Bytes entry(const Bytes& payload) {
  return tools::build_archive({payload}, false);
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// Overwrites the filler after each payload with `pattern`, so that nothing depends on it being
// zero.
Bytes fill_gaps(Bytes archive, const std::string& pattern) {
  for (std::size_t at = 0; at + 12 <= archive.size();) {
    const std::size_t end = at + 12 + get(archive, {at + 8, 3});
    const std::size_t next = (end + kAlignment - 1) / kAlignment * kAlignment;
    for (std::size_t i = end; i < std::min(next, archive.size()); ++i) {
      archive[i] = static_cast<std::uint8_t>(pattern[(i - end) % pattern.size()]);
    }
    at = next;
  }
  return archive;
}

// Palette entry 0 is green and the first pixel uses it, so these rows get flipped; a mark near
// the top keeps the picture from being the same upside down.
Picture green_keyed(std::uint16_t w, std::uint16_t h) {
  Picture p = tools::draw_green_keyed(w, h);
  p.pixels[static_cast<std::size_t>(h - 1) * w + 2] = 200;
  return p;
}

std::vector<Bytes> samples() {
  return {bmp(tools::draw_gradient(33, 17)), bmp(tools::draw_checkerboard(64, 40, 8)),
          bmp(green_keyed(37, 23)),          bmp(tools::draw_line_art(120, 90)),
          bmp(tools::draw_noise(50, 30, 7)), bmp(tools::draw_sprite(3))};
}

// Two pixels whose indices spell out `i`, so that every entry of a long archive is distinct.
Bytes tiny(std::size_t i) {
  Picture p;
  p.width = 2;
  p.height = 1;
  p.pixels = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)};
  return bmp(p);
}

struct Workspace {
  TempDir temp;
  std::set<std::string> inputs;

  fs::path path(const std::string& relative) const { return temp.path() / relative; }
  void put(const std::string& relative, const Bytes& bytes) {
    write_bytes(path(relative), bytes);
    inputs.insert(fs::path(relative).lexically_normal().string());
  }
  void mkdir(const std::string& relative) const { fs::create_directories(path(relative)); }
  RunResult run(std::vector<std::string> args, std::optional<rlim_t> limit = std::nullopt) const {
    return run_varnu({.args = std::move(args), .cwd = temp.path(), .file_size_limit = limit});
  }
  // Every file the converter left, i.e. all but the ones the test put there.
  std::map<std::string, Bytes> outputs() const {
    auto files = files_in(temp.path());
    for (const std::string& name : inputs) files.erase(name);
    return files;
  }
};

void expect_result(const RunResult& r, int code) {
  if (code == kOk) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, message_line(code));
  }
}

TEST(Archive, ConvertsEveryEntryHoweverTheLastOneEnds) {
  const auto bitmaps = samples();
  const Bytes padded = archive_of(bitmaps, true);
  const Bytes bare = archive_of(bitmaps, false);
  const Bytes inside_filler(
      padded.begin(),
      padded.begin() + static_cast<std::ptrdiff_t>((bare.size() + padded.size()) / 2));
  ASSERT_LT(bare.size(), inside_filler.size());
  const struct {
    const char* name;
    Bytes archive;
  } layouts[] = {
      {"zero filler", padded},
      {"filler full of magic", fill_gaps(padded, "vazmur\x01\x02\x03\x04")},
      {"no filler after the last", bare},
      {"ends inside the last filler", fill_gaps(inside_filler, "\xA5")},
  };
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.name);
    Workspace ws;
    ws.put("pics.arc", layout.archive);
    expect_result(ws.run({"pics.arc"}), kOk);
    EXPECT_EQ(ws.outputs(), expected_files("pics", bitmaps));
  }
}

// A picture whose entry (header and payload) is a whole number of blocks long.
Bytes block_filling_bitmap() {
  for (std::uint32_t seed = 0; seed < 64; ++seed) {
    for (std::uint16_t w = 8; w < 200; ++w) {
      Bytes b = bmp(tools::draw_noise(w, 16, seed));
      // Noise packs to little less than its bytes as literals, a flag byte for every eight:
      // only a picture whose literals would end a little past a boundary can end on it.
      const std::size_t literals = 12 + b.size() + (b.size() + 7) / 8;
      if (literals % kAlignment > 256) continue;
      if ((pack(b).size() + 12) % kAlignment == 0) return b;
    }
  }
  return {};
}

TEST(Archive, EntryEndingExactlyOnABoundary) {
  const Bytes exact = block_filling_bitmap();
  ASSERT_FALSE(exact.empty());
  const Bytes first = bmp(tools::draw_gradient(20, 10));
  const Bytes third = bmp(tools::draw_checkerboard(24, 24, 4));
  for (const std::vector<Bytes>& bitmaps :
       {std::vector{first, exact}, std::vector{first, exact, third}}) {
    SCOPED_TRACE(bitmaps.size());
    const Bytes archive = archive_of(bitmaps, false);
    if (bitmaps.size() == 2) {
      ASSERT_EQ(archive.size() % kAlignment, 0u);
    }
    Workspace ws;
    ws.put("edge.arc", archive);
    expect_result(ws.run({"edge.arc"}), kOk);
    EXPECT_EQ(ws.outputs(), expected_files("edge", bitmaps));
  }
}

TEST(Names, OutputNameComesFromTheArchivePath) {
  const std::string long_base(200, 'n');
  std::string deep;
  for (int i = 0; i < 8; ++i) deep.append(120, static_cast<char>('a' + i)).append("/");
  const struct {
    std::vector<std::string> dirs;
    std::string archive;
    std::string base;
  } cases[] = {
      {{}, "title.arc", "title"},
      {{}, "noext", "noext"},
      {{}, "x.tar.arc", "x"},
      {{}, "C:\\data\\title.arc", "title"},
      {{}, "C:title.arc", "title"},
      {{}, "a:b\\c:d.x.y", "d"},
      {{}, "dir.old\\pics.arc", "dir"},
      {{}, "k.x:y\\z", "k"},
      {{}, ".arc", ""},
      {{"."}, "./t.arc", ""},
      {{"d.old"}, "d.old/t.arc", "d"},
      {{"a"}, "a/b.arc", "a/b"},
      {{"p:q", "q"}, "p:q/t.arc", "q/t"},
      {{"m\\n", "n"}, "m\\n/o.arc", "n/o"},
      {{}, long_base + ".arc", long_base},
      {{deep}, deep + "f.arc", deep + "f"},
  };
  const std::vector<Bytes> bitmaps{bmp(tools::draw_gradient(9, 5)), bmp(tools::draw_sprite(11))};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.archive);
    if (skip_posix_path_for_windows(c.archive)) continue;
    Workspace ws;
    for (const auto& dir : c.dirs) ws.mkdir(dir);
    ws.put(c.archive, archive_of(bitmaps));
    expect_result(ws.run({c.archive}), kOk);
    EXPECT_EQ(ws.outputs(), expected_files(c.base, bitmaps));
  }
}

// Paths as Windows reads them, and names in any script on either system. Under Wine, drive Z:
// is the root of the Linux file system.
TEST(Names, WindowsPathsAndNamesInAnyScript) {
  // Over the 260 characters that Windows paths were once limited to.
  std::string deep;
  for (int i = 0; i < 3; ++i) deep.append(100, static_cast<char>('a' + i)).append("/");
  std::string deep_windows = deep;
  std::replace(deep_windows.begin(), deep_windows.end(), '/', '\\');
  const struct {
    bool windows_only;
    std::string put;   // where the archive lies, below the folder the test runs in
    std::string cwd;   // where the program runs, below that folder
    std::string path;  // as given; "@" stands for the folder as a Windows path
    std::string base;  // the outputs' base name, below that folder
  } cases[] = {
      {true, "data/title.arc", "", "@\\data\\title.arc", "title"},
      // Cut at the first dot, that of "..", like "./title.arc".
      {true, "title.arc", "sub", "..\\title.arc", "sub/"},
      {true, "sub/title.arc", "", "sub\\title.arc", "title"},
      {true, "dir.old/pics.arc", "", "dir.old\\pics.arc", "dir"},
      {true, deep + "long.arc", "", "@\\" + deep_windows + "long.arc", "long"},
      {false, "sub/title.arc", "", "sub/title.arc", "sub/title"},
      {false, "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.arc", "",
       "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.arc", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"},
      {false, "\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2.arc", "",
       "\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2.arc", "\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2"},
      {false, "\xC3\xA9t\xC3\xA9.arc", "", "\xC3\xA9t\xC3\xA9.arc", "\xC3\xA9t\xC3\xA9"},
  };
  const std::vector<Bytes> bitmaps{bmp(tools::draw_gradient(9, 5)), bmp(green_keyed(12, 6))};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.windows_only && !testing_windows_program()) continue;
    Workspace ws;
    ws.mkdir(fs::path(c.put).parent_path().string());
    ws.mkdir(c.cwd);
    ws.put(c.put, archive_of(bitmaps));
    std::string windows_folder = "Z:" + ws.temp.path().string();
    std::replace(windows_folder.begin(), windows_folder.end(), '/', '\\');
    std::string path = c.path;
    if (path.starts_with("@")) path.replace(0, 1, windows_folder);
    const RunResult result = run_varnu({.args = {path}, .cwd = ws.path(c.cwd)});
    expect_result(result, kOk);
    EXPECT_EQ(ws.outputs(), expected_files(c.base, bitmaps));
  }
}

TEST(Names, SuffixesRunFrom000ToZ99) {
  std::vector<Bytes> bitmaps;
  std::vector<Bytes> payloads;
  for (std::size_t i = 0; i < 3601; ++i) {
    bitmaps.push_back(tiny(i));
    payloads.push_back(pack(bitmaps.back()));
  }
  const struct {
    std::size_t entries;
    int code;
    const char* last;
  } cases[] = {{3600, kOk, "many_Z99.BMP"}, {3601, kCannotConvert, "many_Z99.BMP"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries);
    Workspace ws;
    ws.put("many.arc",
           tools::build_archive(
               {payloads.begin(), payloads.begin() + static_cast<std::ptrdiff_t>(c.entries)}));
    expect_result(ws.run({"many.arc"}), c.code);
    const auto outputs = ws.outputs();
    EXPECT_EQ(outputs, expected_files("many", bitmaps, std::min<std::size_t>(c.entries, 3600)));
    ASSERT_FALSE(outputs.empty());
    // Digits sort before capitals, so the highest suffix is the last name.
    EXPECT_EQ(outputs.rbegin()->first, c.last);
  }
}

TEST(Messages, ArgumentsAndArchivesThatCannotBeUsed) {
  const Bytes good = archive_of({bmp(tools::draw_gradient(8, 8))});
  Bytes upper = good;
  std::copy_n("VAZMUR", 6, upper.begin());
  Bytes one_upper = good;
  one_upper[5] = 'R';
  Bytes shifted = concat({0}, good);
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::function<void(Workspace&)> setup;
    int code;
  } cases[] = {
      {"no argument", {}, [](Workspace&) {}, kUsage},
      {"missing archive", {"missing.arc"}, [](Workspace&) {}, kCannotOpen},
      {"empty path", {""}, [](Workspace&) {}, kCannotOpen},
      {"directory", {"folder"}, [](Workspace& ws) { ws.mkdir("folder"); }, kCannotOpen},
      {"empty archive", {"e.arc"}, [](Workspace& ws) { ws.put("e.arc", {}); }, kCannotConvert},
      {"upper-case magic",
       {"u.arc"},
       [&](Workspace& ws) { ws.put("u.arc", upper); },
       kCannotConvert},
      {"one upper-case letter",
       {"u.arc"},
       [&](Workspace& ws) { ws.put("u.arc", one_upper); },
       kCannotConvert},
      {"entry off its boundary",
       {"s.arc"},
       [&](Workspace& ws) { ws.put("s.arc", shifted); },
       kCannotConvert},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace ws;
    c.setup(ws);
    expect_result(ws.run(c.args), c.code);
    EXPECT_TRUE(ws.outputs().empty());
  }
}

TEST(Refusals, BrokenEntryFirstOrAfterAGoodOne) {
  const Bytes gradient = bmp(tools::draw_gradient(8, 8));
  const Bytes green = bmp(tools::draw_green_keyed(8, 8));
  const Bytes payload = pack(gradient);
  const Bytes whole = entry(payload);
  const Bytes header_only = Bytes(whole.begin(), whole.begin() + 8);
  const auto prefix = [&](std::size_t n) {
    return Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
  };
  Bytes upper = whole;
  std::copy_n("VAZMUR", 6, upper.begin());
  const struct {
    const char* name;
    Bytes tail;
    bool quiet;  // the walk just stops here instead of refusing
  } cases[] = {
      {"nothing", {}, true},
      {"magic alone", text("vazmur"), true},
      {"seven header bytes", prefix(7), true},
      {"upper-case magic", upper, true},
      {"no length field", header_only, false},
      {"three length bytes", prefix(11), false},
      {"no payload", prefix(12), false},
      {"payload one byte short", prefix(whole.size() - 1), false},
      {"size past the buffer", entry(pack(with(gradient, kFileSize, kBufferSize + 1))), false},
      {"pixels past the buffer", entry(pack(with(green, kPixelOffset, kBufferSize))), false},
      {"rows past the buffer",
       entry(pack(with(with(with(green, kWidth, 4), kHeight, 2), kPixelOffset, kBufferSize - 7))),
       false},
      {"padded rows past the buffer",
       entry(pack(with(with(with(green, kWidth, 5), kHeight, 2), kPixelOffset, kBufferSize - 15))),
       false},
  };
  const Bytes first = bmp(tools::draw_sprite(5));
  for (const auto& c : cases) {
    for (const bool after_good : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (after_good ? " after a good entry" : " first"));
      Workspace ws;
      ws.put("b.arc", after_good ? concat(archive_of({first}), c.tail) : c.tail);
      expect_result(ws.run({"b.arc"}), after_good && c.quiet ? kOk : kCannotConvert);
      EXPECT_EQ(ws.outputs(), expected_files("b", {first}, after_good ? 1 : 0));
    }
  }
}

TEST(Refusals, LimitsThatAreJustMet) {
  const Bytes gradient = bmp(tools::draw_gradient(8, 8));
  const Bytes green = bmp(tools::draw_green_keyed(8, 8));
  Bytes unkeyed_pixel = green;
  unkeyed_pixel[get(green, kPixelOffset)] = 1;
  const struct {
    const char* name;
    Bytes bitmap;
  } cases[] = {
      {"size fills the buffer", with(gradient, kFileSize, kBufferSize)},
      {"unkeyed palette ignores the pixel offset", with(gradient, kPixelOffset, 0xFFFFFF)},
      {"last byte as the only row", with(with(green, kHeight, 1), kPixelOffset, kBufferSize - 1)},
      {"no rows", with(with(green, kHeight, 0), kPixelOffset, kBufferSize - 1)},
      {"rows end at the buffer",
       with(with(with(green, kWidth, 4), kHeight, 2), kPixelOffset, kBufferSize - 8)},
      {"padded rows end at the buffer",
       with(with(with(green, kWidth, 5), kHeight, 2), kPixelOffset, kBufferSize - 16)},
      {"unflipped rows are not measured", with(unkeyed_pixel, kHeight, 0xFFFF)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace ws;
    ws.put("l.arc", archive_of({c.bitmap}));
    expect_result(ws.run({"l.arc"}), kOk);
    EXPECT_EQ(ws.outputs(), expected_files("l", {c.bitmap}));
  }
}

TEST(GreenKey, FlipsRowsOnlyForAGreenFirstColourOnTheFirstPixel) {
  const struct {
    std::uint8_t blue, green, red, first_pixel;
    bool flipped;
  } cases[] = {
      {0, 255, 0, 0, true},  {15, 240, 15, 0, true}, {16, 255, 0, 0, false},
      {0, 239, 0, 0, false}, {0, 255, 16, 0, false}, {0, 255, 0, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << +c.blue << "," << +c.green << "," << +c.red << " pixel " << +c.first_pixel);
    Picture picture = green_keyed(37, 23);
    picture.palette[0] = c.blue;
    picture.palette[1] = c.green;
    picture.palette[2] = c.red;
    picture.pixels[0] = c.first_pixel;
    const Bytes bitmap = bmp(picture);
    Workspace ws;
    ws.put("g.arc", archive_of({bitmap}));
    expect_result(ws.run({"g.arc"}), kOk);
    const auto outputs = ws.outputs();
    ASSERT_EQ(outputs, expected_files("g", {bitmap}));
    Bytes as_stored = bitmap;
    std::copy_n("\x6B\x0B\0\0\x6B\x0B\0\0", 8, as_stored.begin() + 38);
    EXPECT_EQ(outputs.at("g_000.BMP") != as_stored, c.flipped);
  }
}

TEST(ImageBuffer, EntriesSeeWhatEarlierOnesLeft) {
  const Bytes keyed = bmp(green_keyed(40, 30));
  const Bytes small = bmp(tools::draw_gradient(8, 8));
  const std::vector<Bytes> bitmaps{
      with(small, kFileSize, 3000),                   // initial zeros after its end
      keyed,                                          // flipped in the buffer
      with(small, kFileSize, get(keyed, kFileSize)),  // the flipped rows after its end
      Bytes{},                                        // an empty payload reuses it all
      with(bmp(tools::draw_checkerboard(4, 4, 1)), kFileSize, 100),  // shorter than decoded
  };
  Workspace ws;
  ws.put("s.arc", archive_of(bitmaps));
  expect_result(ws.run({"s.arc"}), kOk);
  const auto outputs = ws.outputs();
  EXPECT_EQ(outputs, expected_files("s", bitmaps));
  ASSERT_EQ(outputs.size(), 5u);
  EXPECT_EQ(outputs.at("s_003.BMP"), outputs.at("s_002.BMP"));
}

TEST(ImageBuffer, GrowsForAPictureLargerThanItself) {
  const Bytes large = bmp(tools::draw_line_art(1024, 680));
  ASSERT_GT(large.size(), kBufferSize);
  const Bytes small = bmp(tools::draw_gradient(8, 8));
  const std::vector<Bytes> bitmaps{large,
                                   with(small, kFileSize, static_cast<std::uint32_t>(large.size())),
                                   with(small, kFileSize, 0xFFFFFF)};
  Workspace ws;
  ws.put("big.arc", archive_of(bitmaps));
  expect_result(ws.run({"big.arc"}), kCannotConvert);
  EXPECT_EQ(ws.outputs(), expected_files("big", bitmaps, 2));
}

TEST(Output, ExistingThingsInTheWay) {
  const std::vector<Bytes> bitmaps{bmp(tools::draw_gradient(30, 20)), bmp(tools::draw_sprite(8)),
                                   bmp(tools::draw_line_art(40, 40))};
  const struct {
    const char* name;
    std::string archive;
    std::function<void(Workspace&)> setup;
    int code;
    std::size_t written;
  } cases[] = {
      {"older output overwritten", "t.arc",
       [](Workspace& ws) { write_bytes(ws.path("t_000.BMP"), Bytes(50000, 0xEE)); }, kOk, 3},
      {"directory named like the second output", "t.arc",
       [](Workspace& ws) { ws.mkdir("t_001.BMP"); }, kCannotCreate, 1},
      // The archive sits in "p:q", but the output goes to "q", which does not exist.
      {"output directory missing", "p:q/t.arc", [](Workspace& ws) { ws.mkdir("p:q"); },
       kCannotCreate, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (skip_posix_path_for_windows(c.archive)) continue;
    Workspace ws;
    c.setup(ws);
    ws.put(c.archive, archive_of(bitmaps));
    expect_result(ws.run({c.archive}), c.code);
    EXPECT_EQ(ws.outputs(), expected_files("t", bitmaps, c.written));
  }
}

TEST(Output, FailedWriteRemovesThePartialFile) {
  if (testing_windows_program()) GTEST_SKIP() << "Windows has no file-size limit";
  const std::vector<Bytes> bitmaps{bmp(tools::draw_gradient(8, 8)),
                                   bmp(tools::draw_gradient(64, 64)),
                                   bmp(tools::draw_gradient(8, 8))};
  ASSERT_LT(bitmaps[0].size(), 4096u);
  ASSERT_GT(bitmaps[1].size(), 4096u);
  for (const auto& [limit, written] : {std::pair<rlim_t, std::size_t>{4096, 1}, {1000, 0}}) {
    SCOPED_TRACE(limit);
    Workspace ws;
    ws.put("w.arc", archive_of(bitmaps));
    expect_result(ws.run({"w.arc"}, limit), kCannotCreate);
    EXPECT_EQ(ws.outputs(), expected_files("w", bitmaps, written));
  }
}

TEST(Archive, ReadsFromAPipe) {
  if (const char* why = why_no_fifo()) GTEST_SKIP() << why;
  std::vector<Bytes> bitmaps = samples();
  bitmaps.push_back(bmp(tools::draw_noise(400, 240, 21)));  // more than a pipe holds at once
  bitmaps.push_back(bmp(tools::draw_gradient(10, 10)));
  const Bytes archive = fill_gaps(archive_of(bitmaps), "vazmur");
  Workspace ws;
  ASSERT_EQ(mkfifo(ws.path("pipe.arc").c_str(), 0600), 0);
  ws.inputs.insert("pipe.arc");
  const std::string fifo = ws.path("pipe.arc").string();
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    const int fd = open(fifo.c_str(), O_WRONLY);
    for (std::size_t done = 0; fd >= 0 && done < archive.size();) {
      const ssize_t n = write(fd, archive.data() + done, archive.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  const RunResult result = ws.run({"pipe.arc"});
  // The writer is still blocked in open() if the converter never opened the pipe.
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  expect_result(result, kOk);
  EXPECT_EQ(ws.outputs(), expected_files("pipe", bitmaps));
}

TEST(Options, OnlyALowerCaseXSelectsHalfWidth) {
  const Bytes bitmap = bmp(tools::draw_gradient(16, 8));
  const Bytes plain = expected_files("o", {bitmap}).at("o_000.BMP");
  const struct {
    const char* option;
    bool half;
  } cases[] = {{"X", false}, {"-x", false}, {"", false}, {"x", true}, {"xyz", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    Workspace ws;
    ws.put("o.arc", archive_of({bitmap}));
    expect_result(ws.run({"o.arc", c.option}), kOk);
    const auto outputs = ws.outputs();
    ASSERT_EQ(outputs.size(), 1u);
    const Bytes& out = outputs.at("o_000.BMP");
    if (!c.half) {
      EXPECT_EQ(out, plain);
      continue;
    }
    EXPECT_NE(out, plain);
    ASSERT_GT(out.size(), 28u);
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    EXPECT_EQ(out[28], 24);
  }
}

}  // namespace
}  // namespace varnu::testing
