#include "tools/lzss_pack.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace varnu::tools {
namespace {

constexpr std::size_t kWindow = 4096;
constexpr std::size_t kWindowMask = kWindow - 1;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
// Where the decoder writes its first output byte.
constexpr std::size_t kStartPosition = 0xFEE;

constexpr int kHashBits = 15;
// Deeper chains barely shrink picture data (the matches are at most 18 bytes long) but cost
// time; 64 keeps the packer above a hundred megabytes a second.
constexpr int kMaxChainDepth = 64;

struct Match {
  std::size_t length = 0;
  std::size_t source = 0;  // index into the extended buffer
};

// Works on the input preceded by kWindow zero bytes: those stand for the ring before anything
// is written, so runs of zeros near the start can be copied from it like any earlier data.
// Extended index e corresponds to output index e - kWindow, i.e. ring slot
// (kStartPosition + e - kWindow) & kWindowMask.
class MatchFinder {
 public:
  explicit MatchFinder(std::span<const std::uint8_t> buffer)
      : buf_(buffer), head_(std::size_t{1} << kHashBits, kNone), prev_(kWindow, kNone) {}

  void insert(std::size_t pos) {
    if (pos + kMinMatch > buf_.size()) return;
    const std::size_t h = hash(pos);
    // prev_ is a ring: a slot is only overwritten by a position a full window later, and by
    // then the position it held is out of reach, so walking a chain never sees stale links.
    prev_[pos & kWindowMask] = head_[h];
    head_[h] = static_cast<std::ptrdiff_t>(pos);
  }

  // Longest match for `pos` against the kWindow bytes before it. Positions must be inserted in
  // increasing order and `pos` itself must not be inserted yet.
  Match find(std::size_t pos) const {
    Match best;
    const std::size_t limit = std::min(kMaxMatch, buf_.size() - pos);
    if (limit < kMinMatch) return best;
    const auto lowest = static_cast<std::ptrdiff_t>(pos - kWindow);
    const std::uint8_t* const here = buf_.data() + pos;
    std::size_t best_length = kMinMatch - 1;
    std::ptrdiff_t candidate = head_[hash(pos)];
    for (int depth = kMaxChainDepth; candidate >= lowest && depth > 0; --depth) {
      const std::uint8_t* const there = buf_.data() + candidate;
      // Checking the byte that would make this candidate better first rejects most of them
      // without a full comparison.
      if (there[best_length] == here[best_length]) {
        std::size_t n = 0;
        while (n < limit && there[n] == here[n]) ++n;
        if (n > best_length) {
          best_length = n;
          best.length = n;
          best.source = static_cast<std::size_t>(candidate);
          if (n == limit) break;
        }
      }
      candidate = prev_[static_cast<std::size_t>(candidate) & kWindowMask];
    }
    return best;
  }

 private:
  static constexpr std::ptrdiff_t kNone = -1;

  std::size_t hash(std::size_t pos) const {
    const std::uint32_t key = static_cast<std::uint32_t>(buf_[pos]) << 16 |
                              static_cast<std::uint32_t>(buf_[pos + 1]) << 8 | buf_[pos + 2];
    return (key * 2654435761u) >> (32 - kHashBits);
  }

  std::span<const std::uint8_t> buf_;
  std::vector<std::ptrdiff_t> head_;
  std::vector<std::ptrdiff_t> prev_;
};

class StreamWriter {
 public:
  explicit StreamWriter(std::size_t expected_input) { out_.reserve(expected_input / 2 + 16); }

  void literal(std::uint8_t byte) {
    const std::uint8_t bit = begin_item();
    out_[flag_index_] |= bit;
    out_.push_back(byte);
  }

  void match(std::size_t ring_position, std::size_t length) {
    begin_item();
    out_.push_back(static_cast<std::uint8_t>(ring_position & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(((ring_position >> 4) & 0xF0) | (length - kMinMatch)));
  }

  std::vector<std::uint8_t> take() { return std::move(out_); }

 private:
  // A flag byte is only started when an item needs it, so the stream never ends in an unused
  // flag byte that a decoder would read as more items.
  std::uint8_t begin_item() {
    if (bit_ == 0) {
      flag_index_ = out_.size();
      out_.push_back(0);
    }
    const auto mask = static_cast<std::uint8_t>(1u << bit_);
    bit_ = (bit_ + 1) & 7;
    return mask;
  }

  std::vector<std::uint8_t> out_;
  std::size_t flag_index_ = 0;
  unsigned bit_ = 0;
};

}  // namespace

std::vector<std::uint8_t> lzss_pack(std::span<const std::uint8_t> data) {
  if (data.empty()) return {};

  std::vector<std::uint8_t> extended(kWindow + data.size(), 0);
  std::copy(data.begin(), data.end(), extended.begin() + kWindow);
  const std::size_t end = extended.size();

  MatchFinder finder(extended);
  for (std::size_t pos = 0; pos < kWindow; ++pos) finder.insert(pos);

  StreamWriter writer(data.size());
  std::size_t pos = kWindow;
  Match current;
  bool current_known = false;
  while (pos < end) {
    if (!current_known) current = finder.find(pos);
    current_known = false;
    finder.insert(pos);

    // One step of lazy evaluation: if the next byte starts a longer match, a literal here
    // pays for itself.
    if (current.length >= kMinMatch && current.length < kMaxMatch && pos + 1 < end) {
      const Match next = finder.find(pos + 1);
      if (next.length > current.length) {
        writer.literal(extended[pos]);
        ++pos;
        current = next;
        current_known = true;
        continue;
      }
    }

    if (current.length >= kMinMatch) {
      writer.match((current.source + kStartPosition) & kWindowMask, current.length);
      for (std::size_t p = pos + 1; p < pos + current.length; ++p) finder.insert(p);
      pos += current.length;
    } else {
      writer.literal(extended[pos]);
      ++pos;
    }
  }
  return writer.take();
}

}  // namespace varnu::tools
