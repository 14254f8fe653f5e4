#include "pack/like/unchanged.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "archive/entry_bytes.hpp"
#include "bitmap/fix_up.hpp"
#include "pack/entry/orientation.hpp"
#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {

bool converts_alike(std::span<const std::uint8_t> stored,
                    std::span<const std::uint8_t> original_output) {
  const std::optional<BitmapPlan> plan = plan_bitmap(stored, OutputMode::kPlain);
  if (!plan || plan->layout.file_size != original_output.size()) return false;
  if (plan->flip) {
    const std::optional<std::vector<std::uint8_t>> output = converter_output(stored);
    return output && std::equal(output->begin(), output->end(), original_output.begin());
  }
  // Unturned, the converter changes the headers alone: compare those as it writes them, and the
  // rest as it stands, without copying the picture.
  std::array<std::uint8_t, kHeadersSize> headers{};
  const std::size_t header_bytes = std::min(kHeadersSize, original_output.size());
  std::copy_n(stored.begin(), std::min(kHeadersSize, stored.size()), headers.begin());
  fix_up_bitmap(headers, *plan);
  return std::equal(headers.begin(), headers.begin() + header_bytes, original_output.begin()) &&
         std::equal(original_output.begin() + header_bytes, original_output.end(),
                    stored.begin() + header_bytes);
}

LeftoverCheck::LeftoverCheck(const OriginalArchive& original, const std::filesystem::path& path)
    : active_(std::any_of(original.entries.begin(), original.entries.end(),
                          [](const EntryRecord& e) { return e.borrows(); })) {
  if (!active_) return;
  archive_ = open_original(path);
  original_reader_.emplace(original_source_, in_original_,
                           archive::WalkOptions{.max_entries = archive::kNoEntryLimit});
  new_reader_.emplace(new_source_, in_new_,
                      archive::WalkOptions{.max_entries = archive::kNoEntryLimit});
}

void LeftoverCheck::enter(std::size_t k) {
  if (!active_) return;
  if (original_reader_->next() != archive::ReadStatus::kEntry ||
      original_reader_->record().index != static_cast<int>(k)) {
    throw InputError("it changed while it was read: an entry cannot be converted");
  }
  const EntryRecord& entry = original_reader_->record();
  // Decoding writes the entry's own bytes only, so the bytes it takes are those already there.
  const std::span<const std::uint8_t> taken = original_reader_->borrowed();
  const std::vector<std::uint8_t>& in_new = in_new_.image;
  leftovers_match_ =
      !entry.borrows() ||
      (entry.extent <= in_new.size() &&
       std::equal(taken.begin(), taken.end(),
                  in_new.begin() + static_cast<std::ptrdiff_t>(entry.unpacked_size)));
  original_output_.clear();
  if (entry.borrows()) {
    const std::span<const std::uint8_t> file = original_reader_->image();
    original_output_.assign(file.begin(), file.begin() + entry.plan.layout.file_size);
  }
}

void LeftoverCheck::leave(std::span<const std::uint8_t> entry_bytes) {
  if (!active_) return;
  new_source_.feed(entry_bytes);
  // Whatever the walk makes of it is what the converter would have in its buffer.
  new_reader_->next();
}

LikeEntry read_like_entry(const std::filesystem::path& path, const EntryRecord& entry,
                          const LeftoverCheck& check) {
  std::ifstream archive = open_original(path);
  LikeEntry read{&entry, read_original_entry(archive, entry)};
  read.converted = entry.borrows() ? check.original_output() : converted_bitmap(read.bytes, entry);
  return read;
}

std::optional<LikeEntry> read_like_entry_alone(const std::filesystem::path& path,
                                               EntryRecord& entry) {
  std::ifstream archive = open_original(path);
  LikeEntry read{&entry, read_original_entry(archive, entry)};
  const std::optional<EntryRecord> alone = archive::decode_alone(
      archive::payload_of(read.bytes, entry), entry, OutputMode::kPlain, read.converted);
  if (!alone) return std::nullopt;
  entry = *alone;
  read.converted.resize(entry.plan.layout.file_size);
  return read;
}

}  // namespace varnu::pack
