// The edited pictures the remap benchmark maps: each an original palette picture, as an archive
// entry, and an edit of it in true colour that brings colours its palette lacks.
#pragma once

#include <string>
#include <vector>

#include "tools/edits.hpp"

namespace varnu::bench {

struct RemapCase {
  std::string name;
  tools::Picture original;
  tools::TrueColourPicture edited;
};

std::vector<RemapCase> remap_cases();

// A picture of the corpus with a title drawn over it: anti-aliased in white with a shadow, or
// aliased in a colour the picture already has (`aliased`), which then needs no mapping.
tools::TrueColourPicture titled(const tools::TrueColourPicture& picture, bool aliased);

}  // namespace varnu::bench
