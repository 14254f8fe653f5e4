// varnu-pack: the program entry. It only turns the command line into UTF-8 strings; everything
// else is pack_main, so that a build whose command line comes in another form needs only a
// different entry here.
#include <iostream>
#include <string>
#include <vector>

#include "tools/pack_command.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return varnu::tools::pack_main(args, std::cout, std::cerr);
}
