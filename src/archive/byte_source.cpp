#include "archive/byte_source.hpp"

#include <algorithm>
#include <array>

namespace varnu::archive {

std::uint64_t ByteSource::skip(std::uint64_t count) {
  std::array<std::uint8_t, 32 * 1024> dropped;
  std::uint64_t skipped = 0;
  while (skipped < count) {
    const auto part =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - skipped, dropped.size()));
    const std::size_t got = read(std::span(dropped).first(part));
    skipped += got;
    if (got < part) break;
  }
  return skipped;
}

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

std::uint64_t StreamSource::skip(std::uint64_t count) {
  const std::streampos at = stream_.tellg();
  if (at == std::streampos(-1)) return ByteSource::skip(count);
  stream_.seekg(0, std::ios::end);
  const std::streampos end = stream_.tellg();
  if (end == std::streampos(-1) || end < at) {
    stream_.clear();
    stream_.seekg(at);
    return ByteSource::skip(count);
  }
  // Seeking past the end is no error to a stream: stop at the end, as reading would.
  const std::uint64_t skipped =
      std::min<std::uint64_t>(count, static_cast<std::uint64_t>(end - at));
  stream_.seekg(at + static_cast<std::streamoff>(skipped));
  return skipped;
}

std::size_t PartSource::read(std::span<std::uint8_t> into) {
  const std::size_t count = std::min(into.size(), part_.size());
  std::copy_n(part_.begin(), count, into.begin());
  part_ = part_.subspan(count);
  return count;
}

}  // namespace varnu::archive
