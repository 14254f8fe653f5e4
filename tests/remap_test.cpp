// --remap's promises, checked on what the mapping returns: pixels of the palette's colours keep
// them (and their index where the original has that colour there), free entries take new colours
// before any colour is approximated, entry 0 never takes a new colour, dither never reaches an
// exact pixel, and the figures are those of the colours written, measured by the benchmark's own
// CIEDE2000. Then the colour arithmetic against the published formulas, the searches against
// measuring every entry, and the largest picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench/ciede2000.hpp"
#include "pack/colour/ciede2000.hpp"
#include "pack/colour/nearest.hpp"
#include "pack/colour/nearest_points.hpp"
#include "pack/colour/oklab.hpp"
#include "pack/entry/limits.hpp"
#include "pack/picture/bmp_input.hpp"
#include "pack/picture/colour_map.hpp"
#include "tests/support/colour_error.hpp"
#include "tests/support/largest_allocation.hpp"
#include "tools/edits.hpp"

namespace {

using namespace varnu::pack;
using namespace varnu::tools;

struct Original {
  std::vector<Colour> palette;
  std::vector<std::uint8_t> indices;  // bottom row first
  std::bitset<varnu::kPaletteEntries> used;
};

Original original_of(const Picture& picture, std::size_t entries = 256) {
  Original o;
  for (std::size_t k = 0; k < entries; ++k) {
    const std::uint8_t* e = picture.palette.data() + 4 * k;
    o.palette.push_back(Colour{e[2]} << 16 | Colour{e[1]} << 8 | e[0]);
  }
  o.indices = picture.pixels;
  for (const std::uint8_t i : picture.pixels) o.used.set(i);
  return o;
}

void expect_figures(const MappedPicture& mapped, const std::vector<Colour>& edited,
                    const std::vector<Colour>& written) {
  ASSERT_TRUE(mapped.mapping.has_value());
  const varnu::testing::ColourError expected = varnu::testing::colour_error(edited, written);
  const MappingFigures& got = mapped.mapping->figures;
  EXPECT_EQ(got.pixels_moved, expected.moved);
  // Hundredths, rounded, from two computations of the same formula.
  EXPECT_NEAR(got.mean_error / 100.0, expected.mean, 0.011);
  EXPECT_NEAR(got.largest_error / 100.0, expected.largest, 0.011);
  for (std::size_t p = 0; p < edited.size(); ++p) {
    ASSERT_EQ(mapped.mapping->moved[p], edited[p] != written[p] ? 1 : 0) << "pixel " << p;
  }
  EXPECT_NE(mapped.warning.find(describe(got)), std::string::npos) << mapped.warning;
}

TEST(Remap, KeepsItsPromisesOntoAnOriginalPalette) {
  constexpr Colour kGreenKey = 0x00FF00;
  const Picture noise = draw_noise(96, 48, 3);    // every entry used
  Picture keyed = draw_pixel_art(96, 64, 8, 40);  // entry 0 the key, 215 entries free
  struct Case {
    const char* name;
    Picture original;
    std::size_t entries;  // of its palette the entry holds
    void (*edit)(TrueColourPicture&);
  };
  const std::vector<Case> cases = {
      {"anti-aliased text, no entry free", noise, 256,
       [](TrueColourPicture& p) { draw_text(p, 4, 8, 3, "TITLE", 0xFFF0C0, true); }},
      {"a pasted photograph, no entry free", noise, 256,
       [](TrueColourPicture& p) { paste_photo(p, 20, 10, 50, 30, 9); }},
      {"a photograph over some 200 free entries", keyed, 256,
       [](TrueColourPicture& p) { paste_photo(p, 10, 10, 60, 40, 4); }},
      {"a green next to the key, in a short palette", keyed, 40,
       [](TrueColourPicture& p) {
         fill_rectangle(p, 0, 0, 96, 3, 0x00FE00);
         fill_rectangle(p, 30, 30, 20, 20, kGreenKey);
         paste_photo(p, 60, 30, 30, 30, 1);
       }},
      {"few new colours, all kept exactly", keyed, 256,
       [](TrueColourPicture& p) {
         for (int k = 0; k < 150; ++k) fill_rectangle(p, k % 90, 20 + k / 90, 1, 1, 0x800000 + k);
       }},
  };
  for (const Case& c : cases) {
    const Original original = original_of(c.original, c.entries);
    std::size_t free = 0;
    for (std::size_t k = 1; k < c.entries; ++k) free += !original.used.test(k);
    TrueColourPicture edited = true_colour_of(c.original);
    c.edit(edited);
    const std::set<Colour> palette(original.palette.begin(), original.palette.end());
    std::set<Colour> fresh;
    for (const Colour colour : edited.colours) {
      if (!palette.contains(colour)) fresh.insert(colour);
    }
    for (const bool dither : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (dither ? ", dithered" : ""));
      const PaletteTarget target{.palette = original.palette,
                                 .capacity = c.entries,
                                 .used = original.used,
                                 .indices = original.indices};
      const MappedPicture mapped =
          map_onto_palette(edited, target, {.remap = true, .dither = dither});
      std::vector<Colour> entries = original.palette;
      std::set<std::uint8_t> given;
      for (const auto& [index, colour] : mapped.entries) {
        EXPECT_NE(index, 0) << "the key took a new colour";
        EXPECT_FALSE(original.used.test(index)) << "entry " << int{index} << " is used";
        EXPECT_TRUE(fresh.contains(colour));
        given.insert(index);
        entries.at(index) = colour;
      }
      // Free entries first: every one of them took a new colour before any was approximated.
      EXPECT_EQ(given.size(), std::min(free, fresh.size()));
      std::vector<Colour> written;
      for (std::size_t p = 0; p < edited.colours.size(); ++p) {
        const std::uint8_t index = mapped.indices[p];
        written.push_back(entries.at(index));
        if (palette.contains(edited.colours[p])) {
          // Exact pixels keep their colour, and their index where the original had it there.
          EXPECT_EQ(written[p], edited.colours[p]) << "exact pixel " << p << " moved";
          if (original.palette[original.indices[p]] == edited.colours[p]) {
            EXPECT_EQ(index, original.indices[p]) << "pixel " << p;
          }
        } else {
          EXPECT_NE(index, 0) << "new colour " << edited.colours[p] << " took the key";
        }
      }
      if (fresh.size() <= free) {
        EXPECT_FALSE(mapped.mapping.has_value()) << "nothing needed approximating";
        EXPECT_EQ(written, edited.colours);
      } else {
        expect_figures(mapped, edited.colours, written);
      }
    }
  }
}

TEST(Remap, OwnPaletteOfMoreThan256Colours) {
  TrueColourPicture picture = true_colour_of(draw_green_keyed(64, 48));
  paste_photo(picture, 8, 8, 48, 32, 2);
  for (const bool dither : {false, true}) {
    SCOPED_TRACE(dither ? "dithered" : "plain");
    EXPECT_THROW(map_onto_own_palette(picture), InputError);
    const MappedPicture mapped = map_onto_own_palette(picture, {.remap = true, .dither = dither});
    std::vector<Colour> entries(256);
    for (const auto& [index, colour] : mapped.entries) entries.at(index) = colour;
    ASSERT_FALSE(mapped.entries.empty());
    // The top-left colour, the key, stays entry 0 and exact.
    const Colour key = picture.colours[std::size_t{47} * 64];
    EXPECT_EQ(mapped.entries.front(), (std::pair<std::uint8_t, Colour>{0, key}));
    std::vector<Colour> written;
    for (std::size_t p = 0; p < picture.colours.size(); ++p) {
      written.push_back(entries[mapped.indices[p]]);
      EXPECT_EQ(mapped.indices[p] == 0, picture.colours[p] == key) << "pixel " << p;
    }
    expect_figures(mapped, picture.colours, written);
  }
}

// The colour arithmetic that decides bytes, against the formulas it stands for.
TEST(RemapColours, TablesAndCiede2000AgreeWithTheirFormulas) {
  for (unsigned k = 0; k < 256; ++k) {
    const double c = k / 255.0;
    const double exact = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    EXPECT_NEAR(linear_light(k) * 65536, exact * 65536, 0.5) << k;
  }
  // Pairs from the CIEDE2000 paper's test data, to its four decimals.
  struct Pair {
    CieColour one, two;
    double difference;
  };
  const Pair pairs[] = {
      {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
      {{50, 0, 0}, {50, -1, 2}, 2.3669},
      {{50, -1, 2}, {50, 0, 0}, 2.3669},
      {{50, 2.49, -0.001}, {50, -2.49, 0.0011}, 7.2195},
      {{50, 2.5, 0}, {73, 25, -18}, 27.1492},
      {{50, 2.5, 0}, {50, 3.1736, 0.5854}, 1.0000},
      {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
      {{22.7233, 20.0904, -46.694}, {23.0331, 14.973, -42.5619}, 2.0373},
      {{90.9257, -0.5406, -0.9208}, {88.6381, -0.8985, -0.7239}, 1.5381},
      {{2.0776, 0.0795, -1.135}, {0.9033, -0.0636, -0.5514}, 0.9082},
  };
  for (const Pair& p : pairs) EXPECT_NEAR(ciede2000(p.one, p.two), p.difference, 1e-4);
  // And colours, against the benchmark's own conversion and formula: linear light to 16 bits
  // moves the darkest colours by a few thousandths.
  for (Colour x = 0x000000, y = 0xFFFFFF; x < 0xFFFFFF; x += 0x0F1B2D, y -= 0x1D0B0F) {
    const varnu::bench::CieLab bx = varnu::bench::cielab_of(x), by = varnu::bench::cielab_of(y);
    const CieColour cx = cie_colour(x), cy = cie_colour(y);
    EXPECT_NEAR(cx.l, bx.l, 0.01) << x;
    EXPECT_NEAR(cx.a, bx.a, 0.01) << x;
    EXPECT_NEAR(cx.b, bx.b, 0.01) << x;
    EXPECT_NEAR(ciede2000(cx, cy), varnu::bench::ciede2000(bx, by), 0.01) << x << " " << y;
  }
}

// The searches measure only a few groups of entries, in floats first: they must find what
// measuring every entry exactly finds, ties to the lowest index, on palettes of every shape
// (ramps, as people make them; scattered; one colour in many entries; one entry; 256), for
// targets anywhere, on an entry or far from all.
TEST(RemapSearch, FindsWhatMeasuringEveryEntryFinds) {
  using Point = NearestPoint::Point;
  using Coordinates = NearestPoint::Coordinates;
  struct Case {
    const char* name;
    int entries;
    // Entry k of `entries`, given a source of random numbers below a bound.
    Coordinates (*at)(int k, int entries, const std::function<int(int)>& below);
  };
  const Case cases[] = {
      {"a ramp", 255,
       [](int k, int n, const std::function<int(int)>&) {
         return Coordinates{k * 255 / n, 40 + k * 160 / n, 255 - k * 255 / n};
       }},
      {"scattered", 200,
       [](int, int, const std::function<int(int)>& below) {
         return Coordinates{below(256), below(256), below(256)};
       }},
      {"eight colours over and over", 256,
       [](int k, int, const std::function<int(int)>&) {
         return Coordinates{k % 2 * 200, k / 2 % 2 * 200, k / 4 % 2 * 200};
       }},
      {"one entry", 1,
       [](int, int, const std::function<int(int)>&) {
         return Coordinates{9, 99, 199};
       }},
      {"two far apart", 2,
       [](int k, int, const std::function<int(int)>&) {
         return Coordinates{k * 255, 0, 0};
       }},
  };
  std::uint32_t state = 12345;
  const std::function<int(int)> below = [&](int bound) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(bound));
  };
  const auto squared = [](const Coordinates& x, const Coordinates& y) {
    std::int64_t sum = 0;
    for (int axis = 0; axis < 3; ++axis) {
      sum += (std::int64_t{x[axis]} - y[axis]) * (std::int64_t{x[axis]} - y[axis]);
    }
    return sum;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Indices in no order, and a second space (CIELAB's range, a thousandth a unit) at random.
    std::vector<Point> points;
    for (int k = 0; k < c.entries; ++k) {
      points.push_back({c.at(k, c.entries, below),
                        static_cast<std::uint8_t>((k * 37 + 11) % 256),
                        {below(100000), below(200000) - 100000, below(200000) - 100000}});
    }
    const NearestPoint search(points);
    // OKLab's range, 2^16 a unit, and beyond, for the first space scaled up.
    std::vector<Point> wide = points;
    for (Point& p : wide) {
      for (int& v : p.at) v = v * 300 - 30000;
    }
    const NearestPoint wide_search(wide);
    for (int t = 0; t < 2000; ++t) {
      const Coordinates target = t % 5 == 0 ? points[static_cast<std::size_t>(below(c.entries))].at
                                            : Coordinates{below(256), below(256), below(256)};
      const Coordinates also = {below(100000), below(200000) - 100000, below(200000) - 100000};
      std::int64_t nearest = std::numeric_limits<std::int64_t>::max();
      for (const Point& p : points) {
        nearest = std::min(nearest, squared(p.at, target) << 8 | p.index);
      }
      const auto found = search.nearest(target);
      ASSERT_EQ(found.index, nearest & 0xFF) << t;
      ASSERT_EQ(found.distance_squared, nearest >> 8) << t;
      const std::uint8_t hint = points[static_cast<std::size_t>(below(c.entries))].index;
      ASSERT_EQ(search.nearest(target, hint).index, nearest & 0xFF) << t;
      // Of the entries at most 16 farther (the bound as floats work it out), nearest to `also`.
      const float reach = std::sqrt(static_cast<float>(nearest >> 8)) + 16.0f;
      const auto limit =
          static_cast<std::int64_t>(std::max(reach * reach, static_cast<float>(nearest >> 8)));
      std::int64_t nearest_also = std::numeric_limits<std::int64_t>::max();
      for (const Point& p : points) {
        if (squared(p.at, target) <= limit) {
          nearest_also = std::min(nearest_also, squared(p.also, also) << 8 | p.index);
        }
      }
      const auto twice = search.nearest_within(target, also, 16.0f);
      ASSERT_EQ(twice.nearest, nearest & 0xFF) << t;
      ASSERT_EQ(twice.nearest_also, nearest_also & 0xFF) << t;
      const Coordinates far = {target[0] * 300 - 30000 + below(3) - 1, also[1] * 2, also[2] * 2};
      std::int64_t wide_nearest = std::numeric_limits<std::int64_t>::max();
      for (const Point& p : wide) {
        wide_nearest = std::min(wide_nearest, squared(p.at, far) << 8 | p.index);
      }
      ASSERT_EQ(wide_search.nearest(far).index, wide_nearest & 0xFF) << t;
    }
  }
}

// Whatever it picks, a new colour is never farther by CIEDE2000 than the palette's nearest in
// sRGB, which is what image editors give it.
TEST(RemapSearch, NeverFartherThanTheNearestInSrgb) {
  for (const Picture& original :
       {draw_noise(16, 16, 5), draw_gradient(16, 16), draw_pixel_art(64, 64, 4, 200)}) {
    const Original o = original_of(original);
    std::bitset<varnu::kPaletteEntries> candidates;
    for (std::size_t k = 1; k < o.palette.size(); ++k) candidates.set(k);
    const NearestEntry entries(o.palette, candidates);
    for (Colour colour = 0x010203; colour < 0xFFFFFF; colour += 0x00F1E3) {
      double error = 0;
      const std::uint8_t chosen = entries.closest(colour, error);
      const CieColour own = cie_colour(colour);
      EXPECT_EQ(error, ciede2000(own, cie_colour(o.palette[chosen])));
      std::int64_t srgb = std::numeric_limits<std::int64_t>::max();
      for (std::size_t k = 1; k < o.palette.size(); ++k) {
        std::int64_t sum = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const std::int64_t d =
              std::int64_t{colour >> shift & 0xFF} - (o.palette[k] >> shift & 0xFF);
          sum += d * d;
        }
        srgb = std::min(srgb, sum << 8 | static_cast<std::int64_t>(k));
      }
      EXPECT_LE(error, ciede2000(own, cie_colour(o.palette[static_cast<std::size_t>(srgb & 0xFF)])))
          << colour;
    }
  }
}

// A picture of every 24-bit colour, 4096 x 4096, is more than an entry's size field can say, and
// is refused before anything is read, with --no-limits or without; the largest that holds, 4092 x
// 4099, only with --no-limits. The largest picture readers with fixed buffers take, 828 x 831,
// every pixel a colour of its own, is reduced to a palette in memory that grows with the pixels
// alone (the largest with --no-limits, 24 times as many pixels, takes 24 times as long: some 35
// seconds); one row more is refused.
TEST(RemapLimits, EveryColourAtTheLargestSize) {
  EXPECT_TRUE(refuse_picture_sides(4096, 4096, true).has_value());
  EXPECT_FALSE(refuse_picture_sides(4092, 4099, true).has_value());
  EXPECT_TRUE(refuse_picture_sides(4092, 4100, true).has_value());
  EXPECT_FALSE(refuse_picture_sides(828, 831, false).has_value());
  EXPECT_TRUE(refuse_picture_sides(828, 832, false).has_value());
  TrueColourPicture picture;
  picture.width = 828;
  picture.height = 831;
  picture.colours.resize(std::size_t{828} * 831);
  // As many colours as it has pixels, in an order that no sort finds.
  for (std::size_t p = 0; p < picture.colours.size(); ++p) {
    picture.colours[p] = static_cast<Colour>((p * 0x9E3779u) & 0xFFFFFF);
  }
  ASSERT_EQ(std::set<Colour>(picture.colours.begin(), picture.colours.end()).size(),
            picture.colours.size());
  varnu::testing::reset_largest_allocation();
  varnu::testing::reset_peak_resident();
  const MappedPicture mapped = map_onto_own_palette(picture, {.remap = true});
  ASSERT_TRUE(mapped.mapping.has_value());
  EXPECT_EQ(mapped.entries.size(), 256u);
  // The colours' counts, eight bytes a pixel, and tables of fixed size (the quantizer's 2^18
  // cells of 32 bytes the largest).
  const std::size_t pixels = picture.colours.size();
  constexpr std::size_t kFixed = std::size_t{16} << 20;
  EXPECT_LE(varnu::testing::largest_allocation(), 8 * pixels + kFixed);
  if (const auto growth = varnu::testing::peak_resident_growth()) {
    EXPECT_LE(*growth, 32 * pixels + kFixed) << "bytes per pixel: " << *growth / pixels;
  }
}

}  // namespace
