#include "pack/file_io.hpp"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "pack/picture/bmp_input.hpp"

namespace varnu::pack {
namespace {

// Tries this many random names before giving up on the folder.
constexpr int kTemporaryNameAttempts = 16;

std::filesystem::path temporary_beside(const std::filesystem::path& target) {
  std::random_device entropy;
  const std::filesystem::path folder = target.parent_path();
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    const std::string suffix = ".varnu-pack-" + std::to_string(entropy() % 1000000000u) + ".tmp";
    std::filesystem::path candidate = target;
    candidate += suffix;
    std::error_code error;
    if (!std::filesystem::exists(candidate, error) && !error) return candidate;
  }
  throw std::runtime_error("cannot find a free temporary name in its folder");
}

}  // namespace

std::ifstream open_input(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw InputError("cannot read it: a folder");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw InputError("cannot open it");
  return file;
}

std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path,
                                          std::uint64_t max_size) {
  std::error_code error;
  std::ifstream file = open_input(path);
  std::vector<std::uint8_t> bytes;
  constexpr std::size_t kChunk = 1 << 16;
  // Room for the whole file as it is now and the last read past its end, so that reading it
  // copies nothing twice; the reads below still decide how much there is.
  if (const std::uintmax_t size = std::filesystem::file_size(path, error); !error) {
    bytes.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(size, max_size)) + kChunk);
  }
  while (file) {
    const std::size_t old_size = bytes.size();
    bytes.resize(old_size + kChunk);
    file.read(reinterpret_cast<char*>(bytes.data() + old_size), kChunk);
    bytes.resize(old_size + static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > max_size) {
      throw InputError("longer than " + std::to_string(max_size) +
                       " bytes, more than any picture an entry can hold");
    }
  }
  if (file.bad() || !file.eof()) throw InputError("cannot read it");
  return bytes;
}

PendingFile::PendingFile(const std::filesystem::path& target)
    : target_(target), temporary_(temporary_beside(target)) {
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_) throw std::runtime_error("cannot create a file in its folder");
}

PendingFile::~PendingFile() {
  if (committed_) return;
  written_.close();
  stream_.close();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void PendingFile::write(std::span<const std::uint8_t> bytes) {
  stream_.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
  if (!stream_) throw std::runtime_error("cannot write it");
}

bool PendingFile::read_back(std::uint64_t offset, std::span<std::uint8_t> into) {
  stream_.flush();
  if (!stream_) return false;
  if (!written_.is_open()) written_.open(temporary_, std::ios::binary);
  written_.clear();
  written_.seekg(static_cast<std::streamoff>(offset));
  written_.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
  return static_cast<std::size_t>(written_.gcount()) == into.size();
}

void PendingFile::commit() {
  written_.close();
  stream_.flush();
  stream_.close();
  if (!stream_) throw std::runtime_error("cannot write it");
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) throw std::runtime_error("cannot put it in place: " + error.message());
  committed_ = true;
}

}  // namespace varnu::pack

namespace varnu::pack {

FileBytes::FileBytes(const std::filesystem::path& path) : file_(open_input(path)) {
  file_.seekg(0, std::ios::end);
  const std::streamoff end = file_.tellg();
  if (!file_ || end < 0) throw InputError("cannot read it");
  size_ = static_cast<std::uint64_t>(end);
}

bool FileBytes::read(std::uint64_t offset, std::span<std::uint8_t> into) {
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
  return static_cast<std::size_t>(file_.gcount()) == into.size();
}

}  // namespace varnu::pack
