// The largest single allocation a test binary made since the last reset, seen through its own
// operator new: readers must check what a file holds before they size a buffer from it.
#pragma once

#include <cstddef>

namespace varnu::testing {

void reset_largest_allocation();
std::size_t largest_allocation();

}  // namespace varnu::testing
