// The test pictures' random numbers: the same on every platform and library.
#pragma once

#include <cstdint>

namespace varnu::tools {

// Library distributions may change between versions; this generator never does.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}

  std::uint32_t next() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }

  // Uniform enough for drawing; the slight modulo bias does not matter here.
  int below(int bound) { return static_cast<int>(next() % static_cast<std::uint32_t>(bound)); }

 private:
  std::uint64_t state_;
};

}  // namespace varnu::tools
