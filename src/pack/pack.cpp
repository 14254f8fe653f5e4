#include "pack/pack.hpp"

#include <algorithm>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <utility>

#include "archive/names.hpp"
#include "bitmap/layout.hpp"
#include "format/archive.hpp"
#include "pack/encoder/classic_lzss.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "pack/entry/limits.hpp"
#include "pack/entry/orientation.hpp"
#include "pack/file_io.hpp"
#include "pack/in_order.hpp"
#include "pack/like/original.hpp"
#include "pack/like/unchanged.hpp"
#include "pack/new_archive.hpp"
#include "pack/picture/picture_input.hpp"
#include "patch/apply.hpp"
#include "platform/machine.hpp"

namespace varnu::pack {
namespace {

using Input = PackPicture;
using Options = PackRequest;

// One failure: the file it concerns and why.
class Failure : public std::runtime_error {
 public:
  Failure(std::string name, const std::string& reason)
      : std::runtime_error(reason), name_(std::move(name)) {}
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

std::vector<std::uint8_t> pack_checked(const std::string& name, const StoredForm& form,
                                       bool no_limits) {
  if (auto refusal = refuse_bitmap(form.file, no_limits)) throw Failure(name, *refusal);
  std::vector<std::uint8_t> payload = lzss_pack(form.file);
  if (auto refusal = refuse_payload(payload.size(), no_limits)) throw Failure(name, *refusal);
  // The stream must mean the same to the simplest decoder there is.
  if (classic_lzss_decode(payload) != form.file) {
    throw Failure(name, "internal error: the packed stream does not decode back to the bitmap");
  }
  return payload;
}

// An entry of the new archive, as far as its picture alone decides it.
struct PreparedEntry {
  std::string name;
  StoredForm form{};
  std::vector<PackMessage> warnings{};
  // With --like, when the converter writes the same file from it as from the original entry: the
  // original entry's bytes, to be copied as they stand. Otherwise the packed stream.
  std::optional<std::vector<std::uint8_t>> unchanged{};
  std::optional<std::vector<std::uint8_t>> payload{};
  // With --remap, when colours were approximated: what moved, for a page to show.
  std::optional<ColourMapping> mapping{};
};

// What a picture is read with: the options of the run and, with --like, its entry's bitmap as
// the converter writes it. The one place the run's options reach the picture readers, for pack()
// and check_picture() alike.
PictureOptions picture_options(const Options& options, LikeEntry* like) {
  PictureOptions picture{.no_limits = options.no_limits, .remap = options.remap};
  if (like != nullptr) picture.like = [like] { return like->converted; };
  return picture;
}

// The picture in `file` for one entry in the form it is stored, with what --like takes from the
// original, then copied from the original or packed: the part of each entry that needs no other.
PreparedEntry prepare_picture(const std::string& name, std::span<const std::uint8_t> file,
                              LikeEntry* like, const Options& options) {
  PreparedEntry prepared{.name = name};
  NormalisedPicture picture;
  bool same_file = false;
  try {
    // A file byte for byte the converter's from the original entry is that entry, whatever form
    // the entry holds its bitmap in (1 bit, RLE8, ...), unless it takes bytes from entries before
    // it, which only the entries in order can tell: then it is packed too, in case they differ.
    // std::equal rather than std::ranges::equal, which Emscripten 3.1.6's library lacks.
    same_file = like != nullptr && std::equal(file.begin(), file.end(), like->converted.begin(),
                                              like->converted.end());
    if (same_file && !like->entry->borrows()) {
      prepared.unchanged = std::move(like->bytes);
      return prepared;
    }
    picture = normalise_picture(file, picture_options(options, like));
  } catch (const InputError& e) {
    throw Failure(name, e.what());
  }
  std::optional<bool> like_upside_down;
  if (like != nullptr) {
    std::copy(like->entry->resolution.begin(), like->entry->resolution.end(),
              picture.bitmap.begin() + kHorizontalResolutionField);
    like_upside_down = like->entry->plan.flip;
  }
  prepared.mapping = std::move(picture.mapping);
  prepared.form = choose_stored_form(std::move(picture.bitmap), like_upside_down);
  for (const std::string* warning : {&picture.warning, &prepared.form.warning}) {
    if (!warning->empty()) {
      prepared.warnings.push_back({name, PackMessage::Kind::kWarning, *warning});
    }
  }
  if (like != nullptr && (same_file || converts_alike(prepared.form.file, like->converted))) {
    prepared.unchanged = std::move(like->bytes);
  } else {
    prepared.payload = pack_checked(name, prepared.form, options.no_limits);
  }
  return prepared;
}

// The same for the picture `input` names, read from its file or taken from the original; the size
// of each file read is added to `bytes_read`.
PreparedEntry prepare(const Input& input, LikeEntry* like, const Options& options,
                      std::atomic<std::uint64_t>& bytes_read) {
  if (input.from_original) return prepare_picture(input.name, like->converted, like, options);
  std::vector<std::uint8_t> file;
  try {
    file = read_whole_file(path_from_utf8(input.name), kMaxInputFileSize);
  } catch (const InputError& e) {
    throw Failure(input.name, e.what());
  }
  bytes_read += file.size();
  return prepare_picture(input.name, file, like, options);
}

// Runs `write` on the new archive, whose failures name the output, or the original when it is to
// blame.
template <typename Write>
void write_to(const Options& options, Write write) {
  try {
    write();
  } catch (const patch::PatchError& e) {
    throw Failure(options.like.value_or(options.output), e.what());
  } catch (const std::runtime_error& e) {
    throw Failure(options.output, e.what());
  }
}

// Writes entry k, in order: copied when unchanged and the bytes it takes from earlier entries are
// the same as in the original, else packed.
void commit(NewArchive& archive, const Options& options, PreparedEntry& prepared,
            const EntryRecord* original, LeftoverCheck* check) {
  if (prepared.unchanged && (check == nullptr || check->leftovers_match())) {
    write_to(options, [&] { archive.copied(original->offset, *prepared.unchanged); });
    if (check != nullptr) check->leave(*prepared.unchanged);
    return;
  }
  if (!prepared.payload) {
    prepared.payload = pack_checked(prepared.name, prepared.form, options.no_limits);
  }
  const std::vector<std::uint8_t>& payload = *prepared.payload;
  const std::size_t end = kPayloadOffset + payload.size();
  std::vector<std::uint8_t> entry(end + filler_size(end), 0);
  const auto start = entry_start(payload.size(), original ? original->unread : UnreadBytes{});
  std::copy(start.begin(), start.end(), entry.begin());
  std::copy(payload.begin(), payload.end(), entry.begin() + kPayloadOffset);
  write_to(options, [&] {
    if (original != nullptr) {
      archive.packed(entry, original->offset, original->end - original->offset);
    } else {
      archive.packed(entry);
    }
  });
  if (check != nullptr) check->leave(entry);
}

// How many threads pack: --jobs, else one per processor, and only one where there are no threads.
unsigned thread_count(const Options& options) {
  if (!platform::kHasThreads) return 1;
  return std::min(options.jobs.value_or(platform::processor_count()), kMaxJobs);
}

// Thrown by a job whose original entry, decoded alone, takes bytes that the entries before it
// left: the pack starts again with the original walked in order.
struct OnlyInOrder {};

// Passes on what a pack tells, and when it starts again nothing twice: the second attempt makes
// the same warnings in the same order, and shows its progress only once past the first's.
class TellOnce final : public PackObserver {
 public:
  explicit TellOnce(PackObserver& observer) : observer_(observer) {}
  void start_again() { repeated_ = told_; }
  void progress(std::size_t written, std::size_t total, std::uint64_t bytes_read) override {
    if (written < shown_) return;
    shown_ = written;
    observer_.progress(written, total, bytes_read);
  }
  void warning(const PackMessage& message) override {
    if (repeated_ > 0) {
      --repeated_;
      return;
    }
    ++told_;
    observer_.warning(message);
  }

 private:
  PackObserver& observer_;
  std::size_t shown_ = 0, told_ = 0, repeated_ = 0;
};

// Each picture is prepared (read, compared with the original, packed) on any thread; entries are
// written strictly in order on the calling thread, which alone follows what earlier entries left.
// With OriginalDepth::kPlaced, each job decodes its original entry alone, and the first that
// cannot be known so throws OnlyInOrder.
void pack_pictures(const Options& options, OriginalDepth depth, std::vector<PackMessage>& warnings,
                   PackObserver* observer) {
  if (auto refusal = refuse_picture_count(options.pictures.size(), options.no_limits)) {
    throw Failure(options.output, *refusal);
  }
  if (options.patch && !options.like) {
    throw Failure(options.output, "a patch needs the original it applies to (--like)");
  }
  std::optional<OriginalArchive> original;
  std::optional<LeftoverCheck> check;
  // Reading the original, which may fail at any entry.
  const auto from_original = [&](auto read) {
    try {
      return read();
    } catch (const InputError& e) {
      throw Failure(*options.like, e.what());
    }
  };
  if (options.like) {
    original =
        from_original([&] { return read_original_archive(path_from_utf8(*options.like), depth); });
    if (depth == OriginalDepth::kDecoded) {
      from_original([&] { check.emplace(*original, path_from_utf8(*options.like)); });
    }
    if (original->entries.size() != options.pictures.size()) {
      // The archive's name, given out of habit, is the one picture too many.
      const bool archive_named =
          options.patch && options.pictures.size() == original->entries.size() + 1;
      throw Failure(*options.like, "has " + std::to_string(original->entries.size()) +
                                       " entries but " + std::to_string(options.pictures.size()) +
                                       " pictures were given" +
                                       (archive_named ? " (with --patch, no archive is named: "
                                                        "every name after the options is a picture)"
                                                      : ""));
    }
  }

  // A patch copies from the original as it goes.
  std::optional<FileBytes> patch_from;
  if (options.patch) from_original([&] { patch_from.emplace(path_from_utf8(*options.like)); });
  std::optional<NewArchive> archive;
  write_to(options, [&] {
    archive.emplace(path_from_utf8(options.output), patch_from ? &*patch_from : nullptr);
  });
  const std::size_t total = options.pictures.size();
  std::atomic<std::uint64_t> bytes_read = 0;
  std::size_t written = 0;
  auto report = [&] {
    if (observer != nullptr) observer->progress(written, total, bytes_read);
  };
  auto entry = [&](std::size_t k) { return original ? &original->entries[k] : nullptr; };
  // What the original says of entry k; an entry that borrows knows its file only once `check`
  // has followed the converter through the entries before it, on the calling thread.
  auto like_entry = [&](std::size_t k) {
    return from_original([&] {
      const std::filesystem::path path = path_from_utf8(*options.like);
      if (check) return read_like_entry(path, *entry(k), *check);
      std::optional<LikeEntry> alone = read_like_entry_alone(path, original->entries[k]);
      if (!alone) throw OnlyInOrder{};
      return std::move(*alone);
    });
  };
  auto in_order_only = [&](std::size_t k) {
    return check && entry(k) != nullptr && entry(k)->borrows();
  };
  run_in_order<std::optional<PreparedEntry>>(
      total, thread_count(options),
      [&](std::size_t k) -> std::optional<PreparedEntry> {
        if (in_order_only(k)) return std::nullopt;
        std::optional<LikeEntry> like;
        if (entry(k) != nullptr) like = like_entry(k);
        return prepare(options.pictures[k], like ? &*like : nullptr, options, bytes_read);
      },
      [&](std::size_t k, std::optional<PreparedEntry>&& prepared) {
        if (check) from_original([&] { check->enter(k); });
        if (!prepared) {
          LikeEntry like = like_entry(k);
          prepared = prepare(options.pictures[k], &like, options, bytes_read);
        }
        commit(*archive, options, *prepared, entry(k), check ? &*check : nullptr);
        for (const PackMessage& warning : prepared->warnings) {
          warnings.push_back(warning);
          if (observer != nullptr) observer->warning(warning);
        }
        ++written;
        report();
      },
      report);
  // The bytes after the original's last entry follow the new archive's last entry.
  if (original) {
    from_original([&] {
      std::ifstream file = open_original(path_from_utf8(*options.like));
      std::uint64_t offset = original->entries_end;
      read_trailing_bytes(file, *original, [&](std::span<const std::uint8_t> part) {
        write_to(options, [&] { archive->copied(offset, part); });
        offset += part.size();
      });
    });
  }
  write_to(options, [&] { archive->commit(); });
}

// With --like, first with each original entry decoded alone, which the jobs do side by side;
// then, if an entry takes bytes from the entries before it, again with the original walked in
// order as the converter walks it, which only one thread can do.
void pack_pictures(const Options& options, std::vector<PackMessage>& warnings,
                   PackObserver* observer) {
  std::optional<TellOnce> told;
  if (observer != nullptr) told.emplace(*observer);
  PackObserver* telling = told ? &*told : nullptr;
  try {
    pack_pictures(options, OriginalDepth::kPlaced, warnings, telling);
  } catch (const OnlyInOrder&) {
    warnings.clear();
    if (told) told->start_again();
    pack_pictures(options, OriginalDepth::kDecoded, warnings, telling);
  }
}

}  // namespace

PackResult pack(const PackRequest& request, PackObserver* observer) {
  PackResult result;
  try {
    pack_pictures(request, result.messages, observer);
  } catch (const Failure& e) {
    // A failure is the one message: warnings about earlier pictures would only bury it.
    return {1, {{e.name(), PackMessage::Kind::kRefusal, e.what()}}};
  } catch (const std::exception& e) {
    return {1, {{std::nullopt, PackMessage::Kind::kRefusal, e.what()}}};
  }
  return result;
}

PictureCheck check_picture(const PackRequest& options, const PackPicture& picture,
                           LikeEntry& like) {
  PictureCheck check;
  try {
    std::atomic<std::uint64_t> bytes_read = 0;
    PreparedEntry prepared = prepare(picture, &like, options, bytes_read);
    check.warnings = std::move(prepared.warnings);
    check.unchanged = prepared.unchanged.has_value();
    check.stored = std::move(prepared.form.file);
    check.mapping = std::move(prepared.mapping);
  } catch (const Failure& e) {
    check.refusal = PackMessage{e.name(), PackMessage::Kind::kRefusal, e.what()};
  }
  return check;
}

PackRequest replacing_request(const std::string& original, const std::string& output,
                              const std::vector<std::optional<std::string>>& pictures) {
  PackRequest request{.output = output, .pictures = {}, .like = original, .jobs = {}};
  const std::string base = derive_base_name(original);
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    if (pictures[k]) {
      request.pictures.push_back({*pictures[k]});
      continue;
    }
    // Named as the converter names the file it writes for the entry.
    const auto entry = static_cast<int>(k);
    request.pictures.push_back(
        {entry < kMaxEntries ? output_name(base, entry) : "entry " + std::to_string(k), true});
  }
  return request;
}
}  // namespace varnu::pack
