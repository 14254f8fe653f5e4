#include "platform/machine.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten.h>
#else
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace varnu::platform {

unsigned processor_count() {
  if (!kHasThreads) return 1;
  return std::max(1u, std::thread::hardware_concurrency());
}

void keep_freed_memory() {
#if defined(__GLIBC__)
  // glibc gives back the top of a heap past 128 KiB free, and serves blocks past a threshold that
  // rises to at most 32 MiB from fresh mappings, unmapped again when freed.
  constexpr int kKept = 256 << 20;
  constexpr int kLargestFromHeap = 64 << 20;
  mallopt(M_TRIM_THRESHOLD, kKept);
  mallopt(M_MMAP_THRESHOLD, kLargestFromHeap);
#endif
}

bool standard_error_is_terminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#elif defined(__EMSCRIPTEN__)
  // Emscripten's isatty() calls every standard stream a terminal, even a file; Node.js knows.
  // The page's worker has no standard error at all.
  return EM_ASM_INT({ return typeof process == 'object' && require('tty').isatty(2) ? 1 : 0; }) !=
         0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace varnu::platform
