// Entries that a repack with --like takes from the original archive as they stand: the 12 header
// bytes, the payload and every byte up to the next 2048-byte boundary, whatever the filler holds.
// So a picture nobody edited costs no compression, and a binary patch between the archives holds
// only what was edited.
//
// A picture is unchanged when the converter writes the same file from the entry the packer makes
// of it as from the original entry. That is a question for each picture alone (converts_alike),
// except where the original entry's file holds bytes that earlier entries left in the converter's
// image buffer (EntryRecord::borrows): it is then copied only where those bytes are the same in
// the new archive, which only the entries taken in order can tell (LeftoverCheck).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <vector>

#include "archive/byte_source.hpp"
#include "pack/like/original.hpp"

namespace varnu::pack {

// The per-picture half: whether the converter writes `original_output`, its file for the original
// entry, from a new entry whose bitmap is `stored`, which is complete in itself as every bitmap
// the packer makes is.
bool converts_alike(std::span<const std::uint8_t> stored,
                    std::span<const std::uint8_t> original_output);

// The in-order half: walks the original archive and the new one as it is written, each with the
// converter's own walk, so that each has the image buffer the converter would have. When no entry
// of the original borrows, it does nothing and every entry passes. For each entry k, in order:
// enter(k), then the questions, then leave() with the bytes the new archive holds for it.
class LeftoverCheck {
 public:
  // `path` names the archive `original` was read from.
  LeftoverCheck(const OriginalArchive& original, const std::filesystem::path& path);

  void enter(std::size_t k);
  // Whether the bytes entry k takes from earlier entries are the same in the new archive as in
  // the original, so far as it has been written.
  bool leftovers_match() const { return leftovers_match_; }
  // The file the converter writes for entry k of the original, with what earlier entries left
  // there: for an entry that borrows, the only way to know it.
  const std::vector<std::uint8_t>& original_output() const { return original_output_; }
  // The new archive's entry k, as written: the original's bytes as they stand, or an entry of
  // its own.
  void leave(std::span<const std::uint8_t> entry_bytes);

 private:
  bool active_ = false;
  std::ifstream archive_;
  archive::StreamSource original_source_{archive_};
  EntryBuffers in_original_;
  std::optional<archive::EntryReader> original_reader_;
  archive::PartSource new_source_;
  EntryBuffers in_new_;
  std::optional<archive::EntryReader> new_reader_;
  bool leftovers_match_ = true;
  std::vector<std::uint8_t> original_output_;
};

// What --like knows of entry k of the original when its picture is prepared.
struct LikeEntry {
  const EntryRecord* entry = nullptr;
  // Its bytes as they stand, and the file the converter writes for it.
  std::vector<std::uint8_t> bytes{};
  std::vector<std::uint8_t> converted{};
};

// Entry k of the archive at `path`, read on its own; for an entry that borrows, the converter's
// file comes from `check`, which has entered it. Throws InputError.
LikeEntry read_like_entry(const std::filesystem::path& path, const EntryRecord& entry,
                          const LeftoverCheck& check);

// The same for an entry that OriginalDepth::kPlaced found, `entry`, whose record is completed
// from its bytes alone (archive::decode_alone); nothing when the entry takes bytes from entries
// before it or cannot be converted on its own, which only the walk in order can tell. Throws
// InputError.
std::optional<LikeEntry> read_like_entry_alone(const std::filesystem::path& path,
                                               EntryRecord& entry);

}  // namespace varnu::pack
