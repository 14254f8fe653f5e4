#include "patch/vcdiff.hpp"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Adler-32 over a run of 16-byte blocks, each place of a block a lane of its own, no lane's sum
// waiting on another's: a target is hundreds of megabytes, and its checksum is worked out on the
// one thread that writes the patch. `a` grows by every byte; `b` by `a` after each byte, that is
// by 16 times `a` as it was before each block (`earlier` adds up the run's sums before each
// block) and by each byte once more for each place after it in its block (`within`).
constexpr std::size_t kLanes = 16;
// Blocks whose sums cannot overflow 32 bits before they are reduced: zlib's NMAX of 5552 bytes.
constexpr std::size_t kMaxBlocks = 5552 / kLanes;

struct BlockSums {
  std::uint64_t added = 0, earlier = 0, within = 0;
};

#if defined(__SSE2__)
// Where the processor has SSE2 (every x86-64 one), as its instructions: the bytes' sums by
// _mm_sad_epu8, the weighted ones by _mm_madd_epi16.
BlockSums sum_blocks(const std::uint8_t* in, std::size_t blocks) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i first_weights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i last_weights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  __m128i sums = zero, before = zero, weighted = zero;
  for (std::size_t block = 0; block < blocks; ++block) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + block * kLanes));
    before = _mm_add_epi32(before, sums);
    sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
    weighted =
        _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), first_weights));
    weighted =
        _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), last_weights));
  }
  std::uint32_t s[4], p[4], w[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(s), sums);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), before);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(w), weighted);
  // _mm_sad_epu8 leaves its two sums in the low 32 bits of each half.
  return {std::uint64_t{s[0]} + s[2], std::uint64_t{p[0]} + p[2],
          std::uint64_t{w[0]} + w[1] + w[2] + w[3]};
}
#else
// Elsewhere (the WebAssembly build), lane by lane in plain code.
BlockSums sum_blocks(const std::uint8_t* in, std::size_t blocks) {
  std::uint32_t sums[kLanes] = {}, before[kLanes] = {};
  for (std::size_t block = 0; block < blocks; ++block) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      before[lane] += sums[lane];
      sums[lane] += in[block * kLanes + lane];
    }
  }
  BlockSums out;
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    out.added += sums[lane];
    out.earlier += before[lane];
    out.within += std::uint64_t{kLanes - lane} * sums[lane];
  }
  return out;
}
#endif

}  // namespace

std::uint32_t adler32(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t kBase = 65521;
  std::uint64_t a = adler & 0xFFFF;
  std::uint64_t b = adler >> 16;
  while (bytes.size() >= kLanes) {
    const std::size_t blocks = std::min(bytes.size() / kLanes, kMaxBlocks);
    const BlockSums sums = sum_blocks(bytes.data(), blocks);
    b = (b + kLanes * blocks * a + kLanes * sums.earlier + sums.within) % kBase;
    a = (a + sums.added) % kBase;
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
