// A command-line string as a path for the standard library's file calls (std::filesystem,
// std::fstream), for the programs that use those; the converter itself opens files through
// platform.hpp and needs none of this.
#pragma once

#include <filesystem>
#include <string>

namespace varnu::platform {

// On POSIX systems the bytes as they are; on Windows the UTF-8 turned into wide characters.
std::filesystem::path path_from_utf8(const std::string& path);

}  // namespace varnu::platform
