#include "pack/picture/palette_entry.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "pack/picture/entry_copy.hpp"
#include "pack/picture/true_colour_entry.hpp"

namespace varnu::pack {
namespace {

Colour colour_at(std::span<const std::uint8_t> palette, std::size_t index) {
  const std::uint8_t* entry = palette.data() + index * kPaletteEntrySize;
  return Colour{entry[2]} << 16 | Colour{entry[1]} << 8 | entry[0];
}

std::string hex(Colour colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", colour);
  return text;
}

// Why the picture's palette does not match the original's, or nothing when it does.
std::optional<std::string> palette_difference(const IndexedPicture& picture,
                                              std::span<const std::uint8_t> converted) {
  const std::size_t original_entries =
      converted.size() < kHeadersSize ? 0 : palette_length(converted);
  const std::span<const std::uint8_t> original = converted.subspan(
      std::min(kPaletteOffset, converted.size()), original_entries * kPaletteEntrySize);
  const std::size_t shared = std::min(picture.colours, original_entries);
  for (std::size_t k = 0; k < shared; ++k) {
    const Colour mine = colour_at(picture.picture.palette, k);
    const Colour theirs = colour_at(original, k);
    if (mine != theirs) {
      return "palette entry " + std::to_string(k) + " is " + hex(mine) + ", the original's " +
             hex(theirs);
    }
  }
  const auto highest =
      std::max_element(picture.picture.pixels.begin(), picture.picture.pixels.end());
  if (highest == picture.picture.pixels.end()) return std::nullopt;
  if (*highest >= picture.colours) {
    // A bitmap may say so; the pixel shows black, as it does without --like.
    return "a pixel uses palette entry " + std::to_string(*highest) + ", past its own " +
           std::to_string(picture.colours);
  }
  if (*highest >= original_entries) {
    return "a pixel uses palette entry " + std::to_string(*highest) + ", and the original has " +
           std::to_string(original_entries);
  }
  return std::nullopt;
}

TrueColourPicture as_true_colour(const IndexedPicture& indexed) {
  TrueColourPicture picture;
  picture.width = indexed.picture.width;
  picture.height = indexed.picture.height;
  picture.resolution = indexed.resolution;
  picture.colours.reserve(indexed.picture.pixels.size());
  for (const std::uint8_t index : indexed.picture.pixels) {
    picture.colours.push_back(colour_at(indexed.picture.palette, index));
  }
  return picture;
}

}  // namespace

std::vector<std::uint8_t> palette_entry(const IndexedPicture& picture) {
  if (!picture.entry_form.empty()) return {picture.entry_form.begin(), picture.entry_form.end()};
  std::vector<std::uint8_t> out = encode_bmp(picture.picture);
  std::copy(picture.resolution.begin(), picture.resolution.end(),
            out.begin() + kHorizontalResolutionField);
  return out;
}

NormalisedPicture palette_entry_like(const IndexedPicture& picture,
                                     std::span<const std::uint8_t> converted,
                                     const RemapOptions& options) {
  if (const auto difference = palette_difference(picture, converted)) {
    NormalisedPicture out = entry_like(as_true_colour(picture), converted, options);
    // One warning for the picture: why it was matched by colour, then what mapping did.
    out.warning = "its palette differs from the original entry's (" + *difference +
                  "), so its pixels were matched to the original's palette by colour; save it "
                  "with the original's palette to keep every index" +
                  (out.warning.empty() ? "" : "; it " + out.warning);
    return out;
  }
  const Picture& p = picture.picture;
  if (!fits_in_place(converted, p.width, p.height, palette_length(converted))) {
    return {palette_entry(picture)};
  }
  return {with_indices_in_place(converted, p.pixels)};
}

}  // namespace varnu::pack
