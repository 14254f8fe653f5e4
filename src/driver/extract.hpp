// The archive walk (the layout of an archive is in format/archive.hpp, the walk itself in
// archive/entry_reader.hpp).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "archive/entry_reader.hpp"
#include "bitmap/layout.hpp"

namespace varnu {

// A walk over the run's archive: the outputs' base name, the mode, the reader and how many
// entries it has converted.
struct Walk {
  Walk(std::FILE* input, std::string base_name, OutputMode output_mode);
  // The reader reads through the walk's own source.
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  std::string base;
  OutputMode mode;
  archive::FileSource source;
  archive::EntryReader reader;
  int converted = 0;
};

// The failure code (FAIL_*) a walk that has converted `converted` entries ends with on `status`,
// or nothing when it goes on (an entry was read) or ends well (the archive is over after at
// least one entry).
std::optional<int> failure_for(archive::ReadStatus status, int converted);

// Converts the entry at the input's position, writing its file (base_000.BMP, base_001.BMP, and so
// on, in the walk's mode). Returns false once there is none: the walk has ended, and ended well,
// with at least one entry written. Every failure ends the run through fail().
bool extract_next(Walk& walk);

// Converts every entry of the run's archive: extract_next until the walk ends.
void extract_all(const std::string& base, OutputMode mode);

// Reads the entry's length field and payload, decodes it into the image buffer and leaves the
// input at the next entry boundary; the record says what it is.
const archive::EntryRecord& unpack_entry(archive::EntryReader& reader);

}  // namespace varnu
