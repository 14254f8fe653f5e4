// The entry point on Windows: the command line comes in as wide characters and goes on as
// UTF-8; standard output is made binary, so that a message line ends in exactly CR LF rather than
// the CR CR LF that text mode would make of it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "platform/utf.hpp"

int wmain(int argc, wchar_t** argv) {
  // A console program never waits on a dialog: a drive without a disk or a crash is reported
  // to the caller, not to a window nobody may be watching.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  _setmode(_fileno(stdout), _O_BINARY);

  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(varnu::platform::utf8_from_wide(argv[i]));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return varnu::program_main(argc, pointers.data());
}
