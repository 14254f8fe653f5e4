// Patches end to end, with xdelta3 on the other side: varnu-pack --patch's patch applied by
// `xdelta3 -d` gives varnu-pack --like's archive, and `xdelta3 -e -S none`'s patch applied by
// varnu-pack --apply gives it too, for one edited picture, many, one whose size changed (the
// entries after it move) and none. Each refusal of --apply is one line, status 1 and nothing
// left behind. The original is written here, its streams all literals, so that an edited
// entry's stream is unlike the one it replaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/pack_files.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;

const fs::path kXdelta = "/usr/bin/xdelta3";

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Twelve pictures of three sizes, a tail after the last entry.
Bytes original_archive() {
  Bytes archive;
  for (std::uint32_t k = 0; k < 12; ++k) {
    const Bytes bitmap =
        bmp_file({.width = 40 + 17 * (k % 3), .height = static_cast<std::int32_t>(30 + k)});
    append_entry(archive, literal_stream(bitmap), {static_cast<std::uint8_t>(k), 0x60, 0x61});
  }
  archive.resize((archive.size() + kBoundary - 1) / kBoundary * kBoundary, 0xA5);
  const std::string tail = "bytes after the last entry";
  archive.insert(archive.end(), tail.begin(), tail.end());
  return archive;
}

// A box of pixels given index `colour` in an 8-bit bitmap as varnu writes it.
void paint(Bytes& bmp, std::uint32_t colour) {
  const std::uint32_t rows = u32_at(bmp, 10);
  const std::uint32_t stride = (u32_at(bmp, 18) + 3) & ~3u;
  for (std::uint32_t y = 3; y < 9; ++y) {
    for (std::uint32_t x = 5; x < 15; ++x)
      bmp[rows + y * stride + x] = static_cast<std::uint8_t>(colour);
  }
}

// Runs a program natively in `dir`: its status and both streams.
RunResult run_in(const fs::path& dir, const fs::path& program, std::vector<std::string> args) {
  return run_varnu(
      {.program = program, .args = std::move(args), .cwd = dir, .capture_stderr = true});
}

// The packer under test (varnu-pack.js with a Node.js converter).
PackRun pack_under_test(const fs::path& dir, std::vector<std::string> args) {
  return run_pack(dir, std::move(args), std::nullopt, true);
}

class Patch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kXdelta)) GTEST_SKIP() << "no xdelta3 at " << kXdelta;
    write_bytes(dir_.path() / "GAME.ARC", original_archive());
    const auto converted = files_converted(dir_.path(), "GAME.ARC");
    ASSERT_TRUE(converted);
    for (const auto& [name, bytes] : *converted) {
      names_.push_back(name);
      write_bytes(dir_.path() / name, bytes);
    }
    ASSERT_EQ(names_.size(), 12u);
  }

  std::vector<std::string> with_pictures(std::vector<std::string> args) const {
    args.insert(args.end(), names_.begin(), names_.end());
    return args;
  }

  TempDir dir_;
  std::vector<std::string> names_;
};

TEST_F(Patch, RoundTripsWithXdelta3BothWays) {
  struct Case {
    const char* name;
    std::vector<std::size_t> edited;
    bool resized = false;  // the first edited picture loses rows
  };
  const std::vector<Case> cases = {
      {"nothing changed", {}},
      {"one edited picture", {4}},
      {"many edited pictures", {0, 3, 4, 7, 11}},
      {"one picture that changed size", {2}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& name : names_) {
      Bytes bmp = read_bytes(dir_.path() / name);
      const auto k = static_cast<std::size_t>(&name - names_.data());
      if (std::find(c.edited.begin(), c.edited.end(), k) != c.edited.end()) {
        paint(bmp, static_cast<std::uint32_t>(k + 100));
      }
      if (c.resized && k == c.edited[0]) {
        // Twenty rows fewer: the bottom rows go, the height field says so.
        const std::uint32_t stride = (u32_at(bmp, 18) + 3) & ~3u;
        const std::uint32_t rows = u32_at(bmp, 10);
        bmp.erase(bmp.begin() + rows, bmp.begin() + rows + 20 * stride);
        put_le(bmp, 22, u32_at(bmp, 22) - 20, 4);
        put_le(bmp, 2, bmp.size(), 4);
        put_le(bmp, 34, u32_at(bmp, 34) - 20 * stride, 4);
      }
      write_bytes(dir_.path() / name, bmp);
    }
    fs::remove(dir_.path() / "NEW.ARC");
    const PackRun packed =
        pack_under_test(dir_.path(), with_pictures({"--like", "GAME.ARC", "NEW.ARC"}));
    ASSERT_EQ(packed.status, 0) << packed.err;
    const Bytes expected = read_bytes(dir_.path() / "NEW.ARC");
    EXPECT_EQ(expected == read_bytes(dir_.path() / "GAME.ARC"), c.edited.empty());

    // varnu-pack's patch, applied by xdelta3: the patch alone is written.
    fs::remove(dir_.path() / "GAME.vcdiff");
    const auto before = files_in(dir_.path());
    const PackRun made = pack_under_test(
        dir_.path(), with_pictures({"--like", "GAME.ARC", "--patch", "GAME.vcdiff"}));
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    auto after = files_in(dir_.path());
    after.erase("GAME.vcdiff");
    EXPECT_EQ(after, before);
    const RunResult applied =
        run_in(dir_.path(), kXdelta, {"-d", "-f", "-s", "GAME.ARC", "GAME.vcdiff", "XDELTA.ARC"});
    ASSERT_EQ(applied.status, 0) << applied.output;
    EXPECT_TRUE(read_bytes(dir_.path() / "XDELTA.ARC") == expected);

    // xdelta3's patch, applied by varnu-pack; and varnu-pack's own.
    const RunResult xdelta =
        run_in(dir_.path(), kXdelta,
               {"-e", "-9", "-S", "none", "-f", "-s", "GAME.ARC", "NEW.ARC", "x.vcdiff"});
    ASSERT_EQ(xdelta.status, 0) << xdelta.output;
    for (const char* patch : {"x.vcdiff", "GAME.vcdiff"}) {
      SCOPED_TRACE(patch);
      fs::remove(dir_.path() / "APPLIED.ARC");
      const PackRun run =
          pack_under_test(dir_.path(), {"--apply", patch, "GAME.ARC", "APPLIED.ARC"});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_TRUE(read_bytes(dir_.path() / "APPLIED.ARC") == expected);
    }
    // Made knowing the archive, the patch is no larger than xdelta3's best.
    EXPECT_LE(fs::file_size(dir_.path() / "GAME.vcdiff"), fs::file_size(dir_.path() / "x.vcdiff"));
  }
}

// Each refusal: one line naming the file to blame, status 1, and the folder as it was (an
// existing output included).
TEST_F(Patch, ApplyRefusesWithOneLineAndLeavesNothing) {
  Bytes edited = read_bytes(dir_.path() / names_[5]);
  paint(edited, 200);
  write_bytes(dir_.path() / names_[5], edited);
  ASSERT_EQ(
      pack_under_test(dir_.path(), with_pictures({"--like", "GAME.ARC", "--patch", "GAME.vcdiff"}))
          .status,
      0);
  ASSERT_EQ(pack_under_test(dir_.path(), with_pictures({"--like", "GAME.ARC", "NEW.ARC"})).status,
            0);
  const Bytes patch = read_bytes(dir_.path() / "GAME.vcdiff");
  const Bytes original = read_bytes(dir_.path() / "GAME.ARC");
  ASSERT_EQ(
      run_in(dir_.path(), kXdelta, {"-e", "-f", "-s", "GAME.ARC", "NEW.ARC", "lzma.vcdiff"}).status,
      0);
  const Bytes lzma = read_bytes(dir_.path() / "lzma.vcdiff");

  // The first window's delta length, said to be 2^40 bytes: the bytes before it are the header
  // (5), the window's indicator and its segment (the whole original: size, then 0).
  Bytes lying(patch.begin(), patch.begin() + 6);
  const Bytes size_field = [&] {
    Bytes v;
    for (std::uint64_t n = original.size(); n != 0 || v.empty(); n >>= 7) {
      v.insert(v.begin(), static_cast<std::uint8_t>((v.empty() ? 0 : 0x80) | (n & 0x7F)));
    }
    return v;
  }();
  lying.insert(lying.end(), size_field.begin(), size_field.end());
  lying.insert(lying.end(), {0x00, 0xA0, 0x80, 0x80, 0x80, 0x80, 0x00});
  Bytes shorter(original.begin(), original.end() - 1);
  Bytes changed = original;
  changed[kBoundary + 100] ^= 1;

  struct Case {
    const char* name;
    std::map<std::string, Bytes> files;  // written before the run
    std::vector<std::string> args;
    std::string err;
  };
  const std::string size = std::to_string(original.size() / 1000) + "," +
                           std::to_string(original.size() % 1000 + 1000).substr(1);
  const std::vector<Case> cases = {
      {"an original one byte shorter",
       {{"OTHER.ARC", shorter}},
       {"--apply", "GAME.vcdiff", "OTHER.ARC", "OUT.ARC"},
       "varnu-pack: OTHER.ARC: does not match the patch: it is " +
           std::to_string((original.size() - 1) / 1000) + "," +
           std::to_string((original.size() - 1) % 1000 + 1000).substr(1) +
           " bytes, and the patch copies from it up to byte " + size + "\n"},
      {"an original with one byte changed",
       {{"OTHER.ARC", changed}},
       {"--apply", "GAME.vcdiff", "OTHER.ARC", "OUT.ARC"},
       "varnu-pack: OTHER.ARC: does not match the patch: the checksum of window 0 fails\n"},
      {"the patch cut short",
       {{"CUT.vcdiff", Bytes(patch.begin(), patch.end() - 3)}},
       {"--apply", "CUT.vcdiff", "GAME.ARC", "OUT.ARC"},
       "varnu-pack: CUT.vcdiff: cut short\n"},
      {"a patch that lies about its size",
       {{"LIE.vcdiff", lying}},
       {"--apply", "LIE.vcdiff", "GAME.ARC", "OUT.ARC"},
       "varnu-pack: LIE.vcdiff: window 0 is larger than the 67,108,864 bytes a window may be\n"},
      {"xdelta3's default patch, compressed with LZMA",
       {{"lzma.vcdiff", lzma}},
       {"--apply", "lzma.vcdiff", "GAME.ARC", "OUT.ARC"},
       "varnu-pack: lzma.vcdiff: compressed with LZMA (xdelta3's default), which varnu-pack does "
       "not apply: make it again with `xdelta3 -e -S none`\n"},
      {"a picture for a patch",
       {},
       {"--apply", names_[0], "GAME.ARC", "OUT.ARC"},
       "varnu-pack: " + names_[0] + ": not a VCDIFF patch\n"},
      {"no patch",
       {},
       {"--apply", "none.vcdiff", "GAME.ARC", "OUT.ARC"},
       "varnu-pack: none.vcdiff: cannot open it\n"},
      {"no original",
       {},
       {"--apply", "GAME.vcdiff", "none.arc", "OUT.ARC"},
       "varnu-pack: none.arc: cannot open it\n"},
      {"an output there already",
       {{"OUT.ARC", {'o', 'l', 'd'}}, {"CUT.vcdiff", Bytes(patch.begin(), patch.end() - 3)}},
       {"--apply", "CUT.vcdiff", "GAME.ARC", "OUT.ARC"},
       "varnu-pack: CUT.vcdiff: cut short\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const std::string& name :
         {std::string("GAME.ARC"), std::string("GAME.vcdiff"), names_[0]}) {
      fs::copy_file(dir_.path() / name, dir.path() / name);
    }
    for (const auto& [name, bytes] : c.files) write_bytes(dir.path() / name, bytes);
    const auto before = files_in(dir.path());
    PackRun run = pack_under_test(dir.path(), c.args);
    EXPECT_EQ(run.status, 1);
    std::erase(run.err, '\r');  // a Windows program's standard error ends its lines so
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(files_in(dir.path()), before);
  }
}

}  // namespace
