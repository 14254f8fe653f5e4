// LZSS decoding straight into the output.
//
// The stream is written for a 4096-byte ring that starts zero-filled, with the first output
// byte stored at ring position 4078 and matches naming absolute ring positions. Output byte k
// always sits at ring position (4078 + k) mod 4096, so a match's ring position names an earlier
// output offset at a fixed distance back; positions never written name the zero-filled ring
// before the output's start. Decoding therefore copies from the output itself and needs no ring.
//
// Groups that lie wholly inside the payload take a path without bounds checks; the last group
// goes through a checked path that keeps the end test between items and reads zeros past the
// end. Nothing is ever written past the decoded length: those bytes belong to earlier entries.
#include "lzss/lzss.hpp"

#include <algorithm>
#include <cstring>

#include "common/run_state.hpp"

namespace varnu {
namespace {

constexpr std::size_t kRingSize = 4096;
constexpr std::size_t kRingMask = kRingSize - 1;
constexpr std::size_t kFirstRingPosition = 4078;  // 0xFEE: 4096 less the longest match
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kItemsPerGroup = 8;
constexpr std::size_t kMaxMatch = kMinMatch + 0x0F;  // 18: the count nibble plus the minimum
// A group is a flag byte and at most eight two-byte matches.
constexpr std::size_t kMaxGroupInput = 1 + kItemsPerGroup * 2;
constexpr std::size_t kMaxGroupOutput = kItemsPerGroup * kMaxMatch;

// How far back from output offset `i` the ring position `position` lies: 1 to 4096 bytes.
// Distance 4096 is the ring position about to be overwritten, written 4096 bytes earlier.
inline std::size_t match_distance(std::size_t i, std::size_t position) {
  const std::size_t r = (kFirstRingPosition + i) & kRingMask;
  const std::size_t back = (r - position) & kRingMask;
  return back == 0 ? kRingSize : back;
}

// Copies one match of `count` bytes to out[i..]. Reads before the output's start are the
// zero-filled ring; a source closer than `count` repeats the bytes the match itself writes.
inline void copy_match(std::uint8_t* out, std::size_t i, std::size_t position, std::size_t count) {
  const std::size_t distance = match_distance(i, position);
  if (distance <= i && distance >= count) {
    std::memcpy(out + i, out + i - distance, count);
    return;
  }
  for (std::size_t t = 0; t < count; ++t) {
    const std::size_t k = i + t;
    out[k] = k >= distance ? out[k - distance] : 0;
  }
}

inline std::size_t match_position(std::uint8_t b0, std::uint8_t b1) {
  return b0 | static_cast<std::size_t>(b1 & 0xF0) << 4;
}

inline std::size_t match_count(std::uint8_t b1) {
  return (b1 & 0x0F) + kMinMatch;
}

}  // namespace

std::size_t lzss_expand(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& image) {
  const std::size_t length = payload.size();
  const std::size_t size_before = image.size();
  const std::uint8_t* in = payload.data();
  std::uint8_t* out = image.data();
  std::size_t j = 0;
  std::size_t i = 0;

  while (j < length) {
    // Every group may write up to kMaxGroupOutput bytes; make room before it starts.
    if (image.size() - i < kMaxGroupOutput) {
      image.resize(i + kMaxGroupOutput);
      out = image.data();
    }
    unsigned flags = in[j++];
    if (length - j + 1 >= kMaxGroupInput) {
      for (std::size_t item = 0; item < kItemsPerGroup; ++item, flags >>= 1) {
        if (flags & 1) {
          out[i++] = in[j++];
        } else {
          const std::size_t count = match_count(in[j + 1]);
          copy_match(out, i, match_position(in[j], in[j + 1]), count);
          i += count;
          j += 2;
        }
      }
      continue;
    }
    // The last group: the end test comes before every item but the first, and the item that
    // straddles the end reads zeros past it.
    auto byte_at = [&](std::size_t k) -> std::uint8_t { return k < length ? in[k] : 0; };
    for (std::size_t item = 0; item < kItemsPerGroup; ++item, flags >>= 1) {
      if (item > 0 && j >= length) break;
      if (flags & 1) {
        out[i++] = byte_at(j++);
      } else {
        const std::uint8_t b0 = byte_at(j);
        const std::uint8_t b1 = byte_at(j + 1);
        const std::size_t count = match_count(b1);
        copy_match(out, i, match_position(b0, b1), count);
        i += count;
        j += 2;
      }
    }
  }
  image.resize(std::max(size_before, i));
  return i;
}

void lzss_decode(std::size_t length) {
  lzss_expand(std::span<const std::uint8_t>(run.packed.data(), length), run.image);
}

}  // namespace varnu
