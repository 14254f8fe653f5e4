// The end of the process in the fuzz targets and the unit tests: unwinds to the caller with the
// status instead of exiting.
// The streams the run left open stay open; the caller closes them before the next run.
#include "fuzz/end_process_seam.hpp"

#include "driver/end_process.hpp"

namespace varnu {

void end_process(int status) {
  throw fuzz::ProcessEnded{status};
}

}  // namespace varnu
