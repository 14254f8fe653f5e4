#include "format/archive.hpp"

#include <algorithm>

namespace varnu {
namespace {

// Where the unread bytes lie: two between the magic and the length field, and the length
// field's last, above the length's three bytes.
constexpr std::size_t kUnreadHeaderAt = kEntryMagic.size();
constexpr std::size_t kUnreadLengthAt = kEntryHeaderSize + kSizeBytes;
static_assert(kUnreadHeaderAt + 2 == kEntryHeaderSize && kUnreadLengthAt + 1 == kPayloadOffset);

}  // namespace

std::size_t read_length_field(std::span<const std::uint8_t, kLengthFieldSize> field) {
  return read_le(field, 0, kSizeBytes);
}

std::array<std::uint8_t, kPayloadOffset> entry_start(std::size_t payload_size,
                                                     const UnreadBytes& unread) {
  std::array<std::uint8_t, kPayloadOffset> start{};
  std::copy(kEntryMagic.begin(), kEntryMagic.end(), start.begin());
  start[kUnreadHeaderAt] = unread[0];
  start[kUnreadHeaderAt + 1] = unread[1];
  store_le(start, kEntryHeaderSize, payload_size, kSizeBytes);
  start[kUnreadLengthAt] = unread[2];
  return start;
}

UnreadBytes unread_bytes(std::span<const std::uint8_t, kPayloadOffset> start) {
  return {start[kUnreadHeaderAt], start[kUnreadHeaderAt + 1], start[kUnreadLengthAt]};
}

std::size_t filler_size(std::uint64_t size) {
  return static_cast<std::size_t>((kEntryAlignment - size % kEntryAlignment) % kEntryAlignment);
}

}  // namespace varnu
