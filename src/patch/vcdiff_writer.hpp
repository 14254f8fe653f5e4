// Writes a VCDIFF patch (RFC 3284) that every patcher applies: the default code table, no
// secondary compression, no application header, and xdelta3's Adler-32 checksum on every window,
// so that a patcher given the wrong original refuses it. `xdelta3 -d -s ORIGINAL PATCH OUT`
// applies it.
//
// The caller hands over the target in order, as instructions with the bytes each makes (for the
// checksum, and in case a copy cannot be coded where it falls). The writer cuts the target into
// windows, picks the shortest address mode for each copy and joins neighbouring instructions
// into the table's double codes. Each window's copies may read the whole original (its segment),
// so an address never depends on what comes later in the window and a window is written as soon
// as it is full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "patch/vcdiff.hpp"

namespace varnu::patch {

class VcdiffWriter {
 public:
  using Sink = std::function<void(std::span<const std::uint8_t>)>;

  // xdelta3's own window size; it applies windows of up to 16 MiB.
  static constexpr std::uint64_t kWindowSize = std::uint64_t{8} << 20;
  // A segment and a window's addresses stay within 32 bits, as xdelta3 reads them.
  static constexpr std::uint64_t kMaxSegment = std::uint64_t{1} << 31;

  // The patch's bytes go to `sink` as they are made.
  VcdiffWriter(std::uint64_t original_size, Sink sink, std::uint64_t window_size = kWindowSize);

  void add(std::span<const std::uint8_t> bytes);
  void run(std::uint8_t byte, std::uint64_t count);
  // `bytes` are the original's from `offset`.
  void copy_original(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // `bytes` are the target's from `from`, before position(); they may overlap what they make.
  void copy_target(std::uint64_t from, std::span<const std::uint8_t> bytes);
  // Writes the last window.
  void finish();

  // How many target bytes have been handed over, and where the window they go into begins (or
  // began, when it is full).
  std::uint64_t position() const { return window_start_ + made_; }
  std::uint64_t window_start() const { return window_start_; }
  // What a copy's address would cost in bytes if it came next, or nothing when it cannot be a copy.
  std::optional<std::size_t> original_address_bytes(std::uint64_t offset) const;
  std::optional<std::size_t> target_address_bytes(std::uint64_t from) const;

 private:
  struct Pending {
    Kind kind = Kind::kNone;
    std::uint64_t size = 0;
    std::uint8_t mode = 0;
    std::uint64_t address = 0;  // a copy's
  };
  // Room left in the window, at least 1: a full window is written first.
  std::uint64_t room();
  void instruction(Kind kind, std::uint64_t size, std::uint8_t mode);
  void put_single(const Pending& single);
  void put_copy(std::uint64_t address, std::span<const std::uint8_t> bytes);
  // The part of the original a window starting at window_start_ copies from.
  void place_segment();
  void open_window();
  void close_window();

  std::uint64_t original_size_;
  Sink sink_;
  std::uint64_t window_size_;
  bool open_ = false;
  std::uint64_t window_start_ = 0;
  std::uint64_t made_ = 0;
  std::uint64_t segment_start_ = 0;
  std::uint64_t segment_size_ = 0;
  std::uint32_t checksum_ = 1;
  AddressCache cache_;
  Pending pending_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> instructions_;
  std::vector<std::uint8_t> addresses_;
  std::vector<std::uint8_t> out_;
};

}  // namespace varnu::patch
