#include "patch/vcdiff_writer.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace varnu::patch {
namespace {

// The largest size a code of the default table holds.
constexpr std::size_t kTableSizes = 19;
constexpr std::int16_t kNoCode = -1;
template <std::size_t A, std::size_t B, std::size_t C>
using Grid = std::array<std::array<std::array<std::int16_t, C>, B>, A>;

// The default table turned round: the code for an instruction, or for a pair of them.
struct Codes {
  Grid<4, kModes, kTableSizes> single{};  // [kind][mode][size], size 0: a varint follows
  Grid<kTableSizes, kModes, kTableSizes> add_copy{};  // [add size][copy mode][copy size]
  Grid<kTableSizes, kModes, kTableSizes> copy_add{};  // [copy size][copy mode][add size]
};

const Codes& codes() {
  static const Codes found = [] {
    Codes c;
    const auto clear = [](auto& grid) {
      for (auto& plane : grid) {
        for (auto& row : plane) row.fill(kNoCode);
      }
    };
    clear(c.single);
    clear(c.add_copy);
    clear(c.copy_add);
    const CodeTable& table = default_code_table();
    for (std::size_t op = 0; op < table.size(); ++op) {
      const auto [first, second] = table[op];
      const auto code = static_cast<std::int16_t>(op);
      if (second.kind == Kind::kNone) {
        c.single[static_cast<std::size_t>(first.kind)][first.mode][first.size] = code;
      } else if (first.kind == Kind::kAdd) {
        c.add_copy[first.size][second.mode][second.size] = code;
      } else {
        c.copy_add[first.size][first.mode][second.size] = code;
      }
    }
    return c;
  }();
  return found;
}

}  // namespace

VcdiffWriter::VcdiffWriter(std::uint64_t original_size, Sink sink, std::uint64_t window_size)
    : original_size_(original_size), sink_(std::move(sink)), window_size_(window_size) {
  out_.assign(kMagic.begin(), kMagic.end());
  out_.push_back(0);  // no secondary compression, own code table or application header
  sink_(out_);
  place_segment();
}

std::uint64_t VcdiffWriter::room() {
  if (open_ && made_ == window_size_) close_window();
  if (!open_) open_window();
  return window_size_ - made_;
}

void VcdiffWriter::place_segment() {
  // The whole original, unless it is larger than a segment may be: then as much of it as may be
  // around where this window lies in the target.
  segment_start_ = 0;
  segment_size_ = original_size_;
  if (original_size_ > kMaxSegment) {
    segment_start_ = std::min(window_start_ - std::min(window_start_, kMaxSegment / 2),
                              original_size_ - kMaxSegment);
    segment_size_ = kMaxSegment;
  }
}

void VcdiffWriter::open_window() {
  open_ = true;
  place_segment();
  cache_.reset();
  checksum_ = 1;
  data_.clear();
  instructions_.clear();
  addresses_.clear();
}

void VcdiffWriter::close_window() {
  if (!open_) return;
  if (pending_.kind != Kind::kNone) put_single(pending_);
  pending_ = {};
  out_.clear();
  out_.push_back(static_cast<std::uint8_t>(kAdler32 | (segment_size_ > 0 ? kFromOriginal : 0)));
  if (segment_size_ > 0) {
    put_varint(out_, segment_size_);
    put_varint(out_, segment_start_);
  }
  std::vector<std::uint8_t> delta_start;
  put_varint(delta_start, made_);
  delta_start.push_back(0);  // no section compressed
  put_varint(delta_start, data_.size());
  put_varint(delta_start, instructions_.size());
  put_varint(delta_start, addresses_.size());
  for (int shift = 24; shift >= 0; shift -= 8) {
    delta_start.push_back(static_cast<std::uint8_t>(checksum_ >> shift));
  }
  put_varint(out_, delta_start.size() + data_.size() + instructions_.size() + addresses_.size());
  out_.insert(out_.end(), delta_start.begin(), delta_start.end());
  for (const auto* section : {&data_, &instructions_, &addresses_}) {
    out_.insert(out_.end(), section->begin(), section->end());
  }
  sink_(out_);
  open_ = false;
  window_start_ += made_;
  made_ = 0;
}

void VcdiffWriter::finish() {
  close_window();
}

void VcdiffWriter::put_single(const Pending& single) {
  const auto& by_size = codes().single[static_cast<std::size_t>(single.kind)][single.mode];
  if (single.size < kTableSizes && by_size[single.size] != kNoCode) {
    instructions_.push_back(static_cast<std::uint8_t>(by_size[single.size]));
    return;
  }
  instructions_.push_back(static_cast<std::uint8_t>(by_size[0]));
  put_varint(instructions_, single.size);
}

// Joins the instruction to the one before it where the table has a code for the two.
void VcdiffWriter::instruction(Kind kind, std::uint64_t size, std::uint8_t mode) {
  const Pending next{kind, size, mode};
  if (pending_.size < kTableSizes && size < kTableSizes) {
    std::int16_t pair = kNoCode;
    if (pending_.kind == Kind::kAdd && kind == Kind::kCopy) {
      pair = codes().add_copy[pending_.size][mode][size];
    } else if (pending_.kind == Kind::kCopy && kind == Kind::kAdd) {
      pair = codes().copy_add[pending_.size][pending_.mode][size];
    }
    if (pair != kNoCode) {
      instructions_.push_back(static_cast<std::uint8_t>(pair));
      pending_ = {};
      return;
    }
  }
  if (pending_.kind != Kind::kNone) put_single(pending_);
  pending_ = next;
}

void VcdiffWriter::add(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(room(), bytes.size()));
    data_.insert(data_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(part));
    checksum_ = adler32(checksum_, bytes.first(part));
    instruction(Kind::kAdd, part, 0);
    made_ += part;
    bytes = bytes.subspan(part);
  }
}

void VcdiffWriter::run(std::uint8_t byte, std::uint64_t count) {
  std::array<std::uint8_t, 4096> same;
  same.fill(byte);
  while (count > 0) {
    const std::uint64_t part = std::min(room(), count);
    data_.push_back(byte);
    for (std::uint64_t left = part; left > 0;) {
      const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(left, same.size()));
      checksum_ = adler32(checksum_, std::span(same).first(step));
      left -= step;
    }
    instruction(Kind::kRun, part, 0);
    made_ += part;
    count -= part;
  }
}

void VcdiffWriter::put_copy(std::uint64_t address, std::span<const std::uint8_t> bytes) {
  checksum_ = adler32(checksum_, bytes);
  // Entries copied one after another are one copy: the one before grows, its address coded.
  if (pending_.kind == Kind::kCopy && pending_.address + pending_.size == address) {
    pending_.size += bytes.size();
    made_ += bytes.size();
    return;
  }
  const AddressCache::Coded coded = cache_.best(address, segment_size_ + made_);
  if (coded.mode >= kFirstSameMode) {
    addresses_.push_back(static_cast<std::uint8_t>(coded.value));
  } else {
    put_varint(addresses_, coded.value);
  }
  cache_.update(address);
  instruction(Kind::kCopy, bytes.size(), coded.mode);
  pending_.address = address;
  made_ += bytes.size();
}

void VcdiffWriter::copy_original(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(room(), bytes.size()));
    if (offset >= segment_start_ && offset - segment_start_ <= segment_size_ &&
        part <= segment_size_ - (offset - segment_start_)) {
      put_copy(offset - segment_start_, bytes.first(part));
    } else {
      add(bytes.first(part));
    }
    offset += part;
    bytes = bytes.subspan(part);
  }
}

void VcdiffWriter::copy_target(std::uint64_t from, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(room(), bytes.size()));
    if (from >= window_start_) {
      put_copy(segment_size_ + (from - window_start_), bytes.first(part));
    } else {
      add(bytes.first(part));
    }
    from += part;
    bytes = bytes.subspan(part);
  }
}

std::optional<std::size_t> VcdiffWriter::original_address_bytes(std::uint64_t offset) const {
  if (offset < segment_start_ || offset - segment_start_ >= segment_size_) return std::nullopt;
  return cache_.best(offset - segment_start_, segment_size_ + made_).bytes;
}

std::optional<std::size_t> VcdiffWriter::target_address_bytes(std::uint64_t from) const {
  if (from < window_start_) return std::nullopt;
  return cache_.best(segment_size_ + (from - window_start_), segment_size_ + made_).bytes;
}

}  // namespace varnu::patch
