// What --like takes from the archive that a set of pictures came out of.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <span>
#include <vector>

#include "bitmap/layout.hpp"
#include "format/archive.hpp"

namespace varnu::pack {

struct OriginalEntry {
  UnreadBytes unread{};
  // The resolution fields of the decoded bitmap, which the converter overwrites.
  std::array<std::uint8_t, kResolutionFieldsSize> resolution{};
  // The converter turned this entry upside down.
  bool upside_down = false;
  // Where it lies: its header at `start`, its payload at `payload_at`; its bytes as they stand,
  // filler included, end at `end`, the next boundary or the archive's end if that comes first.
  std::uint64_t start = 0;
  std::uint64_t payload_at = 0;
  std::size_t payload_size = 0;
  std::uint64_t end = 0;
  // How many bytes its payload decodes to, and where the bytes of the image buffer that the
  // converter's writer reads for it end (see writer_reads_end).
  std::size_t decoded_size = 0;
  std::size_t reads_end = 0;

  // The converter's file for it holds bytes that earlier entries left in the image buffer.
  bool borrows() const { return reads_end > decoded_size; }
};

struct OriginalArchive {
  std::vector<OriginalEntry> entries;
  // The bytes after the last entry, from tail_at to the archive's size: no reader looks at them.
  std::uint64_t tail_at = 0;
  std::uint64_t size = 0;
};

// Walks the archive as the converter does, decoding every entry into one image buffer and fixing
// each up there as the converter does. Throws InputError when the file cannot be read, or an
// entry is cut short or cannot be converted.
OriginalArchive read_original_archive(const std::filesystem::path& path);
OriginalArchive read_original_archive(std::istream& archive);

// Opens the archive for the readers below. Throws InputError.
std::ifstream open_original(const std::filesystem::path& path);

// The entry's bytes as they stand, from `start` to `end`. Throws InputError when the archive no
// longer holds them.
std::vector<std::uint8_t> read_entry_bytes(std::istream& archive, const OriginalEntry& entry);

// The bitmap of the entry whose bytes are `entry_bytes` (read_entry_bytes) as the converter
// writes it (turned over if it is, its resolution fields rewritten), decoded on its own: for an
// entry that borrows, the bytes that earlier entries left are zero here. Throws InputError when
// the converter cannot convert it.
std::vector<std::uint8_t> converted_bitmap(std::span<const std::uint8_t> entry_bytes,
                                           const OriginalEntry& entry);

// Both of the above. Decoded again rather than kept, so that --like holds one decoded entry at
// a time.
std::vector<std::uint8_t> read_converted_bitmap(const std::filesystem::path& path,
                                                const OriginalEntry& entry);
std::vector<std::uint8_t> read_converted_bitmap(std::istream& archive, const OriginalEntry& entry);

// Hands `sink` the archive's bytes after its last entry, a part at a time. Throws InputError when
// the archive no longer holds them.
void read_tail(std::istream& archive, const OriginalArchive& original,
               const std::function<void(std::span<const std::uint8_t>)>& sink);

}  // namespace varnu::pack
