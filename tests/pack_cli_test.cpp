// varnu-pack's command line as people type it: every option form, which stream each text goes
// to, the exit status and what is left in the folder; and an archive whose writing fails only
// when its last buffered bytes reach the disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/pack_files.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;

struct ExpectedEntry {
  std::array<std::uint8_t, 3> unread;
  Bytes bitmap;
};

// The archive `name` in `dir` holds exactly `expected`, laid out as the converter walks it (and
// as the original is, with `like_original`).
void expect_archive(const fs::path& dir, const std::string& name,
                    const std::vector<ExpectedEntry>& expected, bool like_original) {
  const auto entries = read_archive(read_bytes(dir / name), like_original);
  ASSERT_EQ(entries.size(), expected.size()) << name;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    EXPECT_EQ(entries[k].unread, expected[k].unread) << "entry " << k;
    EXPECT_EQ(entries[k].bitmap, expected[k].bitmap) << "entry " << k;
  }
}

// These tests run varnu-pack alone, which is the same native program when the converter under
// test is a Windows one: that run would only repeat them.
bool skip_for_windows_converter() {
  return testing_windows_program();
}

std::size_t lines_in(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

const std::string kUsagePrefix = "usage: varnu-pack ";

// A wrong command line: the reason, then the usage, a line for each form of the command.
constexpr std::size_t kUsageErrorLines = 4;
std::string usage_error(const std::string& reason) {
  return "varnu-pack: " + reason + "\n" + kUsagePrefix;
}

// The version comes from the build, as the program's does.
const std::string kVersionLine = std::string("varnu-pack ") + VARNU_VERSION + "\n";

TEST(PackCommandLine, EachFormGivesItsStatusStreamsAndFiles) {
  if (skip_for_windows_converter())
    GTEST_SKIP() << "only varnu-pack runs here, as in the plain run";
  // Already in the entry form, so stored byte for byte.
  const Bytes picture = bmp_file({});
  BmpSpec original_spec;
  original_spec.resolution = {1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes original_bitmap = bmp_file(original_spec);
  Bytes original;
  append_entry(original, literal_stream(original_bitmap), {0xA1, 0xB2, 0xC3});
  const std::vector<ExpectedEntry> plain = {{{0, 0, 0}, picture}};
  // --like takes the header bytes and the resolution, which is all that tells the two apart.
  const std::vector<ExpectedEntry> like = {{{0xA1, 0xB2, 0xC3}, original_bitmap}};

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;  // the start of standard output; empty: nothing there
    std::string err;  // the start of standard error; empty: nothing there
    std::size_t err_lines;
    std::string archive;  // the one file the run adds; empty: none
    std::vector<ExpectedEntry> entries;
    std::map<std::string, Bytes> files{};  // besides in.bmp and orig.arc
  };
  const std::vector<Case> cases = {
      {"--help", {"--help"}, 0, kUsagePrefix, "", 0, "", {}},
      {"-h", {"-h"}, 0, kUsagePrefix, "", 0, "", {}},
      {"--help before names packs nothing",
       {"--help", "out.arc", "in.bmp"},
       0,
       kUsagePrefix,
       "",
       0,
       "",
       {}},
      {"--version", {"--version"}, 0, kVersionLine, "", 0, "", {}},
      {"--version before names packs nothing",
       {"--version", "out.arc", "in.bmp"},
       0,
       kVersionLine,
       "",
       0,
       "",
       {}},
      {"--help wins over --version", {"--version", "--help"}, 0, kUsagePrefix, "", 0, "", {}},
      {"--version after the first name is a bitmap's name",
       {"out.arc", "in.bmp", "--version"},
       1,
       "",
       "varnu-pack: --version: cannot open it\n",
       1,
       "",
       {}},
      {"-v is no option",
       {"-v"},
       2,
       "",
       usage_error("unknown option -v"),
       kUsageErrorLines,
       "",
       {}},
      {"--dither alone",
       {"--dither", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("--dither needs --remap"),
       kUsageErrorLines,
       "",
       {}},
      {"plain", {"out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", plain},
      {"--like=FILE", {"--like=orig.arc", "out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", like},
      {"--like FILE", {"--like", "orig.arc", "out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", like},
      {"--no-limits", {"--no-limits", "out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", plain},
      {"both options, either order",
       {"--no-limits", "--like=orig.arc", "out.arc", "in.bmp"},
       0,
       "",
       "",
       0,
       "out.arc",
       like},
      {"--jobs 1", {"--jobs", "1", "out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", plain},
      {"-j256, the most", {"-j256", "out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", plain},
      {"-j2, one digit joined", {"-j2", "out.arc", "in.bmp"}, 0, "", "", 0, "out.arc", plain},
      {"--jobs 10, a 0 in the count",
       {"--jobs", "10", "out.arc", "in.bmp"},
       0,
       "",
       "",
       0,
       "out.arc",
       plain},
      {"--jobs=257 is taken as 256",
       {"--jobs=257", "out.arc", "in.bmp"},
       0,
       "",
       "",
       0,
       "out.arc",
       plain},
      {"--jobs 0",
       {"--jobs", "0", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("--jobs needs a count of 1 or more, not '0'"),
       kUsageErrorLines,
       "",
       {}},
      {"-j -1",
       {"-j", "-1", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("-j needs a count of 1 or more, not '-1'"),
       kUsageErrorLines,
       "",
       {}},
      {"--jobs=2x",
       {"--jobs=2x", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("--jobs needs a count of 1 or more, not '2x'"),
       kUsageErrorLines,
       "",
       {}},
      {"--jobs without its count",
       {"--jobs"},
       2,
       "",
       usage_error("--jobs needs a count"),
       kUsageErrorLines,
       "",
       {}},
      {"-- ends the options", {"--", "-out.arc", "in.bmp"}, 0, "", "", 0, "-out.arc", plain},
      {"-- then a name like an option", {"--", "--help", "in.bmp"}, 0, "", "", 0, "--help", plain},
      {"a lone - names the archive", {"-", "in.bmp"}, 0, "", "", 0, "-", plain},
      {"a lone - names an input",
       {"out.arc", "-"},
       0,
       "",
       "",
       0,
       "out.arc",
       plain,
       {{"-", picture}}},
      {"a folder as a bitmap",
       {"out.arc", "dir"},
       1,
       "",
       "varnu-pack: dir: cannot read it: a folder\n",
       1,
       "",
       {},
       {{"dir/keep", {}}}},
      {"a folder as the original",
       {"--like", "dir", "out.arc", "in.bmp"},
       1,
       "",
       "varnu-pack: dir: cannot read it: a folder\n",
       1,
       "",
       {},
       {{"dir/keep", {}}}},
      {"options end at the first name",
       {"out.arc", "--no-limits"},
       1,
       "",
       "varnu-pack: --no-limits: cannot open it\n",
       1,
       "",
       {}},
      {"nothing",
       {},
       2,
       "",
       usage_error("needs an archive name and at least one picture"),
       kUsageErrorLines,
       "",
       {}},
      {"no bitmaps",
       {"out.arc"},
       2,
       "",
       usage_error("needs an archive name and at least one picture"),
       kUsageErrorLines,
       "",
       {}},
      {"only options",
       {"--no-limits", "--like=orig.arc"},
       2,
       "",
       usage_error("needs an archive name and at least one picture"),
       kUsageErrorLines,
       "",
       {}},
      {"-- and no bitmaps",
       {"--", "out.arc"},
       2,
       "",
       usage_error("needs an archive name and at least one picture"),
       kUsageErrorLines,
       "",
       {}},
      {"--like without its archive",
       {"--like"},
       2,
       "",
       usage_error("--like needs an archive"),
       kUsageErrorLines,
       "",
       {}},
      {"--patch without its file",
       {"--like", "orig.arc", "--patch"},
       2,
       "",
       usage_error("--patch needs a file name"),
       kUsageErrorLines,
       "",
       {}},
      {"--patch without --like",
       {"--patch=p.vcdiff", "in.bmp"},
       2,
       "",
       usage_error("--patch needs --like, the original the patch applies to"),
       kUsageErrorLines,
       "",
       {}},
      {"--patch and no picture",
       {"--like", "orig.arc", "--patch", "p.vcdiff"},
       2,
       "",
       usage_error("needs at least one picture"),
       kUsageErrorLines,
       "",
       {}},
      {"--patch with an archive named as without it",
       {"--like", "orig.arc", "--patch", "p.vcdiff", "out.arc", "in.bmp"},
       1,
       "",
       "varnu-pack: orig.arc: has 1 entries but 2 pictures were given (with --patch, no archive "
       "is named: every name after the options is a picture)\n",
       1,
       "",
       {}},
      {"--apply with two names",
       {"--apply", "p.vcdiff", "orig.arc"},
       2,
       "",
       usage_error("--apply needs a patch, the original and the output"),
       kUsageErrorLines,
       "",
       {}},
      {"--apply with four names",
       {"--apply", "p.vcdiff", "orig.arc", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("--apply needs a patch, the original and the output"),
       kUsageErrorLines,
       "",
       {}},
      {"--apply with a packing option",
       {"--apply", "--jobs", "2", "p.vcdiff", "orig.arc", "out.arc"},
       2,
       "",
       usage_error("--apply takes no other option"),
       kUsageErrorLines,
       "",
       {}},
      {"unknown long option",
       {"--bogus", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("unknown option --bogus"),
       kUsageErrorLines,
       "",
       {}},
      {"unknown short option",
       {"-x", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("unknown option -x"),
       kUsageErrorLines,
       "",
       {}},
      {"a value on an option that takes none",
       {"--no-limits=1", "out.arc", "in.bmp"},
       2,
       "",
       usage_error("unknown option --no-limits=1"),
       kUsageErrorLines,
       "",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_bytes(dir.path() / "in.bmp", picture);
    write_bytes(dir.path() / "orig.arc", original);
    for (const auto& [name, bytes] : c.files) {
      fs::create_directories((dir.path() / name).parent_path());
      write_bytes(dir.path() / name, bytes);
    }
    const auto before = files_in(dir.path());

    const PackRun run = run_pack(dir.path(), c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.out.starts_with(c.out) && (c.out.empty() == run.out.empty())) << run.out;
    EXPECT_TRUE(run.err.starts_with(c.err)) << run.err;
    EXPECT_EQ(lines_in(run.err), c.err_lines) << run.err;
    auto after = files_in(dir.path());
    if (!c.archive.empty()) {
      EXPECT_TRUE(after.contains(c.archive));
      if (!after.contains(c.archive)) continue;
      const bool like = std::any_of(c.args.begin(), c.args.end(), [](const std::string& arg) {
        return arg.starts_with("--like");
      });
      expect_archive(dir.path(), c.archive, c.entries, like);
      after.erase(c.archive);
    }
    EXPECT_EQ(after, before) << "the folder changed beyond the archive";
  }
}

TEST(PackCommandLine, HelpNamesEveryOption) {
  if (skip_for_windows_converter())
    GTEST_SKIP() << "only varnu-pack runs here, as in the plain run";
  TempDir dir;
  const PackRun run = run_pack(dir.path(), {"--help"});
  for (const char* option :
       {"--like", "--patch", "--apply", "--no-limits", "--jobs", "--help", "--version"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

// A file-size limit that the buffered writes meet only when the archive is flushed at its end
// (or, for a larger archive, on the way): the failure is reported, nothing is put in place, an
// archive already there stays, and no temporary file is left. A limit of exactly the archive's
// size is no failure.
TEST(PackArchiveWrite, AFailureAtTheFlushLeavesNothing) {
  if (skip_for_windows_converter())
    GTEST_SKIP() << "only varnu-pack runs here, as in the plain run";
  const Bytes picture = bmp_file({});
  const std::vector<std::string> one = {"out.arc", "in.bmp"};
  std::vector<std::string> forty = {"out.arc"};
  forty.insert(forty.end(), 40, "in.bmp");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    rlim_t limit;
    std::optional<Bytes> existing;
    int status;
  };
  const std::vector<Case> cases = {
      {"limit exactly the archive", one, kBoundary, std::nullopt, 0},
      {"one byte short", one, kBoundary - 1, std::nullopt, 1},
      {"half of it", one, kBoundary / 2, std::nullopt, 1},
      {"one byte short, an archive already there", one, kBoundary - 1, Bytes{'o', 'l', 'd'}, 1},
      {"forty entries, limit exactly the archive", forty, 40 * kBoundary, std::nullopt, 0},
      {"forty entries, one byte short", forty, 40 * kBoundary - 1, std::nullopt, 1},
      {"forty entries, a quarter of it", forty, 10 * kBoundary, Bytes{'o', 'l', 'd'}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_bytes(dir.path() / "in.bmp", picture);
    if (c.existing) write_bytes(dir.path() / "out.arc", *c.existing);
    const auto before = files_in(dir.path());

    const PackRun run = run_pack(dir.path(), c.args, c.limit);
    EXPECT_EQ(run.status, c.status);
    auto after = files_in(dir.path());
    if (c.status == 0) {
      EXPECT_EQ(run.err, "");
      expect_archive(dir.path(), "out.arc",
                     std::vector<ExpectedEntry>(c.args.size() - 1, {{0, 0, 0}, picture}), false);
      after.erase("out.arc");
    } else {
      EXPECT_EQ(run.err, "varnu-pack: out.arc: cannot write it\n");
    }
    EXPECT_EQ(after, before);
  }
}

}  // namespace
