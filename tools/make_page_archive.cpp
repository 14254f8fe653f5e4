// make-page-archive OUT.arc: writes the archive the page's browser tests open, holding what the
// page must show faithfully: a plain picture, a green-keyed one the converter turns upside down,
// an entry whose stream stops short of the size its header claims (so the bytes the previous
// entry left in the image buffer are written with it), and a last entry cut off inside its
// payload, which ends the run with a failure after three pictures.
#include <cstdint>
#include <exception>
#include <iostream>
#include <vector>

#include "format/archive.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace {

using namespace varnu;

// How much of the short entry's bitmap its stream holds: the rest comes from the entry before.
constexpr std::size_t kShortEntryKeptPercent = 60;
// The cut-off entry claims this many payload bytes and holds only the first few.
constexpr std::size_t kBrokenClaimedSize = 5000;
constexpr std::size_t kBrokenHeldSize = 100;

std::vector<std::uint8_t> short_entry_payload() {
  std::vector<std::uint8_t> bitmap = pack::encode_bmp(tools::draw_checkerboard(64, 48, 8));
  bitmap.resize(bitmap.size() * kShortEntryKeptPercent / 100);
  return pack::lzss_pack(bitmap);
}

std::vector<std::uint8_t> page_archive() {
  std::vector<std::uint8_t> archive = tools::build_archive({
      tools::pack_entry_payload(tools::draw_gradient(120, 90)),
      tools::pack_entry_payload(tools::draw_green_keyed(80, 60)),
      short_entry_payload(),
  });
  const auto start = entry_start(kBrokenClaimedSize, {});
  archive.insert(archive.end(), start.begin(), start.end());
  const std::vector<std::uint8_t> payload = tools::pack_entry_payload(tools::draw_sprite(3));
  archive.insert(archive.end(), payload.begin(), payload.begin() + kBrokenHeldSize);
  return archive;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-page-archive OUT.arc\n";
    return 2;
  }
  try {
    tools::write_file(argv[1], page_archive());
  } catch (const std::exception& e) {
    std::cerr << "make-page-archive: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
