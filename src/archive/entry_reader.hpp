// One walk of an archive, one record per entry: the converter writes its files from it, the
// page shows its pictures from it, and the packer's --like learns the original archive from it.
//
// The reader does to its image buffer exactly what the converter does to its own: every entry is
// decoded into it from offset 0, the buffer only grows and is never cleared, and each entry's
// bitmap is fixed up in place as the writer fixes it up. So a bitmap whose headers claim more
// than its entry decodes to is made with what earlier entries left behind it, as the converter
// makes it; the record says how far that reaches (`extent`) and the reader keeps those bytes
// (`borrowed`) for whoever has to make the entry's file again on its own.
//
// A reader has no state but its own and never ends the process: every step returns a status.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "archive/byte_source.hpp"
#include "bitmap/layout.hpp"
#include "format/archive.hpp"
#include "format/bitmap.hpp"
#include "format/buffers.hpp"

namespace varnu::archive {

// What one entry is and where it lies.
struct EntryRecord {
  int index = 0;
  std::uint64_t offset = 0;       // where its header begins
  std::size_t packed_size = 0;    // its payload's length
  std::size_t unpacked_size = 0;  // how many bytes the payload decodes to
  // Where its bytes end, filler included: the next entry boundary, or the archive's end if that
  // comes first.
  std::uint64_t end = 0;
  UnreadBytes unread{};
  // The resolution fields as decoded, before the fix-up overwrites them.
  std::array<std::uint8_t, kResolutionFieldsSize> resolution{};
  // What the writer does with the bitmap (in the walk's mode), and how far into the image buffer
  // its file reaches (planned_extent).
  BitmapPlan plan{};
  std::uint64_t extent = 0;

  std::uint64_t payload_offset() const { return offset + kPayloadOffset; }
  // Its file holds bytes that earlier entries left in the image buffer.
  bool borrows() const { return extent > unpacked_size; }
};

enum class ReadStatus {
  kEntry,           // an entry was read: see record(), image() and borrowed()
  kEnd,             // no entry header here: the walk is over
  kUnreadable,      // reading the archive failed
  kCutShort,        // the archive ends inside the entry
  kNotConvertible,  // its bitmap is one the writer would read or move bytes outside the buffer for
  kTooManyEntries,  // an entry past the most the walk was told to read
};

struct WalkOptions {
  OutputMode mode = OutputMode::kPlain;
  // The converter names no more than kMaxEntries files.
  int max_entries = kMaxEntries;
};
inline constexpr int kNoEntryLimit = std::numeric_limits<int>::max();

class EntryReader {
 public:
  EntryReader(ByteSource& source, EntryBuffers& buffers, WalkOptions options = {});

  // Reads the next entry whole: next_header, read_payload, the payload decoded into the image
  // buffer, finish_entry, and its file prepared there as the writer prepares it (prepare_file).
  ReadStatus next();

  // The same in steps, for a caller that decodes the payload and prepares the file itself, as
  // the converter's own routines do; it must prepare each file before the next step. At an entry
  // boundary: reads the entry header (kEntry when there is one).
  ReadStatus next_header();
  // Reads the length field and the payload, which payload() then holds.
  ReadStatus read_payload();
  std::span<const std::uint8_t> payload() const;
  // Once the payload has been decoded into the image buffer (`decoded` bytes): moves to the next
  // entry boundary, plans the bitmap and keeps the bytes it borrows.
  ReadStatus finish_entry(std::size_t decoded);
  // In place of read_payload and finish_entry, for a caller that decodes each entry on its own
  // later (decode_alone): reads the length field and moves past the payload and the filler. The
  // record then says where the entry lies (offset, packed_size, end, unread) and nothing of what
  // it decodes to; the image buffer is not touched, so steps that decode must not follow.
  ReadStatus skip_payload();

  // The last entry read, valid until the next step.
  const EntryRecord& record() const { return record_; }
  // The image buffer; after next(), it holds the entry's file as the writer takes it.
  std::span<std::uint8_t> image() { return buffers_.image; }
  // The bytes of the image buffer from unpacked_size to extent as they were before its fix-up:
  // what it borrows from earlier entries. Empty when it borrows nothing.
  std::span<const std::uint8_t> borrowed() const { return borrowed_; }

  // How many bytes of the archive have been read.
  std::uint64_t position() const { return position_; }
  // Where the last entry's bytes end: whatever the archive holds from there on follows its entries.
  std::uint64_t entries_end() const { return entries_end_; }

 private:
  std::size_t read(std::span<std::uint8_t> into);
  // Reads the length field into the record; false when the archive ends first.
  bool read_length();
  // What a read that came short means: a read error, or the archive cut short.
  ReadStatus cut_short() const;
  void skip_to_entry_boundary();

  ByteSource& source_;
  EntryBuffers& buffers_;
  WalkOptions options_;
  EntryRecord record_{};
  // The entry header and the length field, as read.
  std::array<std::uint8_t, kPayloadOffset> start_{};
  int entries_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t entries_end_ = 0;
  std::vector<std::uint8_t> borrowed_;
};

// Makes an entry's image buffer again on its own, from its payload and the bytes it borrows,
// and prepares its file there as the walk did: the same file, byte for byte. `borrowed` is what
// borrowed() gave for it, or empty to take zeros there (what a buffer that held nothing before
// would give). Returns false when the bytes do not make the entry `entry` describes (the archive
// changed since it was walked).
bool remake_entry(std::span<const std::uint8_t> payload, const EntryRecord& entry,
                  std::span<const std::uint8_t> borrowed, std::vector<std::uint8_t>& image);

// What the walk records for an entry that skip_payload() found at `where`, made from its payload
// alone, with its file prepared in `image` as the walk prepares it. Nothing when its file would
// take bytes that earlier entries left in the image buffer, or it cannot be converted on its own:
// then only the walk in order can tell what the converter makes of it.
std::optional<EntryRecord> decode_alone(std::span<const std::uint8_t> payload,
                                        const EntryRecord& where, OutputMode mode,
                                        std::vector<std::uint8_t>& image);

// remake_entry short of preparing the file: the image buffer as the walk had it once the entry
// was decoded, for a caller that also wants what the fix-up moves (the page shows the palette as
// decoded), and the plan that prepare_file then takes. Nothing when remake_entry would fail.
std::optional<BitmapPlan> remake_decoded(std::span<const std::uint8_t> payload,
                                         const EntryRecord& entry,
                                         std::span<const std::uint8_t> borrowed,
                                         std::vector<std::uint8_t>& image);

}  // namespace varnu::archive
