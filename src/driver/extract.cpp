#include "driver/extract.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>

#include "bitmap/layout.hpp"
#include "bitmap/write_bitmap.hpp"
#include "common/run_state.hpp"
#include "driver/fail.hpp"
#include "driver/names.hpp"
#include "format/archive.hpp"
#include "lzss/lzss.hpp"
#include "platform/platform.hpp"

namespace varnu {
namespace {

std::size_t read_input(std::uint8_t* into, std::size_t count) {
  const std::size_t got = std::fread(into, 1, count, run.input);
  run.input_position += got;
  return got;
}

// An archive that ends inside an entry cannot be converted; one that cannot be read says so.
[[noreturn]] void fail_truncated() {
  fail(std::ferror(run.input) ? FAIL_OPEN_INPUT : FAIL_CONVERT);
}

// The filler is read and dropped rather than skipped with a seek, so that archives that cannot
// be positioned (a pipe) work too; it is never longer than 2047 bytes. An archive that ends
// inside it simply has no next entry.
void skip_to_entry_boundary() {
  const std::uint64_t boundary = run.input_position + filler_size(run.input_position);
  while (run.input_position < boundary) {
    const std::size_t chunk =
        std::min<std::uint64_t>(boundary - run.input_position, run.work_area.size());
    if (read_input(run.work_area.data(), chunk) == 0) return;
  }
}

// A failed write or close leaves no half-written file behind.
void close_output(const std::string& name) {
  const bool written = std::ferror(run.output) == 0;
  const bool closed = std::fclose(run.output) == 0;
  run.output = nullptr;
  if (!written || !closed) {
    platform::remove_file(name);
    fail(FAIL_CREATE_OUTPUT);
  }
}

}  // namespace

EntrySizes unpack_entry() {
  std::uint8_t* field = run.packed.data();
  if (read_input(field, kLengthFieldSize) < kLengthFieldSize) fail_truncated();
  const std::size_t length =
      read_length_field(std::span<const std::uint8_t, kLengthFieldSize>(field, kLengthFieldSize));

  // The decoder reads nothing past the payload: bytes an item wants beyond it read as zero.
  if (run.packed.size() < length) run.packed.resize(length);
  if (read_input(run.packed.data(), length) < length) fail_truncated();

  const std::size_t decoded = lzss_decode(length);
  skip_to_entry_boundary();
  return {.packed = length, .unpacked = decoded};
}

bool extract_next(Walk& walk) {
  const std::uint64_t entry_offset = run.input_position;
  std::uint8_t* header = run.work_area.data();
  if (read_input(header, kEntryHeaderSize) < kEntryHeaderSize ||
      !std::equal(kEntryMagic.begin(), kEntryMagic.end(), header)) {
    // A read error is not the end of the archive.
    if (std::ferror(run.input)) fail(FAIL_OPEN_INPUT);
    if (walk.converted == 0) fail(FAIL_CONVERT);
    return false;
  }
  // Past _Z99 there are no more names.
  if (walk.converted == kMaxEntries) fail(FAIL_CONVERT);
  const std::string name = output_name(walk.base, walk.converted);

  const EntrySizes sizes = unpack_entry();
  // An entry the writer cannot handle inside the image buffer gets no file.
  const std::optional<BitmapPlan> plan = plan_bitmap(run.image, walk.mode);
  if (!plan) fail(FAIL_CONVERT);

  run.output = platform::open_for_writing(name, {.offset = entry_offset,
                                                 .packed_size = sizes.packed,
                                                 .unpacked_size = sizes.unpacked,
                                                 .plan = *plan});
  if (run.output == nullptr) fail(FAIL_CREATE_OUTPUT);
  std::setvbuf(run.output, run.output_buffer.data(), _IOFBF, run.output_buffer.size());
  write_bitmap(*plan);
  close_output(name);
  ++walk.converted;
  return true;
}

void extract_all(const std::string& base, OutputMode mode) {
  Walk walk{.base = base, .mode = mode};
  while (extract_next(walk)) {
  }
}

}  // namespace varnu
