// The platform under the page's WebAssembly module.
//
// The archive is read from the module's in-memory file system, as any program reads a file. Each
// output file is kept in memory instead, and handed to the page the moment the converter closes
// it, so that its picture shows while the rest of the archive is still converting. With it go
// the facts the page shows: where the entry began, its packed and unpacked sizes, whether the
// converter turned it upside down, its palette. All of them come from what the converter has just
// read, decoded and planned, never worked out a second time.
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

namespace varnu {
namespace {

// The image buffer is never smaller than this while a run converts, so the palette can always be
// copied from it, whatever the entry's headers say.
static_assert(kPaletteOffset + kPaletteSize <= kInitialImageSize);

struct OutputFile {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::array<std::uint8_t, kPaletteSize> palette{};
  std::uint64_t entry_offset = 0;
  std::size_t packed_size = 0;
  std::size_t unpacked_size = 0;
  BitmapLayout planned{};
  bool flipped = false;
  bool failed = false;
};

// The file being written, if any, so that a run that ends early can drop it.
OutputFile* open_output = nullptr;

// The page's side: Module.onOutput, given by the worker when it creates the module. The bytes
// are a view of the module's memory, valid only during the call.
EM_JS(void, hand_output_to_page,
      (const char* name, const std::uint8_t* bytes, std::size_t size, const std::uint8_t* palette,
       std::size_t palette_size, double entry_offset, double packed_size, double unpacked_size,
       int flipped, int width, int height, double archive_position),
      {
        Module.onOutput({
          name : UTF8ToString(name),
          bytes : HEAPU8.subarray(bytes, bytes + size),
          palette : HEAPU8.slice(palette, palette + palette_size),
          entryOffset : entry_offset,
          packedSize : packed_size,
          unpackedSize : unpacked_size,
          flipped : flipped != 0,
          width : width,
          height : height,
          archivePosition : archive_position
        });
      });

// fopencookie's callbacks. Running out of memory is a failed write, as a full disk would be.
ssize_t write_output(void* cookie, const char* data, std::size_t size) {
  auto* file = static_cast<OutputFile*>(cookie);
  try {
    file->bytes.insert(file->bytes.end(), data, data + size);
  } catch (const std::bad_alloc&) {
    file->failed = true;
    return -1;
  }
  return static_cast<ssize_t>(size);
}

int close_output(void* cookie) {
  const std::unique_ptr<OutputFile> file(static_cast<OutputFile*>(cookie));
  if (open_output == file.get()) open_output = nullptr;
  if (file->failed) return -1;
  // What the file's own header says, when it has one: at half width that is the new width.
  const BitmapLayout shown =
      file->bytes.size() >= kHeadersSize ? read_layout(file->bytes) : file->planned;
  hand_output_to_page(
      file->name.c_str(), file->bytes.data(), file->bytes.size(), file->palette.data(),
      file->palette.size(), static_cast<double>(file->entry_offset),
      static_cast<double>(file->packed_size), static_cast<double>(file->unpacked_size),
      file->flipped ? 1 : 0, shown.width, shown.height, static_cast<double>(run.input_position));
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
  std::copy_n(run.image.begin() + kPaletteOffset, kPaletteSize, file->palette.begin());

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
