// What --like takes from the archive that a set of pictures came out of.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "bitmap/layout.hpp"
#include "pack/archive.hpp"

namespace varnu::pack {

struct OriginalEntry {
  UnreadBytes unread{};
  // The resolution fields of the decoded bitmap, which the converter overwrites.
  std::array<std::uint8_t, kResolutionFieldsSize> resolution{};
  // The converter turned this entry upside down.
  bool upside_down = false;
};

// Walks the archive as the converter does, decoding every entry. Throws InputError when the
// file cannot be read, or an entry is cut short or cannot be converted.
std::vector<OriginalEntry> read_original_archive(const std::filesystem::path& path);

}  // namespace varnu::pack
