// The nearest of a palette's entries to any colour: to a point of OKLab by its distance there,
// and to a colour by CIEDE2000, of the nearest in sRGB and one nearest in CIELAB.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#include "format/bitmap.hpp"
#include "pack/colour/ciede2000.hpp"
#include "pack/colour/nearest_points.hpp"
#include "pack/colour/oklab.hpp"

namespace varnu::pack {

class NearestEntry {
 public:
  // Of `palette`, only the entries `candidates` names may be chosen. There must be one.
  NearestEntry(std::span<const Colour> palette, const std::bitset<kPaletteEntries>& candidates);

  // The candidate nearest to `target`; of several as near, the lowest index.
  std::uint8_t nearest(const Lab& target) const;
  // The same, and how far it is, squared.
  std::uint8_t nearest(const Lab& target, std::int64_t& distance_squared) const;
  // The same, faster where the candidate `near` is about as near (the one found for a target
  // nearby, say); the answer does not depend on it.
  std::uint8_t nearest(const Lab& target, std::uint8_t near) const;

  // Of the candidate nearest `colour` in sRGB and, of the candidates at most 16 levels farther
  // from it in sRGB, the one nearest in CIELAB (to a thousandth), the one CIEDE2000 finds
  // nearer; of two as near, the lower index. CIEDE2000 refines distances in CIELAB, whose
  // nearest is mostly its choice too; where CIELAB misjudges (blues, blends an editor made in
  // sRGB) the nearest in sRGB often does better, and it is the one image editors take, so the
  // choice is never farther by CIEDE2000 than theirs. Looking for the CIELAB one only among
  // those nearly as near in sRGB lets one search find both, and loses nothing on the
  // benchmark's pictures. `error` is set to that CIEDE2000.
  std::uint8_t closest(Colour colour, double& error) const;

  const Lab& lab(std::uint8_t index) const { return labs_[index]; }
  const CieColour& cie(std::uint8_t index) const { return cies_[index]; }

 private:
  std::vector<Lab> labs_;
  std::vector<CieColour> cies_;
  NearestPoint by_oklab_;
  // In sRGB, and also in CIELAB.
  NearestPoint by_srgb_;
};

}  // namespace varnu::pack
