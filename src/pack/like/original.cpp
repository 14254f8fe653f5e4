#include "pack/like/original.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "archive/byte_source.hpp"
#include "archive/entry_bytes.hpp"
#include "pack/file_io.hpp"
#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

using archive::ReadStatus;

constexpr char kChanged[] = "it changed while it was read: ";

// How many bytes the archive holds.
std::uint64_t size_of(std::istream& archive) {
  archive.clear();
  archive.seekg(0, std::ios::end);
  const std::streamoff size = archive.tellg();
  if (!archive || size < 0) throw InputError("cannot read it");
  archive.seekg(0);
  return static_cast<std::uint64_t>(size);
}

}  // namespace

std::ifstream open_original(const std::filesystem::path& path) {
  return open_input(path);
}

OriginalArchive read_original_archive(const std::filesystem::path& path, OriginalDepth depth) {
  std::ifstream file = open_original(path);
  return read_original_archive(file, depth);
}

OriginalArchive read_original_archive(std::istream& file, OriginalDepth depth) {
  OriginalArchive archive;
  archive.size = size_of(file);
  EntryBuffers buffers;
  archive::StreamSource source(file);
  archive::EntryReader reader(source, buffers, {.max_entries = archive::kNoEntryLimit});
  for (;;) {
    const std::string entry = "entry " + std::to_string(archive.entries.size());
    ReadStatus status;
    if (depth == OriginalDepth::kDecoded) {
      status = reader.next();
    } else if ((status = reader.next_header()) == ReadStatus::kEntry) {
      status = reader.skip_payload();
    }
    switch (status) {
      case ReadStatus::kEntry:
        archive.entries.push_back(reader.record());
        break;
      case ReadStatus::kEnd:
        archive.entries_end = reader.entries_end();
        return archive;
      case ReadStatus::kUnreadable:
        throw InputError("cannot read it");
      case ReadStatus::kCutShort:
        throw InputError(entry + " is cut short");
      case ReadStatus::kNotConvertible:
      case ReadStatus::kTooManyEntries:
        throw InputError(entry + " is not a bitmap the converter can convert");
    }
  }
}

std::vector<std::uint8_t> read_original_entry(std::istream& archive, const EntryRecord& entry) {
  std::optional<std::vector<std::uint8_t>> bytes = archive::read_entry_bytes(archive, entry);
  if (!bytes) throw InputError(std::string(kChanged) + "an entry is cut short");
  return std::move(*bytes);
}

std::vector<std::uint8_t> converted_bitmap(std::span<const std::uint8_t> entry_bytes,
                                           const EntryRecord& entry) {
  std::vector<std::uint8_t> image;
  if (!archive::remake_entry(archive::payload_of(entry_bytes, entry), entry, {}, image)) {
    throw InputError(std::string(kChanged) + "an entry cannot be converted");
  }
  image.resize(entry.plan.layout.file_size);
  return image;
}

std::vector<std::uint8_t> read_converted_bitmap(const std::filesystem::path& path,
                                                const EntryRecord& entry) {
  std::ifstream file = open_original(path);
  return read_converted_bitmap(file, entry);
}

std::vector<std::uint8_t> read_converted_bitmap(std::istream& archive, const EntryRecord& entry) {
  return converted_bitmap(read_original_entry(archive, entry), entry);
}

void read_trailing_bytes(std::istream& archive, const OriginalArchive& original,
                         const std::function<void(std::span<const std::uint8_t>)>& sink) {
  constexpr std::uint64_t kPart = 1 << 16;
  std::vector<std::uint8_t> part;
  for (std::uint64_t at = original.entries_end; at < original.size; at += part.size()) {
    part.resize(static_cast<std::size_t>(std::min(kPart, original.size - at)));
    archive.clear();
    archive.seekg(static_cast<std::streamoff>(at));
    archive.read(reinterpret_cast<char*>(part.data()), static_cast<std::streamsize>(part.size()));
    if (static_cast<std::size_t>(archive.gcount()) != part.size()) {
      throw InputError(std::string(kChanged) + "it is shorter");
    }
    sink(part);
  }
}

}  // namespace varnu::pack
