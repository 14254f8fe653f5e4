// varnu-pack as a library: pictures in, one archive out that the converter reads back exactly.
// The command line (command/) and the page call it alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/colour/mapping.hpp"

namespace varnu::pack {

// What the command has to say: a warning about a picture it packed, or the refusal that stopped
// it.
struct PackMessage {
  enum class Kind { kWarning, kRefusal };
  // The file it concerns, as the command line named it; nothing when it names none.
  std::optional<std::string> file;
  Kind kind = Kind::kRefusal;
  std::string text;  // the reason alone
};

struct PackResult {
  // 0 done (warnings included), 1 failed with no archive written, 2 a wrong command line.
  int status = 0;
  // The refusal alone when the command failed, else its warnings in the order of the pictures.
  std::vector<PackMessage> messages;
};

// Told how far a run has got, always on the thread that called run_pack, in the order of the
// pictures whatever the number of threads.
class PackObserver {
 public:
  virtual ~PackObserver() = default;
  // `written` of `total` pictures are in the archive, and `bytes_read` bytes of them have been
  // read (some perhaps ahead of the writing). Called after each picture is written and, while
  // the next is still being packed, several times a second.
  virtual void progress(std::size_t written, std::size_t total, std::uint64_t bytes_read) = 0;
  // A warning about the picture just written, told before the progress that counts it. It is
  // also among the result's messages unless the run then fails.
  virtual void warning(const PackMessage& message) = 0;
};

// A picture for one entry: a file, or with an original archive entry k as the converter writes
// it, the entry then copied as it stands.
struct PackPicture {
  std::string name;  // the file's path (UTF-8); what messages call the picture
  bool from_original = false;
};

// More threads than this are not started, whatever --jobs says: each holds a picture and its
// packer's tables (tens of MB for the largest entries), and no machine that packs archives has
// this many processors to keep them busy.
inline constexpr unsigned kMaxJobs = 256;

// What to pack: the pictures in entry order, the archive to write, and the options.
struct PackRequest {
  // The archive; with `patch`, the patch from `like` to the archive, which is not written.
  std::string output;
  std::vector<PackPicture> pictures{};
  // --like: the archive the pictures came out of.
  std::optional<std::string> like;
  // --patch: a VCDIFF patch that xdelta3 and every other patcher apply; needs `like`.
  bool patch = false;
  bool no_limits = false;
  // --remap and --dither: colours a palette lacks are mapped onto it, each such picture with a
  // warning of what moved.
  RemapOptions remap{};
  // Threads that prepare pictures; nothing: one per processor. The archive is the same for any.
  std::optional<unsigned> jobs{};
};

// Packs `request`. Never throws for a refusal, and writes nothing unless it succeeds.
PackResult pack(const PackRequest& request, PackObserver* observer = nullptr);

struct LikeEntry;

// One picture checked against the entry of an original archive it is to replace, as pack() with
// --like checks it when it packs the archive: for a page, at once when the picture is chosen.
struct PictureCheck {
  // Why pack() would refuse the picture; nothing when it takes it.
  std::optional<PackMessage> refusal{};
  std::vector<PackMessage> warnings{};
  // The bitmap the entry would hold (a packer's bitmap is complete in itself), and whether the
  // converter writes the same file from it as from the original entry, which pack() then copies
  // as it stands.
  std::vector<std::uint8_t> stored{};
  bool unchanged = false;
  // With options.remap, when colours the palette lacks were approximated: which pixels moved and
  // how far, as the warning says.
  std::optional<ColourMapping> mapping{};
};

// Checks `picture` against `like` (like/unchanged.hpp), with the options of `options` that concern
// a picture. Never throws for a refusal.
PictureCheck check_picture(const PackRequest& options, const PackPicture& picture, LikeEntry& like);

// For a page that replaces some pictures of an archive: picture k is the file pictures[k]
// names, or where that is empty entry k of `original`, named in messages as the converter names
// its file. The same pack as `varnu-pack --like original output PICTURES...` from those files.
PackRequest replacing_request(const std::string& original, const std::string& output,
                              const std::vector<std::optional<std::string>>& pictures);

// `varnu-pack --apply PATCH ORIGINAL OUTPUT`: writes OUTPUT, `patch` (a VCDIFF file without
// secondary compression) applied to `original`. Never throws for a refusal, and writes nothing
// unless it succeeds.
PackResult apply_patch_file(const std::string& patch, const std::string& original,
                            const std::string& output);

}  // namespace varnu::pack
