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

// Bytes are taken in blocks of 16, each place of a block in a lane of its own, with no sum
// depending on the one just before it, so that compilers make vector instructions of the loop: a
// target is hundreds of megabytes, and the checksum is worked out as it is written. Over a run of
// blocks, `a` grows by every byte, and `b` by `a` after each byte: 16 times `a` as it was before
// each block (the run's start, and the blocks before within the run), and each byte of a block
// once more for each place after it in the block.
std::uint32_t adler32(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t kBase = 65521;
  constexpr std::size_t kLanes = 16;
  // Blocks whose sums cannot overflow 32 bits before they are reduced: 5552 bytes, zlib's NMAX,
  // for the sums of every lane together.
  constexpr std::size_t kMaxBlocks = 5552 / kLanes;
  std::uint64_t a = adler & 0xFFFF;
  std::uint64_t b = adler >> 16;
  while (bytes.size() >= kLanes) {
    const std::size_t blocks = std::min(bytes.size() / kLanes, kMaxBlocks);
    std::uint32_t sums[kLanes] = {};    // each lane's bytes so far
    std::uint32_t before[kLanes] = {};  // each lane's sums before each block, added up
    for (std::size_t block = 0; block < blocks; ++block) {
      const std::uint8_t* in = bytes.data() + block * kLanes;
      for (std::size_t lane = 0; lane < kLanes; ++lane) {
        before[lane] += sums[lane];
        sums[lane] += in[lane];
      }
    }
    std::uint64_t added = 0, within = 0, earlier = 0;
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      added += sums[lane];
      within += std::uint64_t{kLanes - lane} * sums[lane];
      earlier += before[lane];
    }
    b = (b + kLanes * blocks * a + kLanes * earlier + within) % kBase;
    a = (a + added) % kBase;
    bytes = bytes.subspan(blocks * kLanes);
  }
  for (const std::uint8_t byte : bytes) {
    a += byte;
    b += a;
  }
  return static_cast<std::uint32_t>((b % kBase) << 16 | (a % kBase));
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
