// The varnu-pack command: bitmaps in, one archive out that the converter reads back exactly.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varnu::pack {

// What the command has to say: a warning about a picture it packed, or the refusal that stopped
// it.
struct PackMessage {
  enum class Kind { kWarning, kRefusal };
  // The file it concerns, as the command line named it; nothing when it names none.
  std::optional<std::string> file;
  Kind kind = Kind::kRefusal;
  std::string text;  // the reason alone
};

struct PackResult {
  // 0 done (warnings included), 1 failed with no archive written, 2 a wrong command line.
  int status = 0;
  // The refusal alone when the command failed, else its warnings in the order of the pictures.
  std::vector<PackMessage> messages;
};

// Runs the command on its arguments (UTF-8, without the program name); help and the version go
// to `out`.
PackResult run_pack(const std::vector<std::string>& args, std::ostream& out);

// The command line: runs the command and prints each message as one line on `err`,
// "varnu-pack: ", "warning: " for a warning, the file and ": " when it names one, then the text;
// after a wrong command line, the usage. Returns the exit status.
int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace varnu::pack
