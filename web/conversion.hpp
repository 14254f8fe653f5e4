// What the page's module knows about the conversion under way, beyond the converter's own run
// state: the mode, and where the entry being written began in the archive.
#pragma once

#include <cstdint>

namespace varnu::web {

// Starts watching a run of the converter in this mode; every output file it completes is then
// handed to the page with its facts.
void begin_conversion(bool half_width);

// Drops the output file the converter still holds open when its run ended early, so that the
// page never sees a file that was not written whole.
void discard_open_output();

}  // namespace varnu::web
