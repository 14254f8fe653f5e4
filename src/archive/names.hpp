// Names of the files the converter writes for an archive's entries: the converter writes them,
// and the packer and the page name pictures after them.
#pragma once

#include <string>
#include <string_view>

#include "format/archive.hpp"

namespace varnu {

// The base name of the outputs: the archive path cut at its first dot, less everything up to
// its last colon or backslash before that dot. A slash is not a separator, so a directory
// written with slashes stays in the name and the outputs go there. The scan is over bytes, as
// the paths this tool meets may be Shift_JIS.
std::string derive_base_name(std::string_view path);

// base + "_" + entry number + ".BMP", for 0 <= entry < kMaxEntries.
std::string output_name(std::string_view base, int entry);

}  // namespace varnu
