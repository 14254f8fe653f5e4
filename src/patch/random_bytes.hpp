// Bytes read anywhere, on demand: the original a patch copies from, whether a file, a file in a
// page, or bytes in memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace varnu::patch {

// Bytes to read anywhere, on demand: the original a patch copies from.
class RandomBytes {
 public:
  virtual ~RandomBytes() = default;
  virtual std::uint64_t size() const = 0;
  // Copies the bytes from `offset` into `into`, which ends at or before size(); false when they
  // cannot be read.
  virtual bool read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
};

// Bytes held in memory.
class SpanBytes final : public RandomBytes {
 public:
  explicit SpanBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, std::span<std::uint8_t> into) override {
    if (offset > bytes_.size() || into.size() > bytes_.size() - offset) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace varnu::patch
