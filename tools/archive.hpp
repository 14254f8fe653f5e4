// Writing archives: entries of a 12-byte header and an LZSS payload, each on a 2048-byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/picture.hpp"

namespace varnu::tools {

inline constexpr std::size_t kEntryAlignment = 2048;
inline constexpr std::size_t kEntryHeaderSize = 12;
// The length field has three bytes.
inline constexpr std::size_t kMaxPayloadSize = 0xFFFFFF;

// Each entry: "vazmur", two zero bytes, the payload length (24-bit little-endian), a zero byte,
// the payload. Gaps up to the next boundary are zero; with pad_last the file also ends on one.
// Throws std::length_error for a payload longer than kMaxPayloadSize.
std::vector<std::uint8_t> build_archive(const std::vector<std::vector<std::uint8_t>>& payloads,
                                        bool pad_last = true);

// The payload an archive holds for a picture: its bitmap file, packed.
std::vector<std::uint8_t> pack_entry_payload(const Picture& picture);

// Throws std::runtime_error when the file cannot be written completely.
void write_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace varnu::tools
