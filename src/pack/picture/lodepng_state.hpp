// lodepng's state and buffers, owned: the one thing the PNG reader and writer share.
#pragma once

#include <lodepng.h>

#include <cstdlib>
#include <memory>

namespace varnu::pack {

class LodepngState {
 public:
  LodepngState() { lodepng_state_init(&state_); }
  ~LodepngState() { lodepng_state_cleanup(&state_); }
  LodepngState(const LodepngState&) = delete;
  LodepngState& operator=(const LodepngState&) = delete;
  LodePNGState* get() { return &state_; }

 private:
  LodePNGState state_;
};

// A buffer lodepng made: it allocates with the C library (its own allocators are not built out).
using LodepngBytes = std::unique_ptr<unsigned char, decltype(&std::free)>;

}  // namespace varnu::pack
