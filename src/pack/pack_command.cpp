#include "pack/pack_command.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <utility>

#include "bitmap/layout.hpp"
#include "format/archive.hpp"
#include "pack/bmp_input.hpp"
#include "pack/classic_lzss.hpp"
#include "pack/file_io.hpp"
#include "pack/in_order.hpp"
#include "pack/limits.hpp"
#include "pack/lzss_pack.hpp"
#include "pack/orientation.hpp"
#include "pack/original.hpp"
#include "pack/progress_line.hpp"
#include "platform/machine.hpp"

namespace varnu::pack {
namespace {

constexpr char kUsage[] =
    "usage: varnu-pack [--like ORIGINAL.arc] [--no-limits] [--jobs N] OUT.arc IN.BMP...";

constexpr char kHelp[] =
    "Packs bitmaps into an archive that varnu converts back into the same bitmaps.\n"
    "\n"
    "  --like ORIGINAL.arc  take from entry k of ORIGINAL.arc the header bytes and resolution\n"
    "                       fields varnu ignores, and its orientation, for picture k\n"
    "  --no-limits          also pack entries larger than readers with fixed buffers hold\n"
    "  --jobs N, -j N       pack on N threads (default: one per processor; at most 256);\n"
    "                       the archive is the same whatever N is\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Inputs: palette bitmaps of 1, 4 or 8 bits per pixel (uncompressed, RLE8 or RLE4), and\n"
    "24- or 32-bit true-colour bitmaps, mapped onto entry k's palette with --like, else onto a\n"
    "palette of their own colours (256 at most). One entry per input, in the order given. On\n"
    "any failure no archive is written and the exit status is 1.\n"
    "\n"
    "On a terminal, a run that lasts over a second shows a line of pictures written, MB of\n"
    "bitmaps read and MB/s, cleared at the end; warnings are printed as they come.\n";

struct Options {
  std::optional<std::string> like;
  bool no_limits = false;
  std::optional<unsigned> jobs;  // nothing: one thread per processor
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

// More threads than this are not started, whatever --jobs says: each holds a picture and its
// packer's tables (tens of MB for the largest entries), and no machine that packs archives has
// this many processors to keep them busy.
constexpr unsigned kMaxJobs = 256;

// The count of --jobs: a whole number of at least 1, taken as kMaxJobs when it is larger.
unsigned parse_jobs(const std::string& option, const std::string& text) {
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  unsigned long long count = 0;
  // Digits that are too many to hold are more than kMaxJobs as well.
  if (digits && std::from_chars(text.data(), text.data() + text.size(), count).ec != std::errc()) {
    return kMaxJobs;
  }
  if (!digits || count == 0) {
    throw UsageError(option + " needs a count of 1 or more, not '" + text + "'");
  }
  return static_cast<unsigned>(std::min<unsigned long long>(count, kMaxJobs));
}

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
    } else if (arg == "--jobs" || arg == "-j") {
      if (++k == args.size()) throw UsageError(arg + " needs a count");
      options.jobs = parse_jobs(arg, args[k]);
    } else if (arg.rfind("--jobs=", 0) == 0) {
      options.jobs = parse_jobs("--jobs", arg.substr(7));
    } else if (arg.rfind("-j", 0) == 0) {
      options.jobs = parse_jobs("-j", arg.substr(2));
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
// k of the archive `like`; the size of the file is added to `bytes_read`.
StoredForm prepare(const std::string& name, const std::optional<std::string>& like,
                   const OriginalEntry* original, std::atomic<std::uint64_t>& bytes_read) {
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
    const std::vector<std::uint8_t> file = read_whole_file(path_from_utf8(name), kMaxInputFileSize);
    bytes_read += file.size();
    picture = normalise_bitmap(file, like_bitmap);
  } catch (const InputError& e) {
    throw Failure(name, e.what());
  }
  std::optional<bool> like_upside_down;
  if (original != nullptr) {
    std::copy(original->resolution.begin(), original->resolution.end(),
              picture.begin() + kHorizontalResolutionField);
    like_upside_down = original->upside_down;
  }
  return choose_stored_form(std::move(picture), like_upside_down);
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

// What packing picture k gives the in-order stage that writes it.
struct PackedPicture {
  std::vector<std::uint8_t> payload;
  std::string warning;  // empty: none
};

// Picture k from its file to its checked stream: the work that depends on no other picture,
// done on any thread.
PackedPicture pack_picture(const Options& options, std::size_t k, const OriginalEntry* original,
                           std::atomic<std::uint64_t>& bytes_read) {
  const std::string& name = options.inputs[k];
  StoredForm form = prepare(name, options.like, original, bytes_read);
  return {pack_checked(name, form, options.no_limits), std::move(form.warning)};
}

// Entry k at the archive's end: its header, its stream and the filler to the next boundary.
// Called in picture order, on the thread that runs the command.
void write_entry(PendingFile& archive, const std::string& archive_name,
                 const PackedPicture& picture, const OriginalEntry* original) {
  static constexpr std::uint8_t kZeros[kEntryAlignment] = {};
  try {
    archive.write(entry_start(picture.payload.size(), original ? original->unread : UnreadBytes{}));
    archive.write(picture.payload);
    archive.write({kZeros, filler_size(kPayloadOffset + picture.payload.size())});
  } catch (const std::runtime_error& e) {
    throw Failure(archive_name, e.what());
  }
}

// How many threads pack: --jobs, else one per processor, and only one where there are no threads.
unsigned thread_count(const Options& options) {
  if (!platform::kHasThreads) return 1;
  return std::min(options.jobs.value_or(platform::processor_count()), kMaxJobs);
}

void pack(const Options& options, std::vector<PackMessage>& warnings, PackObserver* observer) {
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
  auto original = [&](std::size_t k) { return options.like ? &originals[k] : nullptr; };
  const std::size_t total = options.inputs.size();
  std::atomic<std::uint64_t> bytes_read = 0;
  std::size_t written = 0;
  auto report = [&] {
    if (observer != nullptr) observer->progress(written, total, bytes_read);
  };
  run_in_order<PackedPicture>(
      total, thread_count(options),
      [&](std::size_t k) { return pack_picture(options, k, original(k), bytes_read); },
      [&](std::size_t k, PackedPicture&& picture) {
        write_entry(*archive, options.output, picture, original(k));
        if (!picture.warning.empty()) {
          warnings.push_back({options.inputs[k], PackMessage::Kind::kWarning, picture.warning});
          if (observer != nullptr) observer->warning(warnings.back());
        }
        ++written;
        report();
      },
      report);
  try {
    archive->commit();
  } catch (const std::runtime_error& e) {
    throw Failure(options.output, e.what());
  }
}

}  // namespace

std::string message_line(const PackMessage& message) {
  std::string line = "varnu-pack: ";
  if (message.kind == PackMessage::Kind::kWarning) line += "warning: ";
  if (message.file) line += *message.file + ": ";
  return line + message.text;
}

PackResult run_pack(const std::vector<std::string>& args, std::ostream& out,
                    PackObserver* observer) {
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
    pack(options, result.messages, observer);
  } catch (const Failure& e) {
    // A failure is the one message: warnings about earlier pictures would only bury it.
    return {1, {{e.name(), PackMessage::Kind::kRefusal, e.what()}}};
  } catch (const std::exception& e) {
    return {1, {{std::nullopt, PackMessage::Kind::kRefusal, e.what()}}};
  }
  return result;
}

int pack_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool err_is_terminal) {
  std::optional<ProgressLine> progress;
  if (err_is_terminal) progress.emplace(err);
  const PackResult result = run_pack(args, out, progress ? &*progress : nullptr);
  if (progress) progress->clear();
  for (const PackMessage& message : result.messages) {
    // On a terminal each warning was printed as its picture was written.
    if (progress && message.kind == PackMessage::Kind::kWarning) continue;
    err << message_line(message) << '\n';
  }
  if (result.status == kWrongCommandLine) err << kUsage << '\n';
  return result.status;
}

}  // namespace varnu::pack
