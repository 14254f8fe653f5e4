#include "driver/extract.hpp"

#include <cstdio>
#include <utility>

#include "bitmap/write_bitmap.hpp"
#include "common/run_state.hpp"
#include "driver/fail.hpp"
#include "archive/names.hpp"
#include "lzss/lzss.hpp"
#include "platform/platform.hpp"

namespace varnu {
namespace {

using archive::ReadStatus;

// Ends the run on any status but an entry read.
void fail_unless_entry(ReadStatus status, int converted) {
  if (const std::optional<int> code = failure_for(status, converted)) fail(*code);
}

// A failed write or close leaves no half-written file behind.
void close_output(const std::string& name) {
  const bool written = std::ferror(run.output) == 0;
  const bool closed = std::fclose(run.output) == 0;
  run.output = nullptr;
  if (!written || !closed) {
    platform::remove_file(name);
    fail(FAIL_CREATE_OUTPUT);
  }
}

}  // namespace

Walk::Walk(std::FILE* input, std::string base_name, OutputMode output_mode)
    : base(std::move(base_name)),
      mode(output_mode),
      source(input),
      reader(source, run.buffers, {.mode = output_mode}) {}

std::optional<int> failure_for(ReadStatus status, int converted) {
  switch (status) {
    case ReadStatus::kEntry:
      return std::nullopt;
    case ReadStatus::kEnd:
      if (converted > 0) return std::nullopt;
      return FAIL_CONVERT;
    case ReadStatus::kUnreadable:
      return FAIL_OPEN_INPUT;
    case ReadStatus::kCutShort:
    case ReadStatus::kNotConvertible:
    case ReadStatus::kTooManyEntries:
      break;
  }
  return FAIL_CONVERT;
}

const archive::EntryRecord& unpack_entry(archive::EntryReader& reader) {
  fail_unless_entry(reader.read_payload(), 0);
  const std::size_t decoded = lzss_decode(reader.record().packed_size);
  fail_unless_entry(reader.finish_entry(decoded), 0);
  return reader.record();
}

bool extract_next(Walk& walk) {
  const ReadStatus status = walk.reader.next_header();
  if (status == ReadStatus::kEnd && walk.converted > 0) return false;
  fail_unless_entry(status, walk.converted);
  const std::string name = output_name(walk.base, walk.converted);

  // An entry the writer cannot handle inside the image buffer gets no file.
  const archive::EntryRecord& entry = unpack_entry(walk.reader);
  run.output = platform::open_for_writing(name);
  if (run.output == nullptr) fail(FAIL_CREATE_OUTPUT);
  std::setvbuf(run.output, run.output_buffer.data(), _IOFBF, run.output_buffer.size());
  write_bitmap(entry.plan);
  close_output(name);
  ++walk.converted;
  return true;
}

void extract_all(const std::string& base, OutputMode mode) {
  Walk walk(run.input, base, mode);
  while (extract_next(walk)) {
  }
}

}  // namespace varnu
