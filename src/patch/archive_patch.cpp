#include "patch/archive_patch.hpp"

#include <algorithm>
#include <utility>

#include "patch/apply.hpp"
#include "patch/matcher.hpp"

namespace varnu::patch {

ArchivePatch::ArchivePatch(RandomBytes& original, VcdiffWriter::Sink sink)
    : original_(original), writer_(original.size(), std::move(sink)) {}

void ArchivePatch::copied(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  writer_.copy_original(offset, bytes);
}

void ArchivePatch::replaced(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                            std::uint64_t size) {
  // The caller's record of an entry bounds `size`; an original that is not that long any more
  // changed under the pack.
  if (offset > original_.size() || size > original_.size() - offset) {
    throw PatchError(PatchError::Blame::kOriginal, "it changed while it was read: it is shorter");
  }
  const std::uint64_t start = offset - std::min(offset, kNeighbourhood);
  const std::uint64_t end =
      offset + size + std::min(kNeighbourhood, original_.size() - offset - size);
  searched_.resize(static_cast<std::size_t>(end - start));
  if (!original_.read(start, searched_)) {
    throw PatchError(PatchError::Blame::kOriginal, "cannot read it");
  }
  write_matched(bytes, searched_, start, static_cast<std::size_t>(offset - start), writer_,
                history_);
}

void ArchivePatch::finish() {
  writer_.finish();
}

}  // namespace varnu::patch
