// How a failed run ends, once its message is printed.
//
// Linked in one of two forms. The programs end the process with the exit status (exit_process.cpp,
// the varnu_exit library); the page's module, the fuzz targets and the unit tests unwind back to
// their caller instead (exit_unwind.cpp, varnu_exit_unwind), so that one process converts input
// after input and learns how each run ended as values.
#pragma once

namespace varnu {

// A failed run: the code of the failure (FAIL_* of driver/fail.hpp) and the exit status.
struct FailedRun {
  int code;
  int status;
};

// Ends the run. The unwinding form throws `failed`; the streams the run left open stay open, and
// the caller closes them before the next run. The exiting form flushes and closes them on the way.
[[noreturn]] void end_failed_run(const FailedRun& failed);

}  // namespace varnu
