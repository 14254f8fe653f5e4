// varnu-pack on any number of threads does exactly what it does on one: the same archive, the
// same messages in the same order, the same status and the same folder after a failure. And its
// progress line appears only on a terminal, leaving every other output as it was.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/pack_files.hpp"

namespace {

namespace fs = std::filesystem;
using namespace varnu::testing;

// A folder's files by name and size: what a failure shows of it.
std::string listing(const std::map<std::string, Bytes>& files) {
  std::string text;
  for (const auto& [name, bytes] : files) text += name + " " + std::to_string(bytes.size()) + "\n";
  return text;
}

constexpr std::size_t kPictures = 44;
// Green-keyed with only its bottom-left pixel the key: packed with a warning.
constexpr std::size_t kWarned = 7;

std::string picture_name(std::size_t k) {
  char name[16];
  std::snprintf(name, sizeof name, "p%02zu.bmp", k);
  return name;
}

// Every picture differs, and every sixth is large, so that threads finish out of order.
BmpSpec picture_form(std::size_t k) {
  if (k == kWarned)
    return {.width = 40, .height = 9, .green_key = true, .bottom_left = 0, .top_left = 9};
  const bool large = k % 6 == 0;
  return {.width = static_cast<std::uint32_t>(large ? 240 + k : 13 + 37 * k % 300),
          .height = static_cast<std::int32_t>(large ? 160 : 5 + k % 60)};
}

// An original for --like: each picture with other resolution fields, and header bytes that tell
// the entries apart. Every third picture is wider there, so that it counts as edited: the threads
// pack those entries and copy the others as they stand.
Bytes original_archive() {
  Bytes archive;
  for (std::size_t k = 0; k < kPictures; ++k) {
    BmpSpec form = picture_form(k);
    if (k % 3 == 1) ++form.width;
    for (auto& b : form.resolution) b = static_cast<std::uint8_t>(b + k);
    const auto u = static_cast<std::uint8_t>(k);
    append_entry(archive, literal_stream(bmp_file(form)), {u, u, u});
  }
  return archive;
}

TEST(PackJobs, EveryCountGivesTheSameArchiveMessagesStatusAndFolder) {
  const Bytes not_a_bitmap = {'n', 'o', 't', ' ', 'a', ' ', 'b', 'i', 't', 'm', 'a', 'p'};
  struct Case {
    const char* name;
    std::vector<std::string> options;
    // Picture k's file holds these bytes instead, or is not there at all.
    std::map<std::size_t, std::optional<Bytes>> replaced;
    std::optional<rlim_t> file_size_limit;
    int status;
    std::string err_start;  // the whole of stderr is one line that starts so
  };
  const std::string warning = "varnu-pack: warning: " + picture_name(kWarned) + ": green-keyed";
  const std::vector<Case> cases = {
      {"all packed, one warning", {}, {}, std::nullopt, 0, warning},
      {"--like", {"--like", "orig.arc"}, {}, std::nullopt, 0, warning},
      {"one refused in the middle, a later one missing",
       {},
       {{20, not_a_bitmap}, {30, std::nullopt}},
       std::nullopt,
       1,
       "varnu-pack: p20.bmp: "},
      {"the write fails at a quarter, before a refused picture",
       {},
       {{40, not_a_bitmap}},
       20 * kBoundary,
       1,
       "varnu-pack: out.arc: cannot write it"},
      {"a picture refused before the write would fail",
       {},
       {{2, not_a_bitmap}},
       20 * kBoundary,
       1,
       "varnu-pack: p02.bmp: "},
  };
  const Bytes original = original_archive();
  for (const auto& c : cases) {
    std::optional<std::map<std::string, Bytes>> one_thread;
    std::string one_thread_err;
    if (c.file_size_limit && testing_windows_program()) {
      std::cout
          << "skipped for the Windows program: under Wine a file-size limit ends the process\n";
      continue;
    }
    for (const char* jobs : {"1", "2", "7"}) {
      SCOPED_TRACE(std::string(c.name) + ", --jobs " + jobs);
      TempDir dir;
      std::vector<std::string> args = {"--jobs", jobs};
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.push_back("out.arc");
      write_bytes(dir.path() / "orig.arc", original);
      // A failed run leaves an archive already there as it was.
      write_bytes(dir.path() / "out.arc", Bytes{'o', 'l', 'd'});
      for (std::size_t k = 0; k < kPictures; ++k) {
        args.push_back(picture_name(k));
        const auto r = c.replaced.find(k);
        if (r == c.replaced.end()) {
          write_bytes(dir.path() / picture_name(k), bmp_file(picture_form(k)));
        } else if (r->second) {
          write_bytes(dir.path() / picture_name(k), *r->second);
        }
      }
      const auto before = files_in(dir.path());

      const PackRun run = run_pack(dir.path(), args, c.file_size_limit, true);
      EXPECT_EQ(run.status, c.status);
      EXPECT_TRUE(run.err.starts_with(c.err_start)) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      auto after = files_in(dir.path());
      if (c.status != 0) {
        EXPECT_TRUE(after == before) << listing(after);
      } else {
        // Each entry holds its own picture: the order is the arguments'.
        const auto entries = read_archive(after["out.arc"], !c.options.empty());
        ASSERT_EQ(entries.size(), kPictures);
        for (std::size_t k = 0; k < kPictures; ++k) {
          const std::uint8_t u = c.options.empty() ? 0 : static_cast<std::uint8_t>(k);
          EXPECT_EQ(entries[k].unread, (std::array<std::uint8_t, 3>{u, u, u})) << k;
          if (c.options.empty() && k != kWarned) {
            EXPECT_EQ(entries[k].bitmap, bmp_file(picture_form(k))) << k;
          }
        }
      }
      if (!one_thread) {
        one_thread = std::move(after);
        one_thread_err = run.err;
      } else {
        EXPECT_EQ(run.err, one_thread_err);
        EXPECT_TRUE(after == *one_thread) << listing(after) << "differs from --jobs 1's\n"
                                          << listing(*one_thread);
      }
    }
  }
}

// What a terminal shows once `text` is written to it: lines of characters, a carriage return
// going back to the start of the line and a line feed to the next line.
std::vector<std::string> screen_after(const std::string& text) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (const char c : text) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
    } else {
      std::string& line = lines.back();
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  return lines;
}

// Reads what the terminal `fd` shows for `how_long`, or until the other side closes it.
void read_terminal(int fd, std::string& text, std::chrono::milliseconds how_long) {
  const auto until = std::chrono::steady_clock::now() + how_long;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return;  // EIO once the packer has exited
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// A picture read from a FIFO holds the packer up for as long as the test likes. Held for a second
// and a half, the line shows while it waits, the warning about the picture after it goes above the
// line, and at the end the line is gone; held for half a second, the run shows the warning alone.
// With stderr in a file, the same run writes the warning line alone, as ever.
TEST(PackProgress, ShowsOnlyOnATerminal) {
  if (testing_windows_program()) GTEST_SKIP() << "a Windows program sees a console, not a tty";
  if (testing_node_program()) {
    GTEST_SKIP() << "the Node.js build packs on the one thread that waits for the FIFO";
  }
  TempDir dir;
  const Bytes held_back = bmp_file(picture_form(1));
  write_bytes(dir.path() / "first.bmp", bmp_file(picture_form(0)));
  write_bytes(dir.path() / "held.bmp", held_back);
  write_bytes(dir.path() / "warned.bmp", bmp_file(picture_form(kWarned)));
  const std::vector<std::string> args = {"--jobs",    "2",        "out.arc",
                                         "first.bmp", "held.bmp", "warned.bmp"};
  const PackRun in_file = run_pack(dir.path(), args, std::nullopt, true);
  ASSERT_EQ(in_file.status, 0);
  ASSERT_TRUE(in_file.err.starts_with("varnu-pack: warning: warned.bmp: green-keyed"));
  ASSERT_EQ(std::count(in_file.err.begin(), in_file.err.end(), '\n'), 1);
  const std::string warning_line = in_file.err.substr(0, in_file.err.size() - 1);
  const Bytes archive = read_bytes(dir.path() / "out.arc");
  fs::remove(dir.path() / "held.bmp");
  ASSERT_EQ(mkfifo((dir.path() / "held.bmp").c_str(), 0600), 0);

  struct Case {
    std::chrono::milliseconds held;
    bool line_shown;
  };
  for (const Case& c :
       {Case{std::chrono::milliseconds(1500), true}, Case{std::chrono::milliseconds(500), false}}) {
    SCOPED_TRACE("held for " + std::to_string(c.held.count()) + " ms");
    fs::remove(dir.path() / "out.arc");
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (chdir(dir.path().c_str()) != 0) _exit(127);
      std::vector<std::string> command = {VARNU_PACK_BINARY};
      command.insert(command.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& arg : command) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::string shown;
    read_terminal(terminal, shown, c.held);
    const std::string while_held = shown;
    const int fifo = open((dir.path() / "held.bmp").c_str(), O_WRONLY);
    ASSERT_GE(fifo, 0);
    EXPECT_EQ(write(fifo, held_back.data(), held_back.size()),
              static_cast<ssize_t>(held_back.size()));
    close(fifo);
    read_terminal(terminal, shown, std::chrono::seconds(60));
    close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;

    const std::size_t warning_at = shown.find(warning_line);
    ASSERT_NE(warning_at, std::string::npos) << shown;
    if (c.line_shown) {
      EXPECT_NE(while_held.find("varnu-pack: 1/3 pictures, "), std::string::npos) << while_held;
      EXPECT_NE(shown.find(" pictures, ", warning_at), std::string::npos) << "no line below it";
    } else {
      EXPECT_EQ(shown.find(" pictures, "), std::string::npos) << shown;
    }
    EXPECT_EQ(screen_after(shown), (std::vector<std::string>{warning_line, ""})) << shown;
    EXPECT_EQ(read_bytes(dir.path() / "out.arc"), archive);
  }
}

}  // namespace
