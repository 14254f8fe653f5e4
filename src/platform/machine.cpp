#include "platform/machine.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace varnu::platform {

unsigned processor_count() {
  if (!kHasThreads) return 1;
  return std::max(1u, std::thread::hardware_concurrency());
}

bool standard_error_is_terminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace varnu::platform
