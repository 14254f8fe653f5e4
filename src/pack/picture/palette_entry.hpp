// Palette pictures as entry bitmaps: by index, so that every pixel keeps the entry it names.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack/picture/pictures.hpp"

namespace varnu::pack {

// The picture on its own: the file as it stands when it has the entry form, else its pixels and
// palette colours in a fresh bitmap of 256 palette entries, with its own resolution fields.
std::vector<std::uint8_t> palette_entry(const IndexedPicture& picture);

// The picture for the original entry whose bitmap, as the converter writes it, is `converted`.
// Its palette matches the original's when every entry it has is the original's colour at the
// same index and every pixel uses one of them: a shorter palette matches (editors drop unused
// entries from the end), and so does a longer one whose extra entries no pixel uses. Then the
// picture goes by index into a copy of `converted` where it fits (see entry_copy.hpp), else as
// palette_entry. A palette that differs is mapped by colour, as a true-colour picture is
// (entry_like), and the warning says why. Throws InputError when the colours cannot be mapped.
NormalisedPicture palette_entry_like(const IndexedPicture& picture,
                                     std::span<const std::uint8_t> converted,
                                     const RemapOptions& options = {});

}  // namespace varnu::pack
