#include "pack/archive.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

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

std::vector<std::uint8_t> build_archive(const std::vector<std::vector<std::uint8_t>>& payloads,
                                        bool pad_last) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const auto& payload = payloads[i];
    if (payload.size() > kMaxPayloadSize) {
      throw std::length_error("entry " + std::to_string(i) + " is " +
                              std::to_string(payload.size()) + " bytes, more than a " +
                              "24-bit length can hold");
    }
    out.resize(out.size() + filler_size(out.size()), 0);
    const auto header = entry_header(payload.size(), UnreadBytes{});
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin(), payload.end());
  }
  if (pad_last) out.resize(out.size() + filler_size(out.size()), 0);
  return out;
}

}  // namespace varnu::pack
