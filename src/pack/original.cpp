#include "pack/original.hpp"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>

#include "common/run_state.hpp"
#include "driver/extract.hpp"
#include "lzss/lzss.hpp"
#include "pack/bmp_input.hpp"

namespace varnu::pack {

std::vector<OriginalEntry> read_original_archive(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw InputError("cannot read it: a folder");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw InputError("cannot open it");

  std::vector<OriginalEntry> entries;
  std::vector<std::uint8_t> payload;
  // The converter's own image buffer: it starts zero-filled, is never cleared and only grows, and
  // an entry is judged against all of it, so a bitmap that claims more than its entry decodes to
  // is written with what lies behind it.
  std::vector<std::uint8_t> image(kInitialImageSize);
  for (std::uint64_t position = 0;;) {
    std::array<std::uint8_t, kEntryHeaderSize> header{};
    file.seekg(static_cast<std::streamoff>(position));
    file.read(reinterpret_cast<char*>(header.data()), kEntryHeaderSize);
    const auto got = static_cast<std::size_t>(file.gcount());
    // Like the converter, the walk ends where no whole magic-bearing header is.
    if (got < varnu::kEntryHeaderSize ||
        !std::equal(kEntryMagic.begin(), kEntryMagic.end(), header.begin())) {
      break;
    }
    const std::string entry = "entry " + std::to_string(entries.size());
    // The length field has 24 bits, so a payload is at most 16 MiB; and it decodes to at most
    // nine times its size (two bytes of a match give eighteen).
    const std::size_t length = header[8] | header[9] << 8 | std::size_t{header[10]} << 16;
    payload.resize(length);
    file.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(length));
    if (got < kEntryHeaderSize || static_cast<std::size_t>(file.gcount()) < length) {
      throw InputError(entry + " is cut short");
    }
    lzss_expand(payload, image);
    const std::optional<BitmapPlan> plan = plan_bitmap(image, false);
    if (!plan) throw InputError(entry + " is not a bitmap the converter can convert");

    OriginalEntry& taken = entries.emplace_back();
    taken.unread = {header[6], header[7], header[11]};
    std::copy_n(image.begin() + kHorizontalResolutionOffset, kResolutionFieldsSize,
                taken.resolution.begin());
    taken.upside_down = plan->flip;
    position += kEntryHeaderSize + length;
    position += filler_size(position);
    file.clear();
  }
  if (file.bad()) throw InputError("cannot read it");
  return entries;
}

}  // namespace varnu::pack
