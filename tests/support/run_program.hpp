// Running the built converter as a user would: in a directory of its own, with its stdout and
// exit status captured, and optionally under a file-size limit.
//
// The program is the native build unless VARNU_PROGRAM names another, and it is started through
// VARNU_LAUNCHER when that is set: VARNU_PROGRAM=build/windows/varnu.exe with
// VARNU_LAUNCHER=scripts/wine-run runs the same tests against the Windows build under Wine, and
// VARNU_PROGRAM=build/web/varnu.js with VARNU_LAUNCHER=scripts/node-run against the Node.js build.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnu::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct RunOptions {
  std::filesystem::path program{};  // empty: the converter under test
  std::vector<std::string> args{};  // after the program name
  std::filesystem::path cwd{};
  // Lowers RLIMIT_FSIZE in the child, whose signals are left as a shell leaves them.
  std::optional<rlim_t> file_size_limit{};
  // Runs the child as an ordinary user when the tests run as root, so that file permissions
  // apply to it.
  bool unprivileged = false;
  // Sends stderr into the captured output as well.
  bool capture_stderr = false;
  // Runs the packer under test instead of `program`: the native build, or with a Node.js build
  // of the converter the varnu-pack.js built beside it, started through the same launcher.
  bool packer = false;
  // With `packer` and a Windows converter under test, the varnu-pack.exe built beside it, through
  // the same launcher, rather than the native packer.
  bool windows_packer = false;
  // Sends stderr into this file instead (created or emptied), so that a test can tell what went
  // to each stream.
  std::filesystem::path stderr_file{};
};

struct RunResult {
  int status = -1;     // exit status, or -1 when the process was killed by a signal
  std::string output;  // everything written to stdout, byte for byte
};

RunResult run_varnu(const RunOptions& options);

// Whether the program under test is a Windows program. Tests that need what only POSIX systems
// have (file-size limits, other users, FIFOs, colons in file names) skip themselves then.
bool testing_windows_program();

// Whether the program under test is a Node.js build (build/web/varnu.js).
bool testing_node_program();

// Why the program under test cannot read an archive from a FIFO, or nullptr when it can.
const char* why_no_fifo();

// Whether a row of a table is left out for a Windows program: a colon or a backslash in a path is
// a drive or a folder there, never part of a file name. Says so on stdout when it is.
bool skip_posix_path_for_windows(const std::string& path);

// The message line for a failure code, as the program prints it.
std::string message_line(int code);

// Every regular file below `dir`, by path relative to it, with its bytes.
std::map<std::string, Bytes> files_in(const std::filesystem::path& dir);

// Runs the converter under test on `archive` in `dir` and returns the files the run added, by
// name; nothing when the run did not succeed.
std::optional<std::map<std::string, Bytes>> files_converted(const std::filesystem::path& dir,
                                                            const std::string& archive);

Bytes read_bytes(const std::filesystem::path& path);
void write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace varnu::testing
