// The page's way into the converter and the packer, called from the worker: runs of the
// converter a few entries at a time (page_run.hpp), one entry's file made again (entry_file.hpp)
// and a picture of it at a size the page can show (picture_scaler.hpp), and the packer's run.
//
// A failing run of the converter ends in end_failed_run, which in this module unwinds back to the
// run's step with the failure (platform/exit_unwind.cpp) instead of ending the process, so the
// module lives on and the page learns the failure's code as a value; the line to show for it is
// the converter's own message for that code. The packer's messages reach the page as they are
// made, a record each, never as the text the command line prints.
//
// Objects made here are handed to the worker as addresses and freed by the matching call.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/fail.hpp"
#include "archive/names.hpp"
#include "pack/picture/bmp_input.hpp"
#include "pack/pack.hpp"
#include "web/entry_file.hpp"
#include "web/entry_png.hpp"
#include "web/page_run.hpp"
#include "web/picture_scaler.hpp"

namespace varnu::web {
namespace {

// Why the last varnu_entry_open failed (Remade), for the worker to say.
Remade last_problem = Remade::kReady;

// The page's side: Module.onPackMessage, given by the worker when it creates the module.
EM_JS(void, hand_pack_message_to_page, (const char* file, const char* kind, const char* text), {
  Module.onPackMessage(
      {file : UTF8ToString(file), kind : UTF8ToString(kind), text : UTF8ToString(text)});
});

const char* kind_name(pack::PackMessage::Kind kind) {
  return kind == pack::PackMessage::Kind::kWarning ? "warning" : "refusal";
}

// Hands the page each of a pack's messages, in order.
void hand_messages_to_page(const pack::PackResult& result) {
  for (const pack::PackMessage& message : result.messages) {
    hand_pack_message_to_page(message.file.value_or("").c_str(), kind_name(message.kind),
                              message.text.c_str());
  }
}

// Why the last varnu_entry_png failed, for the worker to say.
std::string last_png_problem;

// Pieces of the file go through the scaler this large.
constexpr std::size_t kScalerChunk = 64 * 1024;

}  // namespace
}  // namespace varnu::web

extern "C" {

using varnu::web::EntryFile;
using varnu::web::PageRun;
using varnu::web::PictureScaler;

// `varnu path [x]` in the current directory, to be driven by varnu_run_step.
EMSCRIPTEN_KEEPALIVE PageRun* varnu_run_begin(const char* path, int half_width) {
  try {
    return new PageRun(path, half_width != 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Converts up to `entries` more entries, each handed to Module.onEntry as its file closes.
// Returns -2 while entries remain, then -1 when the run succeeded, else the code of its failure
// (FAIL_*).
EMSCRIPTEN_KEEPALIVE int varnu_run_step(PageRun* run, int entries) {
  return run->step(entries);
}

EMSCRIPTEN_KEEPALIVE void varnu_run_end(PageRun* run) {
  delete run;
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

// The file of the entry at `offset` of the archive at `path`, made again from what its run
// handed to Module.onEntry; nullptr when it cannot be, varnu_entry_problem saying why.
EMSCRIPTEN_KEEPALIVE EntryFile* varnu_entry_open(const char* path, double offset,
                                                 double packed_size, double unpacked_size,
                                                 int half_width, double extent,
                                                 const std::uint8_t* tail, int tail_size) {
  using namespace varnu;
  using namespace varnu::web;
  std::unique_ptr<EntryFile> file(new (std::nothrow) EntryFile);
  std::FILE* archive = std::fopen(path, "rb");
  if (file == nullptr || archive == nullptr) {
    last_problem = file == nullptr ? Remade::kNoMemory : Remade::kUnreadable;
    if (archive != nullptr) std::fclose(archive);
    return nullptr;
  }
  const EntrySource source{.offset = static_cast<std::uint64_t>(offset),
                           .packed_size = static_cast<std::size_t>(packed_size),
                           .unpacked_size = static_cast<std::size_t>(unpacked_size),
                           .mode = half_width != 0 ? OutputMode::kHalfWidth : OutputMode::kPlain,
                           .extent = static_cast<std::uint64_t>(extent),
                           .tail = {tail, static_cast<std::size_t>(tail_size)}};
  last_problem = file->open(archive, source);
  std::fclose(archive);
  return last_problem == Remade::kReady ? file.release() : nullptr;
}

// 1: the archive could not be read; 2: it no longer holds the entry; 3: no memory.
EMSCRIPTEN_KEEPALIVE int varnu_entry_problem() {
  return static_cast<int>(varnu::web::last_problem);
}

EMSCRIPTEN_KEEPALIVE double varnu_entry_size(const EntryFile* file) {
  return static_cast<double>(file->size());
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_entry_palette(const EntryFile* file) {
  return file->palette().data();
}

// Copies the file's next bytes to `into`; returns how many, 0 at the end.
EMSCRIPTEN_KEEPALIVE int varnu_entry_read(EntryFile* file, std::uint8_t* into, int size) {
  return static_cast<int>(file->read({into, static_cast<std::size_t>(size)}));
}

EMSCRIPTEN_KEEPALIVE void varnu_entry_close(EntryFile* file) {
  delete file;
}

// The rest of the file, from where it was read to, as a picture within the limits; nullptr
// when the file is no bitmap the scaler draws, or there is no memory for the picture (then
// varnu_entry_problem says 3).
EMSCRIPTEN_KEEPALIVE PictureScaler* varnu_entry_picture(EntryFile* file, int max_width,
                                                        int max_height, double max_pixels) {
  try {
    auto picture = std::make_unique<PictureScaler>(
        varnu::web::PictureLimits{.width = static_cast<std::uint32_t>(max_width),
                                  .height = static_cast<std::uint32_t>(max_height),
                                  .pixels = static_cast<std::uint64_t>(max_pixels)});
    std::vector<std::uint8_t> chunk(varnu::web::kScalerChunk);
    while (const std::size_t count = file->read(chunk)) {
      picture->push({chunk.data(), count});
    }
    varnu::web::last_problem = varnu::web::Remade::kReady;
    return picture->finish() ? picture.release() : nullptr;
  } catch (const std::bad_alloc&) {
    varnu::web::last_problem = varnu::web::Remade::kNoMemory;
    return nullptr;
  }
}

// The picture, top row first, four bytes a pixel (red, green, blue, alpha).
EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_picture_pixels(const PictureScaler* picture) {
  return picture->rgba().data();
}

EMSCRIPTEN_KEEPALIVE int varnu_picture_width(const PictureScaler* picture) {
  return static_cast<int>(picture->width());
}

EMSCRIPTEN_KEEPALIVE int varnu_picture_height(const PictureScaler* picture) {
  return static_cast<int>(picture->height());
}

// How many of the bitmap's pixels a side each of the picture's pixels stands for.
EMSCRIPTEN_KEEPALIVE int varnu_picture_factor(const PictureScaler* picture) {
  return static_cast<int>(picture->factor());
}

EMSCRIPTEN_KEEPALIVE void varnu_picture_free(PictureScaler* picture) {
  delete picture;
}

// `varnu-pack args...` in the current directory; returns its exit status. Its messages reach the
// page on the way, each as { file, kind, text } with kind "warning" or "refusal" and file "" when
// it names none.
EMSCRIPTEN_KEEPALIVE int varnu_pack(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  std::ostringstream help;
  const varnu::pack::PackResult result = varnu::pack::run_pack(args, help);
  varnu::web::hand_messages_to_page(result);
  return result.status;
}

// The archive at `original` with entry k's picture replaced by the file `pictures[k]` names, and
// every entry whose pointer is null as it stands (pack_replacing), written to `output`; returns
// the exit status varnu-pack would give. Its messages reach the page as varnu_pack's do.
EMSCRIPTEN_KEEPALIVE int varnu_pack_replacing(const char* original, const char* output, int count,
                                              const char* const* pictures) {
  std::vector<std::optional<std::string>> replaced(static_cast<std::size_t>(count));
  for (std::size_t k = 0; k < replaced.size(); ++k) {
    if (pictures[k] != nullptr) replaced[k] = pictures[k];
  }
  const varnu::pack::PackResult result = varnu::pack::pack_replacing(original, output, replaced);
  varnu::web::hand_messages_to_page(result);
  return result.status;
}

// The rest of the file as PNG (entry_png.hpp), or nullptr with varnu_png_problem saying why.
EMSCRIPTEN_KEEPALIVE std::vector<std::uint8_t>* varnu_entry_png(EntryFile* file, int half_width) {
  using varnu::OutputMode;
  try {
    return new std::vector<std::uint8_t>(varnu::web::entry_png(
        *file, half_width != 0 ? OutputMode::kHalfWidth : OutputMode::kPlain));
  } catch (const varnu::pack::InputError& error) {
    varnu::web::last_png_problem = error.what();
  } catch (const std::bad_alloc&) {
    varnu::web::last_png_problem = "there is not enough memory for it";
  }
  return nullptr;
}

EMSCRIPTEN_KEEPALIVE const char* varnu_png_problem() {
  return varnu::web::last_png_problem.c_str();
}

// Bytes made here (varnu_entry_png): where they are, how many, and freeing them.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_bytes_data(const std::vector<std::uint8_t>* bytes) {
  return bytes->data();
}

EMSCRIPTEN_KEEPALIVE double varnu_bytes_size(const std::vector<std::uint8_t>* bytes) {
  return static_cast<double>(bytes->size());
}

EMSCRIPTEN_KEEPALIVE void varnu_bytes_free(std::vector<std::uint8_t>* bytes) {
  delete bytes;
}

}  // extern "C"
