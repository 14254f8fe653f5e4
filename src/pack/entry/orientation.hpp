// Which way up a picture is stored, so that the converter gives it back unchanged.
//
// The converter turns a stored bitmap upside down when palette entry 0 is near pure green and
// the first stored pixel uses it. A picture can therefore be stored as it is, or upside down
// (and then turned back), and for a green-keyed one either, both or neither may come back as
// it went in; the converter's own code decides which.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bitmap/layout.hpp"

namespace varnu::pack {

struct StoredForm {
  std::vector<std::uint8_t> file;
  bool upside_down = false;
  // Set when neither form comes back unchanged: why.
  std::string warning;
};

// `picture` is a bitmap in the entry form. `like_upside_down` is how an original entry was
// stored; it decides between two forms that both come back unchanged, where otherwise the
// upside-down one is taken.
StoredForm choose_stored_form(std::vector<std::uint8_t> picture,
                              std::optional<bool> like_upside_down);

// The same bitmap with its rows in reverse order. `file` is in the entry form, so its rows lie
// inside it.
std::vector<std::uint8_t> upside_down(std::span<const std::uint8_t> file);

// What the converter writes for the stored bitmap `file` in plain mode, or nothing when it
// would refuse it.
std::optional<std::vector<std::uint8_t>> converter_output(std::span<const std::uint8_t> file);

// Whether the converter turns the stored bitmap `file` upside down.
bool converter_flips(std::span<const std::uint8_t> file);

}  // namespace varnu::pack
