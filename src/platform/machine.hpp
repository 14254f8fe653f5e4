// What the packer asks of the machine it runs on: how many threads it may pack on, and whether a
// person is watching standard error. Kept apart from platform.hpp, whose file calls the page's
// module replaces with its own, while these are the same there as in the Node.js build.
#pragma once

namespace varnu::platform {

// The WebAssembly builds (Node.js and the page) are built without threads: a program there runs
// on the thread that called it.
#ifdef __EMSCRIPTEN__
inline constexpr bool kHasThreads = false;
#else
inline constexpr bool kHasThreads = true;
#endif

// How many threads the machine runs at once (its logical processors); 1 without threads, or when
// the system does not say.
unsigned processor_count();

// Asks the C library to keep memory a program frees for its next allocations rather than give
// it back to the system: a packer allocates and frees a few MB for each picture, and memory
// given back is zero-filled page by page when it is taken again, which cost more time than the
// packing itself. The program's largest holding is unchanged. Does nothing where the library
// keeps it anyway or has no such setting.
void keep_freed_memory();

// Whether standard error is a terminal, so that a line there may be redrawn in place.
bool standard_error_is_terminal();

}  // namespace varnu::platform
