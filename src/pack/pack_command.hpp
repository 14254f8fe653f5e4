// The varnu-pack command: bitmaps in, one archive out that the converter reads back exactly.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace varnu::pack {

// Runs the command on its arguments (UTF-8, without the program name); help goes to `out`,
// messages to `err`. Returns the exit status: 0 done (warnings included), 1 failed with no
// archive written, 2 a wrong command line.
int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace varnu::pack
