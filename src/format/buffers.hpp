// The buffers readers of these archives are built on.
//
// The classic reader sizes its buffers once per run: it cannot read an entry that decodes to more
// than the image buffer holds or whose payload is longer than the packed buffer, and it turns a
// green-keyed picture over through the work area one row at a time. The converter starts its
// buffers at these sizes and grows them as entries need; the packer refuses what does not fit
// them unless it is told to pack it anyway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/lzss.hpp"

namespace varnu {

inline constexpr std::size_t kInitialImageSize = 0xA8000;   // 688,128 bytes
inline constexpr std::size_t kInitialPackedSize = 0x28000;  // 163,840 bytes
// One ring: the work area is also the classic decoder's window.
inline constexpr std::size_t kWorkAreaSize = kRingSize;

// The buffers an archive walk decodes into (archive/entry_reader.hpp), owned by whoever walks:
// the converter's run state holds its own.
struct EntryBuffers {
  // Entries are decoded here from offset 0, one after another, and never cleared.
  std::vector<std::uint8_t> image;
  // An entry's payload.
  std::vector<std::uint8_t> packed;
};

}  // namespace varnu
