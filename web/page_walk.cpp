#include "web/page_walk.hpp"

#include <algorithm>
#include <new>
#include <optional>

#include "archive/names.hpp"
#include "driver/extract.hpp"
#include "driver/fail.hpp"
#include "format/archive.hpp"
#include "platform/platform.hpp"
#include "web/entry_record.hpp"

namespace varnu::web {

PageWalk::PageWalk(const std::string& path, OutputMode mode)
    : base_(derive_base_name(path)),
      file_(platform::open_for_reading(path)),
      source_(file_.get()),
      reader_(source_, buffers_, {.mode = mode}) {}

namespace {

const char* reason_for(archive::ReadStatus status) {
  switch (status) {
    case archive::ReadStatus::kUnreadable:
      return "unreadable";
    case archive::ReadStatus::kCutShort:
      return "cutShort";
    case archive::ReadStatus::kNotConvertible:
      return "notConvertible";
    case archive::ReadStatus::kTooManyEntries:
      return "tooManyEntries";
    case archive::ReadStatus::kEnd:
    case archive::ReadStatus::kEntry:
      break;
  }
  return "noEntry";
}

}  // namespace

int PageWalk::step() {
  if (outcome_ != kWalkGoesOn) return outcome_;
  if (file_ == nullptr) return end(FAIL_OPEN_INPUT, "unreadable");
  // Buffers grow with the entries they hold; running out of memory is a conversion failure, as
  // on the command line.
  try {
    const archive::ReadStatus status = reader_.next();
    if (const std::optional<int> failure = failure_for(status, converted_)) {
      return end(*failure, reason_for(status));
    }
    if (status == archive::ReadStatus::kEnd) return end(kWalkSucceeded);
    const archive::EntryRecord& record = reader_.record();
    record_json_ = web::record_json(
        record, file_facts(reader_.image(), record.plan, output_name(base_, converted_)));
    ++converted_;
    return kWalkGoesOn;
  } catch (const std::bad_alloc&) {
    return end(FAIL_CONVERT, "noMemory");
  }
}

std::span<const std::uint8_t> PageWalk::borrowed() const {
  const std::span<const std::uint8_t> bytes = reader_.borrowed();
  const bool zeros = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
  return zeros ? std::span<const std::uint8_t>{} : bytes;
}

std::string PageWalk::next_name() const {
  return converted_ < kMaxEntries ? output_name(base_, converted_) : "";
}

// An ended walk lets go of the archive and of its buffers at once: the page may keep it a while.
int PageWalk::end(int outcome, const char* reason) {
  outcome_ = outcome;
  reason_ = reason;
  file_.reset();
  buffers_ = {};
  record_json_.clear();
  return outcome_;
}

}  // namespace varnu::web
