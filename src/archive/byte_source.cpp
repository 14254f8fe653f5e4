#include "archive/byte_source.hpp"

#include <algorithm>

namespace varnu::archive {

std::size_t FileSource::read(std::span<std::uint8_t> into) {
  return std::fread(into.data(), 1, into.size(), file_);
}

bool FileSource::failed() const {
  return std::ferror(file_) != 0;
}

std::size_t StreamSource::read(std::span<std::uint8_t> into) {
  stream_.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
  return static_cast<std::size_t>(stream_.gcount());
}

std::size_t PartSource::read(std::span<std::uint8_t> into) {
  const std::size_t count = std::min(into.size(), part_.size());
  std::copy_n(part_.begin(), count, into.begin());
  part_ = part_.subspan(count);
  return count;
}

}  // namespace varnu::archive
