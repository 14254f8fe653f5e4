#include "driver/run.hpp"

#include <new>
#include <string>

#include "common/run_state.hpp"
#include "driver/extract.hpp"
#include "driver/fail.hpp"
#include "archive/names.hpp"
#include "platform/platform.hpp"

namespace varnu {
namespace {

void open_input(const std::string& path) {
  run.input = platform::open_for_reading(path);
  if (run.input == nullptr) fail(FAIL_OPEN_INPUT);
}

void allocate_buffers() {
  run.buffers.image.assign(kInitialImageSize, 0);
  run.buffers.packed.assign(kInitialPackedSize, 0);
  run.half_width_row.assign(kMaxHalfWidthRowBytes, 0);
  run.output_buffer.assign(kOutputBufferSize, 0);
}

void release_buffers() {
  run.buffers = {};
  run.half_width_row = {};
  run.output_buffer = {};
}

}  // namespace

int run_program(int argc, char** argv) {
  if (argc < 2) fail(FAIL_USAGE);
  const std::string path = argv[1];
  const OutputMode mode =
      argc > 2 && argv[2][0] == 'x' ? OutputMode::kHalfWidth : OutputMode::kPlain;

  open_input(path);
  // Buffers grow with the entries they hold; running out of memory at any point is a conversion
  // failure, never a crash.
  try {
    allocate_buffers();
    extract_all(derive_base_name(path), mode);
  } catch (const std::bad_alloc&) {
    fail(FAIL_CONVERT);
  }
  release_buffers();
  std::fclose(run.input);
  run.input = nullptr;
  return 0;
}

}  // namespace varnu
