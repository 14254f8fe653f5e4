// varnu-pack --apply: a patch file applied to an original file, the result written as the
// packer writes an archive, so that nothing is left behind a patch that is refused.
#include <fstream>
#include <optional>

#include "archive/byte_source.hpp"
#include "pack/file_io.hpp"
#include "pack/pack.hpp"
#include "pack/picture/bmp_input.hpp"
#include "patch/apply.hpp"

namespace varnu::pack {
namespace {

class PendingOutput final : public patch::PatchedFile {
 public:
  explicit PendingOutput(PendingFile& file) : file_(file) {}
  void write(std::span<const std::uint8_t> bytes) override { file_.write(bytes); }
  bool read_back(std::uint64_t offset, std::span<std::uint8_t> into) override {
    return file_.read_back(offset, into);
  }

 private:
  PendingFile& file_;
};

PackResult refusal(const std::string& file, const std::string& text) {
  return {1, {{file, PackMessage::Kind::kRefusal, text}}};
}

}  // namespace

PackResult apply_patch_file(const std::string& patch, const std::string& original,
                            const std::string& output) {
  const std::string* blamed = &patch;
  try {
    std::ifstream patch_file = open_input(path_from_utf8(patch));
    blamed = &original;
    std::optional<FileBytes> original_bytes(path_from_utf8(original));
    blamed = &output;
    PendingFile file(path_from_utf8(output));
    PendingOutput out(file);
    archive::StreamSource source(patch_file);
    patch::apply_patch(source, *original_bytes, out);
    // Closed first, so that an output written over the original can take its place.
    original_bytes.reset();
    file.commit();
  } catch (const patch::PatchError& e) {
    return refusal(e.blame() == patch::PatchError::Blame::kOriginal ? original : patch, e.what());
  } catch (const std::exception& e) {
    return refusal(*blamed, e.what());
  }
  return {};
}

}  // namespace varnu::pack
