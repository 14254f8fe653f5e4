// Where an archive's bytes come from: read once, from the start, in order. The converter reads
// its archive this way so that one that cannot be positioned (a pipe) converts too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <span>

namespace varnu::archive {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies the next bytes into `into`; fewer than asked only at the end or after a read error.
  virtual std::size_t read(std::span<std::uint8_t> into) = 0;
  // Whether a read has failed, as against the bytes simply ending.
  virtual bool failed() const = 0;
  // Moves past the next `count` bytes as read() would, and says how many there were: fewer only
  // at the end or after a read error. By reading them, unless the source can do better.
  virtual std::uint64_t skip(std::uint64_t count);
};

// A C stream opened for binary reading; the caller keeps it open while it is read.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  std::size_t read(std::span<std::uint8_t> into) override;
  bool failed() const override;

 private:
  std::FILE* file_;
};

// A C++ stream; the caller keeps it while it is read.
class StreamSource final : public ByteSource {
 public:
  explicit StreamSource(std::istream& stream) : stream_(stream) {}
  std::size_t read(std::span<std::uint8_t> into) override;
  bool failed() const override { return stream_.bad(); }
  // By positioning the stream, where it can be positioned.
  std::uint64_t skip(std::uint64_t count) override;

 private:
  std::istream& stream_;
};

// Bytes handed over a part at a time, as they are made: a reader of them reads on into each next
// part. A read past the part given reads short, as at an archive's end.
class PartSource final : public ByteSource {
 public:
  // The bytes to read next; the caller keeps them while they are read.
  void feed(std::span<const std::uint8_t> part) { part_ = part; }
  std::size_t read(std::span<std::uint8_t> into) override;
  bool failed() const override { return false; }

 private:
  std::span<const std::uint8_t> part_;
};

}  // namespace varnu::archive
