// Conversions between UTF-8, the program's own form of a path, and Windows' UTF-16.
#pragma once

#include <string>

namespace varnu::platform {

// Text that is not valid UTF-16 (an unpaired surrogate) or UTF-8 comes out with U+FFFD in
// place of the bad part, so such a name simply names no existing file.
std::wstring wide_from_utf8(const std::string& utf8);
std::string utf8_from_wide(const std::wstring& wide);

}  // namespace varnu::platform
