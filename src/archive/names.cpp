#include "archive/names.hpp"

#include <cassert>

namespace varnu {

std::string derive_base_name(std::string_view path) {
  const std::string_view cut = path.substr(0, path.find('.'));
  const std::size_t separator = cut.find_last_of(":\\");
  return std::string(separator == std::string_view::npos ? cut : cut.substr(separator + 1));
}

std::string output_name(std::string_view base, int entry) {
  assert(entry >= 0 && entry < kMaxEntries);
  // The hundreds run on past 9 as the letters A to Z.
  const int hundreds = entry / 100;
  const char hundreds_char =
      static_cast<char>(hundreds < 10 ? '0' + hundreds : 'A' + hundreds - 10);
  std::string name(base);
  name += '_';
  name += hundreds_char;
  name += static_cast<char>('0' + entry % 100 / 10);
  name += static_cast<char>('0' + entry % 10);
  name += ".BMP";
  return name;
}

}  // namespace varnu
