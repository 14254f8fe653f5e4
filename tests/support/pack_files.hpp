// Files for the packer's tests, written and read here byte by byte rather than by the packer's
// own code, so that an expectation never shares a fault with what it checks: a bitmap writer for
// every form the packer takes, an archive writer whose streams are all literals (which any
// correct decoder reads), and an archive reader that walks entries as the converter does and
// decodes them with the converter's decoder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lzss/lzss.hpp"
#include "tests/support/run_program.hpp"

namespace varnu::testing {

inline void put_le(Bytes& out, std::size_t at, std::uint64_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out.at(at + k) = static_cast<std::uint8_t>(value >> (8 * k));
}

// A palette bitmap, described by its fields. Pixel (x, row) counted from the bottom row is
// (x * 7 + row * 3 + 1) % colours, so that every row differs and every depth packs its bits.
struct BmpSpec {
  std::uint32_t width = 13;
  std::int32_t height = 5;  // negative: rows stored top row first
  unsigned bits = 8;
  std::uint32_t info_size = 40;
  std::uint32_t colours = 256;        // palette entries the pixels use
  std::uint32_t palette_entries = 0;  // written, the first `colours` of them set; 0: colours
  std::optional<std::uint32_t> colours_field{};  // unset: 0 for a full palette, else colours
  std::uint32_t gap = 0;                         // bytes between the palette and the rows
  std::uint32_t tail = 0;  // bytes after the rows, counted in the file-size field
  bool green_key = false;  // palette entry 0 pure green
  // Overrides for the pixel-offset and file-size fields.
  std::optional<std::uint32_t> pixel_offset{};
  std::optional<std::uint32_t> file_size{};
  std::array<std::uint8_t, 8> resolution = {0x13, 0x0B, 0, 0, 0x25, 0x0E, 0, 0};
  // The bottom-left and top-left pixels, when set.
  std::optional<std::uint8_t> bottom_left{};
  std::optional<std::uint8_t> top_left{};
};

inline std::uint8_t spec_pixel(const BmpSpec& s, std::uint32_t x, std::uint32_t row) {
  const std::uint32_t height = static_cast<std::uint32_t>(std::abs(s.height));
  if (x == 0 && row == 0 && s.bottom_left) return *s.bottom_left;
  if (x == 0 && row + 1 == height && s.top_left) return *s.top_left;
  return static_cast<std::uint8_t>((x * 7 + row * 3 + 1) % s.colours);
}

inline std::array<std::uint8_t, 4> spec_colour(const BmpSpec& s, std::uint32_t k) {
  if (k == 0 && s.green_key) return {0, 255, 0, 0};
  return {static_cast<std::uint8_t>(k ^ 0x5A), static_cast<std::uint8_t>(k),
          static_cast<std::uint8_t>(255 - k), 0};
}

inline Bytes bmp_file(const BmpSpec& s) {
  const std::uint64_t height = static_cast<std::uint64_t>(std::abs(s.height));
  const std::uint64_t stride = (std::uint64_t{s.width} * s.bits + 31) / 32 * 4;
  const std::uint64_t palette_at = 14 + s.info_size;
  const std::uint32_t entries = s.palette_entries != 0 ? s.palette_entries : s.colours;
  const std::uint64_t rows_at = palette_at + 4ull * entries + s.gap;
  const std::uint64_t size = rows_at + stride * height + s.tail;
  Bytes out(size, 0);
  out[0] = 'B';
  out[1] = 'M';
  put_le(out, 2, s.file_size.value_or(static_cast<std::uint32_t>(size)), 4);
  put_le(out, 10, s.pixel_offset.value_or(static_cast<std::uint32_t>(rows_at)), 4);
  put_le(out, 14, s.info_size, 4);
  put_le(out, 18, s.width, 4);
  put_le(out, 22, static_cast<std::uint32_t>(s.height), 4);
  put_le(out, 26, 1, 2);
  put_le(out, 28, s.bits, 2);
  put_le(out, 34, stride * height, 4);
  std::copy(s.resolution.begin(), s.resolution.end(), out.begin() + 38);
  put_le(out, 46, s.colours_field.value_or(s.colours == 1u << s.bits ? 0 : s.colours), 4);
  for (std::uint32_t k = 0; k < s.colours; ++k) {
    const auto colour = spec_colour(s, k);
    std::copy(colour.begin(), colour.end(), out.begin() + palette_at + 4 * k);
  }
  for (std::uint64_t row = 0; row < height; ++row) {
    const std::uint64_t stored = s.height < 0 ? height - 1 - row : row;
    std::uint8_t* line = out.data() + rows_at + stored * stride;
    for (std::uint32_t x = 0; x < s.width; ++x) {
      const unsigned value = spec_pixel(s, x, static_cast<std::uint32_t>(row));
      const std::uint64_t bit = std::uint64_t{x} * s.bits;
      line[bit / 8] |= static_cast<std::uint8_t>(value << (8 - s.bits - bit % 8));
    }
  }
  for (std::uint64_t k = size - s.tail; k < size; ++k) out[k] = static_cast<std::uint8_t>(k * 13);
  return out;
}

// The same picture in the form an entry stores: 40-byte header, 256 palette entries (those the
// file lacks are zero), 8-bit rows bottom-up, no gap, no tail, the resolution kept.
inline Bytes entry_form(BmpSpec s) {
  s.bits = 8;
  s.info_size = 40;
  s.height = std::abs(s.height);
  s.gap = s.tail = 0;
  s.pixel_offset.reset();
  s.file_size.reset();
  s.colours_field = 256;
  s.palette_entries = 256;
  return bmp_file(s);
}

// An LZSS stream of nothing but literals: a flag byte of eight ones before every eight bytes.
inline Bytes literal_stream(std::span<const std::uint8_t> data) {
  Bytes out;
  for (std::size_t k = 0; k < data.size(); ++k) {
    if (k % 8 == 0) out.push_back(0xFF);
    out.push_back(data[k]);
  }
  return out;
}

inline constexpr std::size_t kBoundary = 2048;

// Appends one entry at the next boundary: magic, bytes 6 and 7, the length field (the payload's
// own length unless `length` says otherwise), byte 11, the payload.
inline void append_entry(Bytes& archive, std::span<const std::uint8_t> payload,
                         std::array<std::uint8_t, 3> unread = {},
                         std::optional<std::size_t> length = std::nullopt) {
  archive.resize((archive.size() + kBoundary - 1) / kBoundary * kBoundary, 0);
  const std::size_t l = length.value_or(payload.size());
  const std::uint8_t header[12] = {'v',
                                   'a',
                                   'z',
                                   'm',
                                   'u',
                                   'r',
                                   unread[0],
                                   unread[1],
                                   static_cast<std::uint8_t>(l),
                                   static_cast<std::uint8_t>(l >> 8),
                                   static_cast<std::uint8_t>(l >> 16),
                                   unread[2]};
  archive.insert(archive.end(), header, header + 12);
  archive.insert(archive.end(), payload.begin(), payload.end());
}

struct StoredEntry {
  std::size_t offset = 0;
  std::array<std::uint8_t, 3> unread{};
  std::size_t payload_size = 0;
  Bytes bitmap;  // the payload decoded on its own
};

// Walks a packer's archive, checking its layout on the way: entries at every boundary until the
// file ends exactly on one, zero filler. Decoded with the converter's decoder. With
// `like_original`, laid out as a repack with --like keeps an original: the filler as the original
// had it, the file may end inside the last entry's filler, and bytes may follow the last entry
// (the walk ends, as the converter's does, where no whole header is).
inline std::vector<StoredEntry> read_archive(const Bytes& archive, bool like_original = false) {
  std::vector<StoredEntry> entries;
  if (!like_original) {
    EXPECT_EQ(archive.size() % kBoundary, 0u) << "archive ends between boundaries";
  }
  for (std::size_t at = 0; at < archive.size();) {
    const bool header =
        archive.size() - at >= 8 && std::equal(archive.begin() + at, archive.begin() + at + 6,
                                               std::string_view("vazmur").begin());
    if (!header && like_original) break;
    if (!header || archive.size() - at < 12) {
      ADD_FAILURE() << "no entry at " << at;
      break;
    }
    StoredEntry e;
    e.offset = at;
    e.unread = {archive[at + 6], archive[at + 7], archive[at + 11]};
    e.payload_size = archive[at + 8] | archive[at + 9] << 8 | archive[at + 10] << 16;
    const std::size_t end = at + 12 + e.payload_size;
    if (end > archive.size()) {
      ADD_FAILURE() << "entry at " << at << " cut short";
      break;
    }
    const std::span<const std::uint8_t> payload(archive.data() + at + 12, e.payload_size);
    const std::size_t decoded = lzss_expand(payload, e.bitmap);
    e.bitmap.resize(decoded);
    at = (end + kBoundary - 1) / kBoundary * kBoundary;
    for (std::size_t k = end; k < std::min(at, archive.size()) && !like_original; ++k) {
      if (archive[k] != 0) {
        ADD_FAILURE() << "filler byte " << k << " is not zero";
        break;
      }
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

// What one run of the packer left: its status and both of its streams.
struct PackRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the native packer, or with `under_test` the packer under test (the Node.js one in the
// node. tests, the Windows one in the wine. tests).
inline PackRun run_pack(const std::filesystem::path& cwd, std::vector<std::string> args,
                        std::optional<rlim_t> file_size_limit = std::nullopt,
                        bool under_test = false) {
  TempDir streams;
  const std::filesystem::path err_file = streams.path() / "stderr";
  const RunResult r = run_varnu(RunOptions{.program = under_test ? "" : VARNU_PACK_BINARY,
                                           .args = std::move(args),
                                           .cwd = cwd,
                                           .file_size_limit = file_size_limit,
                                           .packer = under_test,
                                           .windows_packer = under_test,
                                           .stderr_file = err_file});
  const Bytes err = read_bytes(err_file);
  return {r.status, r.output, std::string(err.begin(), err.end())};
}

}  // namespace varnu::testing
