// Opening a file for reading on a POSIX system, shared by the programs' platform and the web
// page's, which reads from the same kind of file system.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace varnu::platform {

// fopen accepts a directory for reading on some systems; it is no file to read.
inline std::FILE* open_posix_file_for_reading(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  struct stat status {};
  if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace varnu::platform
