// Malformed archives and hostile surroundings: for each, the exact line printed, the exit status
// and the exact set of files left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <thread>

#include "pack/encoder/lzss_pack.hpp"
#include "tests/support/run_program.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace varnu::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kSuccess = -1;
using FileSizes = std::map<std::string, std::size_t>;

void set_le(Bytes& bytes, std::size_t offset, std::uint32_t value, int count) {
  for (int k = 0; k < count; ++k) bytes[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// A small bitmap (8 x 2: 1,094 bytes), with a change applied to its decoded bytes.
Bytes bitmap(const std::function<void(Bytes&)>& change = {}, bool green = false) {
  Bytes bytes =
      pack::encode_bmp(green ? tools::draw_green_keyed(8, 2) : tools::draw_gradient(8, 2));
  if (change) change(bytes);
  return bytes;
}

Bytes archive_of(const std::vector<Bytes>& bitmaps, bool pad_last = true) {
  std::vector<Bytes> payloads;
  for (const Bytes& b : bitmaps) payloads.push_back(pack::lzss_pack(b));
  return tools::build_archive(payloads, pad_last);
}

// A stream of literals only, so that its exact end is known; `tail` is appended to the last
// group, whose flag byte marks the literals and leaves the tail's bits as given.
Bytes literal_stream(const Bytes& data, std::uint8_t tail_flags = 0, const Bytes& tail = {}) {
  Bytes stream;
  for (std::size_t k = 0; k < data.size(); k += 8) {
    const std::size_t n = std::min<std::size_t>(8, data.size() - k);
    const bool last = k + 8 >= data.size();
    stream.push_back(static_cast<std::uint8_t>(((1u << n) - 1) | (last ? tail_flags << n : 0)));
    stream.insert(stream.end(), data.begin() + k, data.begin() + k + n);
  }
  stream.insert(stream.end(), tail.begin(), tail.end());
  return stream;
}

Bytes one_entry(const Bytes& payload) {
  return tools::build_archive({payload});
}

Bytes raw_header(std::uint32_t length) {
  Bytes bytes{'v', 'a', 'z', 'm', 'u', 'r', 0, 0, 0, 0, 0, 0};
  set_le(bytes, 8, length, 3);
  return bytes;
}

struct CatalogueCase {
  const char* name;
  Bytes archive;
  int failure;  // message code, or kSuccess
  FileSizes files;
  const char* mode = "";
};

std::vector<CatalogueCase> catalogue() {
  const Bytes good = bitmap();
  const Bytes valid = archive_of({good});
  const std::size_t size = good.size();
  std::vector<CatalogueCase> cases;
  cases.push_back({"empty file", {}, 3, {}});
  for (std::size_t n = 1; n <= 7; ++n) {
    cases.push_back({"a few bytes", Bytes(valid.begin(), valid.begin() + n), 3, {}});
  }
  Bytes upper = valid;
  std::copy_n("VAZMUR", 6, upper.begin());
  cases.push_back({"magic in upper case", upper, 3, {}});
  cases.push_back({"length field cut short", Bytes(valid.begin(), valid.begin() + 10), 3, {}});
  Bytes past_end = raw_header(5000);
  past_end.resize(1000, 0x11);
  cases.push_back({"length field past the end of the file", past_end, 3, {}});
  Bytes huge = raw_header(0xFFFFFF);
  huge.resize(3000, 0xFF);
  cases.push_back({"length field 0xFFFFFF", huge, 3, {}});
  Bytes cut = archive_of({good}, false);
  cut.pop_back();
  cases.push_back({"file ends inside the last match", cut, 3, {}});
  // The stream itself stops inside an item: the missing bytes read as zero.
  Bytes in_match = literal_stream(Bytes(good.begin(), good.end() - 3), 0, {0x00});
  cases.push_back(
      {"payload ends inside a match", one_entry(in_match), kSuccess, {{"t_000.BMP", size}}});
  Bytes flag_last = literal_stream(Bytes(good.begin(), good.begin() + 1088), 0, {0x01});
  cases.push_back({"a flag byte as the last payload byte",
                   one_entry(flag_last),
                   kSuccess,
                   {{"t_000.BMP", size}}});
  cases.push_back({"empty payload", one_entry({}), kSuccess, {{"t_000.BMP", 0}}});
  cases.push_back({"empty payload, half width", one_entry({}), kSuccess, {{"t_000.BMP", 54}}, "x"});
  cases.push_back({"S of 0",
                   archive_of({bitmap([](Bytes& b) { set_le(b, 2, 0, 3); })}),
                   kSuccess,
                   {{"t_000.BMP", 0}}});
  cases.push_back({"S under 54",
                   archive_of({bitmap([](Bytes& b) { set_le(b, 2, 20, 3); })}),
                   kSuccess,
                   {{"t_000.BMP", 20}}});
  cases.push_back({"S at the buffer's end",
                   archive_of({bitmap([](Bytes& b) { set_le(b, 2, 688128, 3); })}),
                   kSuccess,
                   {{"t_000.BMP", 688128}}});
  cases.push_back({"S past the buffer",
                   archive_of({bitmap([](Bytes& b) { set_le(b, 2, 688129, 3); })}),
                   3,
                   {}});
  const auto far_pixels = [](Bytes& b) { set_le(b, 10, 0xFFFFFF, 3); };
  cases.push_back(
      {"P past the buffer, green-keyed", archive_of({bitmap(far_pixels, true)}), 3, {}});
  cases.push_back({"P past the buffer, not looked at",
                   archive_of({bitmap(far_pixels)}),
                   kSuccess,
                   {{"t_000.BMP", size}}});
  const auto huge_size = [](Bytes& b) { set_le(b, 18, 65535, 2), set_le(b, 22, 65535, 2); };
  cases.push_back({"W and H of 65,535, plain",
                   archive_of({bitmap(huge_size)}),
                   kSuccess,
                   {{"t_000.BMP", size}}});
  cases.push_back({"W and H of 65,535, half width", archive_of({bitmap(huge_size)}), 3, {}, "x"});
  cases.push_back({"W and H of 65,535, green-keyed", archive_of({bitmap(huge_size, true)}), 3, {}});
  Bytes second_broken = archive_of({good, good});
  second_broken[2048 + 5] = 'R';
  cases.push_back(
      {"second entry with a broken magic", second_broken, kSuccess, {{"t_000.BMP", size}}});
  const Bytes valid2 = archive_of({good, good});
  Bytes in_filler = archive_of({good, good}, false);
  in_filler.resize(in_filler.size() + 100, 0);
  cases.push_back({"archive ending inside filler",
                   in_filler,
                   kSuccess,
                   {{"t_000.BMP", size}, {"t_001.BMP", size}}});
  cases.push_back({"a second entry cut short keeps the first file",
                   Bytes(valid2.begin(), valid2.begin() + 2048 + 30),
                   3,
                   {{"t_000.BMP", size}}});
  const Bytes wide = pack::encode_bmp(tools::draw_green_keyed(5001, 3));
  cases.push_back({"green-keyed rows wider than 4096",
                   archive_of({wide}),
                   kSuccess,
                   {{"t_000.BMP", wide.size()}}});
  return cases;
}

TEST(Catalogue, EachMalformedArchiveEndsAsStated) {
  for (const CatalogueCase& c : catalogue()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_bytes(dir.path() / "t.arc", c.archive);
    std::vector<std::string> args{"t.arc"};
    if (*c.mode) args.push_back(c.mode);
    const RunResult result = run_varnu({.args = args, .cwd = dir.path()});
    EXPECT_EQ(result.status, c.failure == kSuccess ? 0 : 1);
    EXPECT_EQ(result.output, c.failure == kSuccess ? "" : message_line(c.failure));
    FileSizes left;
    for (const auto& [name, bytes] : files_in(dir.path())) {
      if (name != "t.arc") left[name] = bytes.size();
    }
    EXPECT_EQ(left, c.files);
  }
}

// The surroundings fail rather than the archive: the output cannot be written or the archive
// is not a plain file.
struct FaultCase {
  const char* name;
  std::function<void(const fs::path&)> prepare;
  RunOptions options;
  int failure;
  std::set<std::string> files;
  const char* posix_only = nullptr;  // why a Windows program cannot meet this, if it cannot
};

TEST(Faults, EachEndsWithItsMessageAndNoPartialFile) {
  const Bytes small = pack::encode_bmp(tools::draw_gradient(8, 2));
  const Bytes large = pack::encode_bmp(tools::draw_noise(320, 240, 3));
  const Bytes archive = archive_of({small, large, small});
  const auto make_unwritable = [](const fs::path& file) {
    write_bytes(file, Bytes{1, 2, 3});
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  };
  const FaultCase cases[] = {
      {"file size limit reached mid-run",
       {},
       {.file_size_limit = 20000},
       2,
       {"t_000.BMP"},
       "Windows has no file-size limit"},
      {"output directory without write permission",
       [&](const fs::path& dir) {
         fs::create_directory(dir / "out");
         write_bytes(dir / "out" / "t.arc", archive);
         fs::permissions(dir / "out",
                         fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                         fs::perm_options::remove);
       },
       {.args = {"out/t.arc"}, .unprivileged = true},
       2,
       {},
       "Windows has no POSIX permission bits on folders, nor other users under Wine"},
      {"existing read-only output file",
       [&](const fs::path& dir) { make_unwritable(dir / "t_001.BMP"); },
       {.unprivileged = true},
       2,
       {"t_000.BMP", "t_001.BMP"}},
      {"output name is a directory",
       [](const fs::path& dir) { fs::create_directory(dir / "t_001.BMP"); },
       {},
       2,
       {"t_000.BMP"}},
      // The colon ends the directory part of the base name, leaving q/x/ for the outputs.
      {"output directory missing",
       [&](const fs::path& dir) {
         fs::create_directories(dir / "p:q" / "x");
         write_bytes(dir / "p:q" / "t.arc", archive);
       },
       {.args = {"p:q/x/../t.arc"}},
       2,
       {},
       "a colon is a drive on Windows"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.posix_only != nullptr && testing_windows_program()) {
      std::cout << "skipped for the Windows program: " << c.name << ": " << c.posix_only << '\n';
      continue;
    }
    TempDir dir;
    // Reachable by an unprivileged child.
    fs::permissions(dir.path(), fs::perms::all);
    ::umask(022);
    write_bytes(dir.path() / "t.arc", archive);
    if (c.prepare) c.prepare(dir.path());
    RunOptions options = c.options;
    if (options.args.empty()) options.args = {"t.arc"};
    options.cwd = dir.path();
    if (options.unprivileged && geteuid() == 0 &&
        run_varnu({.cwd = dir.path(), .unprivileged = true}).status == 127) {
      // Only this row: the rows after it need no other user.
      std::cout << "skipped: " << c.name
                << ": the built program is out of an unprivileged user's reach here\n";
      continue;
    }
    const RunResult result = run_varnu(options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, message_line(c.failure));
    std::set<std::string> left;
    for (const auto& [name, bytes] : files_in(dir.path())) {
      if (name.ends_with(".BMP")) left.insert(name);
    }
    EXPECT_EQ(left, c.files);
    // What stays is whole: the first entry's file is the small bitmap, fixed up.
    if (left.count("t_000.BMP")) {
      EXPECT_EQ(read_bytes(dir.path() / "t_000.BMP").size(), small.size());
    }
  }
}

// A pipe cannot be positioned; the filler between entries is read through instead.
TEST(Faults, AnArchiveFromAPipeIsReadThrough) {
  if (const char* why = why_no_fifo()) GTEST_SKIP() << why;
  TempDir dir;
  const Bytes archive = archive_of({bitmap(), bitmap({}, true), bitmap()}, false);
  ASSERT_EQ(mkfifo((dir.path() / "t.arc").c_str(), 0600), 0);
  std::thread writer([&] {
    const Bytes copy = archive;
    write_bytes(dir.path() / "t.arc", copy);
  });
  const RunResult result = run_varnu({.args = {"t.arc"}, .cwd = dir.path()});
  writer.join();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(files_in(dir.path()).size(), 3u);
}

}  // namespace
}  // namespace varnu::testing
