#include "tools/picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#include "tools/rng.hpp"

namespace varnu::tools {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Picture blank(std::uint16_t width, std::uint16_t height) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.assign(static_cast<std::size_t>(width) * height, 0);
  return p;
}

void set_colour(Picture& p, int index, int red, int green, int blue) {
  auto clamp = [](int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); };
  const auto base = static_cast<std::size_t>(index) * 4;
  p.palette[base] = clamp(blue);
  p.palette[base + 1] = clamp(green);
  p.palette[base + 2] = clamp(red);
  p.palette[base + 3] = 0;
}

// Blue carries the index itself, which keeps all 256 colours distinct whatever the tint.
void ramp_palette(Picture& p, int red_from, int red_to, int green_from, int green_to) {
  for (int i = 0; i < 256; ++i) {
    set_colour(p, i, red_from + (red_to - red_from) * i / 255,
               green_from + (green_to - green_from) * i / 255, i);
  }
}

void plot(Picture& p, int x, int y, std::uint8_t index) {
  if (x < 0 || y < 0 || x >= p.width || y >= p.height) return;
  p.pixels[static_cast<std::size_t>(y) * p.width + static_cast<std::size_t>(x)] = index;
}

void line(Picture& p, int x0, int y0, int x1, int y1, std::uint8_t index) {
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    plot(p, x0, y0, index);
    if (x0 == x1 && y0 == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void fill_rect(Picture& p, int x, int y, int w, int h, std::uint8_t index) {
  for (int yy = y; yy < y + h; ++yy) {
    for (int xx = x; xx < x + w; ++xx) plot(p, xx, yy, index);
  }
}

}  // namespace

std::vector<std::uint8_t> encode_bmp_form(const Picture& picture, const BmpForm& form) {
  const std::size_t width = picture.width;
  const std::size_t height = picture.height;
  if (picture.pixels.size() != width * height) throw std::invalid_argument("wrong pixel count");
  const std::size_t stride = (width * form.bits + 31) / 32 * 4;
  const auto image_size = static_cast<std::uint32_t>(stride * height);
  const std::uint32_t offset = kFileHeaderSize + form.info_size + 4 * form.colours;

  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  put_u32(out, offset + image_size);
  put_u32(out, 0);
  put_u32(out, offset);
  put_u32(out, form.info_size);
  put_u32(out, static_cast<std::uint32_t>(width));
  put_u32(out, form.top_down ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(height))
                             : static_cast<std::uint32_t>(height));
  put_u16(out, 1);
  put_u16(out, static_cast<std::uint16_t>(form.bits));
  put_u32(out, 0);
  put_u32(out, image_size);
  put_u32(out, 0);
  put_u32(out, 0);
  put_u32(out, form.colours == (1u << form.bits) ? 0 : form.colours);
  put_u32(out, 0);
  out.resize(kFileHeaderSize + form.info_size, 0);
  out.insert(out.end(), picture.palette.begin(), picture.palette.begin() + 4 * form.colours);

  out.resize(offset + image_size, 0);
  for (std::size_t y = 0; y < height; ++y) {
    // Picture rows are in bottom-up order.
    const std::size_t row = form.top_down ? height - 1 - y : y;
    std::uint8_t* dst = out.data() + offset + y * stride;
    for (std::size_t x = 0; x < width; ++x) {
      const unsigned value = picture.pixels[row * width + x];
      if (value >> form.bits) throw std::invalid_argument("pixel does not fit the form");
      const std::size_t bit = x * form.bits;
      dst[bit / 8] |= static_cast<std::uint8_t>(value << (8 - form.bits - bit % 8));
    }
  }
  return out;
}

Picture draw_gradient(std::uint16_t width, std::uint16_t height) {
  Picture p = blank(width, height);
  ramp_palette(p, 0, 255, 40, 200);
  const int span = std::max(1, width + height - 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      plot(p, x, y, static_cast<std::uint8_t>((x + y) * 255 / span));
    }
  }
  return p;
}

Picture draw_checkerboard(std::uint16_t width, std::uint16_t height, std::uint16_t cell) {
  if (cell == 0) throw std::invalid_argument("checkerboard cell size must be positive");
  Picture p = blank(width, height);
  ramp_palette(p, 255, 0, 0, 255);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int cx = x / cell;
      const int cy = y / cell;
      // Dark squares take one colour; light squares cycle so the board is not two-tone.
      const int index = ((cx + cy) & 1) ? 1 : 128 + (cx * 7 + cy * 13) % 128;
      plot(p, x, y, static_cast<std::uint8_t>(index));
    }
  }
  return p;
}

Picture draw_green_keyed(std::uint16_t width, std::uint16_t height) {
  Picture p = blank(width, height);
  ramp_palette(p, 30, 250, 10, 120);
  set_colour(p, 0, 0, 255, 0);
  // A shaded disc well inside the frame, so the corners stay green.
  const int cx = width / 2;
  const int cy = height / 2;
  const int radius = std::max(1, std::min(width, height) * 3 / 8);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int dx = x - cx;
      const int dy = y - cy;
      const int d2 = dx * dx + dy * dy;
      if (d2 >= radius * radius) continue;
      const int shade = 1 + 254 * (radius * radius - d2) / (radius * radius);
      plot(p, x, y, static_cast<std::uint8_t>(std::clamp(shade, 1, 255)));
    }
  }
  return p;
}

Picture draw_noise(std::uint16_t width, std::uint16_t height, std::uint32_t seed) {
  Picture p = blank(width, height);
  Rng rng(seed);
  const int tint = rng.below(60);
  ramp_palette(p, tint, 255 - tint, 20 + tint, 235);

  // Value noise: random levels on a coarse grid, interpolated, plus per-pixel grain.
  constexpr int kCell = 32;
  const int grid_w = width / kCell + 2;
  const int grid_h = height / kCell + 2;
  std::vector<int> grid(static_cast<std::size_t>(grid_w) * grid_h);
  for (int& v : grid) v = rng.below(256);
  auto level = [&](int gx, int gy) { return grid[static_cast<std::size_t>(gy) * grid_w + gx]; };

  for (int y = 0; y < height; ++y) {
    const int gy = y / kCell;
    const int fy = y % kCell;
    for (int x = 0; x < width; ++x) {
      const int gx = x / kCell;
      const int fx = x % kCell;
      const int top = level(gx, gy) * (kCell - fx) + level(gx + 1, gy) * fx;
      const int bottom = level(gx, gy + 1) * (kCell - fx) + level(gx + 1, gy + 1) * fx;
      const int smooth = (top * (kCell - fy) + bottom * fy) / (kCell * kCell);
      const int grain = rng.below(17) - 8;
      plot(p, x, y, static_cast<std::uint8_t>(std::clamp(smooth + grain, 0, 255)));
    }
  }
  return p;
}

Picture draw_line_art(std::uint16_t width, std::uint16_t height) {
  Picture p = blank(width, height);
  for (int i = 0; i < 256; ++i) set_colour(p, i, 255 - i, 255 - (i * 3) % 256, 255 - i / 2);
  fill_rect(p, 0, 0, width, height, 0);

  // Draws are sequenced one statement at a time: the order in which function arguments are
  // evaluated is up to the compiler, and the picture must not depend on it.
  Rng rng(0x11A7);
  auto random_x = [&] { return rng.below(std::max<int>(1, width)); };
  auto random_y = [&] { return rng.below(std::max<int>(1, height)); };
  for (int i = 0; i < 6; ++i) {
    const int w = 1 + rng.below(std::max(1, width / 3));
    const int h = 1 + rng.below(std::max(1, height / 3));
    const int x = random_x();
    const int y = random_y();
    fill_rect(p, x, y, w, h, static_cast<std::uint8_t>(20 + i * 30));
  }
  for (int i = 0; i < 40; ++i) {
    const int x0 = random_x();
    const int y0 = random_y();
    const int x1 = random_x();
    const int y1 = random_y();
    line(p, x0, y0, x1, y1, static_cast<std::uint8_t>(200 + i % 50));
  }
  return p;
}

Picture draw_sprite(std::uint32_t seed) {
  constexpr int kSize = 64;
  constexpr std::uint8_t kBody = 1;
  constexpr std::uint8_t kOutline = 2;
  Picture p = blank(kSize, kSize);
  Rng rng(seed ^ 0x5B1E);
  set_colour(p, 0, 255, 0, 255);
  set_colour(p, kOutline, 0, 0, 0);
  for (int i = 3; i < 256; ++i) set_colour(p, i, i, 255 - i, (i * 5) % 256);
  // Every other entry has red + green == 255; stepping off that line keeps the body distinct.
  const int body_red = 64 + rng.below(192);
  int body_green = 64 + rng.below(192);
  if (body_red + body_green == 255) ++body_green;
  set_colour(p, kBody, body_red, body_green, 64 + rng.below(192));

  // A left half of 8x8 blocks, mirrored, then outlined; the classic way to grow small creatures.
  constexpr int kBlocks = 8;
  constexpr int kBlock = kSize / kBlocks;
  bool shape[kBlocks][kBlocks] = {};
  for (int by = 1; by < kBlocks - 1; ++by) {
    for (int bx = 1; bx < kBlocks / 2; ++bx) {
      shape[by][bx] = rng.below(100) < 55;
      shape[by][kBlocks - 1 - bx] = shape[by][bx];
    }
  }
  shape[kBlocks / 2][kBlocks / 2 - 1] = shape[kBlocks / 2][kBlocks / 2] = true;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (shape[y / kBlock][x / kBlock]) plot(p, x, y, kBody);
    }
  }
  auto at = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= kSize || y >= kSize) return std::uint8_t{0};
    return p.pixels[static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)];
  };
  std::vector<std::uint8_t> outlined = p.pixels;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (at(x, y) != 0) continue;
      if (at(x - 1, y) == kBody || at(x + 1, y) == kBody || at(x, y - 1) == kBody ||
          at(x, y + 1) == kBody) {
        outlined[static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)] = kOutline;
      }
    }
  }
  p.pixels = std::move(outlined);
  // Two eyes in a colour of their own.
  const int eye_y = 2 * kBlock + rng.below(kBlock);
  fill_rect(p, 2 * kBlock + 2, eye_y, 4, 4, 200);
  fill_rect(p, kSize - 2 * kBlock - 6, eye_y, 4, 4, 200);
  // The file stores the bottom row first; flip so the creature stands upright when viewed.
  for (int y = 0; y < kSize / 2; ++y) {
    std::swap_ranges(p.pixels.begin() + y * kSize, p.pixels.begin() + (y + 1) * kSize,
                     p.pixels.begin() + (kSize - 1 - y) * kSize);
  }
  return p;
}

Picture draw_vertical_gradient(std::uint16_t width, std::uint16_t height) {
  Picture p = blank(width, height);
  ramp_palette(p, 20, 200, 60, 220);
  for (int y = 0; y < height; ++y) {
    fill_rect(p, 0, y, width, 1, static_cast<std::uint8_t>(y * 256 / height));
  }
  return p;
}

Picture draw_radial_gradient(std::uint16_t width, std::uint16_t height) {
  Picture p = blank(width, height);
  ramp_palette(p, 255, 40, 220, 0);
  const std::uint64_t cx = width / 2;
  const std::uint64_t cy = height / 2;
  const std::uint64_t corner2 = cx * cx + cy * cy + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint64_t dx = static_cast<std::uint64_t>(std::abs(x - static_cast<int>(cx)));
      const std::uint64_t dy = static_cast<std::uint64_t>(std::abs(y - static_cast<int>(cy)));
      // 255 * sqrt(d2 / corner2), as sqrt(65025 * d2 / corner2) rounded down.
      const std::uint64_t scaled = 65025 * (dx * dx + dy * dy) / corner2;
      // The floating-point root only gives a start: the integer steps make it exact, so that
      // every platform draws the same picture.
      auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(scaled)));
      while (root * root > scaled) --root;
      while ((root + 1) * (root + 1) <= scaled) ++root;
      plot(p, x, y, static_cast<std::uint8_t>(root));
    }
  }
  return p;
}

Picture draw_level_noise(std::uint16_t width, std::uint16_t height, unsigned levels,
                         std::uint32_t seed) {
  if (levels < 1 || levels > 256) throw std::invalid_argument("noise needs 1 to 256 levels");
  Picture p = blank(width, height);
  ramp_palette(p, 0, 255, 0, 255);
  Rng rng(seed ^ 0x401E);
  for (std::uint8_t& pixel : p.pixels)
    pixel = static_cast<std::uint8_t>(rng.below(static_cast<int>(levels)));
  return p;
}

}  // namespace varnu::tools
