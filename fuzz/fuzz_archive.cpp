// The whole program on an arbitrary archive, through run_program exactly as main() calls it.
//
// Input: a control byte, then the archive. Bit 0 of the control byte asks for half-width output
// (argv[2] = "x"). Bits 1-2 put an obstacle where one output file is to go, so that failing to
// write a file and failing to create one are exercised too: 1 makes that name a link to
// /dev/full, where every write fails; 2 makes it a directory, which cannot be opened for
// writing. Bits 3-5 pick the entry whose file meets the obstacle, 0 to 7. Bit 6, without bit 0,
// passes an option that is not "x" (argv[2] = "y"), which leaves the output plain.
//
// Every run happens in a private scratch directory under $TMPDIR that the target enters once and
// empties after each run, so every path libFuzzer is given must be absolute: corpora, artifacts,
// and the target's own, which -minimize_crash and -merge run again.
// A run that finds a fault leaves the directory as it was, outputs and all. What the program
// prints goes to a file there, read back after each run to learn how it ended.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <system_error>

#include "common/run_state.hpp"
#include "driver/fail.hpp"
#include "driver/run.hpp"
#include "platform/end_run.hpp"

namespace {

namespace fs = std::filesystem;

constexpr char kInputName[] = "in.arc";
// The outputs are named after the input cut at its first dot.
constexpr std::string_view kOutputPrefix = "in_";
constexpr std::string_view kOutputSuffix = ".BMP";
constexpr char kFullDevice[] = "/dev/full";

constexpr std::size_t kHeadersSize = 54;
constexpr std::uint8_t kResolutionBytes[4] = {0x6B, 0x0B, 0x00, 0x00};
constexpr std::size_t kResolutionOffset = 38;  // horizontal, then vertical at 42

enum class Obstacle { kNone, kFullDevice, kDirectory };

fs::path top_dir;  // holds the scratch directory and the file standing in for stdout
bool have_full_device = false;

[[noreturn]] void fault(const std::string& what) {
  std::fprintf(stderr, "fuzz-archive: %s\n", what.c_str());
  std::abort();
}

void check_syscall(bool ok, const char* what) {
  if (!ok) fault(std::string(what) + ": " + std::strerror(errno));
}

std::string output_file_name(int entry) {
  char name[16];
  std::snprintf(name, sizeof name, "in_%03d.BMP", entry);
  return name;
}

// The entry number of an output name: _000 to _999, then the hundreds run on as A to Z.
std::optional<int> output_index(std::string_view name) {
  if (name.size() != kOutputPrefix.size() + 3 + kOutputSuffix.size() ||
      !name.starts_with(kOutputPrefix) || !name.ends_with(kOutputSuffix)) {
    return std::nullopt;
  }
  const char h = name[3];
  const char t = name[4];
  const char u = name[5];
  if (t < '0' || t > '9' || u < '0' || u > '9') return std::nullopt;
  int hundreds;
  if (h >= '0' && h <= '9') {
    hundreds = h - '0';
  } else if (h >= 'A' && h <= 'Z') {
    hundreds = h - 'A' + 10;
  } else {
    return std::nullopt;
  }
  return hundreds * 100 + (t - '0') * 10 + (u - '0');
}

void remove_top_dir() {
  std::error_code ignored;
  fs::current_path(fs::temp_directory_path(ignored), ignored);
  fs::remove_all(top_dir, ignored);
}

// Removes everything the last run left. Links are removed, never followed.
void empty_scratch() {
  for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
    if (entry.is_directory() && !entry.is_symlink()) {
      fs::remove_all(entry.path());
    } else {
      fs::remove(entry.path());
    }
  }
}

void write_input(std::span<const std::uint8_t> archive) {
  std::FILE* file = std::fopen(kInputName, "wb");
  check_syscall(file != nullptr, "cannot create the input");
  const bool written = std::fwrite(archive.data(), 1, archive.size(), file) == archive.size();
  check_syscall(std::fclose(file) == 0 && written, "cannot write the input");
}

// What the program printed during the run; the capture is emptied for the next.
std::string take_printed() {
  std::fflush(stdout);
  const off_t end = lseek(STDOUT_FILENO, 0, SEEK_END);
  check_syscall(end >= 0, "lseek on the captured output");
  std::string printed(static_cast<std::size_t>(end), '\0');
  if (end > 0) {
    check_syscall(pread(STDOUT_FILENO, printed.data(), printed.size(), 0) == end,
                  "reading the captured output");
  }
  check_syscall(ftruncate(STDOUT_FILENO, 0) == 0, "emptying the captured output");
  return printed;
}

// The failure code whose message line is exactly `printed`.
std::optional<int> failure_code(const std::string& printed) {
  for (int code : {varnu::FAIL_USAGE, varnu::FAIL_OPEN_INPUT, varnu::FAIL_CREATE_OUTPUT,
                   varnu::FAIL_CONVERT}) {
    const std::span<const std::uint8_t> message = varnu::failure_message(code);
    std::string line(message.begin(), message.end());
    line += "\r\n";
    if (printed == line) return code;
  }
  return std::nullopt;
}

std::uint32_t read_le(std::span<const std::uint8_t> bytes, std::size_t offset, int count) {
  std::uint32_t value = 0;
  for (int k = count - 1; k >= 0; --k) value = value << 8 | bytes[offset + k];
  return value;
}

// What every written file must show, whatever the bitmap it came from: the resolution fields
// as far as the file holds them, and for half-width output headers that describe the file.
void check_output_file(const std::string& name, bool half_width) {
  const std::uintmax_t size = fs::file_size(name);
  std::array<std::uint8_t, kHeadersSize> header{};
  const std::size_t head = static_cast<std::size_t>(std::min<std::uintmax_t>(size, kHeadersSize));
  std::FILE* file = std::fopen(name.c_str(), "rb");
  check_syscall(file != nullptr, "cannot open an output");
  const bool read = std::fread(header.data(), 1, head, file) == head;
  std::fclose(file);
  if (!read) fault("cannot read " + name);

  for (std::size_t k = 0; k < 8 && kResolutionOffset + k < head; ++k) {
    if (header[kResolutionOffset + k] != kResolutionBytes[k % 4]) {
      fault(name + ": resolution byte " + std::to_string(kResolutionOffset + k) + " not set");
    }
  }
  if (!half_width) return;
  if (size < kHeadersSize) fault(name + ": half-width file shorter than its headers");
  if (read_le(header, 2, 3) != (size & 0xFFFFFF)) fault(name + ": size field is not the size");
  if (read_le(header, 10, 3) != kHeadersSize) fault(name + ": pixels do not follow the headers");
  if (header[28] != 24) fault(name + ": not 24 bits per pixel");
  const std::uintmax_t row_bytes = (3 * std::uintmax_t{read_le(header, 18, 2)} + 3) & ~3u;
  const std::uintmax_t rows_size = size - kHeadersSize;
  if (row_bytes == 0 ? rows_size != 0 : rows_size % row_bytes != 0) {
    fault(name + ": not a whole number of rows of the width it states");
  }
}

struct Outcome {
  bool ended = false;  // through end_failed_run rather than by returning
  int status = 0;
  int ended_code = 0;          // the failure's code the run ended with
  std::optional<int> failure;  // the code of the message printed, when it ended
};

void check_files(const Outcome& outcome, bool half_width, Obstacle obstacle, int obstacle_entry) {
  const std::string obstacle_name =
      obstacle == Obstacle::kNone ? std::string() : output_file_name(obstacle_entry);
  bool obstacle_left = false;
  std::set<int> outputs;
  for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name == kInputName) continue;
    if (name == obstacle_name) {
      const bool intact = obstacle == Obstacle::kDirectory
                              ? entry.is_directory() && !entry.is_symlink()
                              : entry.is_symlink();
      if (!intact) fault(name + ": the obstacle was replaced");
      obstacle_left = true;
      continue;
    }
    const std::optional<int> index = output_index(name);
    if (!index) fault("a file not named like an output: " + name);
    if (!entry.is_regular_file() || entry.is_symlink()) fault(name + " is not a plain file");
    check_output_file(name, half_width);
    outputs.insert(*index);
  }

  // Entries are written in order and the first failure ends the run, so the outputs are
  // numbered from 0 without gaps; an obstacle that was written through (an empty bitmap to
  // /dev/full) fills its own gap.
  const int passed_obstacle =
      obstacle == Obstacle::kFullDevice && obstacle_left ? obstacle_entry : -1;
  const int last = outputs.empty() ? -1 : *outputs.rbegin();
  for (int k = 0; k <= last; ++k) {
    if (outputs.count(k) == 0 && k != passed_obstacle) {
      fault("output " + std::to_string(k) + " is missing before " + std::to_string(last));
    }
  }
  if (obstacle == Obstacle::kDirectory) {
    if (!obstacle_left) fault("the directory in the way was removed");
    if (last > obstacle_entry) fault("outputs were written past a file that cannot be created");
  }
  if (obstacle == Obstacle::kFullDevice && !obstacle_left) {
    // Only the program's removal of a file it failed to write takes the link away.
    if (outcome.failure != varnu::FAIL_CREATE_OUTPUT) {
      fault("the link to /dev/full went without a write failure");
    }
    if (last > obstacle_entry) fault("outputs were written past a failed write");
  }
  if (!outcome.ended && outputs.empty() && passed_obstacle != 0) {
    fault("a successful run wrote no file");
  }
}

void check_run_state(const Outcome& outcome) {
  if (outcome.ended) {
    if (outcome.status != varnu::kFailureStatus) {
      fault("ended with status " + std::to_string(outcome.status));
    }
    if (!outcome.failure) fault("ended without printing exactly one message line");
    if (outcome.ended_code != *outcome.failure) {
      fault("ended with code " + std::to_string(outcome.ended_code) + " but printed message " +
            std::to_string(*outcome.failure));
    }
    // The archive is a readable file and the command line always names it.
    if (*outcome.failure == varnu::FAIL_USAGE || *outcome.failure == varnu::FAIL_OPEN_INPUT) {
      fault("failed with message " + std::to_string(*outcome.failure));
    }
    // A failed write removes the file, which needs the stream closed first.
    if (*outcome.failure == varnu::FAIL_CREATE_OUTPUT && varnu::run.output != nullptr) {
      fault("a failed write left the output stream open");
    }
  } else {
    if (outcome.status != 0) fault("returned status " + std::to_string(outcome.status));
    if (outcome.failure) fault("a successful run printed something");
    if (varnu::run.input != nullptr || varnu::run.output != nullptr) {
      fault("a successful run left a stream open");
    }
  }
}

// A failing run leaves its streams open, and the next run would otherwise start with them. Its
// buffers are kept: every run refills them from the start, and allocating fresh ones after each
// failure cut the speed to a quarter, in page faults.
void restore_run_state() {
  if (varnu::run.input != nullptr) std::fclose(varnu::run.input);
  varnu::run.input = nullptr;
  if (varnu::run.output != nullptr) std::fclose(varnu::run.output);
  varnu::run.output = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  std::string pattern = (fs::temp_directory_path() / "varnu-fuzz-XXXXXX").string();
  check_syscall(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  top_dir = pattern;
  std::atexit(remove_top_dir);

  const fs::path printed = top_dir / "stdout";
  const int fd = open(printed.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_APPEND, 0600);
  check_syscall(fd >= 0, "cannot create the file for the program's output");
  std::fflush(stdout);
  check_syscall(dup2(fd, STDOUT_FILENO) == STDOUT_FILENO, "dup2");
  close(fd);

  const fs::path scratch = top_dir / "run";
  fs::create_directory(scratch);
  check_syscall(chdir(scratch.c_str()) == 0, "chdir");
  have_full_device = access(kFullDevice, W_OK) == 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t control = data[0];
  const bool half_width = (control & 1) != 0;
  Obstacle obstacle = Obstacle::kNone;
  if ((control >> 1 & 3) == 1 && have_full_device) obstacle = Obstacle::kFullDevice;
  if ((control >> 1 & 3) == 2) obstacle = Obstacle::kDirectory;
  const int obstacle_entry = control >> 3 & 7;
  const bool other_option = !half_width && (control & 0x40) != 0;

  write_input(std::span<const std::uint8_t>(data + 1, size - 1));
  if (obstacle == Obstacle::kFullDevice) {
    check_syscall(symlink(kFullDevice, output_file_name(obstacle_entry).c_str()) == 0, "symlink");
  } else if (obstacle == Obstacle::kDirectory) {
    fs::create_directory(output_file_name(obstacle_entry));
  }

  std::string program = "varnu";
  std::string input = kInputName;
  std::string option = half_width ? "x" : "y";
  char* argv[] = {program.data(), input.data(), option.data(), nullptr};
  Outcome outcome;
  try {
    outcome.status = varnu::run_program(half_width || other_option ? 3 : 2, argv);
  } catch (const varnu::FailedRun& failed) {
    outcome.ended = true;
    outcome.status = failed.status;
    outcome.ended_code = failed.code;
  }
  const std::string printed = take_printed();
  if (!printed.empty()) {
    outcome.failure = failure_code(printed);
    if (!outcome.failure) fault("printed something that is no message line");
  }

  check_run_state(outcome);
  restore_run_state();
  check_files(outcome, half_width, obstacle, obstacle_entry);
  empty_scratch();
  return 0;
}
