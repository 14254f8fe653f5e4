#include "patch/vcdiff.hpp"

#include <algorithm>

namespace varnu::patch {

void put_varint(std::vector<std::uint8_t>& out, std::uint64_t value) {
  std::array<std::uint8_t, kMaxVarintBytes> groups{};
  std::size_t count = 0;
  do {
    groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

std::size_t varint_size(std::uint64_t value) {
  std::size_t bytes = 1;
  while (value >>= 7) ++bytes;
  return bytes;
}

std::optional<std::uint64_t> take_varint(std::span<const std::uint8_t>& in) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < in.size() && k < kMaxVarintBytes; ++k) {
    if (value >> 57 != 0) return std::nullopt;  // seven more bits would not fit
    value = value << 7 | (in[k] & 0x7F);
    if ((in[k] & 0x80) == 0) {
      in = in.subspan(k + 1);
      return value;
    }
  }
  return std::nullopt;
}

std::uint32_t adler32(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t kBase = 65521;
  // The most bytes whose sums cannot overflow 32 bits before they are reduced (zlib's NMAX).
  constexpr std::size_t kMaxRun = 5552;
  std::uint32_t a = adler & 0xFFFF;
  std::uint32_t b = adler >> 16;
  while (!bytes.empty()) {
    const std::size_t run = std::min(bytes.size(), kMaxRun);
    for (const std::uint8_t byte : bytes.first(run)) {
      a += byte;
      b += a;
    }
    a %= kBase;
    b %= kBase;
    bytes = bytes.subspan(run);
  }
  return b << 16 | a;
}

const CodeTable& default_code_table() {
  static const CodeTable table = [] {
    CodeTable t{};
    std::size_t k = 0;
    t[k++] = {{Kind::kRun, 0, 0}, {}};
    for (std::uint8_t size = 0; size <= 17; ++size) t[k++] = {{Kind::kAdd, size, 0}, {}};
    for (std::uint8_t mode = 0; mode < kModes; ++mode) {
      t[k++] = {{Kind::kCopy, 0, mode}, {}};
      for (std::uint8_t size = 4; size <= 18; ++size) t[k++] = {{Kind::kCopy, size, mode}, {}};
    }
    for (std::uint8_t mode = 0; mode < kModes; ++mode) {
      const std::uint8_t largest_copy = mode < kFirstSameMode ? 6 : 4;
      for (std::uint8_t add = 1; add <= 4; ++add) {
        for (std::uint8_t copy = 4; copy <= largest_copy; ++copy) {
          t[k++] = {{Kind::kAdd, add, 0}, {Kind::kCopy, copy, mode}};
        }
      }
    }
    for (std::uint8_t mode = 0; mode < kModes; ++mode) {
      t[k++] = {{Kind::kCopy, 4, mode}, {Kind::kAdd, 1, 0}};
    }
    return t;
  }();
  return table;
}

void AddressCache::reset() {
  near_.fill(0);
  next_near_ = 0;
  same_.fill(0);
}

void AddressCache::update(std::uint64_t address) {
  near_[next_near_] = address;
  next_near_ = (next_near_ + 1) % kNearSlots;
  same_[address % same_.size()] = address;
}

AddressCache::Coded AddressCache::best(std::uint64_t address, std::uint64_t here) const {
  Coded best{kSelfMode, address, varint_size(address)};
  const auto consider = [&](std::uint8_t mode, std::uint64_t value) {
    const std::size_t bytes = varint_size(value);
    if (bytes < best.bytes) best = {mode, value, bytes};
  };
  consider(kHereMode, here - address);
  for (int slot = 0; slot < kNearSlots; ++slot) {
    if (address >= near_[static_cast<std::size_t>(slot)]) {
      consider(static_cast<std::uint8_t>(kFirstNearMode + slot),
               address - near_[static_cast<std::size_t>(slot)]);
    }
  }
  const std::size_t index = address % same_.size();
  if (same_[index] == address && best.bytes > 1) {
    best = {static_cast<std::uint8_t>(kFirstSameMode + index / 256), index % 256, 1};
  }
  return best;
}

}  // namespace varnu::patch
