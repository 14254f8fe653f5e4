// The VCDIFF reader on arbitrary patches, and the writer on arbitrary targets.
//
// Input: a control byte (bit 0: the rest is a target to write a patch for, else a patch to
// apply), a byte that makes the original (patch_original.hpp), then the rest. A patch is applied
// under small limits, and whatever it makes must stay within them; a target is written as a
// patch against the original, in windows whose size the control byte's other bits choose, and
// reading that patch back must give the target.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "archive/byte_source.hpp"
#include "fuzz/patch_original.hpp"
#include "patch/apply.hpp"
#include "patch/matcher.hpp"
#include "patch/vcdiff_writer.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr varnu::patch::ApplyLimits kLimits{.max_window = 1 << 16, .max_target = 1 << 20};

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "fuzz-patch: %s\n", what);
  std::abort();
}

class MemoryFile final : public varnu::patch::PatchedFile {
 public:
  void write(std::span<const std::uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  bool read_back(std::uint64_t offset, std::span<std::uint8_t> into) override {
    if (offset > bytes_.size() || into.size() > bytes_.size() - offset)
      fault("read back past the end");
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
  }
  Bytes bytes_;
};

// Applies `patch`; nothing when it is refused.
std::optional<Bytes> applied(std::span<const std::uint8_t> patch, const Bytes& original) {
  varnu::archive::PartSource source;
  source.feed(patch);
  varnu::patch::SpanBytes from(original);
  MemoryFile target;
  try {
    varnu::patch::apply_patch(source, from, target, kLimits);
  } catch (const varnu::patch::PatchError&) {
    if (target.bytes_.size() > kLimits.max_target) fault("made more than the limit");
    return std::nullopt;
  }
  if (target.bytes_.size() > kLimits.max_target) fault("made more than the limit");
  return target.bytes_;
}

// Two pieces, each matched against the original; the first also copied from it where it can.
void write_back(std::span<const std::uint8_t> target, const Bytes& original, std::uint8_t control) {
  Bytes patch;
  const std::uint64_t window_size = 16 + static_cast<std::uint64_t>(control >> 1) * 37;
  varnu::patch::VcdiffWriter writer(
      original.size(),
      [&](std::span<const std::uint8_t> bytes) {
        patch.insert(patch.end(), bytes.begin(), bytes.end());
      },
      window_size);
  varnu::patch::MatchHistory history(window_size);
  const std::size_t half = target.size() / 2;
  const std::size_t same = std::min(half, original.size());
  std::size_t copied = 0;
  while (copied < same && target[copied] == original[copied]) ++copied;
  writer.copy_original(0, target.first(copied));
  varnu::patch::write_matched(target.subspan(copied, half - copied), original, 0, 0, writer,
                              history);
  varnu::patch::write_matched(target.subspan(half), original, 0, 0, writer, history);
  writer.finish();
  const std::optional<Bytes> back = applied(patch, original);
  if (!back) fault("the writer's patch was refused");
  if (!std::equal(back->begin(), back->end(), target.begin(), target.end())) {
    fault("the writer's patch does not give the target back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Bytes original = varnu::fuzz::patch_original(data[1]);
  const std::span<const std::uint8_t> rest(data + 2, size - 2);
  if ((data[0] & 1) != 0) {
    write_back(rest, original, data[0]);
  } else {
    applied(rest, original);
  }
  return 0;
}
