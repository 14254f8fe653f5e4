#include "pack/archive.hpp"

#include <algorithm>

namespace varnu::pack {

std::array<std::uint8_t, kEntryHeaderSize> entry_header(std::size_t payload_size,
                                                        const UnreadBytes& unread) {
  const auto length = static_cast<std::uint32_t>(payload_size);
  std::array<std::uint8_t, kEntryHeaderSize> header{};
  std::copy(kEntryMagic.begin(), kEntryMagic.end(), header.begin());
  header[6] = unread[0];
  header[7] = unread[1];
  header[8] = static_cast<std::uint8_t>(length);
  header[9] = static_cast<std::uint8_t>(length >> 8);
  header[10] = static_cast<std::uint8_t>(length >> 16);
  header[11] = unread[2];
  return header;
}

std::size_t filler_size(std::uint64_t size) {
  return static_cast<std::size_t>((kEntryAlignment - size % kEntryAlignment) % kEntryAlignment);
}

}  // namespace varnu::pack
