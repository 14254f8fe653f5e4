// make-many-pictures OUT.arc COUNT: writes an archive of COUNT different 640 x 480 pictures,
// up to the 3,600 an archive holds, in about a second where packing them would take a minute.
//
// Each entry's stream is written directly rather than searched for: the bitmap's headers,
// palette and bottom row as literals, then every other row as the longest matches, copying the
// row below it. An entry is about 36 KB and decodes to a 307 KB file. The bottom row begins
// with the entry's number, so no two pictures are alike, and its stripes differ in width and
// shade from entry to entry, so that the gallery shows them apart.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <utility>
#include <vector>

#include "format/archive.hpp"
#include "format/bitmap.hpp"
#include "format/lzss.hpp"
#include "tools/archive.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using varnu::pack::Picture;

constexpr std::uint16_t kWidth = 640;
constexpr std::uint16_t kHeight = 480;
// Stripes of 1 to kStripeWidths pixels, by entry.
constexpr int kStripeWidths = 16;

// Blue rising, green falling, red cycling: neighbouring indices look different. Entry 0 is
// black, never the green that would turn a picture upside down.
Picture blank_picture() {
  Picture picture;
  picture.width = kWidth;
  picture.height = kHeight;
  picture.pixels.resize(std::size_t{kWidth} * kHeight);
  for (std::size_t k = 0; k < varnu::kPaletteEntries; ++k) {
    const std::size_t at = k * varnu::kPaletteEntrySize;
    picture.palette[at] = static_cast<std::uint8_t>(k);
    picture.palette[at + 1] = static_cast<std::uint8_t>(k == 0 ? 0 : 255 - k);
    picture.palette[at + 2] = static_cast<std::uint8_t>(k * 7);
  }
  return picture;
}

Bytes bottom_row(int entry) {
  Bytes row(kWidth);
  for (std::size_t x = 0; x < row.size(); ++x) {
    row[x] = static_cast<std::uint8_t>(x / (1 + entry % kStripeWidths) + 3 * entry);
  }
  row[0] = static_cast<std::uint8_t>(entry);
  row[1] = static_cast<std::uint8_t>(entry >> 8);
  return row;
}

// Groups of eight items, each flagged in its group's first byte: set for a literal.
class StreamWriter {
 public:
  void literals(const Bytes& bytes) {
    for (const std::uint8_t byte : bytes) {
      start_item(true);
      out_.push_back(byte);
    }
  }
  // `count` bytes copied from `distance` back, in the longest matches.
  void repeat(std::size_t distance, std::size_t count) {
    for (std::size_t left = count; left > 0;) {
      std::size_t length = std::min(varnu::kMaxMatch, left);
      // Never leave a tail shorter than a match.
      if (left > length && left - length < varnu::kMinMatch) length = left - varnu::kMinMatch;
      start_item(false);
      const auto bytes =
          varnu::match_bytes((varnu::kRingStart + written_ - distance) & varnu::kRingMask, length);
      out_.insert(out_.end(), bytes.begin(), bytes.end());
      written_ += length;
      left -= length;
    }
  }
  Bytes take() { return std::move(out_); }

 private:
  void start_item(bool is_literal) {
    if (items_ == varnu::kItemsPerGroup) {
      flags_at_ = out_.size();
      out_.push_back(0);
      items_ = 0;
    }
    if (is_literal) {
      out_[flags_at_] |= static_cast<std::uint8_t>(1u << items_);
      ++written_;
    }
    ++items_;
  }

  Bytes out_;
  std::size_t flags_at_ = 0;
  std::size_t items_ = varnu::kItemsPerGroup;
  std::size_t written_ = 0;  // bytes the stream decodes to so far
};

// `headers`: the file's headers and palette, the same for every entry.
Bytes entry_payload(const Bytes& headers, int entry) {
  StreamWriter stream;
  stream.literals(headers);
  stream.literals(bottom_row(entry));
  stream.repeat(kWidth, std::size_t{kWidth} * (kHeight - 1));
  return stream.take();
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
  if (count < 1 || count > varnu::kMaxEntries) {
    std::cerr << "usage: make-many-pictures OUT.arc COUNT (1 to " << varnu::kMaxEntries << ")\n";
    return 2;
  }
  try {
    Bytes headers = varnu::pack::encode_bmp(blank_picture());
    headers.resize(varnu::kPaletteOffset + varnu::kPaletteSize);
    std::vector<Bytes> payloads;
    for (int entry = 0; entry < count; ++entry) payloads.push_back(entry_payload(headers, entry));
    varnu::tools::write_file(argv[1], varnu::tools::build_archive(payloads));
  } catch (const std::exception& error) {
    std::cerr << "make-many-pictures: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
