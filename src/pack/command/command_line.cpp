#include "pack/command/command_line.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <stdexcept>

#include "pack/command/progress_line.hpp"

namespace varnu::pack {
namespace {

constexpr char kUsage[] =
    "usage: varnu-pack [--like ORIGINAL.arc] [--remap [--dither]] [--no-limits] [--jobs N] "
    "OUT.arc PICTURE...\n"
    "       varnu-pack --like ORIGINAL.arc --patch PATCH [OPTION...] PICTURE...\n"
    "       varnu-pack --apply PATCH ORIGINAL.arc OUT.arc";

constexpr char kHelp[] =
    "Packs pictures into an archive that varnu converts back into the same pictures.\n"
    "\n"
    "  --like ORIGINAL.arc  take from entry k of ORIGINAL.arc the header bytes and resolution\n"
    "                       fields varnu ignores, and its orientation, for picture k; and copy\n"
    "                       entry k as it stands where varnu would write the same file from\n"
    "                       picture k's entry as from it, or picture k is varnu's file\n"
    "  --patch PATCH        with --like, write instead of an archive the VCDIFF patch that\n"
    "                       makes it from ORIGINAL.arc, which `xdelta3 -d -s ORIGINAL.arc\n"
    "                       PATCH OUT.arc` applies; every name after the options is then a\n"
    "                       picture\n"
    "  --apply              write OUT.arc, PATCH applied to ORIGINAL.arc: any VCDIFF patch\n"
    "                       without secondary compression, xdelta3's with `-S none`; a patch\n"
    "                       with its windows' checksums refuses an original that differs\n"
    "  --remap              map colours that do not fit onto the palette instead of refusing\n"
    "                       the picture: with --like, pixels of entry k's colours keep them,\n"
    "                       its free entries take the new colours that matter most, and the\n"
    "                       rest, of the palette colour nearest in sRGB and the nearest in\n"
    "                       CIELAB of those at most 16 levels farther, the one CIEDE2000\n"
    "                       finds nearer, never entry 0; without, a picture of over 256\n"
    "                       colours gets a palette of 256. Each mapped picture is a\n"
    "                       warning: pixels moved, mean and largest CIEDE2000 colour error\n"
    "  --dither             with --remap, spread each mapped pixel's error onto the mapped\n"
    "                       pixels near it (exact pixels stay exact)\n"
    "  --no-limits          also pack entries larger than readers with fixed buffers hold\n"
    "  --jobs N, -j N       pack on N threads (default: one per processor; at most 256);\n"
    "                       the archive is the same whatever N is\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Pictures: bitmaps of 1, 4 or 8 bits per pixel (uncompressed, RLE8 or RLE4) or of 24 or 32,\n"
    "and PNG of 8 bits a channel or fewer (palette, grey, RGB, with or without alpha). Palette\n"
    "pictures keep their indices; with --like, one whose palette differs from entry k's is\n"
    "matched by colour, with a warning. True colour goes onto entry k's palette with --like,\n"
    "else onto a palette of its own colours (256 at most, or --remap). One entry per picture, in\n"
    "the order given. On any failure no archive (or patch) is written and the exit status is 1.\n"
    "\n"
    "On a terminal, a run that lasts over a second shows a line of pictures written, MB of\n"
    "pictures read and MB/s, cleared at the end; warnings are printed as they come.\n";

// What a command line asks for.
struct CommandLine {
  PackRequest request;
  // --apply: the patch, the original and the output.
  std::optional<std::array<std::string, 3>> apply;
  bool help = false;
  bool version = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The status of a wrong command line; the usage follows its message.
constexpr int kWrongCommandLine = 2;

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

CommandLine parse(const std::vector<std::string>& args) {
  CommandLine command;
  PackRequest& options = command.request;
  std::optional<std::string> patch;
  bool apply = false;
  bool packing_option = false;
  std::size_t k = 0;
  for (; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--") {
      ++k;
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') break;
    if (arg == "--help" || arg == "-h") {
      command.help = true;
    } else if (arg == "--version") {
      command.version = true;
    } else if (arg == "--no-limits") {
      options.no_limits = true;
      packing_option = true;
    } else if (arg == "--apply") {
      apply = true;
    } else if (arg == "--patch") {
      if (++k == args.size()) throw UsageError("--patch needs a file name");
      patch = args[k];
    } else if (arg.rfind("--patch=", 0) == 0) {
      patch = arg.substr(8);
    } else if (arg == "--remap") {
      options.remap.remap = true;
      packing_option = true;
    } else if (arg == "--dither") {
      options.remap.dither = true;
      packing_option = true;
    } else if (arg == "--like") {
      if (++k == args.size()) throw UsageError("--like needs an archive");
      options.like = args[k];
    } else if (arg.rfind("--like=", 0) == 0) {
      options.like = arg.substr(7);
    } else if (arg == "--jobs" || arg == "-j") {
      if (++k == args.size()) throw UsageError(arg + " needs a count");
      options.jobs = parse_jobs(arg, args[k]);
      packing_option = true;
    } else if (arg.rfind("--jobs=", 0) == 0) {
      options.jobs = parse_jobs("--jobs", arg.substr(7));
      packing_option = true;
    } else if (arg.rfind("-j", 0) == 0) {
      options.jobs = parse_jobs("-j", arg.substr(2));
      packing_option = true;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (command.help || command.version) return command;
  if (options.remap.dither && !options.remap.remap) throw UsageError("--dither needs --remap");
  if (apply) {
    if (packing_option || options.like || patch) {
      throw UsageError("--apply takes no other option");
    }
    if (args.size() - k != 3)
      throw UsageError("--apply needs a patch, the original and the output");
    command.apply = {args[k], args[k + 1], args[k + 2]};
    return command;
  }
  if (patch) {
    if (!options.like) throw UsageError("--patch needs --like, the original the patch applies to");
    options.output = *patch;
    options.patch = true;
    if (k == args.size()) throw UsageError("needs at least one picture");
  } else {
    if (args.size() - k < 2) throw UsageError("needs an archive name and at least one picture");
    options.output = args[k++];
  }
  for (; k < args.size(); ++k) options.pictures.push_back({args[k]});
  return command;
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
  CommandLine command;
  try {
    command = parse(args);
  } catch (const UsageError& e) {
    return {kWrongCommandLine, {{std::nullopt, PackMessage::Kind::kRefusal, e.what()}}};
  }
  if (command.help) {
    out << kUsage << "\n\n" << kHelp;
    return {};
  }
  if (command.version) {
    out << "varnu-pack " << VARNU_VERSION << '\n';
    return {};
  }
  if (command.apply) {
    const auto& [patch, original, output] = *command.apply;
    return apply_patch_file(patch, original, output);
  }
  return pack(command.request, observer);
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
