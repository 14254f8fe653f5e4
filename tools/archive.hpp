// Test archives: pictures packed as entries, and files written whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pack/archive.hpp"
#include "tools/picture.hpp"

namespace varnu::tools {

// The payload an archive holds for a picture: its bitmap file, packed.
std::vector<std::uint8_t> pack_entry_payload(const Picture& picture);

// Throws std::runtime_error when the file cannot be written completely.
void write_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace varnu::tools
