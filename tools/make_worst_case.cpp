// make-worst-case OUT.arc: writes a one-entry archive that makes the converter work hardest for
// its size. Its 16 MiB - 1 payload (the largest a length field holds) is a bitmap header stored
// as literals followed by nothing but matches of the longest count, so that it decodes to about
// 142 MB: nine times the payload, the most this stream format allows. The header claims the
// largest plain file (S = 16 MiB - 1) and rows as wide as the width field allows (65,535
// pixels), as many as the decoded bytes hold, so that the half-width file is as large as any
// archive of this size can make it.
#include <cstdint>
#include <exception>
#include <iostream>
#include <vector>

#include "format/archive.hpp"
#include "format/bitmap.hpp"
#include "tools/archive.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPayloadSize = varnu::kMaxPayloadSize;
constexpr std::size_t kHeaderBytes = varnu::kPaletteOffset + varnu::kPaletteSize;
constexpr std::uint32_t kWidth = 65535;
// Rows that fit in what the matches decode to: about (16 MiB / 17) groups of 144 bytes.
constexpr std::uint32_t kHeight = 2100;

void put(Bytes& bytes, std::size_t at, std::uint32_t value, int count) {
  for (int k = 0; k < count; ++k) bytes[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

Bytes worst_payload() {
  Bytes header(kHeaderBytes, 0);
  header[0] = 'B', header[1] = 'M';
  put(header, varnu::kFileSizeField, varnu::kMaxSize, varnu::kSizeBytes);
  put(header, 10, kHeaderBytes, 3);
  put(header, 14, 40, 4);
  put(header, 18, kWidth, 2);
  put(header, 22, kHeight, 2);
  put(header, 26, 1, 2);
  put(header, 28, 8, 2);
  for (std::size_t k = 0; k < 256; ++k) header[54 + 4 * k + 1] = static_cast<std::uint8_t>(k);

  // Whole groups of eight literals: two bytes of the first row round the header up.
  header.resize((header.size() + 7) / 8 * 8, 0);
  Bytes payload;
  for (std::size_t k = 0; k < header.size(); k += 8) {
    payload.push_back(0xFF);
    payload.insert(payload.end(), header.begin() + k, header.begin() + k + 8);
  }
  // Flag byte 0, then eight matches of 18 bytes copying from just behind the write position.
  while (payload.size() + 17 <= kPayloadSize) {
    payload.push_back(0x00);
    for (int item = 0; item < 8; ++item) payload.insert(payload.end(), {0x00, 0x0F});
  }
  return payload;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-worst-case OUT.arc\n";
    return 2;
  }
  try {
    varnu::tools::write_file(argv[1], varnu::tools::build_archive({worst_payload()}));
  } catch (const std::exception& error) {
    std::cerr << "make-worst-case: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
