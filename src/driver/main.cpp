#include <csignal>

#include "driver/run.hpp"

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails instead of killing the process, so the run can
  // report it and remove the partial file.
  std::signal(SIGXFSZ, SIG_IGN);
  return varnu::run_program(argc, argv);
}
