// Where the process ends. A separate unit so that a fuzzing build can return to its caller
// instead of exiting.
#pragma once

namespace varnu {

// Ends the process with `status`; open streams are flushed and closed on the way.
[[noreturn]] void end_process(int status);

}  // namespace varnu
