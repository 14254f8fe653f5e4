// The entry point on POSIX systems.
#include <csignal>

#include "platform/platform.hpp"

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails instead of killing the process, so that the
  // program can report it and remove the partial file.
  std::signal(SIGXFSZ, SIG_IGN);
  return varnu::program_main(argc, argv);
}
