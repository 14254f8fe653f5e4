#include "patch/apply.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "patch/vcdiff.hpp"

namespace varnu::patch {
namespace {

using Blame = PatchError::Blame;

// Reads of the patch, and of blocks of the original, go in parts of this size.
constexpr std::size_t kChunk = std::size_t{1} << 16;
// A window's delta holds its target length, indicator, section lengths and checksum besides its
// sections, which together are never longer than the window they make when written sensibly.
constexpr std::uint64_t kDeltaOverhead = 64;

[[noreturn]] void damaged(const std::string& what) {
  throw PatchError(Blame::kPatch, what);
}
[[noreturn]] void cut_short() {
  damaged("cut short");
}

std::string with_commas(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return out;
}

// The patch, read once in order through a buffer.
class PatchReader {
 public:
  explicit PatchReader(archive::ByteSource& source) : source_(source) {}

  bool at_end() { return !fill(); }
  std::uint8_t byte() {
    if (!fill()) cut_short();
    return buffer_[at_++];
  }
  std::uint64_t varint() {
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < kMaxVarintBytes; ++k) {
      const std::uint8_t b = byte();
      if (value >> 57 != 0) damaged("a number in it is larger than 64 bits");
      value = value << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return value;
    }
    damaged("a number in it is larger than 64 bits");
  }
  // Appends the next `count` bytes to `out`, growing it only as they arrive.
  void take(std::uint64_t count, std::vector<std::uint8_t>& out) {
    while (count > 0) {
      if (!fill()) cut_short();
      const std::size_t part =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - at_));
      out.insert(out.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(at_),
                 buffer_.begin() + static_cast<std::ptrdiff_t>(at_ + part));
      at_ += part;
      count -= part;
    }
  }
  void skip(std::uint64_t count) {
    while (count > 0) {
      if (!fill()) cut_short();
      const std::size_t part =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - at_));
      at_ += part;
      count -= part;
    }
  }

 private:
  bool fill() {
    if (at_ < size_) return true;
    size_ = source_.read(buffer_);
    at_ = 0;
    if (source_.failed()) damaged("cannot read it");
    return size_ > 0;
  }

  archive::ByteSource& source_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kChunk);
  std::size_t size_ = 0;
  std::size_t at_ = 0;
};

// What the patched file has so far, as bytes to copy from.
class WrittenBytes final : public RandomBytes {
 public:
  WrittenBytes(PatchedFile& file, const std::uint64_t& written) : file_(file), written_(written) {}
  std::uint64_t size() const override { return written_; }
  bool read(std::uint64_t offset, std::span<std::uint8_t> into) override {
    return file_.read_back(offset, into);
  }

 private:
  PatchedFile& file_;
  const std::uint64_t& written_;
};

// A segment's bytes, read a block at a time and kept in a few slots, since copies near each
// other are the rule; a read as large as a block goes straight through.
class SegmentReader {
 public:
  void open(RandomBytes* bytes, std::uint64_t start, Blame blame) {
    if (bytes != bytes_) {
      for (Slot& slot : slots_) slot.block.reset();
    }
    bytes_ = bytes;
    start_ = start;
    blame_ = blame;
  }
  // The segment's bytes from `offset`, which with `into` lie inside it.
  void read(std::uint64_t offset, std::span<std::uint8_t> into) {
    std::uint64_t at = start_ + offset;
    if (into.size() >= kChunk) {
      if (!bytes_->read(at, into)) unreadable();
      return;
    }
    while (!into.empty()) {
      const std::uint64_t block = at / kChunk;
      Slot& slot = slots_[block % slots_.size()];
      const std::size_t within = static_cast<std::size_t>(at % kChunk);
      // A block of the target read back may have been loaded when less of it was written.
      if (slot.block != block || within >= slot.bytes.size()) load(slot, block);
      if (within >= slot.bytes.size()) unreadable();
      const std::size_t part = std::min(into.size(), slot.bytes.size() - within);
      std::memcpy(into.data(), slot.bytes.data() + within, part);
      into = into.subspan(part);
      at += part;
    }
  }

 private:
  struct Slot {
    std::optional<std::uint64_t> block;
    std::vector<std::uint8_t> bytes;
  };
  void load(Slot& slot, std::uint64_t block) {
    const std::uint64_t start = block * kChunk;
    slot.block.reset();
    slot.bytes.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, bytes_->size() - start)));
    if (!bytes_->read(start, slot.bytes)) unreadable();
    slot.block = block;
  }
  [[noreturn]] void unreadable() const {
    if (blame_ == Blame::kOriginal) throw PatchError(Blame::kOriginal, "cannot read it");
    throw std::runtime_error("cannot read back what was written");
  }

  RandomBytes* bytes_ = nullptr;
  std::uint64_t start_ = 0;
  Blame blame_ = Blame::kOriginal;
  std::array<Slot, 8> slots_{};
};

struct Sections {
  std::span<const std::uint8_t> data;
  std::span<const std::uint8_t> instructions;
  std::span<const std::uint8_t> addresses;
};

class Applier {
 public:
  Applier(archive::ByteSource& patch, RandomBytes& original, PatchedFile& target,
          const ApplyLimits& limits)
      : reader_(patch), original_(original), target_(target), limits_(limits) {}

  void run() {
    read_header();
    while (!reader_.at_end()) {
      read_window();
      ++window_number_;
    }
  }

 private:
  std::string window_name() const { return "window " + std::to_string(window_number_); }
  [[noreturn]] void window_damaged(const std::string& what) const {
    damaged(window_name() + ' ' + what);
  }

  void read_header() {
    for (const std::uint8_t expected : kMagic) {
      if (reader_.at_end() || reader_.byte() != expected) damaged("not a VCDIFF patch");
    }
    const std::uint8_t indicator = reader_.byte();
    if ((indicator & ~(kSecondaryCompression | kOwnCodeTable | kApplicationHeader)) != 0) {
      damaged("its header has flags VCDIFF does not define");
    }
    if ((indicator & kSecondaryCompression) != 0) compressor_ = reader_.byte();
    if ((indicator & kOwnCodeTable) != 0) {
      damaged("it brings a code table of its own, which varnu-pack does not apply");
    }
    if ((indicator & kApplicationHeader) != 0) {
      const std::uint64_t size = reader_.varint();
      if (size > limits_.max_window) damaged("its application header is too large");
      reader_.skip(size);
    }
  }

  void read_window() {
    const std::uint8_t indicator = reader_.byte();
    if ((indicator & ~(kFromOriginal | kFromTarget | kAdler32)) != 0 ||
        (indicator & kFromOriginal & (indicator >> 1)) != 0) {
      window_damaged("has flags VCDIFF does not allow");
    }
    segment_size_ = 0;
    if ((indicator & (kFromOriginal | kFromTarget)) != 0) {
      segment_size_ = reader_.varint();
      const std::uint64_t position = reader_.varint();
      open_segment(indicator, position);
    }
    const std::uint64_t delta_size = reader_.varint();
    if (delta_size > limits_.max_window + kDeltaOverhead) {
      window_damaged("is larger than the " + with_commas(limits_.max_window) +
                     " bytes a window may be");
    }
    delta_.clear();
    reader_.take(delta_size, delta_);
    std::span<const std::uint8_t> delta = delta_;
    const auto number = [&] {
      const std::optional<std::uint64_t> value = take_varint(delta);
      if (!value) window_damaged("is cut short");
      return *value;
    };
    const std::uint64_t target_size = number();
    if (target_size > limits_.max_window) {
      window_damaged("makes more than the " + with_commas(limits_.max_window) +
                     " bytes a window may make");
    }
    if (target_size > limits_.max_target - written_) {
      damaged("it makes more than the " + with_commas(limits_.max_target) +
              " bytes a patched file may have");
    }
    if (delta.empty()) window_damaged("is cut short");
    const std::uint8_t compressed = delta[0];
    delta = delta.subspan(1);
    const std::uint64_t data_size = number();
    const std::uint64_t instructions_size = number();
    const std::uint64_t addresses_size = number();
    if (compressed != 0) refuse_compressed(compressed);
    std::optional<std::uint32_t> checksum;
    if ((indicator & kAdler32) != 0) {
      if (delta.size() < 4) window_damaged("is cut short");
      checksum =
          static_cast<std::uint32_t>(delta[0]) << 24 | delta[1] << 16 | delta[2] << 8 | delta[3];
      delta = delta.subspan(4);
    }
    if (data_size > delta.size() || instructions_size > delta.size() - data_size ||
        addresses_size != delta.size() - data_size - instructions_size) {
      window_damaged("has sections whose sizes do not add up to its own");
    }
    const Sections sections{delta.first(data_size), delta.subspan(data_size, instructions_size),
                            delta.subspan(data_size + instructions_size)};
    window_.resize(static_cast<std::size_t>(target_size));
    make_window(sections);
    if (checksum && adler32(1, window_) != *checksum) {
      if ((indicator & kFromOriginal) != 0) {
        throw PatchError(Blame::kOriginal,
                         "does not match the patch: the checksum of " + window_name() + " fails");
      }
      window_damaged("fails its checksum");
    }
    target_.write(window_);
    written_ += window_.size();
  }

  void open_segment(std::uint8_t indicator, std::uint64_t position) {
    const bool from_original = (indicator & kFromOriginal) != 0;
    const std::uint64_t available = from_original ? original_.size() : written_;
    if (position > available || segment_size_ > available - position) {
      if (!from_original) window_damaged("copies from past what the patch has made");
      const std::uint64_t end =
          segment_size_ > UINT64_MAX - position ? UINT64_MAX : position + segment_size_;
      throw PatchError(Blame::kOriginal,
                       "does not match the patch: it is " + with_commas(available) +
                           " bytes, and the patch copies from it up to byte " + with_commas(end));
    }
    if (from_original) {
      segment_.open(&original_, position, Blame::kOriginal);
    } else {
      segment_.open(&written_bytes_, position, Blame::kPatch);
    }
  }

  [[noreturn]] void refuse_compressed(std::uint8_t compressed) const {
    if ((compressed & ~0x07) != 0 || !compressor_) {
      window_damaged("says it is compressed where VCDIFF allows no such thing");
    }
    constexpr char kRemake[] =
        ", which varnu-pack does not apply: make it again with "
        "`xdelta3 -e -S none`";
    if (*compressor_ == kLzmaCompressor) {
      damaged(std::string("compressed with LZMA (xdelta3's default)") + kRemake);
    }
    damaged("compressed with secondary compressor " + std::to_string(*compressor_) + kRemake);
  }

  // Carries out the instructions into window_, which has the window's size.
  void make_window(Sections s) {
    const CodeTable& table = default_code_table();
    AddressCache cache;
    cache.reset();
    const std::uint64_t size = window_.size();
    std::uint64_t made = 0;
    while (!s.instructions.empty()) {
      const Code& code = table[s.instructions[0]];
      s.instructions = s.instructions.subspan(1);
      for (const Half& half : {code.first, code.second}) {
        if (half.kind == Kind::kNone) continue;
        std::uint64_t count = half.size;
        if (count == 0) {
          const std::optional<std::uint64_t> stated = take_varint(s.instructions);
          if (!stated) window_damaged("has its instructions cut short");
          count = *stated;
        }
        if (count > size - made) {
          window_damaged("has instructions that make more than its " + with_commas(size) +
                         " bytes");
        }
        std::uint8_t* out = window_.data() + made;
        const auto n = static_cast<std::size_t>(count);
        switch (half.kind) {
          case Kind::kAdd:
            if (n > s.data.size()) window_damaged("adds more bytes than its data section holds");
            std::memcpy(out, s.data.data(), n);
            s.data = s.data.subspan(n);
            break;
          case Kind::kRun:
            if (s.data.empty()) window_damaged("runs a byte its data section does not hold");
            std::memset(out, s.data[0], n);
            s.data = s.data.subspan(1);
            break;
          case Kind::kCopy:
            copy(address(half.mode, segment_size_ + made, s.addresses, cache), made, n);
            break;
          case Kind::kNone:
            break;
        }
        made += count;
      }
    }
    if (made != size) {
      window_damaged("has instructions that make " + with_commas(made) + " of its " +
                     with_commas(size) + " bytes");
    }
    if (!s.data.empty() || !s.addresses.empty()) {
      window_damaged("has bytes in its sections that no instruction uses");
    }
  }

  std::uint64_t address(std::uint8_t mode, std::uint64_t here,
                        std::span<const std::uint8_t>& addresses, AddressCache& cache) const {
    std::uint64_t result = 0;
    if (mode >= kFirstSameMode) {
      if (addresses.empty()) window_damaged("has its addresses cut short");
      result = cache.same(static_cast<std::size_t>(mode - kFirstSameMode) * 256 + addresses[0]);
      addresses = addresses.subspan(1);
    } else {
      const std::optional<std::uint64_t> value = take_varint(addresses);
      if (!value) window_damaged("has its addresses cut short");
      if (mode == kSelfMode) {
        result = *value;
      } else if (mode == kHereMode) {
        if (*value > here) window_damaged("copies from before its start");
        result = here - *value;
      } else {
        const std::uint64_t near = cache.near(mode - kFirstNearMode);
        if (*value > UINT64_MAX - near) window_damaged("copies from past its end");
        result = near + *value;
      }
    }
    if (result >= here) window_damaged("copies bytes it has not made yet");
    cache.update(result);
    return result;
  }

  // `count` bytes at window_[made] from `from` in the segment followed by the window.
  void copy(std::uint64_t from, std::uint64_t made, std::size_t count) {
    std::uint8_t* out = window_.data() + made;
    if (from < segment_size_) {
      const auto part =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, segment_size_ - from));
      segment_.read(from, {out, part});
      out += part;
      count -= part;
      from += part;
    }
    if (count == 0) return;
    // From the window itself, maybe overlapping what it makes: each byte as it is made.
    const std::uint8_t* in = window_.data() + (from - segment_size_);
    if (in + count <= out) {
      std::memcpy(out, in, count);
    } else {
      for (std::size_t k = 0; k < count; ++k) out[k] = in[k];
    }
  }

  PatchReader reader_;
  RandomBytes& original_;
  PatchedFile& target_;
  const ApplyLimits& limits_;
  std::optional<std::uint8_t> compressor_;
  std::uint64_t written_ = 0;
  WrittenBytes written_bytes_{target_, written_};
  SegmentReader segment_;
  std::uint64_t segment_size_ = 0;
  std::uint64_t window_number_ = 0;
  std::vector<std::uint8_t> delta_;
  std::vector<std::uint8_t> window_;
};

}  // namespace

void apply_patch(archive::ByteSource& patch, RandomBytes& original, PatchedFile& target,
                 const ApplyLimits& limits) {
  Applier(patch, original, target, limits).run();
}

}  // namespace varnu::patch
