// The varnu-pack command line: its options, its usage and help, and how its messages and
// progress are printed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "pack/pack.hpp"

namespace varnu::pack {

// The command line `varnu-pack args...` (UTF-8, without the program name): parses it and packs;
// help and the version go to `out`.
PackResult run_pack(const std::vector<std::string>& args, std::ostream& out,
                    PackObserver* observer = nullptr);

// The line the command line prints for `message`, without its line end: "varnu-pack: ",
// "warning: " for a warning, the file and ": " when it names one, then the text.
std::string message_line(const PackMessage& message);

// The command line: runs the command and prints each message as one line on `err`; after a
// wrong command line, the usage. When `err` is a terminal, a progress line is kept there while
// the run lasts, and each warning is printed as its picture is written. Returns the exit status.
int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool err_is_terminal = false);

}  // namespace varnu::pack
