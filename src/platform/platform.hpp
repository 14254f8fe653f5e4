// Everything that differs between Windows and POSIX systems, behind a handful of functions.
//
// The rest of the program is written once against these: a path is a byte string, streams are
// the standard C ones. On POSIX systems a path's bytes go to the system unchanged. On Windows the
// command line arrives as wide characters and is carried through the program as UTF-8, and every
// file is opened through the wide-character calls, so that names in any script work whatever the
// system's ANSI code page is. UTF-8 never uses the bytes of '.', ':', '\' or '/' inside a
// character, so the byte-wise naming rules see the same separators as the user typed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace varnu {

// The program's own entry, called by the system's entry point once the process is prepared,
// with the arguments as byte strings (UTF-8 on Windows). Each program defines it.
int program_main(int argc, char** argv);

namespace platform {

// Opens an existing file for binary reading; nullptr when it cannot be opened or is a
// directory.
std::FILE* open_for_reading(const std::string& path);

// Creates a file, or empties an existing one, for binary writing; nullptr when it cannot.
std::FILE* open_for_writing(const std::string& path);

// Removes a file, if there is one. What cannot be removed stays.
void remove_file(const std::string& path);

}  // namespace platform
}  // namespace varnu
