// The patch from an original archive to the archive a pack writes, made as the pack writes it:
// an entry copied as it stands is one copy from the original, however long; an entry packed
// anew is matched against the original entry it replaces (matcher.hpp), where an edit leaves
// most of its bytes, and against the 1 MiB of the original on either side, where pictures like
// it often are.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "patch/matcher.hpp"
#include "patch/random_bytes.hpp"
#include "patch/vcdiff_writer.hpp"

namespace varnu::patch {

class ArchivePatch {
 public:
  // `original` stays open while the patch is made; the patch's bytes go to `sink`.
  ArchivePatch(RandomBytes& original, VcdiffWriter::Sink sink);

  // The next bytes of the new archive are the original's from `offset`, as they stand.
  void copied(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // The next bytes are new, in place of the original's `size` bytes from `offset`. Throws
  // PatchError (blaming the original) when those cannot be read.
  void replaced(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t size);
  // Writes the rest of the patch.
  void finish();

 private:
  // How much of the original on either side of an entry replaced is searched with it.
  static constexpr std::uint64_t kNeighbourhood = std::uint64_t{1} << 20;

  RandomBytes& original_;
  VcdiffWriter writer_;
  MatchHistory history_;
  std::vector<std::uint8_t> searched_;
};

}  // namespace varnu::patch
