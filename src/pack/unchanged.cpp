#include "pack/unchanged.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "bitmap/fix_up.hpp"
#include "format/buffers.hpp"
#include "lzss/lzss.hpp"
#include "pack/bmp_input.hpp"
#include "pack/orientation.hpp"

namespace varnu::pack {
namespace {

// The fix-up the converter makes in its image buffer once an entry is decoded there.
void fix_up_in_place(std::vector<std::uint8_t>& image) {
  if (const std::optional<BitmapPlan> plan = plan_bitmap(image, OutputMode::kPlain)) {
    fix_up_bitmap(image, *plan);
  }
}

}  // namespace

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
    : original_(original),
      active_(std::any_of(original.entries.begin(), original.entries.end(),
                          [](const OriginalEntry& e) { return e.borrows(); })) {
  if (!active_) return;
  archive_ = open_original(path);
  in_original_.assign(kInitialImageSize, 0);
  in_new_.assign(kInitialImageSize, 0);
}

void LeftoverCheck::enter(std::size_t k) {
  if (!active_) return;
  const OriginalEntry& entry = original_.entries[k];
  // Decoding writes the entry's own bytes only, so the bytes it takes are those already there.
  leftovers_match_ =
      entry.reads_end <= in_original_.size() && entry.reads_end <= in_new_.size() &&
      std::equal(in_original_.begin() + static_cast<std::ptrdiff_t>(entry.decoded_size),
                 in_original_.begin() + static_cast<std::ptrdiff_t>(entry.reads_end),
                 in_new_.begin() + static_cast<std::ptrdiff_t>(entry.decoded_size));
  const std::vector<std::uint8_t> bytes = read_entry_bytes(archive_, entry);
  payload_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(entry.payload_at - entry.start),
                  bytes.begin() + static_cast<std::ptrdiff_t>(entry.payload_at - entry.start +
                                                              entry.payload_size));
  lzss_expand(payload_, in_original_);
  original_output_.clear();
  if (entry.borrows()) {
    std::optional<std::vector<std::uint8_t>> output = converter_output(in_original_);
    if (!output) throw InputError("it changed while it was read: an entry cannot be converted");
    original_output_ = std::move(*output);
  }
  fix_up_in_place(in_original_);
}

void LeftoverCheck::leave_copied() {
  if (!active_) return;
  lzss_expand(payload_, in_new_);
  fix_up_in_place(in_new_);
}

void LeftoverCheck::leave_packed(std::span<const std::uint8_t> stored) {
  if (!active_) return;
  // What the new entry's stream decodes to, laid in as the decoder lays it.
  if (in_new_.size() < stored.size()) in_new_.resize(stored.size(), 0);
  std::copy(stored.begin(), stored.end(), in_new_.begin());
  fix_up_in_place(in_new_);
}

LikeEntry read_like_entry(const std::filesystem::path& path, const OriginalEntry& entry,
                          const LeftoverCheck& check) {
  std::ifstream archive = open_original(path);
  LikeEntry read{&entry, read_entry_bytes(archive, entry)};
  read.converted = entry.borrows() ? check.original_output() : converted_bitmap(read.bytes, entry);
  return read;
}

}  // namespace varnu::pack
