// Files of the packer, named by UTF-8 strings: reading an input whole, and writing the archive
// so that it appears complete or not at all. Only the standard library touches files here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "platform/path.hpp"

namespace varnu::pack {

using platform::path_from_utf8;

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
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  bool committed_ = false;
};

}  // namespace varnu::pack
