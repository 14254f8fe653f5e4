// The page's way into the converter and the packer: the same runs the command-line programs
// make, on the module's in-memory file system, called from the worker.
//
// A failing run of the converter ends in end_process, which in this module unwinds back here
// (the fuzz targets' seam) instead of ending the process, so the module lives on for the next
// archive. The failure's line is whatever the converter printed; it goes to a file the worker
// reads, byte for byte, as the command line would show it.
#include <emscripten.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <new>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "common/run_state.hpp"
#include "driver/extract.hpp"
#include "driver/fail.hpp"
#include "driver/names.hpp"
#include "driver/run.hpp"
#include "fuzz/end_process_seam.hpp"
#include "lzss/lzss.hpp"
#include "pack/pack_command.hpp"
#include "platform/platform.hpp"
#include "web/conversion.hpp"

namespace varnu::web {
namespace {

// Where the converter's standard output goes; the worker reads it after a failed run.
constexpr char kMessageFile[] = "/varnu-message";
constexpr int kSucceeded = -1;
// The failure codes the converter has, from FAIL_USAGE to FAIL_CONVERT.
constexpr int kFailureCodes = 4;
constexpr char kHalfWidthOption[] = "x";

std::string pack_messages;

// Which of the converter's messages was printed: the worker shows the line itself as well.
int printed_failure_code() {
  std::fflush(stdout);
  std::vector<std::uint8_t> printed;
  if (std::FILE* file = std::fopen(kMessageFile, "rb")) {
    std::uint8_t chunk[256];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
      printed.insert(printed.end(), chunk, chunk + got);
    }
    std::fclose(file);
  }
  for (int code = 0; code < kFailureCodes; ++code) {
    const std::span<const std::uint8_t> message = failure_message(code);
    if (printed.size() >= message.size() &&
        std::equal(message.begin(), message.end(), printed.begin())) {
      return code;
    }
  }
  return FAIL_CONVERT;
}

// What a process's end would have closed.
void close_run_streams() {
  if (run.output != nullptr) {
    discard_open_output();
    std::fclose(run.output);
    run.output = nullptr;
  }
  if (run.input != nullptr) {
    std::fclose(run.input);
    run.input = nullptr;
  }
}

}  // namespace
}  // namespace varnu::web

extern "C" {

// `varnu path [x]` in the current directory. Returns -1 when it succeeded, else the code of the
// message it printed (FAIL_*); the files written before a failure have reached the page.
EMSCRIPTEN_KEEPALIVE int varnu_convert(const char* path, int half_width) {
  using namespace varnu;
  web::begin_conversion(half_width != 0);
  if (std::freopen(web::kMessageFile, "wb", stdout) == nullptr) return FAIL_CREATE_OUTPUT;
  std::string program = "varnu", archive = path, option = web::kHalfWidthOption;
  std::vector<char*> argv = {program.data(), archive.data()};
  if (half_width != 0) argv.push_back(option.data());
  try {
    run_program(static_cast<int>(argv.size()), argv.data());
  } catch (const fuzz::ProcessEnded&) {
    web::close_run_streams();
    return web::printed_failure_code();
  }
  return web::kSucceeded;
}

// The base name the converter gives the outputs of the archive at `path`: the page names the
// zip of them after it.
EMSCRIPTEN_KEEPALIVE const char* varnu_base_name(const char* path) {
  static std::string base;
  base = varnu::derive_base_name(path);
  return base.c_str();
}

// The packed and unpacked sizes of the entry at `offset` of the archive at `path`, for the
// page's larger view; null when the entry cannot be read again.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* varnu_entry_sizes(const char* path, double offset) {
  using namespace varnu;
  static std::array<std::uint32_t, 2> sizes{};
  std::FILE* file = platform::open_for_reading(path);
  if (file == nullptr) return nullptr;
  bool read = false;
  // The payload is at most 16 MiB - 1 (three bytes of length), and the decoder bounds what it
  // makes of it; running out of memory on either only leaves the facts out.
  try {
    std::array<std::uint8_t, kLengthFieldSize> field{};
    read = std::fseek(file, static_cast<long>(offset + kEntryHeaderSize), SEEK_SET) == 0 &&
           std::fread(field.data(), 1, field.size(), file) == field.size();
    if (read) {
      // Three little-endian bytes; the fourth is not looked at.
      std::vector<std::uint8_t> payload(field[0] | field[1] << 8 |
                                        static_cast<std::size_t>(field[2]) << 16);
      std::vector<std::uint8_t> image;
      read = std::fread(payload.data(), 1, payload.size(), file) == payload.size();
      if (read) {
        sizes = {static_cast<std::uint32_t>(payload.size()),
                 static_cast<std::uint32_t>(lzss_expand(payload, image))};
      }
    }
  } catch (const std::bad_alloc&) {
    read = false;
  }
  std::fclose(file);
  return read ? sizes.data() : nullptr;
}

// `varnu-pack args...` in the current directory; returns its exit status. What it printed on
// its error stream is then in varnu_pack_messages().
EMSCRIPTEN_KEEPALIVE int varnu_pack(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  std::ostringstream out, err;
  const int status = varnu::pack::pack_main(args, out, err);
  varnu::web::pack_messages = err.str();
  return status;
}

EMSCRIPTEN_KEEPALIVE const char* varnu_pack_messages() {
  return varnu::web::pack_messages.c_str();
}

}  // extern "C"
