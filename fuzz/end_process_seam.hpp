// How a failing run comes back to a fuzz target: the fuzz build's end_process throws this
// instead of ending the process, so that one process can convert input after input.
#pragma once

namespace varnu::fuzz {

struct ProcessEnded {
  int status;
};

}  // namespace varnu::fuzz
