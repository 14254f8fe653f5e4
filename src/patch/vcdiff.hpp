// VCDIFF (RFC 3284), the patch format xdelta3 and every other delta patcher reads: the facts the
// writer and the reader share, each defined once.
//
//   header   D6 C3 C4 00, an indicator byte, then what it announces: a secondary compressor's id,
//            a code table of the patch's own, xdelta3's application header (file names)
//   windows  to the end: an indicator byte; the segment of the original (VCD_SOURCE) or of the
//            target already made (VCD_TARGET) that its copies read; the length of the rest; the
//            target window's length; a byte that says which sections are compressed; the lengths
//            of the data, instruction and address sections; with xdelta3's VCD_ADLER32 bit, the
//            Adler-32 of the target window, big-endian; the three sections.
//
// A window's instructions add bytes from the data section, run one byte, or copy from the string
// made of the segment followed by the target window so far. A copy's address is coded in one of
// nine modes: as it is, back from here, from one of the last four addresses (near), or as an
// exact recent address picked by one byte (same): AddressCache keeps what both sides remember.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace varnu::patch {

inline constexpr std::array<std::uint8_t, 4> kMagic = {0xD6, 0xC3, 0xC4, 0x00};

// The header's indicator byte.
inline constexpr std::uint8_t kSecondaryCompression = 0x01;  // VCD_DECOMPRESS: a compressor id
inline constexpr std::uint8_t kOwnCodeTable = 0x02;          // VCD_CODETABLE
inline constexpr std::uint8_t kApplicationHeader = 0x04;     // xdelta3's VCD_APPHEADER
// xdelta3's id for LZMA, its default secondary compressor.
inline constexpr std::uint8_t kLzmaCompressor = 2;

// A window's indicator byte.
inline constexpr std::uint8_t kFromOriginal = 0x01;  // VCD_SOURCE
inline constexpr std::uint8_t kFromTarget = 0x02;    // VCD_TARGET
inline constexpr std::uint8_t kAdler32 = 0x04;       // xdelta3's VCD_ADLER32

// Sizes in a varint of more bytes than this overflow 64 bits.
inline constexpr std::size_t kMaxVarintBytes = 10;

// Appends `value` as a VCDIFF integer: base 128, most significant group first, the top bit set
// on every byte but the last.
void put_varint(std::vector<std::uint8_t>& out, std::uint64_t value);
std::size_t varint_size(std::uint64_t value);

// Reads a VCDIFF integer from the front of `in`, moving past it. Nothing when `in` ends inside
// it or it is larger than 2^64 - 1.
std::optional<std::uint64_t> take_varint(std::span<const std::uint8_t>& in);

// Adler-32 (RFC 1950) of `bytes`, continued from `adler` (1 for none yet).
std::uint32_t adler32(std::uint32_t adler, std::span<const std::uint8_t> bytes);

enum class Kind : std::uint8_t { kNone, kAdd, kRun, kCopy };

// One half of a code table entry: what it does, its size (0: a varint in the instruction
// section gives it) and, for a copy, the address mode.
struct Half {
  Kind kind = Kind::kNone;
  std::uint8_t size = 0;
  std::uint8_t mode = 0;
};
struct Code {
  Half first;
  Half second;
};
using CodeTable = std::array<Code, 256>;

// RFC 3284's default table (section 5.6): RUN; ADD of 0 to 17; COPY of 0 and 4 to 18 in each
// mode; ADD 1-4 then COPY 4-6 (modes 0-5) or 4 (modes 6-8); COPY 4 then ADD 1.
const CodeTable& default_code_table();

// The address modes: 0 as it is (VCD_SELF), 1 back from here (VCD_HERE), then the near modes,
// then the same modes.
inline constexpr int kNearSlots = 4;
inline constexpr int kSameBlocks = 3;
inline constexpr std::uint8_t kSelfMode = 0;
inline constexpr std::uint8_t kHereMode = 1;
inline constexpr std::uint8_t kFirstNearMode = 2;
inline constexpr std::uint8_t kFirstSameMode = kFirstNearMode + kNearSlots;
inline constexpr int kModes = kFirstSameMode + kSameBlocks;

// The addresses both sides remember within a window (RFC 3284 section 5.1).
class AddressCache {
 public:
  void reset();
  // After each copy, its address.
  void update(std::uint64_t address);
  std::uint64_t near(int slot) const { return near_[static_cast<std::size_t>(slot)]; }
  std::uint64_t same(std::size_t index) const { return same_[index]; }

  // The mode that codes `address` at `here` in the fewest bytes, and that value: a varint, or
  // for a same mode the one byte.
  struct Coded {
    std::uint8_t mode = kSelfMode;
    std::uint64_t value = 0;
    std::size_t bytes = 0;
  };
  Coded best(std::uint64_t address, std::uint64_t here) const;

 private:
  std::array<std::uint64_t, kNearSlots> near_{};
  std::size_t next_near_ = 0;
  std::array<std::uint64_t, kSameBlocks * 256> same_{};
};

}  // namespace varnu::patch
