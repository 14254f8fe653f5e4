// The page's way into the converter and the packer: the same runs the command-line programs
// make, on the module's in-memory file system, called from the worker.
//
// A failing run of the converter ends in end_failed_run, which in this module unwinds back here
// with the failure (platform/exit_unwind.cpp) instead of ending the process, so the module lives
// on for the next archive and the page learns the failure's code as a value; the line to show for
// it is the converter's own message for that code. The packer's messages reach the page as they
// are made, a record each, never as the text the command line prints.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "common/run_state.hpp"
#include "driver/fail.hpp"
#include "driver/names.hpp"
#include "driver/run.hpp"
#include "pack/pack_command.hpp"
#include "platform/end_run.hpp"
#include "web/conversion.hpp"

namespace varnu::web {
namespace {

constexpr int kSucceeded = -1;
constexpr char kHalfWidthOption[] = "x";

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

// The page's side: Module.onPackMessage, given by the worker when it creates the module.
EM_JS(void, hand_pack_message_to_page, (const char* file, const char* kind, const char* text), {
  Module.onPackMessage(
      {file : UTF8ToString(file), kind : UTF8ToString(kind), text : UTF8ToString(text)});
});

const char* kind_name(pack::PackMessage::Kind kind) {
  return kind == pack::PackMessage::Kind::kWarning ? "warning" : "refusal";
}

}  // namespace
}  // namespace varnu::web

extern "C" {

// `varnu path [x]` in the current directory. Returns -1 when it succeeded, else the code of the
// failure (FAIL_*); the files written before a failure have reached the page.
EMSCRIPTEN_KEEPALIVE int varnu_convert(const char* path, int half_width) {
  using namespace varnu;
  std::string program = "varnu", archive = path, option = web::kHalfWidthOption;
  std::vector<char*> argv = {program.data(), archive.data()};
  if (half_width != 0) argv.push_back(option.data());
  try {
    run_program(static_cast<int>(argv.size()), argv.data());
  } catch (const FailedRun& failed) {
    web::close_run_streams();
    return failed.code;
  }
  return web::kSucceeded;
}

// The converter's message for failure `code` as the command line prints it, without its line
// end: where its bytes are; varnu_failure_message_size says how many there are.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_failure_message(int code) {
  return varnu::failure_message(code).data();
}

EMSCRIPTEN_KEEPALIVE int varnu_failure_message_size(int code) {
  return static_cast<int>(varnu::failure_message(code).size());
}

// The base name the converter gives the outputs of the archive at `path`: the page names the
// zip of them after it.
EMSCRIPTEN_KEEPALIVE const char* varnu_base_name(const char* path) {
  static std::string base;
  base = varnu::derive_base_name(path);
  return base.c_str();
}

// `varnu-pack args...` in the current directory; returns its exit status. Its messages reach the
// page on the way, each as { file, kind, text } with kind "warning" or "refusal" and file "" when
// it names none.
EMSCRIPTEN_KEEPALIVE int varnu_pack(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  std::ostringstream help;
  const varnu::pack::PackResult result = varnu::pack::run_pack(args, help);
  for (const varnu::pack::PackMessage& message : result.messages) {
    varnu::web::hand_pack_message_to_page(message.file.value_or("").c_str(),
                                          varnu::web::kind_name(message.kind),
                                          message.text.c_str());
  }
  return result.status;
}

}  // extern "C"
