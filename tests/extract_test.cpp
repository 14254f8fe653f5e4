// The archive walk on an archive that stops short. A read error anywhere ends the run with the
// message that the archive cannot be read; the same archive merely ending there is the end of
// the walk or an archive that cannot be converted. The walk runs in this process on a stream
// that fails on cue; a failed run unwinds back here carrying the code of the message it printed.
#include "driver/extract.hpp"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/run_state.hpp"
#include "driver/fail.hpp"
#include "format/archive.hpp"
#include "platform/end_run.hpp"
#include "tools/archive.hpp"

namespace varnu {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kSuccess = -1;
constexpr int kNoMessage = -2;  // ended, but printed no message line

// Yields the archive's first `good` bytes, then a read error, or its end when `fails` is false.
struct CutArchive {
  const Bytes& bytes;
  std::size_t good;
  bool fails;
  std::size_t at = 0;
};

ssize_t read_cut(void* cookie, char* into, std::size_t size) {
  CutArchive& archive = *static_cast<CutArchive*>(cookie);
  if (archive.at == archive.good && archive.fails) {
    errno = EIO;
    return -1;
  }
  const std::size_t count = std::min(size, archive.good - archive.at);
  std::memcpy(into, archive.bytes.data() + archive.at, count);
  archive.at += count;
  return static_cast<ssize_t>(count);
}

// Walks the archive, writing into a scratch directory; returns the failure code whose message
// was printed, or kSuccess.
int walk(CutArchive archive) {
  std::string dir = (std::filesystem::temp_directory_path() / "varnu-walk-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return kNoMessage;
  cookie_io_functions_t io{};
  io.read = read_cut;
  run.input = fopencookie(&archive, "rb", io);
  run.input_position = 0;
  run.image.assign(kInitialImageSize, 0);
  run.packed.assign(kInitialPackedSize, 0);
  run.half_width_row.assign(kMaxHalfWidthRowBytes, 0);
  run.output_buffer.assign(kOutputBufferSize, 0);

  ::testing::internal::CaptureStdout();
  std::optional<FailedRun> ended;
  try {
    extract_all(dir + "/t", OutputMode::kPlain);
  } catch (const FailedRun& failed) {
    ended = failed;
  }
  const std::string printed = ::testing::internal::GetCapturedStdout();
  for (std::FILE** stream : {&run.input, &run.output}) {
    if (*stream != nullptr) std::fclose(*stream);
    *stream = nullptr;
  }
  std::filesystem::remove_all(dir);

  if (!ended) return printed.empty() ? kSuccess : kNoMessage;
  EXPECT_EQ(ended->status, kFailureStatus);
  for (int code : {FAIL_OPEN_INPUT, FAIL_CREATE_OUTPUT, FAIL_CONVERT}) {
    const std::span<const std::uint8_t> message = failure_message(code);
    if (printed == std::string(message.begin(), message.end()) + "\r\n") {
      // The caller learns the failure as a value, the same as the line says.
      EXPECT_EQ(ended->code, code);
      return code;
    }
  }
  return kNoMessage;
}

TEST(Walk, AReadErrorAnywhereIsAnArchiveThatCannotBeRead) {
  tools::Picture picture;
  picture.width = 8;
  picture.height = 8;
  picture.pixels.assign(64, 7);
  const Bytes payload = tools::pack_entry_payload(picture);
  const Bytes archive = tools::build_archive({payload, payload});
  const std::size_t second = kEntryAlignment;
  const std::size_t payload_end = kPayloadOffset + payload.size();
  ASSERT_LT(payload_end + 100, second);
  const struct {
    const char* name;
    std::size_t good;
    int at_end;  // when the archive just ends there instead
  } cases[] = {
      {"at the start", 0, FAIL_CONVERT},
      {"inside the header", 4, FAIL_CONVERT},
      {"inside the length field", 10, FAIL_CONVERT},
      {"inside the payload", payload_end - payload.size() / 2, FAIL_CONVERT},
      {"inside the filler", payload_end + 100, kSuccess},
      {"after a good entry", second, kSuccess},
      {"inside the next payload", second + payload_end - 1, FAIL_CONVERT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(walk({archive, c.good, true}), FAIL_OPEN_INPUT);
    EXPECT_EQ(walk({archive, c.good, false}), c.at_end);
  }
}

}  // namespace
}  // namespace varnu
