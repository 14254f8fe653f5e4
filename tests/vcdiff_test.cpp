// The VCDIFF reader on patches written here byte by byte, from RFC 3284's tables (the opcode of
// each instruction, each address mode, the window layout) and xdelta3's checksum extension: each
// instruction kind and address mode makes what the RFC says, and each damaged, hostile or
// unsupported patch is refused with its line and the file to blame. Then the writer: its bytes
// for a small window, and its windows read back, whatever their size.
#include "patch/vcdiff.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/byte_source.hpp"
#include "patch/apply.hpp"
#include "patch/matcher.hpp"
#include "patch/vcdiff_writer.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using varnu::patch::PatchError;
using Blame = PatchError::Blame;

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes varint(std::uint64_t v) {
  Bytes groups;
  do {
    groups.insert(groups.begin(),
                  static_cast<std::uint8_t>((groups.empty() ? 0 : 0x80) | (v & 0x7F)));
    v >>= 7;
  } while (v != 0);
  return groups;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Adler-32 by its definition, one byte at a time.
std::uint32_t plain_adler(const Bytes& bytes) {
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

// The default code table's opcodes (RFC 3284 section 5.6).
constexpr std::uint8_t kRun = 0;
std::uint8_t add(unsigned size) {
  return static_cast<std::uint8_t>(1 + size);
}  // 0: stated
std::uint8_t copy(unsigned mode, unsigned size) {  // size 0: stated; else 4 to 18
  return static_cast<std::uint8_t>(19 + 16 * mode + (size == 0 ? 0 : size - 3));
}
std::uint8_t add_copy(unsigned add_size, unsigned mode, unsigned copy_size) {
  if (mode < 6)
    return static_cast<std::uint8_t>(163 + 12 * mode + 3 * (add_size - 1) + copy_size - 4);
  return static_cast<std::uint8_t>(235 + 4 * (mode - 6) + add_size - 1);
}
std::uint8_t copy4_add1(unsigned mode) {
  return static_cast<std::uint8_t>(247 + mode);
}

constexpr std::uint8_t kSource = 0x01;
constexpr std::uint8_t kTarget = 0x02;
constexpr std::uint8_t kChecksum = 0x04;

const Bytes kOriginal = text("0123456789ABCDEFGHIJ");

struct Window {
  std::uint8_t indicator = 0;
  std::uint64_t segment_size = 0;
  std::uint64_t segment_at = 0;
  std::uint64_t target_size = 0;
  Bytes data{};
  Bytes instructions{};
  Bytes addresses{};
  std::optional<std::uint32_t> checksum{};  // with kChecksum; unset: the right one
  std::uint8_t compressed = 0;
  std::optional<Bytes> section_sizes{};  // in place of the three stated sizes
  std::optional<std::uint64_t> delta_size{};
};

// The window's bytes, for `target` (its checksum).
Bytes window(const Window& w, const Bytes& target) {
  Bytes segment;
  if (w.indicator & (kSource | kTarget))
    segment = cat({varint(w.segment_size), varint(w.segment_at)});
  Bytes checksum;
  if (w.indicator & kChecksum) {
    const std::uint32_t sum = w.checksum.value_or(plain_adler(target));
    checksum = {static_cast<std::uint8_t>(sum >> 24), static_cast<std::uint8_t>(sum >> 16),
                static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
  }
  const Bytes sizes = w.section_sizes.value_or(
      cat({varint(w.data.size()), varint(w.instructions.size()), varint(w.addresses.size())}));
  const Bytes delta = cat({varint(w.target_size),
                           {w.compressed},
                           sizes,
                           checksum,
                           w.data,
                           w.instructions,
                           w.addresses});
  return cat({{w.indicator}, segment, varint(w.delta_size.value_or(delta.size())), delta});
}

const Bytes kHeader = {0xD6, 0xC3, 0xC4, 0x00, 0x00};

// A patch of one window.
Bytes one_window(const Window& w, const Bytes& target) {
  return cat({kHeader, window(w, target)});
}

class MemoryFile final : public varnu::patch::PatchedFile {
 public:
  void write(std::span<const std::uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  bool read_back(std::uint64_t offset, std::span<std::uint8_t> into) override {
    if (offset + into.size() > bytes_.size()) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
  }
  Bytes bytes_;
};

Bytes applied(const Bytes& patch, const Bytes& original = kOriginal,
              const varnu::patch::ApplyLimits& limits = {}) {
  varnu::archive::PartSource source;
  source.feed(patch);
  varnu::patch::SpanBytes from(original);
  MemoryFile target;
  varnu::patch::apply_patch(source, from, target, limits);
  return target.bytes_;
}

TEST(VcdiffApply, EachInstructionAndAddressModeMakesItsBytes) {
  struct Case {
    const char* name;
    Bytes patch;
    std::string target;
  };
  const auto source = [](Window w) {
    w.indicator |= kSource;
    w.segment_size = kOriginal.size();
    return w;
  };
  const std::vector<Case> cases = {
      {"ADD of a size in its code",
       one_window({.target_size = 3, .data = text("xyz"), .instructions = {add(3)}}, {}), "xyz"},
      {"ADD of a stated size",
       one_window(
           {.target_size = 18, .data = text("abcdefghijklmnopqr"), .instructions = {add(0), 18}},
           {}),
       "abcdefghijklmnopqr"},
      {"RUN", one_window({.target_size = 5, .data = text("a"), .instructions = {kRun, 5}}, {}),
       "aaaaa"},
      {"COPY as it is (VCD_SELF)",
       one_window(source({.target_size = 5, .instructions = {copy(0, 5)}, .addresses = {3}}), {}),
       "34567"},
      {"COPY of a stated size",
       one_window(source({.target_size = 19, .instructions = {copy(0, 0), 19}, .addresses = {1}}),
                  {}),
       "123456789ABCDEFGHIJ"},
      {"COPY back from here (VCD_HERE)",
       one_window(source({.target_size = 4, .instructions = {copy(1, 4)}, .addresses = {18}}), {}),
       "2345"},
      {"COPY from the window itself, overlapping what it makes",
       one_window({.target_size = 8,
                   .data = text("ab"),
                   .instructions = {add(2), copy(0, 6)},
                   .addresses = {0}},
                  {}),
       "abababab"},
      {"COPY near the last address",
       one_window(
           source(
               {.target_size = 8, .instructions = {copy(0, 4), copy(2, 4)}, .addresses = {10, 5}}),
           {}),
       "ABCDFGHI"},
      {"COPY near the address two copies back",
       one_window(source({.target_size = 12,
                          .instructions = {copy(0, 4), copy(0, 4), copy(3, 4)},
                          .addresses = {2, 12, 1}}),
                  {}),
       "2345CDEFDEFG"},
      {"COPY at the same address (VCD_SAME)",
       one_window(
           source(
               {.target_size = 8, .instructions = {copy(0, 4), copy(6, 4)}, .addresses = {7, 7}}),
           {}),
       "789A789A"},
      {"ADD then COPY in one code",
       one_window(source({.target_size = 7,
                          .data = text("xy"),
                          .instructions = {add_copy(2, 0, 5)},
                          .addresses = {0}}),
                  {}),
       "xy01234"},
      {"ADD then COPY at the same address, from a cache that starts at 0",
       one_window(source({.target_size = 5,
                          .data = text("q"),
                          .instructions = {add_copy(1, 6, 4)},
                          .addresses = {0}}),
                  {}),
       "q0123"},
      {"COPY then ADD in one code",
       one_window(source({.target_size = 5,
                          .data = text("z"),
                          .instructions = {copy4_add1(0)},
                          .addresses = {1}}),
                  {}),
       "1234z"},
      {"COPY from the original into the window it makes",
       one_window(source({.target_size = 6, .instructions = {copy(0, 6)}, .addresses = {18}}), {}),
       "IJIJIJ"},
      {"a window that copies the target made so far (VCD_TARGET)",
       cat({kHeader,
            window({.target_size = 5, .data = text("hello"), .instructions = {add(5)}}, {}),
            window({.indicator = kTarget,
                    .segment_size = 3,
                    .segment_at = 1,
                    .target_size = 3,
                    .instructions = {copy(0, 0), 3},
                    .addresses = {0}},
                   {})}),
       "helloell"},
      {"windows that copy the target as it grows",
       cat({kHeader,
            window({.target_size = 5, .data = text("hello"), .instructions = {add(5)}}, {}),
            window({.indicator = kTarget,
                    .segment_size = 5,
                    .target_size = 2,
                    .instructions = {copy(0, 0), 2},
                    .addresses = {1}},
                   {}),
            window({.indicator = kTarget,
                    .segment_size = 2,
                    .segment_at = 5,
                    .target_size = 2,
                    .instructions = {copy(0, 0), 2},
                    .addresses = {0}},
                   {})}),
       "helloelel"},
      {"each window starts with empty caches",
       cat({kHeader,
            window(source({.target_size = 4, .instructions = {copy(0, 4)}, .addresses = {10}}), {}),
            window(source({.target_size = 4, .instructions = {copy(2, 4)}, .addresses = {3}}),
                   {})}),
       "ABCD3456"},
      {"a segment inside the original",
       one_window({.indicator = kSource,
                   .segment_size = 5,
                   .segment_at = 15,
                   .target_size = 4,
                   .instructions = {copy(0, 4)},
                   .addresses = {1}},
                  {}),
       "GHIJ"},
      {"an Adler-32 checksum",
       one_window(source({.indicator = kChecksum,
                          .target_size = 4,
                          .instructions = {copy(0, 4)},
                          .addresses = {0}}),
                  text("0123")),
       "0123"},
      {"an application header, and a compressor no window uses",
       cat({{0xD6, 0xC3, 0xC4, 0x00, 0x05, 0x02, 0x03},
            text("a/b"),
            window({.target_size = 2, .data = text("ok"), .instructions = {add(2)}}, {})}),
       "ok"},
      {"no window", kHeader, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      EXPECT_EQ(applied(c.patch), text(c.target));
    } catch (const PatchError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST(VcdiffApply, RefusesWhatItCannotApplyWithOneLine) {
  const Bytes ok_data = text("xyz");
  const Window ok = {.target_size = 3, .data = ok_data, .instructions = {add(3)}};
  const auto with = [&](auto change) {
    Window w = ok;
    change(w);
    return one_window(w, {});
  };
  const Window from_original = {.indicator = kSource | kChecksum,
                                .segment_size = 20,
                                .target_size = 4,
                                .instructions = {copy(0, 4)},
                                .addresses = {0}};
  struct Case {
    const char* name;
    Bytes patch;
    Blame blame;
    std::string line;
    varnu::patch::ApplyLimits limits{};
  };
  const varnu::patch::ApplyLimits small{.max_window = 16, .max_target = 20};
  // A patch whose header names compressor `id` and whose window says `sections` are compressed.
  const auto compressed_with = [&](std::uint8_t id, std::uint8_t sections) {
    return cat(
        {{0xD6, 0xC3, 0xC4, 0x00, 0x01, id},
         window(
             {.target_size = 3, .data = ok_data, .instructions = {add(3)}, .compressed = sections},
             {})});
  };
  const std::string kRemake =
      ", which varnu-pack does not apply: make it again with `xdelta3 -e -S none`";
  const std::vector<Case> cases = {
      {"another file", text("PK\3\4 a zip"), Blame::kPatch, "not a VCDIFF patch"},
      {"VCDIFF version 1", {0xD6, 0xC3, 0xC4, 0x01, 0x00}, Blame::kPatch, "not a VCDIFF patch"},
      {"cut inside the magic", {0xD6, 0xC3}, Blame::kPatch, "not a VCDIFF patch"},
      {"no header indicator", {0xD6, 0xC3, 0xC4, 0x00}, Blame::kPatch, "cut short"},
      {"a header flag VCDIFF does not define",
       {0xD6, 0xC3, 0xC4, 0x00, 0x08},
       Blame::kPatch,
       "its header has flags VCDIFF does not define"},
      {"a code table of its own",
       {0xD6, 0xC3, 0xC4, 0x00, 0x02, 4, 3},
       Blame::kPatch,
       "it brings a code table of its own, which varnu-pack does not apply"},
      {"an application header past the limit", cat({{0xD6, 0xC3, 0xC4, 0x00, 0x04}, varint(17)}),
       Blame::kPatch, "its application header is too large", small},
      {"an application header cut short",
       cat({{0xD6, 0xC3, 0xC4, 0x00, 0x04}, varint(16), text("a")}), Blame::kPatch, "cut short",
       small},
      {"a window from the original and the target",
       with([](Window& w) { w.indicator = kSource | kTarget; }), Blame::kPatch,
       "window 0 has flags VCDIFF does not allow"},
      {"a window flag VCDIFF does not define", with([](Window& w) { w.indicator = 0x08; }),
       Blame::kPatch, "window 0 has flags VCDIFF does not allow"},
      {"a delta longer than the patch", with([](Window& w) { w.delta_size = 100; }), Blame::kPatch,
       "cut short"},
      {"a delta of 2^40 bytes", with([](Window& w) { w.delta_size = std::uint64_t{1} << 40; }),
       Blame::kPatch, "window 0 is larger than the 67,108,864 bytes a window may be"},
      {"a number of eleven bytes", cat({kHeader, {0x00}, Bytes(10, 0x81), {0x00}}), Blame::kPatch,
       "a number in it is larger than 64 bits"},
      {"a number of 2^64", cat({kHeader, {0x00}, {0x82}, Bytes(8, 0x80), {0x00}}), Blame::kPatch,
       "a number in it is larger than 64 bits"},
      {"a window one byte past the limit",
       one_window({.target_size = 17, .data = Bytes(1, 'a'), .instructions = {kRun, 17}}, {}),
       Blame::kPatch, "window 0 makes more than the 16 bytes a window may make", small},
      {"windows one byte past the target's limit",
       cat({kHeader, window({.target_size = 16, .data = {'a'}, .instructions = {kRun, 16}}, {}),
            window({.target_size = 5, .data = {'a'}, .instructions = {kRun, 5}}, {})}),
       Blame::kPatch, "it makes more than the 20 bytes a patched file may have", small},
      {"sections larger than the window", with([](Window& w) {
         w.section_sizes = Bytes{3, 2, 0};
       }),
       Blame::kPatch, "window 0 has sections whose sizes do not add up to its own"},
      {"sections smaller than the window", with([](Window& w) {
         w.section_sizes = Bytes{2, 1, 0};
       }),
       Blame::kPatch, "window 0 has sections whose sizes do not add up to its own"},
      {"instructions that make more than the window", with([](Window& w) { w.target_size = 2; }),
       Blame::kPatch, "window 0 has instructions that make more than its 2 bytes"},
      {"instructions that make less than the window", with([](Window& w) { w.target_size = 4; }),
       Blame::kPatch, "window 0 has instructions that make 3 of its 4 bytes"},
      {"a size cut short", with([](Window& w) { w.instructions = {add(0)}; }), Blame::kPatch,
       "window 0 has its instructions cut short"},
      {"an ADD past the data", with([](Window& w) {
         w.data = text("xy");
         w.target_size = 3;
       }),
       Blame::kPatch, "window 0 adds more bytes than its data section holds"},
      {"a RUN without its byte", with([](Window& w) {
         w.data = {};
         w.instructions = {kRun, 3};
       }),
       Blame::kPatch, "window 0 runs a byte its data section does not hold"},
      {"data no instruction uses", with([](Window& w) { w.data = text("xyzw"); }), Blame::kPatch,
       "window 0 has bytes in its sections that no instruction uses"},
      {"a copy of bytes not made yet",
       one_window({.target_size = 4, .instructions = {copy(0, 4)}, .addresses = {0}}, {}),
       Blame::kPatch, "window 0 copies bytes it has not made yet"},
      {"a copy from before the start",
       one_window({.target_size = 4,
                   .data = text("ab"),
                   .instructions = {add(2), copy(1, 0), 2},
                   .addresses = {3}},
                  {}),
       Blame::kPatch, "window 0 copies from before its start"},
      {"a near address past 2^64",
       one_window({.indicator = kSource,
                   .segment_size = 20,
                   .target_size = 8,
                   .instructions = {copy(0, 4), copy(2, 4)},
                   .addresses = cat({{5}, varint(UINT64_MAX)})},
                  {}),
       Blame::kPatch, "window 0 copies from past its end"},
      {"addresses cut short",
       one_window({.indicator = kSource,
                   .segment_size = 20,
                   .target_size = 4,
                   .instructions = {copy(0, 4)}},
                  {}),
       Blame::kPatch, "window 0 has its addresses cut short"},
      {"a window that copies past the target made so far",
       cat({kHeader, window({.target_size = 3, .data = ok_data, .instructions = {add(3)}}, {}),
            window({.indicator = kTarget,
                    .segment_size = 3,
                    .segment_at = 1,
                    .target_size = 3,
                    .instructions = {copy(0, 0), 3},
                    .addresses = {0}},
                   {})}),
       Blame::kPatch, "window 1 copies from past what the patch has made"},
      {"a checksum that fails, nothing copied", with([](Window& w) {
         w.indicator = kChecksum;
         w.checksum = 7;
       }),
       Blame::kPatch, "window 0 fails its checksum"},
      {"a checksum that fails on copies from the original",
       [&] {
         Window w = from_original;
         w.checksum = plain_adler(text("0124"));
         return one_window(w, {});
       }(),
       Blame::kOriginal, "does not match the patch: the checksum of window 0 fails"},
      {"a segment one byte past the original's end",
       [&] {
         Window w = from_original;
         w.segment_size = 21;
         return one_window(w, text("0123"));
       }(),
       Blame::kOriginal,
       "does not match the patch: it is 20 bytes, and the patch copies from it up to byte 21"},
      {"a segment that overflows",
       [&] {
         Window w = from_original;
         w.segment_at = UINT64_MAX;
         return one_window(w, text("0123"));
       }(),
       Blame::kOriginal,
       "does not match the patch: it is 20 bytes, and the patch copies from it up to byte "
       "18,446,744,073,709,551,615"},
      {"LZMA, xdelta3's default", compressed_with(2, 0x02), Blame::kPatch,
       "compressed with LZMA (xdelta3's default)" + kRemake},
      {"another secondary compressor", compressed_with(16, 0x01), Blame::kPatch,
       "compressed with secondary compressor 16" + kRemake},
      {"a compressed section without a compressor", with([](Window& w) { w.compressed = 0x04; }),
       Blame::kPatch, "window 0 says it is compressed where VCDIFF allows no such thing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      applied(c.patch, kOriginal, c.limits);
      ADD_FAILURE() << "applied";
    } catch (const PatchError& e) {
      EXPECT_EQ(e.what(), c.line);
      EXPECT_EQ(e.blame(), c.blame);
    }
  }
  // The rows at the limits, just inside them.
  EXPECT_EQ(applied(one_window({.target_size = 16, .data = {'a'}, .instructions = {kRun, 16}}, {}),
                    kOriginal, small),
            Bytes(16, 'a'));
  EXPECT_EQ(
      applied(cat({{0xD6, 0xC3, 0xC4, 0x00, 0x04}, varint(16), Bytes(16, '/')}), kOriginal, small),
      Bytes{});
}

// The writer's bytes for a small window: the header without flags, then the window with its
// segment (the whole original), its checksum, an ADD and COPY joined in one code and a RUN.
TEST(VcdiffWriter, WritesTheWindowTheRfcDescribes) {
  Bytes patch;
  varnu::patch::VcdiffWriter writer(kOriginal.size(), [&](std::span<const std::uint8_t> bytes) {
    patch.insert(patch.end(), bytes.begin(), bytes.end());
  });
  writer.add(text("xy"));
  writer.copy_original(0, text("01234"));
  writer.run('z', 30);
  writer.finish();
  const Bytes target = text("xy01234zzzzzzzzzzzzzzzzzzzzzzzzzzzzzz");
  const Window expected = {.indicator = kSource | kChecksum,
                           .segment_size = 20,
                           .target_size = 37,
                           .data = text("xyz"),
                           .instructions = {add_copy(2, 0, 5), kRun, 30},
                           .addresses = {0}};
  EXPECT_EQ(patch, cat({kHeader, window(expected, target)}));
  EXPECT_EQ(applied(patch), target);
}

// Whatever the window size, what the writer is told comes back: copies cut at a window's end,
// copies from the target that fall before their window added instead.
TEST(VcdiffWriter, WindowsOfAnySizeReadBack) {
  Bytes original(3000);
  for (std::size_t k = 0; k < original.size(); ++k)
    original[k] = static_cast<std::uint8_t>(k * 7 + k / 251);
  for (const std::uint64_t window_size : {1u, 5u, 64u, 1000u, 1u << 20}) {
    SCOPED_TRACE(window_size);
    Bytes patch;
    Bytes target;
    varnu::patch::VcdiffWriter writer(
        original.size(),
        [&](std::span<const std::uint8_t> bytes) {
          patch.insert(patch.end(), bytes.begin(), bytes.end());
        },
        window_size);
    const auto original_part = [&](std::size_t at, std::size_t n) {
      return std::span<const std::uint8_t>(original).subspan(at, n);
    };
    writer.copy_original(100, original_part(100, 700));
    target.insert(target.end(), original.begin() + 100, original.begin() + 800);
    writer.add(text("new bytes"));
    target.insert(target.end(), {'n', 'e', 'w', ' ', 'b', 'y', 't', 'e', 's'});
    writer.run(9, 300);
    target.insert(target.end(), 300, 9);
    const Bytes again(target.begin() + 50, target.begin() + 450);
    writer.copy_target(50, again);
    target.insert(target.end(), again.begin(), again.end());
    writer.copy_original(2990, original_part(2990, 10));
    target.insert(target.end(), original.end() - 10, original.end());
    writer.finish();
    EXPECT_EQ(writer.position(), target.size());
    EXPECT_EQ(applied(patch, original), target);
  }
}

// The window checksum against its definition, one byte at a time, reduced at every byte: any
// length about the 16-byte blocks and the 5,552-byte runs the fast sum is reduced at, bytes of
// 255 (the largest sums), and a sum taken on from an earlier one.
TEST(VcdiffChecksum, Adler32IsItsDefinition) {
  const auto defined = [](std::uint32_t adler, const Bytes& bytes) {
    std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
    for (const std::uint8_t byte : bytes) {
      a = (a + byte) % 65521;
      b = (b + a) % 65521;
    }
    return b << 16 | a;
  };
  EXPECT_EQ(varnu::patch::adler32(1, {}), 1u);
  EXPECT_EQ(varnu::patch::adler32(1, text("Wikipedia")), 0x11E60398u);
  for (const std::size_t size : {1u, 15u, 16u, 17u, 5551u, 5552u, 5553u, 3u * 5552 + 15, 100000u}) {
    for (const bool largest : {true, false}) {
      SCOPED_TRACE(std::to_string(size) + (largest ? " bytes of 255" : " bytes"));
      Bytes bytes(size, 255);
      if (!largest) {
        for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<std::uint8_t>(k * 13 + k / 7);
      }
      EXPECT_EQ(varnu::patch::adler32(1, bytes), defined(1, bytes));
      const std::uint32_t earlier = (65520u << 16) | 65520u;
      EXPECT_EQ(varnu::patch::adler32(earlier, bytes), defined(earlier, bytes));
    }
  }
}

// An edited stream against the one it replaces: it comes back, and costs about the edit.
TEST(VcdiffMatcher, AnEditCostsAboutItsOwnBytes) {
  Bytes original(50000);
  std::uint32_t state = 1;
  for (auto& byte : original) {
    state = state * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  Bytes edited = original;
  edited.insert(edited.begin() + 20000, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  std::fill(edited.begin() + 30000, edited.begin() + 30100, 0);
  edited.erase(edited.begin() + 40000, edited.begin() + 40050);
  Bytes patch;
  varnu::patch::VcdiffWriter writer(original.size(), [&](std::span<const std::uint8_t> bytes) {
    patch.insert(patch.end(), bytes.begin(), bytes.end());
  });
  varnu::patch::MatchHistory history;
  varnu::patch::write_matched(edited, original, 0, 0, writer, history);
  writer.finish();
  EXPECT_EQ(applied(patch, original), edited);
  EXPECT_LT(patch.size(), 80u);
}

}  // namespace
