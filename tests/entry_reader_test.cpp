// The archive walk through its reader: what it says where an archive stops short or cannot be
// read, what the converter makes of each status, and the record of each entry, down to the bytes
// an entry borrows from earlier ones, with which its file is made again alone.
#include "archive/entry_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "driver/extract.hpp"
#include "driver/fail.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "pack/picture/palette_bitmap.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace varnu {
namespace {

using archive::EntryReader;
using archive::ReadStatus;
using Bytes = std::vector<std::uint8_t>;

constexpr int kSuccess = -1;

// Yields the archive's first `good` bytes, then a read error, or its end when `fails` is false.
class CutSource final : public archive::ByteSource {
 public:
  CutSource(const Bytes& bytes, std::size_t good, bool fails)
      : bytes_(bytes), good_(good), fails_(fails) {}
  std::size_t read(std::span<std::uint8_t> into) override {
    const std::size_t count = std::min(into.size(), good_ - at_);
    std::memcpy(into.data(), bytes_.data() + at_, count);
    at_ += count;
    if (count < into.size() && fails_) failed_ = true;
    return count;
  }
  bool failed() const override { return failed_; }

 private:
  const Bytes& bytes_;
  std::size_t good_;
  bool fails_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

// How a walk goes through each entry: decoding it as the converter does, or only finding where
// it lies (skip_payload), past its payload by reading it or by positioning a stream.
enum class Steps { kDecoded, kPlacedByReading, kPlacedByPositioning };

// Walks the archive's first `good` bytes, then a read error or (when `fails` is false, or by
// positioning) its end; the failure code the converter's run would end with, or kSuccess.
int walk(const Bytes& archive, std::size_t good, bool fails, Steps steps = Steps::kDecoded) {
  CutSource cut(archive, good, fails);
  std::istringstream stream(std::string(archive.begin(), archive.begin() + good));
  archive::StreamSource positioned(stream);
  archive::ByteSource& source =
      steps == Steps::kPlacedByPositioning ? static_cast<archive::ByteSource&>(positioned) : cut;
  EntryBuffers buffers;
  EntryReader reader(source, buffers);
  for (int converted = 0;; ++converted) {
    ReadStatus status;
    if (steps == Steps::kDecoded) {
      status = reader.next();
    } else if ((status = reader.next_header()) == ReadStatus::kEntry) {
      status = reader.skip_payload();
    }
    if (status == ReadStatus::kEntry) continue;
    return failure_for(status, converted).value_or(kSuccess);
  }
}

TEST(EntryReader, AReadErrorAnywhereIsAnArchiveThatCannotBeRead) {
  tools::Picture picture;
  picture.width = 8;
  picture.height = 8;
  picture.pixels.assign(64, 7);
  const Bytes payload = tools::pack_entry_payload(picture);
  const Bytes archive = tools::build_archive({payload, payload});
  const std::size_t second = kEntryAlignment;
  const std::size_t payload_end = kPayloadOffset + payload.size();
  ASSERT_LT(payload_end + 100, second);
  const struct {
    const char* name;
    std::size_t good;
    int at_end;  // when the archive just ends there instead
  } cases[] = {
      {"at the start", 0, FAIL_CONVERT},
      {"inside the header", 4, FAIL_CONVERT},
      {"inside the length field", 10, FAIL_CONVERT},
      {"inside the payload", payload_end - payload.size() / 2, FAIL_CONVERT},
      {"inside the filler", payload_end + 100, kSuccess},
      {"after a good entry", second, kSuccess},
      {"inside the next payload", second + payload_end - 1, FAIL_CONVERT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(walk(archive, c.good, true), FAIL_OPEN_INPUT);
    EXPECT_EQ(walk(archive, c.good, false), c.at_end);
    // Finding where entries lie without decoding them stops at the same places.
    EXPECT_EQ(walk(archive, c.good, true, Steps::kPlacedByReading), FAIL_OPEN_INPUT);
    EXPECT_EQ(walk(archive, c.good, false, Steps::kPlacedByReading), c.at_end);
    EXPECT_EQ(walk(archive, c.good, false, Steps::kPlacedByPositioning), c.at_end);
  }
}

TEST(EntryReader, StopsAtTheMostEntriesItIsToldAndNotBefore) {
  const Bytes payload = tools::pack_entry_payload(tools::draw_gradient(4, 2));
  const Bytes archive = tools::build_archive({payload, payload, payload});
  for (const auto& [limit, read, last] :
       {std::tuple{2, 2, ReadStatus::kTooManyEntries}, std::tuple{3, 3, ReadStatus::kEnd}}) {
    CutSource source(archive, archive.size(), false);
    EntryBuffers buffers;
    EntryReader reader(source, buffers, {.max_entries = limit});
    int entries = 0;
    ReadStatus status;
    while ((status = reader.next()) == ReadStatus::kEntry) ++entries;
    EXPECT_EQ(entries, read);
    EXPECT_EQ(status, last);
  }
}

// A bitmap whose stream stops `cut` bytes before its end, its headers still claiming all of it:
// the converter's file for it takes the rest from what the entry before it left.
Bytes cut_bitmap(const tools::Picture& picture, std::size_t cut) {
  Bytes file = pack::encode_bmp(picture);
  file.resize(file.size() - cut);
  return file;
}

TEST(EntryReader, RecordsEachEntryAndMakesItsFileAgainFromItsOwnBytes) {
  const tools::Picture keyed = tools::draw_green_keyed(40, 30);
  const tools::Picture noise = tools::draw_noise(40, 30, 7);
  const std::vector<Bytes> bitmaps = {pack::encode_bmp(noise), cut_bitmap(keyed, 700),
                                      pack::encode_bmp(tools::draw_noise(40, 30, 9)),
                                      cut_bitmap(noise, 1)};
  std::vector<Bytes> payloads;
  for (const Bytes& bitmap : bitmaps) payloads.push_back(pack::lzss_pack(bitmap));
  const Bytes trailing = {'e', 'n', 'd'};
  Bytes archive = tools::build_archive(payloads);
  archive.insert(archive.end(), trailing.begin(), trailing.end());

  for (const OutputMode mode : {OutputMode::kPlain, OutputMode::kHalfWidth}) {
    SCOPED_TRACE(mode == OutputMode::kPlain ? "plain" : "half width");
    CutSource source(archive, archive.size(), false);
    EntryBuffers buffers;
    EntryReader reader(source, buffers, {.mode = mode});
    // The same archive, its entries only placed, then each decoded alone.
    std::istringstream stream(std::string(archive.begin(), archive.end()));
    archive::StreamSource positioned(stream);
    EntryBuffers unused;
    EntryReader placer(positioned, unused, {.mode = mode});
    std::uint64_t offset = 0;
    for (std::size_t k = 0; k < bitmaps.size(); ++k) {
      SCOPED_TRACE("entry " + std::to_string(k));
      ASSERT_EQ(reader.next(), ReadStatus::kEntry);
      const archive::EntryRecord& entry = reader.record();
      ASSERT_EQ(placer.next_header(), ReadStatus::kEntry);
      ASSERT_EQ(placer.skip_payload(), ReadStatus::kEntry);
      const archive::EntryRecord& placed = placer.record();
      EXPECT_EQ(std::tie(placed.index, placed.offset, placed.packed_size, placed.end),
                std::tie(entry.index, entry.offset, entry.packed_size, entry.end));
      EXPECT_TRUE(placed.unread == entry.unread);
      // Alone, an entry that borrows cannot be known; any other is the walk's, file and all.
      Bytes alone;
      const std::optional<archive::EntryRecord> decoded =
          archive::decode_alone(payloads[k], placed, mode, alone);
      ASSERT_EQ(decoded.has_value(), !entry.borrows());
      if (decoded) {
        EXPECT_EQ(std::tie(decoded->unpacked_size, decoded->extent, decoded->plan.flip,
                           decoded->resolution),
                  std::tie(entry.unpacked_size, entry.extent, entry.plan.flip, entry.resolution));
        EXPECT_TRUE(std::equal(alone.begin(),
                               alone.begin() + static_cast<std::ptrdiff_t>(entry.extent),
                               reader.image().begin()));
      }
      EXPECT_EQ(entry.index, static_cast<int>(k));
      EXPECT_EQ(entry.offset, offset);
      EXPECT_EQ(entry.packed_size, payloads[k].size());
      EXPECT_EQ(entry.unpacked_size, bitmaps[k].size());
      offset += (kPayloadOffset + payloads[k].size() + kEntryAlignment - 1) / kEntryAlignment *
                kEntryAlignment;
      EXPECT_EQ(entry.end, offset);
      // The cut entries reach past their own bytes; the green-keyed one also turns over rows it
      // borrows.
      const bool cut = k % 2 == 1;
      EXPECT_EQ(entry.borrows(), cut);
      EXPECT_EQ(reader.borrowed().size(), cut ? entry.extent - entry.unpacked_size : 0);
      EXPECT_EQ(entry.plan.flip, k == 1);

      // Made again alone, with what it borrowed, the file is the walk's to the last byte it
      // reaches; without it, a borrowing entry is not.
      const std::span<const std::uint8_t> walked = reader.image().first(entry.extent);
      Bytes remade;
      ASSERT_TRUE(archive::remake_entry(payloads[k], entry, reader.borrowed(), remade));
      EXPECT_TRUE(std::equal(walked.begin(), walked.end(), remade.begin()));
      ASSERT_TRUE(archive::remake_entry(payloads[k], entry, {}, remade));
      EXPECT_EQ(std::equal(walked.begin(), walked.end(), remade.begin()), !cut);
      // Bytes that are not the entry's are refused.
      EXPECT_FALSE(archive::remake_entry(payloads[(k + 1) % payloads.size()], entry, {}, remade));
    }
    EXPECT_EQ(reader.next(), ReadStatus::kEnd);
    EXPECT_EQ(placer.next_header(), ReadStatus::kEnd);
    EXPECT_EQ(placer.entries_end(), offset);
    EXPECT_EQ(reader.entries_end(), offset);
    EXPECT_EQ(reader.position(), offset + trailing.size());
  }
}

}  // namespace
}  // namespace varnu
