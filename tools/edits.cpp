#include "tools/edits.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "tools/rng.hpp"

namespace varnu::tools {
namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kSamples = 4;  // per pixel, on each axis

// Rows from the top, the leftmost column the highest of five bits.
struct Glyph {
  char letter;
  std::array<std::uint8_t, kGlyphHeight> rows;
};
constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x1B, 0x11}}, {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}}, {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}}, {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}}, {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
};

bool inked(char letter, int column, int row) {
  if (column < 0 || row < 0 || column >= kGlyphWidth || row >= kGlyphHeight) return false;
  for (const Glyph& g : kFont) {
    if (g.letter == letter) return (g.rows[row] >> (kGlyphWidth - 1 - column) & 1) != 0;
  }
  return false;  // a space, or a letter the font lacks
}

Colour& at(TrueColourPicture& picture, int x, int y) {
  return picture.colours[static_cast<std::size_t>(picture.height - 1 - y) * picture.width + x];
}

bool inside(const TrueColourPicture& picture, int x, int y) {
  return x >= 0 && y >= 0 && x < picture.width && y < picture.height;
}

// `over` laid on `under` covering `amount` of `whole`.
Colour blend(Colour under, Colour over, int amount, int whole) {
  Colour out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const int u = static_cast<int>(under >> shift & 0xFF);
    const int o = static_cast<int>(over >> shift & 0xFF);
    out = out << 8 | static_cast<Colour>(u + ((o - u) * amount + whole / 2) / whole);
  }
  return out;
}

// How many of a pixel's kSamples^2 samples fall on ink: sample (sx, sy) of pixel (x, y) of the
// text lies at text-space position (x * kSamples + sx) / (scale * kSamples), slanted by a
// quarter of a cell per cell of height.
int coverage(std::string_view text, int scale, int x, int y) {
  int covered = 0;
  const int cell = scale * kSamples;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const int py = y * kSamples + sy;
      const int px = x * kSamples + sx - (kGlyphHeight * cell - py) / 4;
      if (px < 0 || py < 0) continue;
      const int row = py / cell;
      const int column = px / cell;
      const std::size_t letter = static_cast<std::size_t>(column / (kGlyphWidth + 1));
      if (letter >= text.size()) continue;
      covered += inked(text[letter], column % (kGlyphWidth + 1), row);
    }
  }
  return covered;
}

template <typename Paint>
void each_text_pixel(const TrueColourPicture& picture, int left, int top, int scale,
                     std::string_view text, Paint paint) {
  const int width = static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale + 2 * scale;
  const int height = kGlyphHeight * scale;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!inside(picture, left + x, top + y)) continue;
      const int covered = coverage(text, scale, x, y);
      if (covered != 0) paint(left + x, top + y, covered);
    }
  }
}

// Value noise in 0..255: random levels on a grid of `cell`, bilinearly interpolated.
class ValueNoise {
 public:
  ValueNoise(int width, int height, int cell, Rng& rng)
      : columns_(width / cell + 2), cell_(cell), levels_((width / cell + 2) * (height / cell + 2)) {
    for (int& v : levels_) v = rng.below(256);
  }
  int at(int x, int y) const {
    const int gx = x / cell_, gy = y / cell_, fx = x % cell_, fy = y % cell_;
    const int top = level(gx, gy) * (cell_ - fx) + level(gx + 1, gy) * fx;
    const int bottom = level(gx, gy + 1) * (cell_ - fx) + level(gx + 1, gy + 1) * fx;
    return (top * (cell_ - fy) + bottom * fy) / (cell_ * cell_);
  }

 private:
  int level(int gx, int gy) const { return levels_[static_cast<std::size_t>(gy * columns_ + gx)]; }
  int columns_;
  int cell_;
  std::vector<int> levels_;
};

}  // namespace

TrueColourPicture true_colour_of(const Picture& picture) {
  TrueColourPicture out;
  out.width = picture.width;
  out.height = picture.height;
  for (const std::uint8_t index : picture.pixels) {
    const std::uint8_t* entry = picture.palette.data() + std::size_t{index} * 4;
    out.colours.push_back(Colour{entry[2]} << 16 | Colour{entry[1]} << 8 | entry[0]);
  }
  return out;
}

std::vector<std::uint8_t> encode_colours_bmp(const TrueColourPicture& picture) {
  const std::uint32_t stride = (picture.width * 3u + 3) & ~3u;
  const std::uint32_t size = 54 + stride * picture.height;
  std::vector<std::uint8_t> out(size, 0);
  const auto put = [&](std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
  };
  out[0] = 'B';
  out[1] = 'M';
  put(2, size);
  put(10, 54);
  put(14, 40);
  put(18, picture.width);
  put(22, picture.height);
  out[26] = 1;
  out[28] = 24;
  put(34, stride * picture.height);
  for (std::size_t y = 0; y < picture.height; ++y) {
    for (std::size_t x = 0; x < picture.width; ++x) {
      const Colour c = picture.colours[y * picture.width + x];
      std::uint8_t* p = out.data() + 54 + y * stride + 3 * x;
      p[0] = static_cast<std::uint8_t>(c);
      p[1] = static_cast<std::uint8_t>(c >> 8);
      p[2] = static_cast<std::uint8_t>(c >> 16);
    }
  }
  return out;
}

void draw_text(TrueColourPicture& picture, int left, int top, int scale, std::string_view text,
               Colour ink, bool shadow) {
  constexpr int kWhole = kSamples * kSamples;
  if (shadow) {
    each_text_pixel(picture, left + 2, top + 2, scale, text, [&](int x, int y, int covered) {
      at(picture, x, y) = blend(at(picture, x, y), 0x000000, covered, kWhole);
    });
  }
  each_text_pixel(picture, left, top, scale, text, [&](int x, int y, int covered) {
    at(picture, x, y) = blend(at(picture, x, y), ink, covered, kWhole);
  });
}

void draw_text_aliased(TrueColourPicture& picture, int left, int top, int scale,
                       std::string_view text, Colour ink) {
  each_text_pixel(picture, left, top, scale, text, [&](int x, int y, int covered) {
    if (2 * covered >= kSamples * kSamples) at(picture, x, y) = ink;
  });
}

void brush_stroke(TrueColourPicture& picture, int x0, int y0, int x1, int y1, int radius,
                  Colour paint) {
  const int steps = std::max({std::abs(x1 - x0), std::abs(y1 - y0), 1});
  const int r2 = radius * radius;
  // Each pixel takes the strongest dab that reaches it, as a brush of one stroke paints.
  const int left = std::min(x0, x1) - radius, top = std::min(y0, y1) - radius;
  const int width = std::abs(x1 - x0) + 2 * radius + 1, height = std::abs(y1 - y0) + 2 * radius + 1;
  std::vector<int> strength(static_cast<std::size_t>(width) * height, 0);
  for (int s = 0; s <= steps; s += std::max(1, radius / 4)) {
    const int cx = x0 + (x1 - x0) * s / steps, cy = y0 + (y1 - y0) * s / steps;
    for (int dy = -radius; dy <= radius; ++dy) {
      for (int dx = -radius; dx <= radius; ++dx) {
        const int d2 = dx * dx + dy * dy;
        if (d2 >= r2) continue;
        const int fall = r2 - d2;  // (1 - d^2 / r^2)^2, times r2^2
        int& slot = strength[static_cast<std::size_t>((cy + dy - top) * width + cx + dx - left)];
        slot = std::max(slot, static_cast<int>(std::int64_t{fall} * fall * 255 / (std::int64_t{r2} * r2)));
      }
    }
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int s = strength[static_cast<std::size_t>(y * width + x)];
      if (s == 0 || !inside(picture, left + x, top + y)) continue;
      at(picture, left + x, top + y) = blend(at(picture, left + x, top + y), paint, s, 255);
    }
  }
}

void paste_photo(TrueColourPicture& picture, int left, int top, int width, int height,
                 std::uint32_t seed) {
  Rng rng(seed);
  const ValueNoise red(width, height, 24, rng), green(width, height, 40, rng),
      blue(width, height, 32, rng);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!inside(picture, left + x, top + y)) continue;
      Colour c = 0;
      for (const ValueNoise* channel : {&red, &green, &blue}) {
        const int grain = rng.below(13) - 6;
        c = c << 8 | static_cast<Colour>(std::clamp(channel->at(x, y) + grain, 0, 255));
      }
      at(picture, left + x, top + y) = c;
    }
  }
}

void fill_rectangle(TrueColourPicture& picture, int left, int top, int width, int height,
                    Colour colour) {
  for (int y = top; y < top + height; ++y) {
    for (int x = left; x < left + width; ++x) {
      if (inside(picture, x, y)) at(picture, x, y) = colour;
    }
  }
}

Picture draw_pixel_art(std::uint16_t width, std::uint16_t height, int block, int used) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.assign(std::size_t{width} * height, 0);
  // Entry 0 the green key; the others a few ramps of hue, as pixel-art palettes are.
  p.palette[1] = 255;
  for (int k = 1; k < 256; ++k) {
    const int ramp = k / 16, step = k % 16;
    p.palette[4 * k + 0] = static_cast<std::uint8_t>((ramp * 53 + step * 9) % 256);
    p.palette[4 * k + 1] = static_cast<std::uint8_t>((ramp * 97 + step * 13) % 256);
    p.palette[4 * k + 2] = static_cast<std::uint8_t>((ramp * 31 + step * 15) % 256);
  }
  Rng rng(0x91C5);
  for (int by = 0; by * block < height; ++by) {
    for (int bx = 0; bx * block < width; ++bx) {
      const bool border = bx == 0 || by == 0 || (bx + 1) * block >= width || (by + 1) * block >= height;
      const auto index = static_cast<std::uint8_t>(border ? 0 : 1 + rng.below(used - 1));
      for (int y = by * block; y < std::min<int>(height, (by + 1) * block); ++y) {
        for (int x = bx * block; x < std::min<int>(width, (bx + 1) * block); ++x) {
          p.pixels[static_cast<std::size_t>(y) * width + x] = index;
        }
      }
    }
  }
  return p;
}

}  // namespace varnu::tools
