#include "pack/original.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "bitmap/fix_up.hpp"
#include "format/archive.hpp"
#include "format/buffers.hpp"
#include "lzss/lzss.hpp"
#include "pack/bmp_input.hpp"
#include "pack/orientation.hpp"

namespace varnu::pack {
namespace {

constexpr char kChanged[] = "it changed while it was read: ";

// How many bytes the archive holds: every length field is checked against it before a buffer
// is sized from it.
std::uint64_t size_of(std::istream& archive) {
  archive.clear();
  archive.seekg(0, std::ios::end);
  const std::streamoff size = archive.tellg();
  if (!archive || size < 0) throw InputError("cannot read it");
  archive.seekg(0);
  return static_cast<std::uint64_t>(size);
}

// Reads `size` bytes at `at`, which the caller has checked the archive holds.
bool read_at(std::istream& archive, std::uint64_t at, std::size_t size,
             std::vector<std::uint8_t>& bytes) {
  archive.clear();
  archive.seekg(static_cast<std::streamoff>(at));
  bytes.resize(size);
  archive.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(archive.gcount()) == size;
}

}  // namespace

std::ifstream open_original(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw InputError("cannot read it: a folder");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw InputError("cannot open it");
  return file;
}

OriginalArchive read_original_archive(const std::filesystem::path& path) {
  std::ifstream file = open_original(path);
  return read_original_archive(file);
}

OriginalArchive read_original_archive(std::istream& file) {
  OriginalArchive archive;
  archive.size = size_of(file);
  std::vector<std::uint8_t> payload;
  // The converter's own image buffer: it starts zero-filled, is never cleared, only grows and is
  // fixed up in place, and an entry is judged against all of it, so a bitmap that claims more
  // than its entry decodes to is written with what lies behind it. It is made once the first
  // payload is known to be there.
  std::vector<std::uint8_t> image;
  std::uint64_t position = 0;
  for (;;) {
    std::array<std::uint8_t, kPayloadOffset> start{};
    file.seekg(static_cast<std::streamoff>(position));
    file.read(reinterpret_cast<char*>(start.data()), kPayloadOffset);
    const auto got = static_cast<std::size_t>(file.gcount());
    // Like the converter, the walk ends where no whole magic-bearing header is.
    if (got < kEntryHeaderSize ||
        !std::equal(kEntryMagic.begin(), kEntryMagic.end(), start.begin())) {
      break;
    }
    const std::string entry = "entry " + std::to_string(archive.entries.size());
    // The length field has 24 bits, so a payload is at most 16 MiB; and it decodes to at most
    // nine times its size (two bytes of a match give eighteen).
    const std::size_t length =
        read_length_field(std::span(start).subspan<kEntryHeaderSize, kLengthFieldSize>());
    const std::uint64_t payload_at = position + kPayloadOffset;
    if (got < kPayloadOffset || archive.size - payload_at < length ||
        !read_at(file, payload_at, length, payload)) {
      throw InputError(entry + " is cut short");
    }
    if (image.empty()) image.assign(kInitialImageSize, 0);
    const std::size_t decoded = lzss_expand(payload, image);
    const std::optional<BitmapPlan> plan = plan_bitmap(image, OutputMode::kPlain);
    if (!plan) throw InputError(entry + " is not a bitmap the converter can convert");

    OriginalEntry& taken = archive.entries.emplace_back();
    taken.unread = unread_bytes(start);
    std::copy_n(image.begin() + kHorizontalResolutionField, kResolutionFieldsSize,
                taken.resolution.begin());
    taken.upside_down = plan->flip;
    taken.start = position;
    taken.payload_at = payload_at;
    taken.payload_size = length;
    taken.decoded_size = decoded;
    taken.reads_end = writer_reads_end(image, *plan);
    fix_up_bitmap(image, *plan);
    position = payload_at + length;
    position += filler_size(position);
    taken.end = std::min(position, archive.size);
    file.clear();
  }
  if (file.bad()) throw InputError("cannot read it");
  archive.tail_at = std::min(position, archive.size);
  return archive;
}

std::vector<std::uint8_t> read_entry_bytes(std::istream& archive, const OriginalEntry& entry) {
  const std::uint64_t file_size = size_of(archive);
  std::vector<std::uint8_t> bytes;
  if (entry.end > file_size || entry.end < entry.payload_at + entry.payload_size ||
      !read_at(archive, entry.start, static_cast<std::size_t>(entry.end - entry.start), bytes) ||
      !std::equal(kEntryMagic.begin(), kEntryMagic.end(), bytes.begin())) {
    throw InputError(std::string(kChanged) + "an entry is cut short");
  }
  return bytes;
}

std::vector<std::uint8_t> converted_bitmap(std::span<const std::uint8_t> entry_bytes,
                                           const OriginalEntry& entry) {
  // Judged as the walk judged it, in a buffer that holds every byte the converter reads for it
  // (the walk's was larger, and the converter's plan reads no more). What an entry that claims
  // more than it decodes to shows past its end is zero here; the converter shows what earlier
  // entries left there.
  std::vector<std::uint8_t> image(entry.reads_end);
  lzss_expand(entry_bytes.subspan(entry.payload_at - entry.start, entry.payload_size), image);
  std::optional<std::vector<std::uint8_t>> converted = converter_output(image);
  if (!converted) throw InputError(std::string(kChanged) + "an entry cannot be converted");
  return std::move(*converted);
}

std::vector<std::uint8_t> read_converted_bitmap(const std::filesystem::path& path,
                                                const OriginalEntry& entry) {
  std::ifstream file = open_original(path);
  return read_converted_bitmap(file, entry);
}

std::vector<std::uint8_t> read_converted_bitmap(std::istream& archive, const OriginalEntry& entry) {
  return converted_bitmap(read_entry_bytes(archive, entry), entry);
}

void read_tail(std::istream& archive, const OriginalArchive& original,
               const std::function<void(std::span<const std::uint8_t>)>& sink) {
  constexpr std::uint64_t kPart = 1 << 16;
  std::vector<std::uint8_t> part;
  for (std::uint64_t at = original.tail_at; at < original.size; at += part.size()) {
    if (!read_at(archive, at, static_cast<std::size_t>(std::min(kPart, original.size - at)),
                 part)) {
      throw InputError(std::string(kChanged) + "it is shorter");
    }
    sink(part);
  }
}

}  // namespace varnu::pack
