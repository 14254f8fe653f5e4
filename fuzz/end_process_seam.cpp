// The fuzz build's end of the process: unwinds to the target with the status instead of exiting.
// The streams the run left open stay open; the target closes them before the next input.
#include "fuzz/end_process_seam.hpp"

#include "driver/end_process.hpp"

namespace varnu {

void end_process(int status) {
  throw fuzz::ProcessEnded{status};
}

}  // namespace varnu
