// What --like takes from the archive that a set of pictures came out of: its entries as the
// archive walk records them (archive/entry_reader.hpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <span>
#include <vector>

#include "archive/entry_reader.hpp"

namespace varnu::pack {

using archive::EntryRecord;

struct OriginalArchive {
  std::vector<EntryRecord> entries;
  // The bytes from entries_end to the archive's size follow its last entry: no reader looks at
  // them.
  std::uint64_t entries_end = 0;
  std::uint64_t size = 0;
};

// How far into each entry reading the archive goes.
enum class OriginalDepth {
  // Walked as the converter walks it, in plain mode, every entry decoded in order.
  kDecoded,
  // Only where each entry lies (EntryReader::skip_payload): what an entry decodes to is then
  // learnt from it alone (read_like_entry_alone), which is right for every entry that takes
  // nothing from the entries before it, and says so when one does.
  kPlaced,
};

// Throws InputError when the file cannot be read, or an entry is cut short or (decoded) cannot be
// converted.
OriginalArchive read_original_archive(const std::filesystem::path& path,
                                      OriginalDepth depth = OriginalDepth::kDecoded);
OriginalArchive read_original_archive(std::istream& archive,
                                      OriginalDepth depth = OriginalDepth::kDecoded);

// Opens the archive for the readers below. Throws InputError.
std::ifstream open_original(const std::filesystem::path& path);

// The entry's bytes as they stand, filler included. Throws InputError when the archive no longer
// holds them.
std::vector<std::uint8_t> read_original_entry(std::istream& archive, const EntryRecord& entry);

// The bitmap of the entry whose bytes are `entry_bytes` (read_original_entry) as the converter
// writes it (turned over if it is, its resolution fields rewritten), made on its own: for an
// entry that borrows, the bytes that earlier entries left are zero here. Throws InputError when
// the converter cannot convert it.
std::vector<std::uint8_t> converted_bitmap(std::span<const std::uint8_t> entry_bytes,
                                           const EntryRecord& entry);

// Both of the above. Decoded again rather than kept, so that --like holds one decoded entry at
// a time.
std::vector<std::uint8_t> read_converted_bitmap(const std::filesystem::path& path,
                                                const EntryRecord& entry);
std::vector<std::uint8_t> read_converted_bitmap(std::istream& archive, const EntryRecord& entry);

// Hands `sink` the archive's bytes after its last entry, a part at a time. Throws InputError when
// the archive no longer holds them.
void read_trailing_bytes(std::istream& archive, const OriginalArchive& original,
                         const std::function<void(std::span<const std::uint8_t>)>& sink);

}  // namespace varnu::pack
