#include "pack/new_archive.hpp"

namespace varnu::pack {

NewArchive::NewArchive(const std::filesystem::path& output, patch::RandomBytes* patch_from)
    : file_(output) {
  if (patch_from != nullptr) {
    patch_.emplace(*patch_from,
                   [this](std::span<const std::uint8_t> bytes) { file_.write(bytes); });
  }
}

void NewArchive::copied(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (patch_) {
    patch_->copied(offset, bytes);
  } else {
    file_.write(bytes);
  }
}

void NewArchive::packed(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                        std::uint64_t size) {
  if (patch_) {
    patch_->replaced(bytes, offset, size);
  } else {
    file_.write(bytes);
  }
}

void NewArchive::commit() {
  if (patch_) patch_->finish();
  file_.commit();
}

}  // namespace varnu::pack
