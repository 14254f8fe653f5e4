// varnu's own entry, reached from the system's entry point (src/platform/entry_*.cpp).
#include "driver/run.hpp"
#include "platform/platform.hpp"

int varnu::program_main(int argc, char** argv) {
  return run_program(argc, argv);
}
