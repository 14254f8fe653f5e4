// What --like takes from the archive that a set of pictures came out of.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>
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
  // Where its payload lies in the archive, for read_converted_bitmap.
  std::uint64_t payload_at = 0;
  std::size_t payload_size = 0;
};

// Walks the archive as the converter does, decoding every entry. Throws InputError when the
// file cannot be read, or an entry is cut short or cannot be converted.
std::vector<OriginalEntry> read_original_archive(const std::filesystem::path& path);
std::vector<OriginalEntry> read_original_archive(std::istream& archive);

// The entry's bitmap as the converter writes it (turned over if it is, its resolution fields
// rewritten). Decoded again rather than kept, so that --like holds one decoded entry at a time.
// Throws InputError when the archive no longer holds what the walk found.
std::vector<std::uint8_t> read_converted_bitmap(const std::filesystem::path& path,
                                                const OriginalEntry& entry);
std::vector<std::uint8_t> read_converted_bitmap(std::istream& archive, const OriginalEntry& entry);

}  // namespace varnu::pack
