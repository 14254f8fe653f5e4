// Files of the packer, named by UTF-8 strings: reading an input whole, and writing the archive
// so that it appears complete or not at all. Only the standard library touches files here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "patch/random_bytes.hpp"
#include "platform/path.hpp"

namespace varnu::pack {

using platform::path_from_utf8;

// Opens an input file for reading. Throws InputError when it cannot be opened or is a folder.
std::ifstream open_input(const std::filesystem::path& path);

// Reads the whole file. Throws InputError when it cannot be opened or read, or when it is longer
// than `max_size` bytes (then no more than that is read).
std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path,
                                          std::uint64_t max_size);

// A file written under a temporary name in the target's folder and renamed over the target by
// commit(), once complete and flushed. Until then the target is untouched; a PendingFile that is
// destroyed uncommitted removes what it wrote. Failures throw std::runtime_error.
class PendingFile {
 public:
  explicit PendingFile(const std::filesystem::path& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  void write(std::span<const std::uint8_t> bytes);
  // What was written from `offset`; false when it cannot be read back.
  bool read_back(std::uint64_t offset, std::span<std::uint8_t> into);
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  std::ifstream written_;
  bool committed_ = false;
};

// A file read anywhere, as a patch reads the original it copies from. Throws InputError when it
// cannot be opened or its size cannot be told.
class FileBytes final : public patch::RandomBytes {
 public:
  explicit FileBytes(const std::filesystem::path& path);
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, std::span<std::uint8_t> into) override;

 private:
  std::ifstream file_;
  std::uint64_t size_ = 0;
};

}  // namespace varnu::pack
