// The bytes of one edited entry, coded against the entry it replaces: an edit leaves most of a
// packed stream as it was, only moved, so most of it is found as copies from the original
// entry, or from earlier in the entry itself, and the rest is added.
//
// Pictures of a set resemble each other, so the original entries around the one replaced are
// searched too (ArchivePatch hands them over), and the entries packed anew earlier in the same
// window, as copies from the target.
//
// At each position the match search tries first where the last copy would carry on (the same
// distance between the two entries) and the same place in the original entry, then the earlier
// places with the same four bytes in either, and keeps the match that saves the most bytes once
// its address is coded; one position later is tried before a short match is taken (lazy
// matching), and a match grows backwards into the bytes not yet coded.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "patch/vcdiff_writer.hpp"

namespace varnu::patch {

class MatchHistory;
void write_matched(std::span<const std::uint8_t> target, std::span<const std::uint8_t> source,
                   std::uint64_t source_offset, std::size_t replaced_at, VcdiffWriter& writer,
                   MatchHistory& history);

// The bytes write_matched has been given in the writer's current window, indexed to be found
// again. Kept by whoever writes a patch, from one call to the next.
class MatchHistory {
 public:
  // For the windows of a writer of `window_size`.
  explicit MatchHistory(std::uint64_t window_size = VcdiffWriter::kWindowSize);
  ~MatchHistory();
  MatchHistory(const MatchHistory&) = delete;
  MatchHistory& operator=(const MatchHistory&) = delete;

 private:
  friend class Matcher;
  friend void write_matched(std::span<const std::uint8_t>, std::span<const std::uint8_t>,
                            std::uint64_t, std::size_t, VcdiffWriter&, MatchHistory&);
  struct State;
  std::unique_ptr<State> state_;
};

// Hands `target`, the next bytes of the patch's target, to `writer`: `source` is the original's
// bytes from `source_offset`, and the bytes `target` replaces begin at `replaced_at` in it.
void write_matched(std::span<const std::uint8_t> target, std::span<const std::uint8_t> source,
                   std::uint64_t source_offset, std::size_t replaced_at, VcdiffWriter& writer,
                   MatchHistory& history);

}  // namespace varnu::patch
