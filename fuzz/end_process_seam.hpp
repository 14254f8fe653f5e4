// How a failing run comes back to a fuzz target or a test: their end_process throws this
// instead of ending the process, so that one process can convert input after input.
#pragma once

namespace varnu::fuzz {

struct ProcessEnded {
  int status;
};

}  // namespace varnu::fuzz
