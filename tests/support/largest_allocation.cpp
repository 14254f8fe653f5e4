// Replaces the global operator new and delete of the binary it is linked into. Kept in a file of
// its own so that no caller sees the pair inlined together (GCC would take the free() of a
// pointer from operator new for a mismatch).
#include "tests/support/largest_allocation.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> largest{0};
}  // namespace

void* operator new(std::size_t size) {
  std::size_t seen = largest.load(std::memory_order_relaxed);
  while (size > seen && !largest.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

// The standard library asks for temporary buffers without exceptions (std::stable_sort); they
// must come from the same place as the rest, since they are freed by the delete below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void operator delete(void* p) noexcept {
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace varnu::testing {

void reset_largest_allocation() {
  largest = 0;
}

std::size_t largest_allocation() {
  return largest.load();
}

}  // namespace varnu::testing
