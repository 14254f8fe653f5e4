// C streams in the module: one owned, closed with its owner; and one read through a C++ stream,
// for archive::read_entry_bytes, each read going straight to fread. An unbuffered file (setvbuf
// _IONBF) is then read in one piece of exactly the bytes asked for (the page's file system
// answers each read of the user's file at a cost, and a buffer would read past the entry), and a
// read error stays on the C stream, where the caller tells it apart from an archive that no
// longer holds what it held.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <ios>
#include <memory>
#include <streambuf>

namespace varnu::web {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// Serves whole reads and seeks alone: nothing is buffered, so nothing can be peeked at.
class FileReadBuffer final : public std::streambuf {
 public:
  explicit FileReadBuffer(std::FILE* file) : file_(file) {}

 protected:
  std::streamsize xsgetn(char* into, std::streamsize count) override {
    return static_cast<std::streamsize>(
        std::fread(into, 1, static_cast<std::size_t>(count), file_));
  }

  pos_type seekoff(off_type offset, std::ios_base::seekdir from, std::ios_base::openmode) override {
    const int whence = from == std::ios_base::beg   ? SEEK_SET
                       : from == std::ios_base::cur ? SEEK_CUR
                                                    : SEEK_END;
    if (fseeko(file_, static_cast<off_t>(offset), whence) != 0) return pos_type(off_type(-1));
    return pos_type(static_cast<off_type>(ftello(file_)));
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }

 private:
  std::FILE* file_;
};

}  // namespace varnu::web
