// The program's run, from the command line to the exit status.
#pragma once

#include "driver/extract.hpp"

namespace varnu {

// Runs `varnu <filename> [option]`. Returns 0 when at least one entry was converted; every
// failure prints its message and ends the process through fail().
int run_program(int argc, char** argv);

// The same run one entry at a time, for a caller with other work to do between entries (the
// page): begin_run opens the archive the command line names and sets up the buffers;
// continue_run converts the next entry and returns false once the run has ended well, its
// archive closed and its buffers released. Failures end the run through fail(), as in
// run_program.
Walk begin_run(int argc, char** argv);
bool continue_run(Walk& walk);

}  // namespace varnu
