// The program's run, from the command line to the exit status.
#pragma once

namespace varnu {

// Runs `varnu <filename> [option]`. Returns 0 when at least one entry was converted; every
// failure prints its message and ends the process through fail().
int run_program(int argc, char** argv);

}  // namespace varnu
