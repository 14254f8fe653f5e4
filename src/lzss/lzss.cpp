// LZSS decoding straight into the output.
//
// The stream is written for a ring that starts zero-filled (format/lzss.hpp), with the first
// output byte stored at ring position kRingStart and matches naming absolute ring positions.
// Output byte k always sits at ring position (kRingStart + k) mod kRingSize, so a match's ring
// position names an earlier output offset at a fixed distance back; positions never written name
// the zero-filled ring before the output's start. Decoding therefore copies from the output
// itself and needs no ring.
//
// Why it is fast: groups that lie well inside the payload take a path without bounds checks
// that copies runs of literals and matches in whole 8- or 16-byte blocks, even where that writes
// a few bytes past the item's end (see kMaxOvershoot). The last groups go through a checked path
// that copies exactly, keeps the end test between items and reads zeros past the end. Nothing is
// left written past the decoded length: those bytes belong to earlier entries.
#include "lzss/lzss.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/run_state.hpp"
#include "format/lzss.hpp"

namespace varnu {
namespace {

// A group is a flag byte and at most eight two-byte matches.
constexpr std::size_t kMaxGroupInput = 1 + kItemsPerGroup * 2;
// Every item consumes at most three payload bytes (its flag byte, two of its own) and yields at
// least one output byte, so input left over after a group yields at least a third as much
// output. With this much input left after the group, what the group wrote past its end is
// certain to be overwritten before decoding stops.
constexpr std::size_t kFastPathMinInput = kMaxGroupInput + 3 * kMaxOvershoot;

// How far back from output offset `i` the ring position `position` lies: 1 to kRingSize bytes.
// Distance kRingSize is the ring position about to be overwritten, written a whole ring earlier.
inline std::size_t match_distance(std::size_t i, std::size_t position) {
  const std::size_t r = (kRingStart + i) & kRingMask;
  const std::size_t back = (r - position) & kRingMask;
  return back == 0 ? kRingSize : back;
}

// One byte at a time, exactly: reads before the output's start are the zero-filled ring, and a
// source closer than `count` repeats the bytes the match itself writes.
inline void copy_match_exact(std::uint8_t* out, std::size_t i, std::size_t distance,
                             std::size_t count) {
  for (std::size_t k = i; k < i + count; ++k) out[k] = k >= distance ? out[k - distance] : 0;
}

// The same result in blocks, writing up to kMaxOvershoot bytes past the match. A block never
// reads bytes the same block writes: 16-byte blocks need a distance of 16, 8-byte ones 8.
inline void copy_match_fast(std::uint8_t* out, std::size_t i, std::size_t distance,
                            std::size_t count) {
  std::uint8_t* to = out + i;
  if (distance > i) {
    copy_match_exact(out, i, distance, count);
  } else if (distance >= 16) {
    const std::uint8_t* from = to - distance;
    std::memcpy(to, from, 16);
    if (count > 16) std::memcpy(to + 16, from + 16, 16);
  } else if (distance >= 8) {
    const std::uint8_t* from = to - distance;
    for (std::size_t k = 0; k < count; k += 8) std::memcpy(to + k, from + k, 8);
  } else if (distance == 1) {
    // A run of one byte, the most common match in pictures with flat areas.
    const std::uint64_t run = to[-1] * 0x0101010101010101ULL;
    for (std::size_t k = 0; k < count; k += 8) std::memcpy(to + k, &run, 8);
  } else {
    copy_match_exact(out, i, distance, count);
  }
}

// Decodes one group wholly inside the payload, with kExpandRoom bytes of room at out[i].
// Returns the new output offset; `j` moves past the group.
inline std::size_t decode_group_fast(const std::uint8_t* in, std::size_t& j, std::uint8_t* out,
                                     std::size_t i) {
  unsigned flags = in[j++];
  // Only the flags of items still to come are left in `flags`, so a run of ones never counts
  // past the group.
  for (unsigned items = kItemsPerGroup; items > 0;) {
    if (flags & 1) {
      // A run of literals, up to eight, copied as one block.
      const unsigned run = static_cast<unsigned>(std::countr_one(flags));
      std::memcpy(out + i, in + j, 8);
      i += run;
      j += run;
      flags >>= run;
      items -= run;
    } else {
      const std::size_t count = match_length(in[j + 1]);
      copy_match_fast(out, i, match_distance(i, match_position(in[j], in[j + 1])), count);
      i += count;
      j += 2;
      flags >>= 1;
      items -= 1;
    }
  }
  return i;
}

// Decodes the group at `j` where the payload may end inside it: the end test comes before every
// item but the first, and the item that straddles the end reads zeros past it.
inline std::size_t decode_group_checked(std::span<const std::uint8_t> payload, std::size_t& j,
                                        std::uint8_t* out, std::size_t i) {
  const std::size_t length = payload.size();
  auto byte_at = [&](std::size_t k) -> std::uint8_t { return k < length ? payload[k] : 0; };
  unsigned flags = payload[j++];
  for (std::size_t item = 0; item < kItemsPerGroup; ++item, flags >>= 1) {
    if (item > 0 && j >= length) break;
    if (flags & 1) {
      out[i++] = byte_at(j++);
    } else {
      const std::uint8_t b0 = byte_at(j);
      const std::uint8_t b1 = byte_at(j + 1);
      const std::size_t count = match_length(b1);
      copy_match_exact(out, i, match_distance(i, match_position(b0, b1)), count);
      i += count;
      j += 2;
    }
  }
  return i;
}

}  // namespace

std::size_t lzss_expand(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& image) {
  const std::size_t length = payload.size();
  const std::size_t size_before = image.size();
  std::size_t j = 0;
  std::size_t i = 0;
  while (j < length) {
    // Room for the group's output and for block copies running past it.
    if (image.size() - i < kExpandRoom) {
      image.resize(i + kExpandRoom);
    }
    if (length - j >= kFastPathMinInput) {
      i = decode_group_fast(payload.data(), j, image.data(), i);
    } else {
      i = decode_group_checked(payload, j, image.data(), i);
    }
  }
  image.resize(std::max(size_before, i));
  return i;
}

std::size_t lzss_decode(std::size_t length) {
  return lzss_expand(std::span<const std::uint8_t>(run.buffers.packed.data(), length),
                     run.buffers.image);
}

}  // namespace varnu
