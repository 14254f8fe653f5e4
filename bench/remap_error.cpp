// remap-error EDIT.bmp MAPPED.bmp ORIGINAL.bmp: how far a mapping of an edited picture is from
// it, by CIEDE2000 over every pixel: the mean and the largest, then how many pixels whose colour
// ORIGINAL's palette holds (exact pixels) were given another colour.
// remap-error palette BITMAP.bmp OUT.bmp: BITMAP's palette as a 24-bit bitmap of one row, the
// form ImageMagick's -remap takes.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <set>
#include <string>
#include <variant>

#include "bench/ciede2000.hpp"
#include "pack/file_io.hpp"
#include "pack/picture/bmp_input.hpp"
#include "tools/archive.hpp"
#include "tools/edits.hpp"

namespace {

using namespace varnu;

pack::DecodedPicture read_picture(const std::string& path) {
  return pack::read_bmp(pack::read_whole_file(path, pack::kMaxInputFileSize));
}

tools::TrueColourPicture colours_of(const std::string& path) {
  const pack::DecodedPicture decoded = read_picture(path);
  if (const auto* indexed = std::get_if<pack::IndexedPicture>(&decoded)) {
    return tools::true_colour_of(indexed->picture);
  }
  return std::get<pack::TrueColourPicture>(decoded);
}

std::vector<pack::Colour> palette_of(const std::string& path) {
  const pack::IndexedPicture indexed = std::get<pack::IndexedPicture>(read_picture(path));
  std::vector<pack::Colour> palette;
  for (std::size_t k = 0; k < indexed.colours; ++k) {
    const std::uint8_t* e = indexed.picture.palette.data() + 4 * k;
    palette.push_back(pack::Colour{e[2]} << 16 | pack::Colour{e[1]} << 8 | e[0]);
  }
  return palette;
}

void compare(const std::string& edit_path, const std::string& mapped_path,
             const std::string& original_path) {
  const tools::TrueColourPicture edit = colours_of(edit_path);
  const tools::TrueColourPicture mapped = colours_of(mapped_path);
  const std::vector<pack::Colour> original = palette_of(original_path);
  const std::set<pack::Colour> in_palette(original.begin(), original.end());
  if (edit.colours.size() != mapped.colours.size()) throw std::runtime_error("sides differ");
  double total = 0, largest = 0;
  std::size_t exact_moved = 0;
  for (std::size_t p = 0; p < edit.colours.size(); ++p) {
    const pack::Colour from = edit.colours[p], to = mapped.colours[p];
    if (from == to) continue;
    if (in_palette.contains(from)) ++exact_moved;
    const double error = bench::ciede2000(bench::cielab_of(from), bench::cielab_of(to));
    total += error;
    largest = std::max(largest, error);
  }
  std::printf("%.3f %.2f %zu\n", total / static_cast<double>(edit.colours.size()), largest,
              exact_moved);
}

void write_palette(const std::string& bitmap, const std::string& out) {
  const std::vector<pack::Colour> palette = palette_of(bitmap);
  tools::TrueColourPicture row;
  row.width = static_cast<std::uint16_t>(palette.size());
  row.height = 1;
  row.colours = palette;
  tools::write_file(out, tools::encode_colours_bmp(row));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 4 && std::string(argv[1]) == "palette") {
      write_palette(argv[2], argv[3]);
    } else if (argc == 4) {
      compare(argv[1], argv[2], argv[3]);
    } else {
      std::cerr << "usage: remap-error EDIT.bmp MAPPED.bmp ORIGINAL.bmp\n"
                   "       remap-error palette BITMAP.bmp OUT.bmp\n";
      return 2;
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "remap-error: " << e.what() << '\n';
    return 1;
  }
}
