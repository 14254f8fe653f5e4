#include "pack/pack_command.hpp"

#include <optional>
#include <stdexcept>
#include <utility>

#include "bitmap/layout.hpp"
#include "format/archive.hpp"
#include "pack/bmp_input.hpp"
#include "pack/classic_lzss.hpp"
#include "pack/file_io.hpp"
#include "pack/limits.hpp"
#include "pack/lzss_pack.hpp"
#include "pack/orientation.hpp"
#include "pack/original.hpp"

namespace varnu::pack {
namespace {

constexpr char kUsage[] = "usage: varnu-pack [--like ORIGINAL.arc] [--no-limits] OUT.arc IN.BMP...";

constexpr char kHelp[] =
    "Packs bitmaps into an archive that varnu converts back into the same bitmaps.\n"
    "\n"
    "  --like ORIGINAL.arc  take from entry k of ORIGINAL.arc the header bytes and resolution\n"
    "                       fields varnu ignores, and its orientation, for picture k\n"
    "  --no-limits          also pack entries larger than readers with fixed buffers hold\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Inputs: palette bitmaps of 1, 4 or 8 bits per pixel (uncompressed, RLE8 or RLE4), and\n"
    "24- or 32-bit true-colour bitmaps, mapped onto entry k's palette with --like, else onto a\n"
    "palette of their own colours (256 at most). One entry per input, in the order given. On\n"
    "any failure no archive is written and the exit status is 1.\n";

struct Options {
  std::optional<std::string> like;
  bool no_limits = false;
  bool help = false;
  bool version = false;
  std::string output;
  std::vector<std::string> inputs;
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
  if (args.size() - k < 2) throw UsageError("needs an archive name and at least one bitmap");
  options.output = args[k];
  options.inputs.assign(args.begin() + static_cast<std::ptrdiff_t>(k) + 1, args.end());
  return options;
}

// The bitmap in `name` in the form it is stored, with what --like takes from `original`, entry
// k of the archive `like`.
StoredForm prepare(const std::string& name, const std::optional<std::string>& like,
                   const OriginalEntry* original, std::vector<PackMessage>& warnings) {
  LikeBitmap like_bitmap;
  if (original != nullptr) {
    like_bitmap = [&] {
      try {
        return read_converted_bitmap(path_from_utf8(*like), *original);
      } catch (const InputError& e) {
        throw Failure(*like, e.what());
      }
    };
  }
  std::vector<std::uint8_t> picture;
  try {
    picture =
        normalise_bitmap(read_whole_file(path_from_utf8(name), kMaxInputFileSize), like_bitmap);
  } catch (const InputError& e) {
    throw Failure(name, e.what());
  }
  std::optional<bool> like_upside_down;
  if (original != nullptr) {
    std::copy(original->resolution.begin(), original->resolution.end(),
              picture.begin() + kHorizontalResolutionField);
    like_upside_down = original->upside_down;
  }
  StoredForm form = choose_stored_form(std::move(picture), like_upside_down);
  if (!form.warning.empty()) warnings.push_back({name, PackMessage::Kind::kWarning, form.warning});
  return form;
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

void pack(const Options& options, std::vector<PackMessage>& warnings) {
  if (auto refusal = refuse_picture_count(options.inputs.size(), options.no_limits)) {
    throw Failure(options.output, *refusal);
  }
  std::vector<OriginalEntry> originals;
  if (options.like) {
    try {
      originals = read_original_archive(path_from_utf8(*options.like));
    } catch (const InputError& e) {
      throw Failure(*options.like, e.what());
    }
    if (originals.size() != options.inputs.size()) {
      throw Failure(*options.like, "has " + std::to_string(originals.size()) + " entries but " +
                                       std::to_string(options.inputs.size()) +
                                       " bitmaps were given");
    }
  }

  std::optional<PendingFile> archive;
  try {
    archive.emplace(path_from_utf8(options.output));
  } catch (const std::runtime_error& e) {
    throw Failure(options.output, e.what());
  }
  static constexpr std::uint8_t kZeros[kEntryAlignment] = {};
  for (std::size_t k = 0; k < options.inputs.size(); ++k) {
    const std::string& name = options.inputs[k];
    const OriginalEntry* original = options.like ? &originals[k] : nullptr;
    const StoredForm form = prepare(name, options.like, original, warnings);
    const std::vector<std::uint8_t> payload = pack_checked(name, form, options.no_limits);
    try {
      archive->write(entry_start(payload.size(), original ? original->unread : UnreadBytes{}));
      archive->write(payload);
      archive->write({kZeros, filler_size(kPayloadOffset + payload.size())});
    } catch (const std::runtime_error& e) {
      throw Failure(options.output, e.what());
    }
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

int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const PackResult result = run_pack(args, out);
  for (const PackMessage& message : result.messages) err << message_line(message) << '\n';
  if (result.status == kWrongCommandLine) err << kUsage << '\n';
  return result.status;
}

}  // namespace varnu::pack
