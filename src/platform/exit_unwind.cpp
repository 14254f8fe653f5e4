// The end of a failed run in the page's module, the fuzz targets and the unit tests: the run
// unwinds to whoever started it, carrying its failure.
#include "platform/end_run.hpp"

namespace varnu {

void end_failed_run(const FailedRun& failed) {
  throw failed;
}

}  // namespace varnu
