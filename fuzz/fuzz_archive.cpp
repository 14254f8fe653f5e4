// The archive walk on an arbitrary archive, in the converter's own steps: every entry read,
// planned, fixed up and written, in plain or half-width mode, then made again on its own from
// its payload and the bytes it borrowed, as the page makes it, and written again; and decoded
// alone, as varnu-pack --like first decodes it.
//
// Input: a control byte, then the archive. Bit 0 of the control byte asks for half-width output.
//
// Besides the sanitizers' faults, the target stops on any file that is not what a walk promises:
// resolution fields not rewritten, half-width headers that do not describe the file, a file made
// again that differs from the walk's, an entry decoded alone that is not the walk's (or is known
// alone when it borrows), or a status that the converter would not end on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "archive/byte_source.hpp"
#include "archive/entry_reader.hpp"
#include "bitmap/write_bitmap.hpp"
#include "common/run_state.hpp"
#include "driver/extract.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeadersSize = 54;
constexpr std::uint8_t kResolutionBytes[4] = {0x6B, 0x0B, 0x00, 0x00};
constexpr std::size_t kResolutionOffset = 38;  // horizontal, then vertical at 42

[[noreturn]] void fault(const std::string& what) {
  std::fprintf(stderr, "fuzz-archive: %s\n", what.c_str());
  std::abort();
}

std::uint32_t read_le(std::span<const std::uint8_t> bytes, std::size_t offset, int count) {
  std::uint32_t value = 0;
  for (int k = count - 1; k >= 0; --k) value = value << 8 | bytes[offset + k];
  return value;
}

// The file the writer writes from a prepared image buffer.
Bytes written(std::span<const std::uint8_t> image, const varnu::BitmapPlan& plan) {
  static Bytes row(varnu::kMaxHalfWidthRowBytes);
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  if (out == nullptr) fault("cannot open a memory stream");
  varnu::write_prepared(image, plan, row, out);
  std::fclose(out);
  Bytes file(data, data + size);
  std::free(data);
  return file;
}

// What every written file must show, whatever the bitmap it came from: the resolution fields as
// far as the file holds them, and for half-width output headers that describe the file.
void check_file(const Bytes& file, bool half_width) {
  for (std::size_t k = 0; k < 8 && kResolutionOffset + k < file.size(); ++k) {
    if (file[kResolutionOffset + k] != kResolutionBytes[k % 4]) {
      fault("resolution byte " + std::to_string(kResolutionOffset + k) + " not set");
    }
  }
  if (!half_width) return;
  if (file.size() < kHeadersSize) fault("half-width file shorter than its headers");
  if (read_le(file, 2, 3) != (file.size() & 0xFFFFFF)) fault("size field is not the size");
  if (read_le(file, 10, 3) != kHeadersSize) fault("pixels do not follow the headers");
  if (file[28] != 24) fault("not 24 bits per pixel");
  const std::size_t row_bytes = (3 * std::size_t{read_le(file, 18, 2)} + 3) & ~std::size_t{3};
  const std::size_t rows_size = file.size() - kHeadersSize;
  if (row_bytes == 0 ? rows_size != 0 : rows_size % row_bytes != 0) {
    fault("not a whole number of rows of the width it states");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool half_width = (data[0] & 1) != 0;
  varnu::archive::PartSource source;
  source.feed({data + 1, size - 1});
  // Buffers as the converter starts them: what a short entry borrows is zero at first.
  static varnu::EntryBuffers buffers;
  buffers.image.assign(varnu::kInitialImageSize, 0);
  varnu::archive::EntryReader reader(
      source, buffers,
      {.mode = half_width ? varnu::OutputMode::kHalfWidth : varnu::OutputMode::kPlain});
  const varnu::OutputMode mode =
      half_width ? varnu::OutputMode::kHalfWidth : varnu::OutputMode::kPlain;
  Bytes remade;
  Bytes alone;
  for (int converted = 0;; ++converted) {
    const varnu::archive::ReadStatus status = reader.next();
    // An entry the walk cannot convert is not one that decoding it alone can.
    if (status == varnu::archive::ReadStatus::kNotConvertible &&
        varnu::archive::decode_alone(reader.payload(), reader.record(), mode, alone)) {
      fault("entry " + std::to_string(converted) + " converts alone but not in the walk");
    }
    if (status != varnu::archive::ReadStatus::kEntry) {
      if (status == varnu::archive::ReadStatus::kUnreadable) fault("a read of bytes failed");
      const bool ends_well = !varnu::failure_for(status, converted).has_value();
      if (ends_well != (status == varnu::archive::ReadStatus::kEnd && converted > 0)) {
        fault("the converter would end otherwise than the walk says");
      }
      return 0;
    }
    const varnu::archive::EntryRecord& entry = reader.record();
    const Bytes file = written(reader.image(), entry.plan);
    check_file(file, half_width);

    if (!varnu::archive::remake_entry(reader.payload(), entry, reader.borrowed(), remade)) {
      fault("entry " + std::to_string(entry.index) + " cannot be made again");
    }
    if (written(remade, entry.plan) != file) {
      fault("entry " + std::to_string(entry.index) + " made again differs");
    }
    // Decoded alone, an entry is the walk's, record and file, unless it borrows.
    const auto decoded = varnu::archive::decode_alone(reader.payload(), entry, mode, alone);
    if (decoded.has_value() == entry.borrows()) {
      fault("entry " + std::to_string(entry.index) + " is known alone just when it borrows");
    }
    if (decoded &&
        (decoded->unpacked_size != entry.unpacked_size || decoded->extent != entry.extent ||
         decoded->plan.flip != entry.plan.flip || decoded->resolution != entry.resolution ||
         written(alone, decoded->plan) != file)) {
      fault("entry " + std::to_string(entry.index) + " decoded alone differs from the walk's");
    }
  }
}
