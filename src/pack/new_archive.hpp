// Where a pack's archive goes: into its file, or with --patch into the patch that makes it from
// the original (patch/archive_patch.hpp). Either is written under a temporary name and put in
// place by commit() (PendingFile), so that nothing is left of a pack that fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "pack/file_io.hpp"
#include "patch/archive_patch.hpp"

namespace varnu::pack {

class NewArchive {
 public:
  // `patch_from`, the original, makes the output a patch from it; it stays open meanwhile.
  // Failures throw std::runtime_error, and patch::PatchError where the original is to blame.
  NewArchive(const std::filesystem::path& output, patch::RandomBytes* patch_from);

  // The next bytes are the original's from `offset`, as they stand.
  void copied(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // The next bytes are an entry of the new archive's own, where the original has `size` bytes
  // from `offset` (none without an original).
  void packed(std::span<const std::uint8_t> bytes, std::uint64_t offset = 0,
              std::uint64_t size = 0);
  void commit();

 private:
  PendingFile file_;
  std::optional<patch::ArchivePatch> patch_;
};

}  // namespace varnu::pack
