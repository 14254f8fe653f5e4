// POSIX systems: paths are handed to the system as they are.

#include "platform/path.hpp"
#include "platform/platform.hpp"
#include "platform/posix_read.hpp"

namespace varnu::platform {

std::FILE* open_for_reading(const std::string& path) {
  return open_posix_file_for_reading(path);
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
