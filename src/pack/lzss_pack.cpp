// The packer: an optimal parse over the longest match at every position.
//
// Every literal costs 9 bits (its flag bit and byte) and every match 17 (its flag bit and two
// bytes), whatever it copies, and any match can be cut short to any length from 3 up. So once
// the longest match at each position is known, the smallest stream is a shortest path over the
// positions: from each position, one step of 1 byte (a literal) or of 3 to that longest length
// (a match), found backwards from the end in one pass. The stream's size in bytes is its size
// in bits rounded up to whole flag groups, so the path that is shortest in bits is shortest in
// bytes too.
//
// Why it is fast: the longest matches come from hash chains walked to a bounded depth, and a
// position usually inherits a match one shorter from the position before it, so the walk only
// looks at candidates that could beat that. Picture data is mostly short repeats and runs, which
// this finds at once; the few matches the bounded walk misses cost a fraction of a percent.
#include "pack/lzss_pack.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace varnu::pack {
namespace {

constexpr std::size_t kWindow = 4096;
constexpr std::size_t kWindowMask = kWindow - 1;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
// Where the decoder writes its first output byte.
constexpr std::size_t kStartPosition = 0xFEE;

constexpr int kHashBits = 15;
// With runs skipped, 128 candidates find the true longest match at nearly every position of
// picture data: the streams come within 0.1% of an unbounded search (bench/pack_bench.cpp), and
// twice the depth buys a few hundred bytes in a megabyte at a sixth more time. The bound keeps
// data with many short repeats from costing a whole window per position.
constexpr int kMaxChainDepth = 128;

// Runs are measured only as far as a match can reach past them.
constexpr int kRunCap = 255;

constexpr std::uint32_t kLiteralBits = 9;
constexpr std::uint32_t kMatchBits = 17;

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
      : buf_(buffer),
        head_(std::size_t{1} << kHashBits, kNone),
        prev_(kWindow, kNone),
        run_(buffer.size()),
        run_start_(buffer.size()) {
    for (std::size_t p = buffer.size(); p-- > 0;) {
      const bool same = p + 1 < buffer.size() && buffer[p + 1] == buffer[p];
      run_[p] = same ? static_cast<std::uint8_t>(std::min(run_[p + 1] + 1, kRunCap)) : 1;
    }
    for (std::size_t p = 1; p < buffer.size(); ++p) {
      run_start_[p] =
          buffer[p - 1] == buffer[p] ? run_start_[p - 1] : static_cast<std::uint32_t>(p);
    }
  }

  void insert(std::size_t pos) {
    if (pos + kMinMatch > buf_.size()) return;
    const std::size_t h = hash(pos);
    // prev_ is a ring: a slot is only overwritten by a position a full window later, and by
    // then the position it held is out of reach, so walking a chain never sees stale links.
    prev_[pos & kWindowMask] = head_[h];
    head_[h] = static_cast<std::ptrdiff_t>(pos);
  }

  // Longest match for `pos` against the kWindow bytes before it, at least as long as `known`
  // (a match already found there, or none). Positions must be inserted in increasing order and
  // `pos` itself must not be inserted yet.
  Match find(std::size_t pos, Match known = {}) const {
    Match best = known;
    const std::size_t limit = std::min(kMaxMatch, buf_.size() - pos);
    if (limit < kMinMatch || best.length == limit) return best;
    const auto lowest = static_cast<std::ptrdiff_t>(pos - kWindow);
    const std::uint8_t* const here = buf_.data() + pos;
    std::size_t best_length = std::max(best.length, kMinMatch - 1);
    std::ptrdiff_t candidate = head_[hash(pos)];
    // Inside a run of one byte value, a candidate inside an earlier run of it matches exactly
    // as far as the shorter of the two runs goes on, and beyond that only where the two runs end
    // together: one position per earlier run is worth comparing.
    const std::size_t here_run = run_[pos];
    const bool in_run = here_run >= kMinMatch && here_run < limit;
    for (int depth = kMaxChainDepth; candidate >= lowest && depth > 0; --depth) {
      if (in_run && buf_[candidate] == here[0] && run_[candidate] >= kMinMatch &&
          run_[candidate] != here_run) {
        const std::size_t start = run_start_[candidate];
        const std::size_t run_left = run_[candidate];
        const std::size_t at_equal = candidate + run_left - here_run;  // may precede the run
        if (run_left < here_run && at_equal >= start &&
            at_equal >= static_cast<std::size_t>(lowest)) {
          candidate = static_cast<std::ptrdiff_t>(at_equal);
        } else {
          if (run_left > here_run && here_run > best.length) {
            best = {here_run, static_cast<std::size_t>(candidate)};
            best_length = here_run;
          }
          // On to the runs before this one, if the chain still reaches back there.
          if (start < static_cast<std::size_t>(lowest)) break;
          candidate = prev_[start & kWindowMask];
          continue;
        }
      }
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
  // How many bytes from each position equal it, counting itself (at most kRunCap), and where
  // the run of equal bytes it lies in starts.
  std::vector<std::uint8_t> run_;
  std::vector<std::uint32_t> run_start_;
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

  const std::size_t n = data.size();
  std::vector<std::uint8_t> extended;
  extended.reserve(kWindow + n);
  extended.assign(kWindow, 0);
  extended.insert(extended.end(), data.begin(), data.end());

  // The longest match at every position (length 0: none).
  std::vector<std::uint8_t> length(n);
  std::vector<std::uint16_t> ring_position(n);
  MatchFinder finder(extended);
  for (std::size_t pos = 0; pos < kWindow; ++pos) finder.insert(pos);
  Match previous;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t pos = kWindow + i;
    // The match before, one byte on, is a match here one byte shorter.
    Match known;
    if (previous.length > kMinMatch) known = {previous.length - 1, previous.source + 1};
    const std::size_t limit = std::min(kMaxMatch, extended.size() - pos);
    if (known.length == limit - 1 &&
        extended[known.source + known.length] == extended[pos + known.length]) {
      known.length = limit;
    }
    previous = finder.find(pos, known);
    finder.insert(pos);
    length[i] = static_cast<std::uint8_t>(previous.length);
    ring_position[i] = static_cast<std::uint16_t>((previous.source + kStartPosition) & kWindowMask);
  }

  // Shortest path from each position to the end, in bits. Every match costs the same, so the
  // best match step is the one landing where the rest is cheapest; which step that was is
  // found again on the way forward, only at the positions the path visits.
  std::vector<std::uint32_t> cost(n + 1, 0);
  for (std::size_t i = n; i-- > 0;) {
    std::uint32_t after_match = UINT32_MAX - kMatchBits;
    const std::uint32_t* const from = cost.data() + i;
    for (std::size_t l = kMinMatch; l <= length[i]; ++l)
      after_match = std::min(after_match, from[l]);
    cost[i] = std::min(kLiteralBits + cost[i + 1], kMatchBits + after_match);
  }

  StreamWriter writer(n);
  for (std::size_t i = 0; i < n;) {
    if (cost[i] == kLiteralBits + cost[i + 1]) {
      writer.literal(data[i]);
      ++i;
      continue;
    }
    std::size_t l = length[i];
    while (kMatchBits + cost[i + l] != cost[i]) --l;
    writer.match(ring_position[i], l);
    i += l;
  }
  return writer.take();
}

}  // namespace varnu::pack
