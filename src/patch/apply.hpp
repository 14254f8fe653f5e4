// Applying a VCDIFF patch (RFC 3284) to an original: any patch without secondary compression,
// xdelta3's included, whose Adler-32 window checksums are checked.
//
// The patch is read once, in order, a window at a time; the original is read where the copies
// point, through a small cache of blocks; the target goes out a window at a time. Every size the
// patch states is checked against the limits before anything is allocated for it, and a window's
// sections are read as they arrive, so a patch that claims more than it holds is refused as cut
// short having cost no more than it holds. Memory is bounded by the limits, whatever the patch.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "archive/byte_source.hpp"
#include "patch/random_bytes.hpp"

namespace varnu::patch {

// Where the patched file goes, a window at a time. Failures throw std::runtime_error.
class PatchedFile {
 public:
  virtual ~PatchedFile() = default;
  virtual void write(std::span<const std::uint8_t> bytes) = 0;
  // What was written from `offset`, for a window that copies from the target made so far
  // (VCD_TARGET); false when it cannot be read back.
  virtual bool read_back(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
};

struct ApplyLimits {
  // A target window, and a window's delta. xdelta3 writes windows of 8 MiB, and of 16 MiB at
  // most; other patchers' reach 64 MiB.
  std::uint64_t max_window = std::uint64_t{64} << 20;
  // The whole target: more than any archive holds (3,600 entries of 16 MiB).
  std::uint64_t max_target = std::uint64_t{64} << 30;
};

// Why a patch was not applied. The original is to blame when it does not match the patch or
// cannot be read; otherwise the patch, which is damaged, hostile, or uses what is not applied
// here (secondary compression). The text is one line, without the file's name.
class PatchError : public std::runtime_error {
 public:
  enum class Blame { kPatch, kOriginal };
  PatchError(Blame blame, const std::string& text) : std::runtime_error(text), blame_(blame) {}
  Blame blame() const { return blame_; }

 private:
  Blame blame_;
};

// Applies `patch` to `original`, writing the target to `target`. Throws PatchError, or what
// `target` throws; whatever was written by then is to be thrown away.
void apply_patch(archive::ByteSource& patch, RandomBytes& original, PatchedFile& target,
                 const ApplyLimits& limits = {});

}  // namespace varnu::patch
