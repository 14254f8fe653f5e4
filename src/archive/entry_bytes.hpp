// An entry's bytes read again where a walk found them, for a caller that copies the entry as it
// stands (the packer) or makes its file again on its own (the page).
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <span>
#include <vector>

#include "archive/entry_reader.hpp"

namespace varnu::archive {

// The entry's bytes from its header to its end, filler included; nothing when the archive no
// longer holds that entry there.
std::optional<std::vector<std::uint8_t>> read_entry_bytes(std::istream& archive,
                                                          const EntryRecord& entry);

// Its payload, inside bytes that read_entry_bytes gave.
std::span<const std::uint8_t> payload_of(std::span<const std::uint8_t> entry_bytes,
                                         const EntryRecord& entry);

}  // namespace varnu::archive
