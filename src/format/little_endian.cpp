#include "format/little_endian.hpp"

namespace varnu {

std::uint32_t read_le(std::span<const std::uint8_t> bytes, std::size_t offset, int count) {
  std::uint32_t value = 0;
  for (int k = count - 1; k >= 0; --k) value = value << 8 | bytes[offset + k];
  return value;
}

void store_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value, int count) {
  for (int k = 0; k < count; ++k) bytes[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

}  // namespace varnu
