// Kept apart from the other Windows calls: only the packer uses std::filesystem, and a program
// linked statically takes in the whole of any object file it uses, so varnu stays without it.
#include "platform/path.hpp"
#include "platform/utf.hpp"

namespace varnu::platform {

std::filesystem::path path_from_utf8(const std::string& path) {
  return std::filesystem::path(wide_from_utf8(path));
}

}  // namespace varnu::platform
