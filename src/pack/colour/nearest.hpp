// The nearest of a palette's entries to any colour: to a point of OKLab by its distance there,
// and to a colour by CIEDE2000 among the few nearest by OKLab and by sRGB.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#include "format/bitmap.hpp"
#include "pack/colour/ciede2000.hpp"
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

  // Of the two candidates nearest `colour` by OKLab distance and the two nearest by sRGB
  // distance, the one CIEDE2000 finds nearest; of several as near, the lowest index. The two
  // distances disagree most on saturated colours, where CIEDE2000 judges chroma more leniently
  // than either, so the choice is never farther by CIEDE2000 than the nearest by either.
  // `error` is set to that CIEDE2000.
  std::uint8_t closest(Colour colour, double& error) const;

  const Lab& lab(std::uint8_t index) const { return labs_[index]; }
  const CieColour& cie(std::uint8_t index) const { return cies_[index]; }

 private:
  struct Candidate {
    Lab lab;
    std::uint8_t index;
  };
  struct ByGreen {
    Colour colour;
    std::uint8_t index;
  };
  // The two candidates nearest by OKLab, nearest first (the one twice where there is one).
  void nearest_two(const Lab& target, std::uint8_t (&chosen)[2]) const;
  // By lightness, so that a search goes outwards from the target's lightness and stops where
  // lightness alone is farther than the best found.
  std::vector<Candidate> by_lightness_;
  // The same by green, for the sRGB search: green weighs most in sRGB distances between colours
  // people use.
  std::vector<ByGreen> by_green_;
  std::vector<Lab> labs_;
  std::vector<CieColour> cies_;
  std::vector<Colour> colours_;
};

}  // namespace varnu::pack
