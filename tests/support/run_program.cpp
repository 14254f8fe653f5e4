#include "tests/support/run_program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

namespace varnu::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnu-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave directories without write permission behind.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_directory(ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

namespace {

std::string from_environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string converter_under_test() {
  return from_environment("VARNU_PROGRAM", VARNU_BINARY);
}

// Built beside the Node.js or the Windows converter by the same build.
std::string packer_beside_converter() {
  return std::filesystem::path(converter_under_test())
      .replace_filename(testing_node_program() ? "varnu-pack.js" : "varnu-pack.exe")
      .string();
}

}  // namespace

bool testing_windows_program() {
  return converter_under_test().ends_with(".exe");
}

bool testing_node_program() {
  return converter_under_test().ends_with(".js");
}

const char* why_no_fifo() {
  if (testing_windows_program()) return "Windows has no FIFOs";
  // Emscripten's layer over Node's file calls reads every file at a position of its own
  // keeping, which a pipe refuses (ESPIPE).
  if (testing_node_program()) {
    return "the Node.js build reads files only at a position, and a pipe has none";
  }
  return nullptr;
}

bool skip_posix_path_for_windows(const std::string& path) {
  if (!testing_windows_program() || path.find_first_of(":\\") == std::string::npos) return false;
  std::cout << "skipped for the Windows program: '" << path
            << "' holds a colon or backslash as part of a file name\n";
  return true;
}

RunResult run_varnu(const RunOptions& options) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");

  // Another program (ImageMagick) runs as it is. The converter under test, and with a Node.js
  // converter the packer too, may be builds for another system, started through their launcher.
  std::string program = options.program.string();
  bool launched = false;
  if (options.packer) {
    launched = testing_node_program() || (options.windows_packer && testing_windows_program());
    program = launched ? packer_beside_converter() : VARNU_PACK_BINARY;
  } else if (program.empty()) {
    program = converter_under_test();
    launched = true;
  }
  std::vector<std::string> argv_strings{program};
  const std::string launcher = from_environment("VARNU_LAUNCHER", "");
  if (launched && !launcher.empty()) argv_strings.insert(argv_strings.begin(), launcher);
  argv_strings.insert(argv_strings.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_strings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    if (options.capture_stderr) dup2(pipe_fds[1], STDERR_FILENO);
    if (!options.stderr_file.empty()) {
      const int fd = open(options.stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(127);
      close(fd);
    }
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
    // Signals as a user's shell hands them on: none blocked, none ignored. The program itself must
    // ignore SIGXFSZ for a write past the file-size limit to fail rather than kill it.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s = 1; s < NSIG; ++s) signal(s, SIG_DFL);
    if (options.file_size_limit) {
      const rlimit limit{*options.file_size_limit, *options.file_size_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
    }
    // A Windows program keeps to the read-only attribute itself, and Wine's prefix belongs to
    // the user who made it.
    if (options.unprivileged && geteuid() == 0 && !testing_windows_program()) {
      constexpr uid_t kNobody = 65534;
      if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  RunResult result;
  char buffer[4096];
  for (ssize_t got; (got = read(pipe_fds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_fds[0]);
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return result;
}

std::string message_line(int code) {
  static const char* const kMessages[] = {
      "varnu <filename> [option]",
      "\x8E\x77\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x93\xC7\x82\xDF\x82\xDC\x82\xB9"
      "\x82\xF1\x81\x42",
      "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9"
      "\x82\xF1\x81\x42",
      "\x8E\x77\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCD\x95\xCF\x8A\xB7\x82\xC5\x82\xAB"
      "\x82\xDC\x82\xB9\x82\xF1\x81\x42",
  };
  return std::string(kMessages[code]) + "\r\n";
}

std::map<std::string, Bytes> files_in(const std::filesystem::path& dir) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), dir).string()] = read_bytes(entry.path());
    }
  }
  return files;
}

std::optional<std::map<std::string, Bytes>> files_converted(const std::filesystem::path& dir,
                                                            const std::string& archive) {
  const auto before = files_in(dir);
  if (run_varnu(RunOptions{.args = {archive}, .cwd = dir}).status != 0) return std::nullopt;
  std::map<std::string, Bytes> written;
  for (auto& [name, bytes] : files_in(dir)) {
    if (!before.contains(name)) written[name] = std::move(bytes);
  }
  return written;
}

Bytes read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace varnu::testing
