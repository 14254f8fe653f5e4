#include "patch/matcher.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace varnu::patch {
namespace {

// A copy shorter than this saves nothing once its instruction and address are coded.
constexpr std::size_t kMinMatch = 4;
// Hash tables of about as many slots as the bytes they index, within these bounds: chains of
// unrelated places (noise that shares four bytes by chance) cost the search a cache miss each.
constexpr int kFewestHashBits = 10;
constexpr int kMostHashBits = 20;
// How many earlier places with the same four bytes are tried, in the original entry and in the
// entry itself: enough for a picture's repeats, few enough for noise.
constexpr int kOriginalTries = 48;
constexpr int kTargetTries = 16;
// A match this long is taken without looking one position further, or for a longer one: in flat
// areas every place matches at length, and trying them all would cost the search its speed.
constexpr std::size_t kLongEnough = 128;
constexpr std::int32_t kNone = -1;

int hash_bits_for(std::size_t size) {
  int bits = kFewestHashBits;
  while (bits < kMostHashBits && (std::size_t{1} << bits) < size) ++bits;
  return bits;
}

std::size_t common_length(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t n = 0;
  while (n + 8 <= limit) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) break;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Every place of `bytes` where four bytes start, chained by their hash, latest first.
class Chains {
 public:
  // For about `size` bytes, which it may exceed.
  explicit Chains(std::size_t size)
      : bits_(hash_bits_for(size)), head_(std::size_t{1} << bits_, kNone) {
    previous_.reserve(size);
  }
  void insert(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (previous_.size() <= at) previous_.resize(std::max(at + 1, previous_.size() * 2));
    const std::uint32_t h = hash_at(bytes.data() + at);
    previous_[at] = head_[h];
    head_[h] = static_cast<std::int32_t>(at);
  }
  void clear() {
    std::fill(head_.begin(), head_.end(), kNone);
    previous_.clear();
  }
  std::int32_t first(const std::uint8_t* at) const { return head_[hash_at(at)]; }
  std::int32_t next(std::int32_t at) const { return previous_[static_cast<std::size_t>(at)]; }

 private:
  std::uint32_t hash_at(const std::uint8_t* at) const {
    std::uint32_t four;
    std::memcpy(&four, at, sizeof four);
    return (four * 2654435761u) >> (32 - bits_);
  }

  int bits_;
  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> previous_;
};

enum class From { kOriginal, kTarget, kRun };

struct Match {
  From from = From::kOriginal;
  std::size_t where = 0;  // in the original entry, or in the history
  std::size_t length = 0;
  std::ptrdiff_t saves = 0;  // bytes saved against adding them
  std::size_t floor = 0;     // where the bytes it is found in begin
};

}  // namespace

// The new bytes of the window, one piece after another as they were given, each where it lies in
// the target.
struct MatchHistory::State {
  struct Piece {
    std::size_t offset = 0;
    std::uint64_t position = 0;
  };
  std::vector<std::uint8_t> bytes;
  std::vector<Piece> pieces;
  Chains chains;
  std::size_t indexed = 0;
  std::uint64_t window_start = UINT64_MAX;

  explicit State(std::uint64_t window_size) : chains(static_cast<std::size_t>(window_size)) {}
  void start(std::uint64_t window) {
    if (window == window_start) return;
    bytes.clear();
    pieces.clear();
    chains.clear();
    indexed = 0;
    window_start = window;
  }
  const Piece& piece_of(std::size_t offset) const {
    const auto after = std::upper_bound(pieces.begin(), pieces.end(), offset,
                                        [](std::size_t o, const Piece& p) { return o < p.offset; });
    return *(after - 1);
  }
  std::size_t piece_end(std::size_t offset) const {
    const auto after = std::upper_bound(pieces.begin(), pieces.end(), offset,
                                        [](std::size_t o, const Piece& p) { return o < p.offset; });
    return after == pieces.end() ? bytes.size() : after->offset;
  }
};

MatchHistory::MatchHistory(std::uint64_t window_size)
    : state_(std::make_unique<State>(window_size)) {}
MatchHistory::~MatchHistory() = default;

class Matcher {
 public:
  Matcher(std::span<const std::uint8_t> target, std::span<const std::uint8_t> source,
          std::uint64_t source_offset, std::size_t replaced_at, VcdiffWriter& writer,
          MatchHistory::State& history)
      : source_(source),
        source_offset_(source_offset),
        replaced_at_(replaced_at),
        last_distance_(static_cast<std::ptrdiff_t>(replaced_at)),
        writer_(writer),
        history_(history),
        in_source_(source.size()) {
    history.start(writer.window_start());
    piece_ = history.bytes.size();
    history.pieces.push_back({piece_, writer.position()});
    history.bytes.insert(history.bytes.end(), target.begin(), target.end());
    target_ = std::span<const std::uint8_t>(history.bytes).subspan(piece_);
    for (std::size_t at = 0; at + kMinMatch <= source.size(); ++at) in_source_.insert(source, at);
  }

  void run() {
    std::size_t at = 0;
    while (at < target_.size()) {
      std::optional<Match> match = best_at(at);
      if (match && match->length < kLongEnough) {
        const std::optional<Match> later = best_at(at + 1);
        if (later && later->saves > match->saves + 1) match.reset();
      }
      if (!match) {
        ++at;
        continue;
      }
      grow_backwards(*match, at);
      write_added(at);
      write_match(*match, at);
      at += match->length;
      added_from_ = at;
    }
    write_added(target_.size());
  }

 private:
  std::optional<Match> best_at(std::size_t at) {
    const std::size_t limit = target_.size() - std::min(at, target_.size());
    if (limit < kMinMatch) return std::nullopt;
    const std::span<const std::uint8_t> made = history_.bytes;
    for (; history_.indexed < piece_ + at; ++history_.indexed) {
      if (history_.indexed + kMinMatch <= made.size())
        history_.chains.insert(made, history_.indexed);
    }
    const std::uint8_t* here = target_.data() + at;
    std::optional<Match> best;
    const auto keep = [&](const Match& m) {
      if (m.length >= kMinMatch && m.saves > 0 &&
          (!best || m.saves > best->saves || (m.saves == best->saves && m.length > best->length))) {
        best = m;
      }
    };
    const auto try_original = [&](std::size_t where) {
      if (where >= source_.size()) return;
      const std::size_t length =
          common_length(here, source_.data() + where, std::min(limit, source_.size() - where));
      if (length < kMinMatch) return;
      const std::optional<std::size_t> address =
          writer_.original_address_bytes(source_offset_ + where);
      if (address) keep({From::kOriginal, where, length, saving(length, *address), 0});
    };
    const auto long_enough = [&] { return best && best->length >= kLongEnough; };
    const std::ptrdiff_t carried = static_cast<std::ptrdiff_t>(at) + last_distance_;
    if (carried >= 0) try_original(static_cast<std::size_t>(carried));
    const std::size_t same_place = replaced_at_ + at;
    if (static_cast<std::ptrdiff_t>(same_place) != carried) try_original(same_place);
    int tries = kOriginalTries;
    for (std::int32_t c = in_source_.first(here); c != kNone && tries-- > 0 && !long_enough();
         c = in_source_.next(c)) {
      try_original(static_cast<std::size_t>(c));
    }
    tries = kTargetTries;
    for (std::int32_t c = history_.chains.first(here); c != kNone && tries-- > 0 && !long_enough();
         c = history_.chains.next(c)) {
      const auto where = static_cast<std::size_t>(c);
      const std::size_t length = common_length(here, made.data() + where,
                                               std::min(limit, history_.piece_end(where) - where));
      if (length < kMinMatch) continue;
      const MatchHistory::State::Piece& piece = history_.piece_of(where);
      const std::optional<std::size_t> address =
          writer_.target_address_bytes(piece.position + (where - piece.offset));
      if (address) {
        keep({From::kTarget, where, length, saving(length, *address), piece.offset});
      }
    }
    std::size_t run = 1;
    while (run < limit && here[run] == here[0]) ++run;
    // A run codes as its instruction, its size and one byte of data.
    if (run >= kMinMatch) {
      keep({From::kRun, 0, run,
            static_cast<std::ptrdiff_t>(run) - 2 - static_cast<std::ptrdiff_t>(varint_size(run)),
            0});
    }
    return best;
  }

  // What a copy of `length` bytes saves against adding them: its instruction (shared with a
  // neighbour or not, one byte), its size when the table has no code for it, and its address.
  static std::ptrdiff_t saving(std::size_t length, std::size_t address_bytes) {
    const std::size_t size_bytes = length <= 18 ? 0 : varint_size(length);
    return static_cast<std::ptrdiff_t>(length) -
           static_cast<std::ptrdiff_t>(1 + size_bytes + address_bytes);
  }

  void grow_backwards(Match& match, std::size_t& at) const {
    if (match.from == From::kRun) return;
    const std::uint8_t* from =
        match.from == From::kOriginal ? source_.data() : history_.bytes.data();
    while (at > added_from_ && match.where > match.floor &&
           target_[at - 1] == from[match.where - 1]) {
      --at;
      --match.where;
      ++match.length;
    }
  }

  void write_added(std::size_t end) {
    if (end > added_from_) writer_.add(target_.subspan(added_from_, end - added_from_));
    added_from_ = end;
  }

  void write_match(const Match& match, std::size_t at) {
    const std::span<const std::uint8_t> bytes = target_.subspan(at, match.length);
    switch (match.from) {
      case From::kOriginal:
        writer_.copy_original(source_offset_ + match.where, bytes);
        last_distance_ = static_cast<std::ptrdiff_t>(match.where) - static_cast<std::ptrdiff_t>(at);
        break;
      case From::kTarget: {
        const MatchHistory::State::Piece& piece = history_.piece_of(match.where);
        writer_.copy_target(piece.position + (match.where - piece.offset), bytes);
        break;
      }
      case From::kRun:
        writer_.run(bytes[0], bytes.size());
        break;
    }
  }

  std::span<const std::uint8_t> source_;
  std::uint64_t source_offset_;
  std::size_t replaced_at_;
  std::ptrdiff_t last_distance_;
  VcdiffWriter& writer_;
  MatchHistory::State& history_;
  Chains in_source_;
  // The piece in the history: where it begins, and its bytes.
  std::size_t piece_ = 0;
  std::span<const std::uint8_t> target_;
  std::size_t added_from_ = 0;
};

void write_matched(std::span<const std::uint8_t> target, std::span<const std::uint8_t> source,
                   std::uint64_t source_offset, std::size_t replaced_at, VcdiffWriter& writer,
                   MatchHistory& history) {
  Matcher(target, source, source_offset, replaced_at, writer, *history.state_).run();
}

}  // namespace varnu::patch
