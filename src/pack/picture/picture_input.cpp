#include "pack/picture/picture_input.hpp"

#include <type_traits>

#include "pack/picture/palette_entry.hpp"
#include "pack/picture/png_input.hpp"
#include "pack/picture/true_colour_entry.hpp"

namespace varnu::pack {

NormalisedPicture normalise_picture(std::span<const std::uint8_t> file,
                                    const PictureOptions& options) {
  const DecodedPicture decoded = is_png(file) ? read_png(file, options.no_limits) : read_bmp(file);
  return std::visit(
      [&](const auto& picture) -> NormalisedPicture {
        if constexpr (std::is_same_v<std::decay_t<decltype(picture)>, IndexedPicture>) {
          return options.like ? palette_entry_like(picture, options.like(), options.remap)
                              : NormalisedPicture{palette_entry(picture)};
        } else {
          return options.like ? entry_like(picture, options.like(), options.remap)
                              : entry_with_own_palette(picture, options.remap);
        }
      },
      decoded);
}

std::vector<std::uint8_t> normalise_bitmap(std::span<const std::uint8_t> file,
                                           const LikeBitmap& like) {
  return normalise_picture(file, {.like = like}).bitmap;
}

}  // namespace varnu::pack
