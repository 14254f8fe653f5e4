#include "archive/entry_reader.hpp"

#include <algorithm>
#include <optional>

#include "bitmap/fix_up.hpp"
#include "format/buffers.hpp"
#include "lzss/lzss.hpp"

namespace varnu::archive {
namespace {

// A payload is read in parts this large.
constexpr std::size_t kPayloadPart = 32 * 1024;

// What `record` says of the bitmap in `image` once `decoded` bytes were decoded into it; false
// when the writer cannot convert it.
bool describe_decoded(std::span<const std::uint8_t> image, std::size_t decoded, OutputMode mode,
                      EntryRecord& record) {
  record.unpacked_size = decoded;
  const std::optional<BitmapPlan> plan = plan_bitmap(image, mode);
  if (!plan) return false;
  record.plan = *plan;
  record.extent = planned_extent(image, *plan);
  std::copy_n(image.begin() + kHorizontalResolutionField, kResolutionFieldsSize,
              record.resolution.begin());
  return true;
}

}  // namespace

EntryReader::EntryReader(ByteSource& source, EntryBuffers& buffers, WalkOptions options)
    : source_(source), buffers_(buffers), options_(options) {}

std::size_t EntryReader::read(std::span<std::uint8_t> into) {
  const std::size_t got = source_.read(into);
  position_ += got;
  return got;
}

// The filler is read and dropped rather than skipped with a seek, so that archives that cannot be
// positioned work too; it is never longer than 2047 bytes. An archive that ends inside it simply
// has no next entry, and a read error there is the next header's to report.
void EntryReader::skip_to_entry_boundary() {
  std::array<std::uint8_t, kEntryAlignment> filler;
  const std::size_t size = filler_size(position_);
  read(std::span(filler).first(size));
}

ReadStatus EntryReader::next_header() {
  entries_end_ = position_;
  const std::span<std::uint8_t> header = std::span(start_).first(kEntryHeaderSize);
  if (read(header) < header.size() ||
      !std::equal(kEntryMagic.begin(), kEntryMagic.end(), header.begin())) {
    // A read error is not the end of the archive.
    return source_.failed() ? ReadStatus::kUnreadable : ReadStatus::kEnd;
  }
  if (entries_ == options_.max_entries) return ReadStatus::kTooManyEntries;
  record_ = EntryRecord{.index = entries_++, .offset = entries_end_};
  borrowed_.clear();
  return ReadStatus::kEntry;
}

ReadStatus EntryReader::cut_short() const {
  return source_.failed() ? ReadStatus::kUnreadable : ReadStatus::kCutShort;
}

bool EntryReader::read_length() {
  const std::span<std::uint8_t, kLengthFieldSize> field =
      std::span(start_).subspan<kEntryHeaderSize, kLengthFieldSize>();
  if (read(field) < field.size()) return false;
  record_.unread = unread_bytes(start_);
  // At most kMaxPayloadSize, whatever the field says.
  record_.packed_size = read_length_field(field);
  return true;
}

ReadStatus EntryReader::skip_payload() {
  if (!read_length()) return cut_short();
  const std::uint64_t skipped = source_.skip(record_.packed_size);
  position_ += skipped;
  if (skipped < record_.packed_size) return cut_short();
  skip_to_entry_boundary();
  record_.end = position_;
  return ReadStatus::kEntry;
}

ReadStatus EntryReader::read_payload() {
  if (!read_length()) return cut_short();
  const std::size_t length = record_.packed_size;
  // The buffer grows with the bytes that come rather than with what the field claims, so that a
  // few bytes claiming 16 MiB cost no more than they are.
  for (std::size_t got = 0; got < length;) {
    const std::size_t part = std::min(length - got, kPayloadPart);
    if (buffers_.packed.size() < got + part) buffers_.packed.resize(got + part);
    const std::size_t read_now = read(std::span(buffers_.packed).subspan(got, part));
    got += read_now;
    if (read_now < part) return cut_short();
  }
  if (buffers_.image.size() < kInitialImageSize) buffers_.image.resize(kInitialImageSize);
  return ReadStatus::kEntry;
}

std::span<const std::uint8_t> EntryReader::payload() const {
  return std::span(buffers_.packed).first(record_.packed_size);
}

ReadStatus EntryReader::finish_entry(std::size_t decoded) {
  skip_to_entry_boundary();
  record_.end = position_;
  const std::vector<std::uint8_t>& image = buffers_.image;
  if (!describe_decoded(image, decoded, options_.mode, record_)) return ReadStatus::kNotConvertible;
  if (record_.borrows()) {
    borrowed_.assign(image.begin() + static_cast<std::ptrdiff_t>(decoded),
                     image.begin() + static_cast<std::ptrdiff_t>(record_.extent));
  }
  return ReadStatus::kEntry;
}

ReadStatus EntryReader::next() {
  for (const auto step : {&EntryReader::next_header, &EntryReader::read_payload}) {
    if (const ReadStatus status = (this->*step)(); status != ReadStatus::kEntry) return status;
  }
  const ReadStatus status = finish_entry(lzss_expand(payload(), buffers_.image));
  if (status == ReadStatus::kEntry) prepare_file(buffers_.image, record_.plan);
  return status;
}

std::optional<EntryRecord> decode_alone(std::span<const std::uint8_t> payload,
                                        const EntryRecord& where, OutputMode mode,
                                        std::vector<std::uint8_t>& image) {
  if (payload.size() != where.packed_size) return std::nullopt;
  image.clear();
  // As much as most entries decode to, so that the decoder seldom moves the buffer as it grows.
  image.reserve(kInitialImageSize);
  // An entry alone has nothing before it: its buffer holds what it decodes to, no more, so a
  // bitmap reaching past that is refused here rather than planned on bytes it does not have.
  EntryRecord record = where;
  const std::size_t decoded = lzss_expand(payload, image);
  if (!describe_decoded(image, decoded, mode, record) || record.borrows()) return std::nullopt;
  prepare_file(image, record.plan);
  return record;
}

std::optional<BitmapPlan> remake_decoded(std::span<const std::uint8_t> payload,
                                         const EntryRecord& entry,
                                         std::span<const std::uint8_t> borrowed,
                                         std::vector<std::uint8_t>& image) {
  if (payload.size() != entry.packed_size) return std::nullopt;
  image.clear();
  // Room for the decoder's own work past the decoded bytes, so that it never moves the buffer.
  image.reserve(std::max<std::uint64_t>(entry.unpacked_size + kExpandRoom, entry.extent));
  if (lzss_expand(payload, image) != entry.unpacked_size) return std::nullopt;
  // The buffer as the walk had it: the decoded bytes, then what the entry reaches past them.
  image.resize(std::max<std::uint64_t>(image.size(), entry.extent));
  if (!borrowed.empty()) {
    if (!entry.borrows() || borrowed.size() != entry.extent - entry.unpacked_size) {
      return std::nullopt;
    }
    std::copy(borrowed.begin(), borrowed.end(),
              image.begin() + static_cast<std::ptrdiff_t>(entry.unpacked_size));
  }
  // The plan looks at no byte past the extent, so it is the walk's own.
  const std::optional<BitmapPlan> plan = plan_bitmap(image, entry.plan.mode);
  if (!plan || plan->flip != entry.plan.flip) return std::nullopt;
  return plan;
}

bool remake_entry(std::span<const std::uint8_t> payload, const EntryRecord& entry,
                  std::span<const std::uint8_t> borrowed, std::vector<std::uint8_t>& image) {
  const std::optional<BitmapPlan> plan = remake_decoded(payload, entry, borrowed, image);
  if (!plan) return false;
  prepare_file(image, *plan);
  return true;
}

}  // namespace varnu::archive
