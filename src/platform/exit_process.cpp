// The programs' end of a failed run: the process ends with the run's status.
#include <cstdlib>

#include "platform/end_run.hpp"

namespace varnu {

void end_failed_run(const FailedRun& failed) {
  std::exit(failed.status);
}

}  // namespace varnu
