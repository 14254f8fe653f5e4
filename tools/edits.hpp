// Edits as people make them in an image editor on a palette picture, in true colour: anti-aliased
// text, a soft brush, a pasted photograph, flat shapes in new colours. Every one is a pure
// function of its arguments, in whole numbers, the same on every platform.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "pack/picture/true_colour.hpp"
#include "tools/picture.hpp"

namespace varnu::tools {

using pack::Colour;
using pack::TrueColourPicture;

// Every pixel of `picture` as its palette colour.
TrueColourPicture true_colour_of(const Picture& picture);

// A 24-bit bitmap of the picture, with a 40-byte header.
std::vector<std::uint8_t> encode_colours_bmp(const TrueColourPicture& picture);

// Positions count from the top-left pixel.

// Capital letters (those of "A E I L M N R S T U W"), digits and spaces from a 5 x 7 font, each
// cell `scale` pixels, slanted and sampled 4 x 4 times a pixel, so that edges blend `ink` into
// what is there; with `shadow`, first the same in black two pixels down and right.
void draw_text(TrueColourPicture& picture, int left, int top, int scale, std::string_view text,
               Colour ink, bool shadow);
// The same text, aliased: each pixel wholly `ink` or left as it was.
void draw_text_aliased(TrueColourPicture& picture, int left, int top, int scale,
                       std::string_view text, Colour ink);

// A soft round brush dabbed along a line: full `paint` at the line, fading to nothing at
// `radius`.
void brush_stroke(TrueColourPicture& picture, int x0, int y0, int x1, int y1, int radius,
                  Colour paint);

// A photograph-like rectangle pasted over the picture: smooth colour in all three channels
// (each its own value noise) with grain, so that nearly every pixel is a colour of its own.
void paste_photo(TrueColourPicture& picture, int left, int top, int width, int height,
                 std::uint32_t seed);

void fill_rectangle(TrueColourPicture& picture, int left, int top, int width, int height,
                    Colour colour);

// Pixel art: flat blocks of `block` pixels in `used` colours of a 256-entry palette (entry 0 a
// green key around the border), the other entries unused.
Picture draw_pixel_art(std::uint16_t width, std::uint16_t height, int block, int used);

}  // namespace varnu::tools
