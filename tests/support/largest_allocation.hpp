// The largest single allocation a test binary made since the last reset, seen through its own
// operator new: readers must check what a file holds before they size a buffer from it. And the
// most memory the process held since a reset, which also counts what libraries take with malloc.
#pragma once

#include <cstddef>
#include <optional>

namespace varnu::testing {

void reset_largest_allocation();
std::size_t largest_allocation();

// The peak of the process's resident memory since reset_peak_resident, above what it held then:
// every allocation whose pages were written, however it was made. Nothing where the system does
// not say (Linux's /proc does), or under AddressSanitizer, whose own memory would swamp it.
void reset_peak_resident();
std::optional<std::size_t> peak_resident_growth();

}  // namespace varnu::testing
