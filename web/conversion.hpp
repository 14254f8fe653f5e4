// What the page's module does about a conversion that ended early, beyond the converter's own
// run state.
#pragma once

namespace varnu::web {

// Drops the output file the converter still holds open when its run ended early, so that the
// page never sees a file that was not written whole.
void discard_open_output();

}  // namespace varnu::web
