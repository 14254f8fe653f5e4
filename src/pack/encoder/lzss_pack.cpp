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
// Why it is fast: the longest matches come from binary trees of the positions in the window,
// ordered by the kMaxMatch bytes that start at each position. Finding where a position belongs
// in its tree passes the strings just below and just above it, and one of those two shares the
// longest prefix with it, so every search is exact and takes a few steps for each doubling of
// the tree, however many earlier strings begin the same way. (Hash chains have no such bound: in
// noise of few values every short string recurs all over the window, and a chain walk must see
// all of them or miss the longest.) The trees are kept small by what picks a string's tree: its
// first three bytes; for a string that starts with a run, the run's value and length, so that
// the offsets into long runs do not pile up in one tree; for a string of the two or four most
// common byte values (1- and 2-bit pictures), its first 12 or 6 bytes. The matches a string
// shares with other trees' strings are found apart, from small tables of the latest positions.
// A string equal to an earlier one over all kMaxMatch bytes takes the earlier one's place in the
// tree, so long runs cost one comparison per position.
#include "pack/encoder/lzss_pack.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <utility>

#include "format/lzss.hpp"

namespace varnu::pack {
namespace {

constexpr int kHashBits = 15;
// Matches reach back a whole ring: the decoder reads a byte before it overwrites it.
constexpr std::size_t kMaxDistance = kRingSize;

// A node for each position a search may visit and one for the position being placed, which must
// not share a slot with any of them: more than kMaxDistance slots.
constexpr std::size_t kNodeSlots = 2 * kRingSize;
// Trees built from data in a helpful order stay a few dozen levels deep; this bound only stops
// a deliberately hostile order from costing a whole window per position. What lies deeper is
// dropped from the tree, so a search may then miss a match, never report a false one.
constexpr int kMaxTreeDepth = 256;

constexpr std::uint32_t kLiteralBits = 9;
constexpr std::uint32_t kMatchBits = 17;

struct Match {
  std::size_t length = 0;
  std::size_t source = 0;  // index into the extended buffer
};

// Strings are compared over kMaxMatch bytes, eight at a time: a comparison from byte
// kMaxMatch - 1 reads 7 bytes past them, and the run at a position is measured by comparing it
// with the string one byte on.
constexpr std::size_t kPadding = kMaxMatch + 8;
// Positions in the extended input are kept in 32 bits, far beyond any entry (the format caps
// them below 16 MiB).
constexpr std::size_t kMaxInput = std::numeric_limits<std::int32_t>::max() - kRingSize - kPadding;

std::uint64_t load_word(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

struct Comparison {
  std::size_t length;  // how many of the first kMaxMatch bytes agree
  bool above;          // whether the first string sorts above the second (when length < kMaxMatch)
};

// Compares the kMaxMatch-byte strings at `a` and `b`, given that their first `known` bytes
// agree. Whole words at a time: the first differing byte is found from the lowest set bit of the
// difference (the highest on a big-endian machine), instead of a byte loop whose exit the
// processor cannot predict, and the order is read from the words already loaded.
Comparison compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t known) {
  for (std::size_t n = known; n < kMaxMatch; n += 8) {
    const std::uint64_t word_a = load_word(a + n);
    const std::uint64_t word_b = load_word(b + n);
    if (word_a != word_b) {
      constexpr bool kLittle = std::endian::native == std::endian::little;
      const std::uint64_t difference = word_a ^ word_b;
      const int first = (kLittle ? std::countr_zero(difference) : std::countl_zero(difference)) / 8;
      const int shift = kLittle ? 8 * first : 56 - 8 * first;
      const std::size_t length = std::min(n + static_cast<std::size_t>(first), kMaxMatch);
      return {length, (word_a >> shift & 0xFF) > (word_b >> shift & 0xFF)};
    }
  }
  return {kMaxMatch, false};
}

// Works on the input preceded by kRingSize zero bytes and followed by kPadding more. The zeros in
// front stand for the ring before anything is written, so runs of zeros near the start can be
// copied from it like any earlier data. The zeros behind give every position kMaxMatch bytes to
// compare, so that all strings in a tree have one length and the trees stay ordered; lengths
// that run past the input are cut back by the caller. Extended index e corresponds to output
// index e - kRingSize, i.e. ring slot (kRingStart + e - kRingSize) & kRingMask.
class MatchFinder {
 public:
  explicit MatchFinder(std::span<const std::uint8_t> buffer)
      : buf_(buffer),
        root_(std::size_t{1} << kHashBits, kNone),
        nodes_(kNodeSlots),
        latest_run_(256 * (kMaxMatch + 1), kNone),
        latest_prefix_(std::size(kAlphabets) * kPrefixSlots, kNone) {
    rank_values();
  }

  // Puts `pos` into its tree and returns the longest match (up to kMaxMatch bytes, 0 if none)
  // that starts at most kMaxDistance bytes before it. Positions must come in increasing order.
  Match insert(std::size_t pos) {
    const std::uint8_t* const here = buf_.data() + pos;
    const std::int64_t lowest = static_cast<std::int64_t>(pos) - std::int64_t{kMaxDistance};
    const bool starts_run = here[1] == here[0] && here[2] == here[0];
    const std::size_t run =
        starts_run ? std::min(compare(here, here + 1, 0).length + 1, kMaxMatch) : 1;
    const std::size_t alphabet = alphabet_of(here);
    if (alphabet == kNoAlphabet && run < kMinMatch) return place(pos, key(here), {});
    // A run in a small alphabet shorter than its key is told apart by the key like any other
    // string of the alphabet; longer ones, and runs of other values, get trees of their own.
    if (run >= kMinMatch && (alphabet == kNoAlphabet || run >= kAlphabets[alphabet].key_length)) {
      const Match best = place(pos, run_key(here[0], run), shorter_run(pos, run, lowest));
      record_run(pos, run);
      return best;
    }
    const Prefix prefix = small_prefix(here, alphabet);
    Match best = place(pos, prefix_key(prefix), {});
    best = shorter_prefix(pos, prefix, lowest, best);
    record_prefixes(pos, prefix);
    // For the longer runs of the same value, which share this run with it. (Shares the other
    // way, of a string here with a longer run, come from the prefixes that the end of that run
    // has recorded.)
    if (run >= kMinMatch) record_run(pos, run);
    return best;
  }

 private:
  // Below every position's reach, as an empty tree's root.
  static constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::min();

  // Strings over the two or four most common byte values (the pixels of 1- and 2-bit pictures,
  // noise of few values) share their first three bytes with an eighth or a sixty-fourth of the
  // window, and a tree holding all of those is many levels deep. They are keyed by as many
  // bytes as tell a window's worth of strings apart instead: 12 of two values, 6 of four. A
  // match shorter than that may lie in another tree; it comes from the latest position of each
  // shorter prefix, which so few values let a small table hold exactly.
  struct Alphabet {
    unsigned bits;           // per byte value
    std::size_t key_length;  // bytes that key a tree
  };
  static constexpr Alphabet kAlphabets[] = {{1, 12}, {2, 6}};
  // A prefix of j bytes of `bits` each is kept at (1 << (j * bits)) + its code in its
  // alphabet's part: below 1 << 12 for every j shorter than key_length.
  static constexpr std::size_t kPrefixSlots = std::size_t{1} << 12;
  static_assert(std::all_of(std::begin(kAlphabets), std::end(kAlphabets), [](const Alphabet& a) {
    return std::size_t{2} << ((a.key_length - 1) * a.bits) <= kPrefixSlots;
  }));

  struct Prefix {
    std::size_t alphabet = 0;  // index into kAlphabets
    std::size_t length = 0;    // leading bytes within the alphabet, up to its key_length
    std::uint32_t code = 0;    // their ranks, packed, the first byte's highest

    std::size_t key_length() const { return kAlphabets[alphabet].key_length; }
    // The prefixes kept in latest_prefix_ are those shorter than the key: from kMinMatch bytes
    // to this many.
    std::size_t longest_recorded() const { return std::min(length, key_length() - 1); }
    // The code of the first j bytes, for j up to `length`.
    std::uint32_t code_of(std::size_t j) const {
      return code >> ((length - j) * kAlphabets[alphabet].bits);
    }
    // Where the prefix of the first j bytes is kept in its alphabet's part of latest_prefix_.
    std::size_t slot(std::size_t j) const {
      return alphabet * kPrefixSlots + (std::size_t{1} << (j * kAlphabets[alphabet].bits)) +
             code_of(j);
    }
  };

  static constexpr std::size_t kNoAlphabet = std::size(kAlphabets);

  // The smallest alphabet that holds the first three bytes, or kNoAlphabet.
  std::size_t alphabet_of(const std::uint8_t* here) const {
    const unsigned top = std::max({rank_[here[0]], rank_[here[1]], rank_[here[2]]});
    std::size_t a = 0;
    while (a < kNoAlphabet && top >= (1u << kAlphabets[a].bits)) ++a;
    return a;
  }

  // The string's prefix over `alphabet`, which holds its first three bytes.
  Prefix small_prefix(const std::uint8_t* here, std::size_t alphabet) const {
    const Alphabet& a = kAlphabets[alphabet];
    Prefix prefix;
    prefix.alphabet = alphabet;
    while (prefix.length < a.key_length && rank_[here[prefix.length]] < (1u << a.bits)) {
      prefix.code = prefix.code << a.bits | rank_[here[prefix.length]];
      ++prefix.length;
    }
    return prefix;
  }

  // The longest match shorter than the alphabet's key, or `best` if that is longer.
  Match shorter_prefix(std::size_t pos, const Prefix& prefix, std::int64_t lowest,
                       Match best) const {
    for (std::size_t j = prefix.longest_recorded(); j >= kMinMatch && j > best.length; --j) {
      const std::int32_t source = latest_prefix_[prefix.slot(j)];
      if (source >= lowest) {
        const auto from = static_cast<std::size_t>(source);
        return {compare(buf_.data() + from, buf_.data() + pos, j).length, from};
      }
    }
    return best;
  }

  void record_prefixes(std::size_t pos, const Prefix& prefix) {
    for (std::size_t j = kMinMatch; j <= prefix.longest_recorded(); ++j) {
      latest_prefix_[prefix.slot(j)] = static_cast<std::int32_t>(pos);
    }
  }

  // Puts `pos` at the root of the tree in root_[key] and returns the longest match there, or
  // `best` if none is longer.
  Match place(std::size_t pos, std::size_t key, Match best) {
    std::int32_t& root = root_[key];
    std::int64_t candidate = root;
    root = static_cast<std::int32_t>(pos);
    const std::uint8_t* const here = buf_.data() + pos;
    const std::int64_t lowest = static_cast<std::int64_t>(pos) - std::int64_t{kMaxDistance};

    // The search splits the old tree into the strings below `pos` and the strings above it.
    // Each `*_link` is where the next string of that side is hung (in the node of `*_owner`),
    // and each `*_known` how many bytes that side's last string shares with `pos`: every string
    // left in the search sorts between the two, so it shares at least the smaller.
    Node& mine = node(static_cast<std::int64_t>(pos));
    std::uint16_t* below_link = &mine[0];
    std::uint16_t* above_link = &mine[1];
    auto below_owner = static_cast<std::int64_t>(pos);
    std::int64_t above_owner = below_owner;
    std::size_t below_known = 0;
    std::size_t above_known = 0;
    for (int depth = kMaxTreeDepth; candidate >= lowest && depth > 0; --depth) {
      // Both subtrees are fetched before the comparison picks one, so that fetching overlaps
      // comparing.
      Node& there = node(candidate);
      const Node subtrees = there;
      const Comparison c =
          compare(buf_.data() + candidate, here, std::min(below_known, above_known));
      if (c.length > best.length) best = {c.length, static_cast<std::size_t>(candidate)};
      if (c.length == kMaxMatch) {
        // The same string, nearer: it takes the older one's place and both its subtrees.
        *below_link = link(below_owner, candidate - subtrees[0]);
        *above_link = link(above_owner, candidate - subtrees[1]);
        return best;
      }
      // A string above `pos` hangs on the above side, and what is left to search sorts between
      // `pos` and it: its below subtree. The same the other way round.
      if (c.above) {
        *above_link = link(above_owner, candidate);
        above_link = &there[0];
        above_owner = candidate;
        above_known = c.length;
        candidate -= subtrees[0];
      } else {
        *below_link = link(below_owner, candidate);
        below_link = &there[1];
        below_owner = candidate;
        below_known = c.length;
        candidate -= subtrees[1];
      }
    }
    // What is left is out of reach (every subtree holds only positions older than its root) or
    // too deep to keep.
    *below_link = kNoSubtree;
    *above_link = kNoSubtree;
    return best;
  }

  // For a string starting with a run of `run` bytes, the longest match its tree cannot hold:
  // one with a different run, which shares the shorter of the two runs. Inside a run that is
  // the position before; at the start of a run, the latest position in reach with the longest
  // run of the same value.
  Match shorter_run(std::size_t pos, std::size_t run, std::int64_t lowest) const {
    const std::uint8_t value = buf_[pos];
    if (pos > 0 && buf_[pos - 1] == value) return {run, pos - 1};
    const std::int32_t* const latest = &latest_run_[std::size_t{value} * (kMaxMatch + 1)];
    for (std::size_t other = kMaxMatch; other >= kMinMatch; --other) {
      if (latest[other] >= lowest) {
        return {std::min(other, run), static_cast<std::size_t>(latest[other])};
      }
    }
    return {};
  }

  void record_run(std::size_t pos, std::size_t run) {
    latest_run_[std::size_t{buf_[pos]} * (kMaxMatch + 1) + run] = static_cast<std::int32_t>(pos);
  }

  // A node's two subtrees, the strings that sort below it and above it, each as the distance
  // back from the node to the subtree's root: a link is only made while both ends are in reach,
  // so it spans at most kMaxDistance. Halving the nodes this way keeps them in the processor's
  // nearest cache, where every step of a search reads one.
  using Node = std::array<std::uint16_t, 2>;
  // A distance that leaves the reach of every later search: an empty subtree.
  static constexpr std::uint16_t kNoSubtree = kMaxDistance + 1;

  Node& node(std::int64_t pos) { return nodes_[static_cast<std::size_t>(pos) % kNodeSlots]; }

  // The link from `owner` to `target`, an older position, or an empty subtree where `target`
  // is out of reach.
  static std::uint16_t link(std::int64_t owner, std::int64_t target) {
    return static_cast<std::uint16_t>(std::min<std::int64_t>(owner - target, kNoSubtree));
  }

  // Strings are sorted into trees by their first three bytes, except those of a small alphabet
  // (kAlphabets) and those that begin with a run of one byte value: the latter by the value and
  // the length of the run, up to kMaxMatch.
  // Otherwise one tree would hold the strings of every offset into every run of that value,
  // strings that share long prefixes, so that each search would pass most of them; and a string
  // starting with a run of length k can only share more than k bytes with one starting with the
  // same run. Shorter shares are found apart (shorter_run).
  static std::size_t key(const std::uint8_t* p) {
    return hash(static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 |
                p[2]);
  }
  static std::size_t run_key(std::uint8_t value, std::size_t run) {
    return hash(std::uint32_t{1} << 24 | std::uint32_t{value} << 8 |
                static_cast<std::uint32_t>(run));
  }
  static std::size_t prefix_key(const Prefix& prefix) {
    return hash(std::uint32_t{2 + static_cast<std::uint32_t>(prefix.alphabet)} << 24 |
                static_cast<std::uint32_t>(prefix.length) << 16 | prefix.code);
  }
  static std::size_t hash(std::uint32_t key) { return (key * 2654435761u) >> (32 - kHashBits); }

  // Ranks every byte value by how often it occurs, the most common first, for small_prefix.
  void rank_values() {
    std::array<std::size_t, 256> count{};
    for (std::uint8_t b : buf_) ++count[b];
    std::array<std::uint8_t, 256> by_count;
    for (std::size_t v = 0; v < 256; ++v) by_count[v] = static_cast<std::uint8_t>(v);
    std::stable_sort(by_count.begin(), by_count.end(),
                     [&](std::uint8_t a, std::uint8_t b) { return count[a] > count[b]; });
    for (std::size_t r = 0; r < 256; ++r) rank_[by_count[r]] = static_cast<unsigned>(r);
  }

  std::span<const std::uint8_t> buf_;
  std::vector<std::int32_t> root_;
  std::vector<Node> nodes_;
  // For each byte value and run length, the latest position starting with such a run.
  std::vector<std::int32_t> latest_run_;
  // For each small alphabet and prefix shorter than its key, the latest position starting so.
  std::vector<std::int32_t> latest_prefix_;
  std::array<unsigned, 256> rank_{};
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
    const std::array<std::uint8_t, 2> bytes = match_bytes(ring_position, length);
    out_.insert(out_.end(), bytes.begin(), bytes.end());
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
  if (data.size() > kMaxInput) throw std::length_error("lzss_pack: input too large");

  const std::size_t n = data.size();
  std::vector<std::uint8_t> extended;
  extended.reserve(kRingSize + n + kPadding);
  extended.assign(kRingSize, 0);
  extended.insert(extended.end(), data.begin(), data.end());
  extended.resize(kRingSize + n + kPadding, 0);

  // The longest match at every position (length 0: none).
  std::vector<std::uint8_t> length(n);
  std::vector<std::uint16_t> ring_position(n);
  MatchFinder finder(extended);
  for (std::size_t pos = 0; pos < kRingSize; ++pos) finder.insert(pos);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t pos = kRingSize + i;
    const Match m = finder.insert(pos);
    const std::size_t longest = std::min(m.length, n - i);
    if (longest < kMinMatch) continue;
    length[i] = static_cast<std::uint8_t>(longest);
    ring_position[i] = static_cast<std::uint16_t>((m.source + kRingStart) & kRingMask);
  }

  // Shortest path from each position to the end, in bits. Every match costs the same, so the
  // best match step is the one landing where the rest is cheapest; which step that was is
  // found again on the way forward, only at the positions the path visits.
  // Every position looks at all kMaxMatch - kMinMatch + 1 steps, those past its longest match
  // masked off: a loop of fixed length the compiler turns into a few vector operations. The
  // cost array runs kMaxMatch past the end so that the masked reads stay inside it.
  std::vector<std::uint32_t> cost(n + 1 + kMaxMatch, 0);
  for (std::size_t i = n; i-- > 0;) {
    constexpr std::uint32_t kUnreachable = UINT32_MAX - kMatchBits;
    const std::uint32_t* const from = cost.data() + i;
    const std::size_t longest = length[i];
    std::uint32_t after_match = kUnreachable;
    for (std::size_t l = kMinMatch; l <= kMaxMatch; ++l) {
      after_match = std::min(after_match, l <= longest ? from[l] : kUnreachable);
    }
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
