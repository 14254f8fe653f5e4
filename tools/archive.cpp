#include "tools/archive.hpp"

#include <fstream>
#include <stdexcept>
#include <string>

#include "format/archive.hpp"
#include "pack/encoder/lzss_pack.hpp"

namespace varnu::tools {

std::vector<std::uint8_t> build_archive(const std::vector<std::vector<std::uint8_t>>& payloads,
                                        bool pad_last) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const auto& payload = payloads[i];
    if (payload.size() > kMaxPayloadSize) {
      throw std::length_error("entry " + std::to_string(i) + " is " +
                              std::to_string(payload.size()) + " bytes, more than a " +
                              "24-bit length can hold");
    }
    out.resize(out.size() + filler_size(out.size()), 0);
    const auto start = entry_start(payload.size(), UnreadBytes{});
    out.insert(out.end(), start.begin(), start.end());
    out.insert(out.end(), payload.begin(), payload.end());
  }
  if (pad_last) out.resize(out.size() + filler_size(out.size()), 0);
  return out;
}

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
