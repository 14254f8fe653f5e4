// Replaces the global operator new and delete of the binary it is linked into. Kept in a file of
// its own so that no caller sees the pair inlined together (GCC would take the free() of a
// pointer from operator new for a mismatch).
#include "tests/support/largest_allocation.hpp"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

namespace {
std::atomic<std::size_t> largest{0};
std::optional<std::size_t> resident_at_reset;

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM"), or nothing.
std::optional<std::size_t> status_bytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1)) * 1024;
  }
  return std::nullopt;
}
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

void reset_peak_resident() {
  // Writing 5 there sets the peak (VmHWM) back to what is resident now.
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  resident_at_reset = clear ? status_bytes("VmRSS") : std::nullopt;
}

// AddressSanitizer's shadow memory and the freed blocks it holds back count as resident, so the
// figure would say more about it than about the code under test.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMeansTheCode = false;
#elif defined(__has_feature)
constexpr bool kResidentMeansTheCode = !__has_feature(address_sanitizer);
#else
constexpr bool kResidentMeansTheCode = true;
#endif

std::optional<std::size_t> peak_resident_growth() {
  if (!kResidentMeansTheCode) return std::nullopt;
  const std::optional<std::size_t> peak = status_bytes("VmHWM");
  if (!peak || !resident_at_reset) return std::nullopt;
  return *peak > *resident_at_reset ? *peak - *resident_at_reset : 0;
}

}  // namespace varnu::testing
