#include "pack/pack_command.hpp"

#include <optional>
#include <stdexcept>
#include <utility>

#include "bitmap/layout.hpp"
#include "driver/names.hpp"
#include "format/archive.hpp"
#include "pack/classic_lzss.hpp"
#include "pack/file_io.hpp"
#include "pack/limits.hpp"
#include "pack/lzss_pack.hpp"
#include "pack/orientation.hpp"
#include "pack/original.hpp"
#include "pack/picture_input.hpp"
#include "pack/unchanged.hpp"

namespace varnu::pack {
namespace {

constexpr char kUsage[] =
    "usage: varnu-pack [--like ORIGINAL.arc] [--no-limits] OUT.arc PICTURE...";

constexpr char kHelp[] =
    "Packs pictures into an archive that varnu converts back into the same pictures.\n"
    "\n"
    "  --like ORIGINAL.arc  take from entry k of ORIGINAL.arc the header bytes and resolution\n"
    "                       fields varnu ignores, and its orientation, for picture k; and copy\n"
    "                       entry k as it stands where varnu would write the same file from\n"
    "                       picture k's entry as from it\n"
    "  --no-limits          also pack entries larger than readers with fixed buffers hold\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Pictures: bitmaps of 1, 4 or 8 bits per pixel (uncompressed, RLE8 or RLE4) or of 24 or 32,\n"
    "and PNG of 8 bits a channel or fewer (palette, grey, RGB, with or without alpha). Palette\n"
    "pictures keep their indices; with --like, one whose palette differs from entry k's is\n"
    "matched by colour, with a warning. True colour goes onto entry k's palette with --like,\n"
    "else onto a palette of its own colours (256 at most). One entry per picture, in the order\n"
    "given. On any failure no archive is written and the exit status is 1.\n";

// A picture for one entry: a file, or with --like the original's entry as the converter writes
// it.
struct Input {
  std::string name;  // what messages call it
  bool from_original = false;
};

struct Options {
  std::optional<std::string> like;
  bool no_limits = false;
  bool help = false;
  bool version = false;
  std::string output;
  std::vector<Input> inputs{};
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The status of a wrong command line; the usage follows its message.
constexpr int kWrongCommandLine = 2;

// One failure: the file it concerns and why.
class Failure : public std::runtime_error {
 public:
  Failure(std::string name, const std::string& reason)
      : std::runtime_error(reason), name_(std::move(name)) {}
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

Options parse(const std::vector<std::string>& args) {
  Options options;
  std::size_t k = 0;
  for (; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--") {
      ++k;
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') break;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--no-limits") {
      options.no_limits = true;
    } else if (arg == "--like") {
      if (++k == args.size()) throw UsageError("--like needs an archive");
      options.like = args[k];
    } else if (arg.rfind("--like=", 0) == 0) {
      options.like = arg.substr(7);
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (options.help || options.version) return options;
  if (args.size() - k < 2) throw UsageError("needs an archive name and at least one picture");
  options.output = args[k];
  for (++k; k < args.size(); ++k) options.inputs.push_back({args[k]});
  return options;
}

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
};

// The picture for one entry in the form it is stored, with what --like takes from the original,
// then copied from the original or packed: the part of each entry that needs no other.
PreparedEntry prepare(const Input& input, LikeEntry* like, bool no_limits) {
  PreparedEntry prepared{.name = input.name};
  NormalisedPicture picture;
  try {
    const std::vector<std::uint8_t> file =
        input.from_original ? like->converted
                            : read_whole_file(path_from_utf8(input.name), kMaxInputFileSize);
    PictureOptions options{.no_limits = no_limits};
    if (like != nullptr) options.like = [like] { return like->converted; };
    picture = normalise_picture(file, options);
  } catch (const InputError& e) {
    throw Failure(input.name, e.what());
  }
  std::optional<bool> like_upside_down;
  if (like != nullptr) {
    std::copy(like->entry->resolution.begin(), like->entry->resolution.end(),
              picture.bitmap.begin() + kHorizontalResolutionField);
    like_upside_down = like->entry->upside_down;
  }
  prepared.form = choose_stored_form(std::move(picture.bitmap), like_upside_down);
  for (const std::string* warning : {&picture.warning, &prepared.form.warning}) {
    if (!warning->empty()) {
      prepared.warnings.push_back({input.name, PackMessage::Kind::kWarning, *warning});
    }
  }
  if (like != nullptr && converts_alike(prepared.form.file, like->converted)) {
    prepared.unchanged = std::move(like->bytes);
  } else {
    prepared.payload = pack_checked(input.name, prepared.form, no_limits);
  }
  return prepared;
}

void write_to(PendingFile& archive, const std::string& output,
              std::span<const std::uint8_t> bytes) {
  try {
    archive.write(bytes);
  } catch (const std::runtime_error& e) {
    throw Failure(output, e.what());
  }
}

// Writes entry k, in order: copied when unchanged and the bytes it takes from earlier entries are
// the same as in the original, else packed.
void commit(PendingFile& archive, const Options& options, PreparedEntry& prepared,
            const OriginalEntry* original, LeftoverCheck* check) {
  if (prepared.unchanged && (check == nullptr || check->leftovers_match())) {
    write_to(archive, options.output, *prepared.unchanged);
    if (check != nullptr) check->leave_copied();
    return;
  }
  if (!prepared.payload) {
    prepared.payload = pack_checked(prepared.name, prepared.form, options.no_limits);
  }
  static constexpr std::uint8_t kZeros[kEntryAlignment] = {};
  const std::vector<std::uint8_t>& payload = *prepared.payload;
  write_to(archive, options.output,
           entry_start(payload.size(), original ? original->unread : UnreadBytes{}));
  write_to(archive, options.output, payload);
  write_to(archive, options.output, {kZeros, filler_size(kPayloadOffset + payload.size())});
  if (check != nullptr) check->leave_packed(prepared.form.file);
}

void pack(const Options& options, std::vector<PackMessage>& warnings) {
  if (auto refusal = refuse_picture_count(options.inputs.size(), options.no_limits)) {
    throw Failure(options.output, *refusal);
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
    original = from_original([&] { return read_original_archive(path_from_utf8(*options.like)); });
    from_original([&] { check.emplace(*original, path_from_utf8(*options.like)); });
    if (original->entries.size() != options.inputs.size()) {
      throw Failure(*options.like, "has " + std::to_string(original->entries.size()) +
                                       " entries but " + std::to_string(options.inputs.size()) +
                                       " pictures were given");
    }
  }

  std::optional<PendingFile> archive;
  try {
    archive.emplace(path_from_utf8(options.output));
  } catch (const std::runtime_error& e) {
    throw Failure(options.output, e.what());
  }
  for (std::size_t k = 0; k < options.inputs.size(); ++k) {
    const OriginalEntry* entry = original ? &original->entries[k] : nullptr;
    std::optional<LikeEntry> like;
    if (entry != nullptr) {
      from_original([&] { check->enter(k); });
      like = from_original(
          [&] { return read_like_entry(path_from_utf8(*options.like), *entry, *check); });
    }
    PreparedEntry prepared = prepare(options.inputs[k], like ? &*like : nullptr, options.no_limits);
    warnings.insert(warnings.end(), prepared.warnings.begin(), prepared.warnings.end());
    commit(*archive, options, prepared, entry, check ? &*check : nullptr);
  }
  // The bytes after the original's last entry follow the new archive's last entry.
  if (original) {
    from_original([&] {
      std::ifstream tail = open_original(path_from_utf8(*options.like));
      read_tail(tail, *original, [&](std::span<const std::uint8_t> part) {
        write_to(*archive, options.output, part);
      });
    });
  }
  try {
    archive->commit();
  } catch (const std::runtime_error& e) {
    throw Failure(options.output, e.what());
  }
}

// The line the command line prints for `message`, without its line end.
std::string message_line(const PackMessage& message) {
  std::string line = "varnu-pack: ";
  if (message.kind == PackMessage::Kind::kWarning) line += "warning: ";
  if (message.file) line += *message.file + ": ";
  return line + message.text;
}

PackResult run(const Options& options) {
  PackResult result;
  try {
    pack(options, result.messages);
  } catch (const Failure& e) {
    // A failure is the one message: warnings about earlier pictures would only bury it.
    return {1, {{e.name(), PackMessage::Kind::kRefusal, e.what()}}};
  } catch (const std::exception& e) {
    return {1, {{std::nullopt, PackMessage::Kind::kRefusal, e.what()}}};
  }
  return result;
}

}  // namespace

PackResult run_pack(const std::vector<std::string>& args, std::ostream& out) {
  Options options;
  try {
    options = parse(args);
  } catch (const UsageError& e) {
    return {kWrongCommandLine, {{std::nullopt, PackMessage::Kind::kRefusal, e.what()}}};
  }
  if (options.help) {
    out << kUsage << "\n\n" << kHelp;
    return {};
  }
  if (options.version) {
    out << "varnu-pack " << VARNU_VERSION << '\n';
    return {};
  }
  return run(options);
}

PackResult pack_replacing(const std::string& original, const std::string& output,
                          const std::vector<std::optional<std::string>>& pictures, bool no_limits) {
  Options options{.like = original, .no_limits = no_limits, .output = output};
  const std::string base = derive_base_name(original);
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    if (pictures[k]) {
      options.inputs.push_back({*pictures[k]});
      continue;
    }
    // Named as the converter names the file it writes for the entry.
    const auto entry = static_cast<int>(k);
    options.inputs.push_back(
        {entry < kMaxEntries ? output_name(base, entry) : "entry " + std::to_string(k), true});
  }
  return run(options);
}

int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const PackResult result = run_pack(args, out);
  for (const PackMessage& message : result.messages) err << message_line(message) << '\n';
  if (result.status == kWrongCommandLine) err << kUsage << '\n';
  return result.status;
}

}  // namespace varnu::pack
