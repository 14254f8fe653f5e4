// The nearest of a palette's entries to any colour, by OKLab distance.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#include "format/bitmap.hpp"
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

  const Lab& lab(std::uint8_t index) const { return labs_[index]; }

 private:
  struct Candidate {
    Lab lab;
    std::uint8_t index;
  };
  // By lightness, so that a search goes outwards from the target's lightness and stops where
  // lightness alone is farther than the best found.
  std::vector<Candidate> by_lightness_;
  std::vector<Lab> labs_;
};

}  // namespace varnu::pack
