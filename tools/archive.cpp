#include "tools/archive.hpp"

#include <fstream>
#include <stdexcept>
#include <string>

#include "pack/lzss_pack.hpp"

namespace varnu::tools {

std::vector<std::uint8_t> pack_entry_payload(const Picture& picture) {
  return pack::lzss_pack(pack::encode_bmp(picture));
}

void write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("cannot open " + path + " for writing");
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace varnu::tools
