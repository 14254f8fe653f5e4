// What a writer sends to a C stream, as bytes. A temporary file rather than a memory stream, so
// that the unit tests build and run on Windows as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace varnu::testing {

template <typename Writer>
std::vector<std::uint8_t> written_by(Writer&& write) {
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr) throw std::runtime_error("cannot make a temporary file");
  write(stream);
  std::vector<std::uint8_t> bytes;
  std::rewind(stream);
  for (int c; (c = std::fgetc(stream)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
  std::fclose(stream);
  return bytes;
}

}  // namespace varnu::testing
