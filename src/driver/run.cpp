#include "driver/run.hpp"

#include <new>
#include <string>

#include "common/run_state.hpp"
#include "driver/extract.hpp"
#include "driver/fail.hpp"
#include "driver/names.hpp"
#include "platform/platform.hpp"

namespace varnu {
namespace {

void open_input(const std::string& path) {
  run.input = platform::open_for_reading(path);
  if (run.input == nullptr) fail(FAIL_OPEN_INPUT);
  run.input_position = 0;
}

void allocate_buffers() {
  run.image.assign(kInitialImageSize, 0);
  run.packed.assign(kInitialPackedSize, 0);
  run.half_width_row.assign(kMaxHalfWidthRowBytes, 0);
  run.output_buffer.assign(kOutputBufferSize, 0);
}

void release_buffers() {
  run.packed = {};
  run.image = {};
  run.half_width_row = {};
  run.output_buffer = {};
}

// Buffers grow with the entries they hold; running out of memory at any point is a conversion
// failure, never a crash.
template <typename Step>
auto failing_when_out_of_memory(Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    fail(FAIL_CONVERT);
  }
}

}  // namespace

Walk begin_run(int argc, char** argv) {
  if (argc < 2) fail(FAIL_USAGE);
  const std::string path = argv[1];
  const OutputMode mode =
      argc > 2 && argv[2][0] == 'x' ? OutputMode::kHalfWidth : OutputMode::kPlain;

  open_input(path);
  return failing_when_out_of_memory([&] {
    allocate_buffers();
    return Walk{.base = derive_base_name(path), .mode = mode};
  });
}

bool continue_run(Walk& walk) {
  if (failing_when_out_of_memory([&] { return extract_next(walk); })) return true;
  release_buffers();
  std::fclose(run.input);
  run.input = nullptr;
  return false;
}

int run_program(int argc, char** argv) {
  Walk walk = begin_run(argc, argv);
  while (continue_run(walk)) {
  }
  return 0;
}

}  // namespace varnu
