// The varnu-pack command: bitmaps in, one archive out that the converter reads back exactly.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Told how far a run has got, always on the thread that called run_pack, in the order of the
// pictures whatever the number of threads.
class PackObserver {
 public:
  virtual ~PackObserver() = default;
  // `written` of `total` pictures are in the archive, and `bytes_read` bytes of them have been
  // read (some perhaps ahead of the writing). Called after each picture is written and, while
  // the next is still being packed, several times a second.
  virtual void progress(std::size_t written, std::size_t total, std::uint64_t bytes_read) = 0;
  // A warning about the picture just written, told before the progress that counts it. It is
  // also among the result's messages unless the run then fails.
  virtual void warning(const PackMessage& message) = 0;
};

// Runs the command on its arguments (UTF-8, without the program name); help and the version go
// to `out`.
PackResult run_pack(const std::vector<std::string>& args, std::ostream& out,
                    PackObserver* observer = nullptr);

// For a page that replaces some pictures of an archive and saves it: what `varnu-pack --like
// original output PICTURES...` does, picture k being the file pictures[k] names, or where that is
// empty entry k of `original` as the converter writes it. The archive is byte for byte the one the
// command line writes from those files: every entry whose picture is unchanged (all those without
// a file, unless they hold bytes that an edited entry before them changed) is copied from the
// original as it stands. Messages about an entry without a file name it as the converter names
// its file.
PackResult pack_replacing(const std::string& original, const std::string& output,
                          const std::vector<std::optional<std::string>>& pictures,
                          bool no_limits = false);

// The line the command line prints for `message`, without its line end: "varnu-pack: ",
// "warning: " for a warning, the file and ": " when it names one, then the text.
std::string message_line(const PackMessage& message);

// The command line: runs the command and prints each message as one line on `err`; after a
// wrong command line, the usage. When `err` is a terminal, a progress line is kept there while
// the run lasts, and each warning is printed as its picture is written. Returns the exit status.
int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool err_is_terminal = false);

}  // namespace varnu::pack
