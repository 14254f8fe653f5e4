// POSIX systems: paths are handed to the system as they are.
#include <sys/stat.h>

#include "platform/path.hpp"
#include "platform/platform.hpp"

namespace varnu::platform {

// fopen accepts a directory for reading on some systems; it is no file to read.
std::FILE* open_for_reading(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  struct stat status {};
  if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

std::FILE* open_for_writing(const std::string& path) {
  return std::fopen(path.c_str(), "wb");
}

void remove_file(const std::string& path) {
  std::remove(path.c_str());
}

// Paths are bytes; whatever the shell passed names the file, valid UTF-8 or not.
std::filesystem::path path_from_utf8(const std::string& path) {
  return std::filesystem::path(path);
}

}  // namespace varnu::platform
