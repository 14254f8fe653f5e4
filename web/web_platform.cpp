// The platform under the page's WebAssembly module.
//
// The archive is read from the module's file system, as any program reads a file (the worker
// mounts the user's own file there, read in place). Output files are not kept: the page makes an
// entry's file again when it needs it (entry_file.hpp). What it needs for that, and the facts it
// shows, are handed to the page the moment the converter closes each file, so that its picture
// shows while the rest of the archive is still converting: where the entry began, its packed and
// unpacked sizes, whether the converter turned it upside down, the file's size and the sizes its
// header gives, and how far the file reached into the image buffer, with the bytes earlier
// entries left there. All of them come from what the converter has just read, decoded, planned
// and written, never worked out a second time.
//
// This file replaces the POSIX platform in the module, so it defines every function of it.
#include <emscripten.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bitmap/layout.hpp"
#include "common/run_state.hpp"
#include "platform/path.hpp"
#include "platform/platform.hpp"
#include "platform/posix_read.hpp"
#include "web/conversion.hpp"
#include "web/entry_file.hpp"

namespace varnu {
namespace {

struct OutputFile {
  std::string name;
  std::array<std::uint8_t, kHeadersSize> header{};  // the file's first bytes, as written
  std::uint64_t size = 0;                           // how many bytes were written
  std::uint64_t entry_offset = 0;
  std::size_t packed_size = 0;
  std::size_t unpacked_size = 0;
  BitmapLayout planned{};
  bool flipped = false;
  std::uint64_t extent = 0;
  std::vector<std::uint8_t> tail;
  bool tail_lost = false;  // no memory to hand it on: the page finds it again if it needs it
  bool failed = false;
};

// The file being written, if any, so that a run that ends early can drop it.
OutputFile* open_output = nullptr;

// The page's side: Module.onEntry, given by the worker when it creates the module. The tail is a
// view of the module's memory, valid only during the call, or null when it was lost.
EM_JS(void, hand_entry_to_page,
      (const char* name, double file_size, int width, int height, int flipped, double entry_offset,
       double packed_size, double unpacked_size, double extent, const std::uint8_t* tail,
       std::size_t tail_size, int tail_lost, double archive_position),
      {
        Module.onEntry({
          name : UTF8ToString(name),
          fileSize : file_size,
          width : width,
          height : height,
          flipped : flipped != 0,
          entryOffset : entry_offset,
          packedSize : packed_size,
          unpackedSize : unpacked_size,
          extent : extent,
          tail : tail_lost ? null : HEAPU8.subarray(tail, tail + tail_size),
          archivePosition : archive_position
        });
      });

// fopencookie's callbacks: the bytes are counted and the headers kept.
ssize_t write_output(void* cookie, const char* data, std::size_t size) {
  auto* file = static_cast<OutputFile*>(cookie);
  if (file->size < kHeadersSize) {
    const std::size_t part = std::min<std::uint64_t>(size, kHeadersSize - file->size);
    std::copy_n(data, part, file->header.begin() + file->size);
  }
  file->size += size;
  return static_cast<ssize_t>(size);
}

int close_output(void* cookie) {
  const std::unique_ptr<OutputFile> file(static_cast<OutputFile*>(cookie));
  if (open_output == file.get()) open_output = nullptr;
  if (file->failed) return -1;
  // What the file's own header says, when it has one: at half width that is the new width.
  const BitmapLayout shown = file->size >= kHeadersSize ? read_layout(file->header) : file->planned;
  hand_entry_to_page(file->name.c_str(), static_cast<double>(file->size), shown.width, shown.height,
                     file->flipped ? 1 : 0, static_cast<double>(file->entry_offset),
                     static_cast<double>(file->packed_size),
                     static_cast<double>(file->unpacked_size), static_cast<double>(file->extent),
                     file->tail.data(), file->tail.size(), file->tail_lost ? 1 : 0,
                     static_cast<double>(run.input_position));
  return 0;
}

}  // namespace

namespace web {

void discard_open_output() {
  if (open_output != nullptr) open_output->failed = true;
}

}  // namespace web

namespace platform {

std::FILE* open_for_reading(const std::string& path) {
  return open_posix_file_for_reading(path);
}

// Called once the entry is decoded and planned, before anything of it is written.
std::FILE* open_for_writing(const std::string& path, const OutputEntry& entry) {
  auto file = std::make_unique<OutputFile>();
  file->name = path;
  file->entry_offset = entry.offset;
  file->packed_size = entry.packed_size;
  file->unpacked_size = entry.unpacked_size;
  file->planned = entry.plan.layout;
  file->flipped = entry.plan.flip;
  // Before the fix-up moves any of them.
  file->extent = planned_extent(run.image, entry.plan);
  const std::span<const std::uint8_t> tail =
      web::entry_tail(run.image, entry.unpacked_size, file->extent);
  try {
    file->tail.assign(tail.begin(), tail.end());
  } catch (const std::bad_alloc&) {
    file->tail_lost = true;
  }

  const cookie_io_functions_t calls{
      .read = nullptr, .write = write_output, .seek = nullptr, .close = close_output};
  std::FILE* stream = fopencookie(file.get(), "wb", calls);
  if (stream == nullptr) return nullptr;
  open_output = file.release();
  return stream;
}

// Output files never reach the file system, so there is nothing to remove.
void remove_file(const std::string&) {}

std::filesystem::path path_from_utf8(const std::string& path) {
  return std::filesystem::path(path);
}

}  // namespace platform
}  // namespace varnu
