// A walk of an archive that the page drives an entry at a time, between drawing its pictures and
// answering for others: the archive reader over the user's file, in the current directory as the
// command line reads it. Each entry's record goes to the worker with the facts of the file the
// converter writes for it, and the walk ends as the command line ends, with the code of its
// failure, if any. Several walks may be under way at once, each with buffers of its own: an
// archive being shown, and another walk finding what earlier entries left for a later one.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/byte_source.hpp"
#include "archive/entry_reader.hpp"
#include "bitmap/layout.hpp"
#include "format/buffers.hpp"
#include "web/file_stream.hpp"

namespace varnu::web {

// What a step says besides a failure's code (FAIL_*, 0 and up).
inline constexpr int kWalkSucceeded = -1;
inline constexpr int kWalkGoesOn = -2;

class PageWalk {
 public:
  // `varnu path [x]`, not yet begun.
  PageWalk(const std::string& path, OutputMode mode);

  // Reads the next entry. Returns kWalkGoesOn with an entry read (record_json() and borrowed()
  // say what it is), then kWalkSucceeded or the code of the failure the command line ends with;
  // once ended, it returns that again.
  int step();

  // The last entry read, as entry_record.hpp writes it, until the next step.
  const std::string& record_json() const { return record_json_; }
  // The bytes the last entry borrows from earlier ones, for the page to hand back when it has
  // its file made again; nothing when they are all zeros, which is what making it again takes
  // when given nothing.
  std::span<const std::uint8_t> borrowed() const;

  // Once ended with a failure, why, in the worker's words: "noEntry" (nothing that starts an
  // entry where one should be), "cutShort", "notConvertible", "unreadable", "tooManyEntries" or
  // "noMemory"; and the name of the file the entry it stopped at would have had.
  const char* reason() const { return reason_; }
  std::string next_name() const;

 private:
  int end(int outcome, const char* reason = "");

  std::string base_;
  OwnedFile file_;
  archive::FileSource source_;
  EntryBuffers buffers_;
  archive::EntryReader reader_;
  int converted_ = 0;
  int outcome_ = kWalkGoesOn;
  const char* reason_ = "";
  std::string record_json_;
};

}  // namespace varnu::web
