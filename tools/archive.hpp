// Test archives: pictures packed as entries, entries put together, and files written whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/picture.hpp"

namespace varnu::tools {

// Each entry: the magic, two zero bytes, the payload length, a zero byte, the payload. Gaps up
// to the next boundary are zero; with pad_last the file also ends on one. Throws
// std::length_error for a payload longer than a length field can say.
std::vector<std::uint8_t> build_archive(const std::vector<std::vector<std::uint8_t>>& payloads,
                                        bool pad_last = true);

// The payload an archive holds for a picture: its bitmap file, packed.
std::vector<std::uint8_t> pack_entry_payload(const Picture& picture);

// Throws std::runtime_error when the file cannot be written completely.
void write_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace varnu::tools
