// A picture the page is given to replace an entry, checked at once with the packer's own check of
// one picture against its entry (pack::check_picture), as Save archive will check it: the page
// says its refusal or warnings when the picture is chosen, and shows and saves what varnu would
// write from the entry the packer makes of it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/entry_reader.hpp"
#include "web/entry_file.hpp"

namespace varnu::web {

struct CheckedReplacement {
  // {"refusal": a message (page_pack.hpp's message_json) or null, "warnings": [messages],
  // "unchanged": whether the entry would be copied as it stands, for each mode ("plain",
  // "halfWidth") the file varnu writes from the packed entry: {"fileSize", "width", "height"},
  // and "mapping": null, or when colours the palette lacks were approximated {"pixelsMoved",
  // "meanError", "largestError" (hundredths of CIEDE2000), "text" (as varnu-pack says them)}}.
  std::string json;
  // The bitmap the entry would hold; empty when refused. EntryFile::open_stored makes its files.
  std::vector<std::uint8_t> stored;
  // With a mapping: one byte per pixel of the picture, bottom row first, 1 where it moved.
  std::vector<std::uint8_t> moved;
};

// Checks the file at `picture` (the path its messages name it by) against the entry that `record`
// of the archive at `path` describes (in either mode: it is read as in plain mode, as the packer
// reads it), with the bytes it borrows. Answers why the entry could not be read, else kReady with
// `out` filled.
Remade check_replacement(const std::string& path, archive::EntryRecord record,
                         std::span<const std::uint8_t> borrowed, const std::string& picture,
                         CheckedReplacement& out);

}  // namespace varnu::web
