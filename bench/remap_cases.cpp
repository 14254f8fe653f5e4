#include "bench/remap_cases.hpp"

namespace varnu::bench {

using namespace tools;

std::vector<RemapCase> remap_cases() {
  std::vector<RemapCase> cases;
  const auto add = [&](std::string name, const Picture& original, auto edit) {
    TrueColourPicture edited = true_colour_of(original);
    edit(edited);
    cases.push_back({std::move(name), original, std::move(edited)});
  };
  // A 256-colour picture with a title and a line of a menu.
  add("text", draw_noise(640, 480, 7), [](TrueColourPicture& p) {
    draw_text(p, 40, 60, 6, "NEW TITLE", 0xFFF0C0, true);
    draw_text(p, 40, 200, 4, "MENU 1234", 0x40E0FF, false);
    draw_text(p, 40, 300, 2, "START 567890", 0xFFFFFF, true);
  });
  add("gradient", draw_gradient(640, 480), [](TrueColourPicture& p) {
    brush_stroke(p, 100, 100, 400, 180, 30, 0xE04030);
    brush_stroke(p, 200, 300, 560, 380, 45, 0x3050E0);
    brush_stroke(p, 500, 60, 520, 400, 20, 0xF0F0F0);
  });
  add("photo", draw_noise(640, 480, 11),
      [](TrueColourPicture& p) { paste_photo(p, 200, 140, 240, 180, 5); });
  // Nine entries no pixel uses, for fourteen new colours.
  add("pixel-art", draw_pixel_art(640, 480, 16, 250), [](TrueColourPicture& p) {
    const Colour fresh[] = {0xFF2020, 0x20FF20, 0x2020FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x804000,
                            0x008080, 0xC0C0C0, 0x400040, 0xFF8000, 0x80FF80, 0x202020, 0xFFE0E0};
    for (int k = 0; k < 14; ++k) {
      fill_rectangle(p, 24 + 44 * k, 200 + 8 * (k % 3), 32, 24 + 4 * k, fresh[k]);
    }
  });
  return cases;
}

TrueColourPicture titled(const TrueColourPicture& picture, bool aliased) {
  TrueColourPicture out = picture;
  if (aliased) {
    // A colour of the picture itself: its centre pixel's.
    const Colour ink = picture.colours[picture.colours.size() / 2];
    draw_text_aliased(out, 20, 20, 4, "NEW TITLE 27", ink);
  } else {
    draw_text(out, 20, 20, 4, "NEW TITLE 27", 0xFFFFFF, true);
  }
  return out;
}

}  // namespace varnu::bench
