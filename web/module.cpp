// The page's way into the converter's and the packer's code, called from the worker: walks of an
// archive an entry at a time (page_walk.hpp), one entry's file made again from its record
// (entry_file.hpp) and a picture of it at a size the page can show (picture_scaler.hpp), and the
// packer.
//
// What the worker is told in words (an entry's record, a pack's outcome, the module's own facts)
// comes as JSON; a failure of the converter comes as its code, and the line to show for it is the
// converter's own message for that code. Objects made here are handed to the worker as addresses
// and freed by the matching call.
#include <emscripten.h>

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/names.hpp"
#include "driver/fail.hpp"
#include "pack/picture/bmp_input.hpp"
#include "web/entry_file.hpp"
#include "web/entry_png.hpp"
#include "web/entry_record.hpp"
#include "web/json.hpp"
#include "web/module_facts.hpp"
#include "web/page_pack.hpp"
#include "web/page_walk.hpp"
#include "web/picture_scaler.hpp"
#include "web/replacement_check.hpp"

namespace varnu::web {
namespace {

// Why the last varnu_entry_open failed (Remade), for the worker to say.
Remade last_problem = Remade::kReady;

// Why the last varnu_entry_png failed, for the worker to say.
std::string last_png_problem;

// What a call answered in words, kept until the next such call.
std::string last_answer;

const char* answer(std::string text) {
  last_answer = std::move(text);
  return last_answer.c_str();
}

// Pieces of the file go through the scaler this large.
constexpr std::size_t kScalerChunk = 64 * 1024;

OutputMode mode_of(int half_width) {
  return half_width != 0 ? OutputMode::kHalfWidth : OutputMode::kPlain;
}

// A file opened by `open` (EntryFile::open or open_stored), or nullptr with last_problem saying
// why not.
template <typename Open>
EntryFile* opened(Open open) {
  std::unique_ptr<EntryFile> file(new (std::nothrow) EntryFile);
  if (file == nullptr) {
    last_problem = Remade::kNoMemory;
    return nullptr;
  }
  last_problem = open(*file);
  return last_problem == Remade::kReady ? file.release() : nullptr;
}

}  // namespace
}  // namespace varnu::web

extern "C" {

using varnu::web::CheckedReplacement;
using varnu::web::EntryFile;
using varnu::web::PageWalk;
using varnu::web::PictureScaler;

// The numbers and words the worker takes from the module (module_facts.hpp), as JSON.
EMSCRIPTEN_KEEPALIVE const char* varnu_facts() {
  return varnu::web::answer(varnu::web::module_facts_json());
}

// `varnu path [x]` in the current directory, to be stepped by varnu_walk_step.
EMSCRIPTEN_KEEPALIVE PageWalk* varnu_walk_begin(const char* path, int half_width) {
  try {
    return new PageWalk(path, varnu::web::mode_of(half_width));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Reads the next entry: the walk's "goesOn" with an entry read, then its "succeeded" or the code
// of its failure (FAIL_*), as the command line would end.
EMSCRIPTEN_KEEPALIVE int varnu_walk_step(PageWalk* walk) {
  return walk->step();
}

// The entry just read: its record as JSON (entry_record.hpp), valid until the next step.
EMSCRIPTEN_KEEPALIVE const char* varnu_walk_record(const PageWalk* walk) {
  return walk->record_json().c_str();
}

// The bytes that entry borrows from earlier ones (none for zeros): where they are, how many.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_walk_borrowed(const PageWalk* walk) {
  return walk->borrowed().data();
}

EMSCRIPTEN_KEEPALIVE int varnu_walk_borrowed_size(const PageWalk* walk) {
  return static_cast<int>(walk->borrowed().size());
}

// Once the walk has ended with a failure: why, and the file the entry it stopped at would have
// been (page_walk.hpp), as JSON {"reason", "nextName"}.
EMSCRIPTEN_KEEPALIVE const char* varnu_walk_failure(const PageWalk* walk) {
  return varnu::web::answer(varnu::web::JsonObject()
                                .string("reason", walk->reason())
                                .string("nextName", walk->next_name())
                                .text());
}

EMSCRIPTEN_KEEPALIVE void varnu_walk_end(PageWalk* walk) {
  delete walk;
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
  return varnu::web::answer(varnu::derive_base_name(path));
}

// The file of an entry of the archive at `path`, made again from its record, the values of
// `fields` of the facts' "recordFields" in their order, and the bytes it borrows that its walk
// gave; nullptr when it cannot be, varnu_entry_problem saying why.
EMSCRIPTEN_KEEPALIVE EntryFile* varnu_entry_open(const char* path, const double* record, int fields,
                                                 const std::uint8_t* borrowed, int borrowed_size) {
  return varnu::web::opened([&](EntryFile& file) {
    return file.open(path, varnu::web::record_from({record, static_cast<std::size_t>(fields)}),
                     {borrowed, static_cast<std::size_t>(borrowed_size)});
  });
}

// The file varnu writes, in plain mode or at half width, from an entry that holds the `size`
// bytes at `stored`, a bitmap the packer made (varnu_check_replacement): read like an entry's.
// nullptr when it cannot be, varnu_entry_problem saying why.
EMSCRIPTEN_KEEPALIVE EntryFile* varnu_stored_open(const std::uint8_t* stored, int size,
                                                  int half_width) {
  return varnu::web::opened([&](EntryFile& file) {
    return file.open_stored({stored, static_cast<std::size_t>(size)},
                            varnu::web::mode_of(half_width));
  });
}

// Checks the file at `picture` as the replacement of the entry of the archive at `path` that
// `record` and `borrowed` describe (varnu_entry_open), with the packer's own check
// (replacement_check.hpp). nullptr when the entry cannot be read, varnu_entry_problem saying why.
EMSCRIPTEN_KEEPALIVE CheckedReplacement* varnu_check_replacement(const char* path,
                                                                 const double* record, int fields,
                                                                 const std::uint8_t* borrowed,
                                                                 int borrowed_size,
                                                                 const char* picture) {
  using varnu::web::Remade;
  try {
    auto checked = std::make_unique<CheckedReplacement>();
    varnu::web::last_problem = varnu::web::check_replacement(
        path, varnu::web::record_from({record, static_cast<std::size_t>(fields)}),
        {borrowed, static_cast<std::size_t>(borrowed_size)}, picture, *checked);
    return varnu::web::last_problem == Remade::kReady ? checked.release() : nullptr;
  } catch (const std::bad_alloc&) {
    varnu::web::last_problem = Remade::kNoMemory;
    return nullptr;
  }
}

// What the check says, as JSON; and the bitmap the entry would hold: where, how many bytes.
EMSCRIPTEN_KEEPALIVE const char* varnu_checked_json(const CheckedReplacement* checked) {
  return checked->json.c_str();
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_checked_stored(const CheckedReplacement* checked) {
  return checked->stored.data();
}

EMSCRIPTEN_KEEPALIVE double varnu_checked_stored_size(const CheckedReplacement* checked) {
  return static_cast<double>(checked->stored.size());
}

// Which pixels the mapping moved (CheckedReplacement::moved): where, how many bytes; none without.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* varnu_checked_moved(const CheckedReplacement* checked) {
  return checked->moved.data();
}

EMSCRIPTEN_KEEPALIVE double varnu_checked_moved_size(const CheckedReplacement* checked) {
  return static_cast<double>(checked->moved.size());
}

EMSCRIPTEN_KEEPALIVE void varnu_checked_free(CheckedReplacement* checked) {
  delete checked;
}

// Why the last varnu_entry_open failed, or varnu_entry_picture had no memory: a place in the
// facts' "remakeProblems".
EMSCRIPTEN_KEEPALIVE int varnu_entry_problem() {
  return static_cast<int>(varnu::web::last_problem);
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
// varnu_entry_problem says so).
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

// Packs `count` pictures, in entry order, into the archive `output` (page_pack.hpp): with an
// `original` archive (else null), a null picture is that entry as it stands, and with `patch`
// not 0 `output` is the patch from the original to that archive. Answers the status and the
// messages as JSON, valid until the next call that answers in words.
EMSCRIPTEN_KEEPALIVE const char* varnu_pack(const char* output, const char* original, int count,
                                            const char* const* pictures, int patch) {
  std::vector<std::optional<std::string>> given(static_cast<std::size_t>(count));
  for (std::size_t k = 0; k < given.size(); ++k) {
    if (pictures[k] != nullptr) given[k] = pictures[k];
  }
  std::optional<std::string> like;
  if (original != nullptr) like = original;
  return varnu::web::answer(varnu::web::pack_json(output, like, given, patch != 0));
}

// Writes `output`, the patch at `patch` applied to the archive at `original`, as varnu-pack
// --apply does; answers as varnu_pack.
EMSCRIPTEN_KEEPALIVE const char* varnu_apply_patch(const char* patch, const char* original,
                                                   const char* output) {
  return varnu::web::answer(varnu::web::apply_patch_json(patch, original, output));
}

// The rest of the file as PNG (entry_png.hpp), or nullptr with varnu_png_problem saying why.
EMSCRIPTEN_KEEPALIVE std::vector<std::uint8_t>* varnu_entry_png(EntryFile* file, int half_width) {
  try {
    return new std::vector<std::uint8_t>(
        varnu::web::entry_png(*file, varnu::web::mode_of(half_width)));
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
