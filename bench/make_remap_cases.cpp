// make-remap-cases DIR: writes the remap benchmark's pictures into DIR: for each case NAME, the
// original as a one-entry archive NAME.arc and its edit as a 24-bit bitmap NAME.bmp.
// make-remap-cases titles DIR BITMAP...: writes each bitmap (the converter's outputs) with a
// title drawn over it, as DIR/aa/NAME anti-aliased and DIR/plain/NAME aliased in one of its own
// colours, both 24-bit.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <variant>

#include "bench/remap_cases.hpp"
#include "pack/file_io.hpp"
#include "pack/picture/bmp_input.hpp"
#include "tools/archive.hpp"

namespace {

using namespace varnu;

tools::TrueColourPicture read_picture(const std::string& path) {
  const std::vector<std::uint8_t> file = pack::read_whole_file(path, pack::kMaxInputFileSize);
  const pack::DecodedPicture decoded = pack::read_bmp(file);
  if (const auto* indexed = std::get_if<pack::IndexedPicture>(&decoded)) {
    return tools::true_colour_of(indexed->picture);
  }
  return std::get<pack::TrueColourPicture>(decoded);
}

void write_titles(const std::filesystem::path& dir, int count, char** bitmaps) {
  std::filesystem::create_directories(dir / "aa");
  std::filesystem::create_directories(dir / "plain");
  for (int k = 0; k < count; ++k) {
    const tools::TrueColourPicture picture = read_picture(bitmaps[k]);
    const std::string name = std::filesystem::path(bitmaps[k]).filename().string();
    tools::write_file((dir / "aa" / name).string(),
                      tools::encode_colours_bmp(bench::titled(picture, false)));
    tools::write_file((dir / "plain" / name).string(),
                      tools::encode_colours_bmp(bench::titled(picture, true)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc >= 3 && std::string(argv[1]) == "titles") {
      write_titles(argv[2], argc - 3, argv + 3);
      return 0;
    }
    if (argc != 2) {
      std::cerr << "usage: make-remap-cases DIR | make-remap-cases titles DIR BITMAP...\n";
      return 2;
    }
    const std::filesystem::path dir = argv[1];
    for (const bench::RemapCase& c : bench::remap_cases()) {
      tools::write_file((dir / (c.name + ".arc")).string(),
                        tools::build_archive({tools::pack_entry_payload(c.original)}));
      tools::write_file((dir / (c.name + ".bmp")).string(), tools::encode_colours_bmp(c.edited));
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "make-remap-cases: " << e.what() << '\n';
    return 1;
  }
}
