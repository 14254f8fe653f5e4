#include "archive/entry_bytes.hpp"

#include <algorithm>

namespace varnu::archive {

std::optional<std::vector<std::uint8_t>> read_entry_bytes(std::istream& archive,
                                                          const EntryRecord& entry) {
  // The walk found at most kMaxPayloadSize bytes of payload and less than an entry boundary of
  // filler; a record that says more did not come from a walk.
  const std::uint64_t size = entry.end - entry.offset;
  if (entry.end < entry.payload_offset() + entry.packed_size ||
      entry.packed_size > kMaxPayloadSize || size > kPayloadOffset + kMaxPayloadSize + kEntryAlignment) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  archive.clear();
  archive.seekg(static_cast<std::streamoff>(entry.offset));
  archive.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::uint64_t>(archive.gcount()) != size) return std::nullopt;
  const std::span<const std::uint8_t, kPayloadOffset> start(bytes.data(), kPayloadOffset);
  if (!std::equal(kEntryMagic.begin(), kEntryMagic.end(), start.begin()) ||
      read_length_field(start.subspan<kEntryHeaderSize, kLengthFieldSize>()) != entry.packed_size) {
    return std::nullopt;
  }
  return bytes;
}

std::span<const std::uint8_t> payload_of(std::span<const std::uint8_t> entry_bytes,
                                         const EntryRecord& entry) {
  return entry_bytes.subspan(kPayloadOffset, entry.packed_size);
}

}  // namespace varnu::archive
