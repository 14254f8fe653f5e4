// varnu-pack: the program's own entry, reached from the system's entry point
// (src/platform/entry_*.cpp), which hands over the command line as UTF-8 on every system.
#include <iostream>
#include <string>
#include <vector>

#include "pack/command/command_line.hpp"
#include "platform/machine.hpp"
#include "platform/platform.hpp"

int varnu::program_main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  platform::keep_freed_memory();
  return pack::pack_main(args, std::cout, std::cerr, platform::standard_error_is_terminal());
}
