// varnu-pack's command line as a user types it: every option form, what goes to standard output
// and to standard error, the exit status, and that nothing but packing leaves a file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/archive.hpp"
#include "pack/lzss_pack.hpp"
#include "pack/palette_bitmap.hpp"
#include "tests/support/run_program.hpp"
#include "tools/picture.hpp"

namespace {

namespace fs = std::filesystem;
using varnu::testing::files_in;
using varnu::testing::RunOptions;
using varnu::testing::TempDir;
using varnu::testing::write_bytes;

// The version comes from the build, as the program's does: the row checks how it is printed.
const std::string kVersionLine = std::string("varnu-pack ") + VARNU_VERSION + "\n";
const std::string kUsageLine =
    "usage: varnu-pack [--like ORIGINAL.arc] [--no-limits] OUT.arc IN.BMP...\n";

// Stands for the help text in a row: it begins with the usage line and lists --version.
const std::string kHelp = "(the help)";

TEST(VarnuPackCommandLine, EveryFormAndStatus) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;      // all of standard output
    std::string err;      // all of standard error
    std::string archive;  // the one file the run adds to the folder, if any
  };
  const std::string no_files =
      "varnu-pack: needs an archive name and at least one bitmap\n" + kUsageLine;
  const std::vector<Case> cases = {
      {"--version", {"--version"}, 0, kVersionLine, "", ""},
      {"--version before files", {"--version", "out.arc", "good.bmp"}, 0, kVersionLine, "", ""},
      {"--version after options",
       {"--no-limits", "--like", "x.arc", "--version"},
       0,
       kVersionLine,
       "",
       ""},
      {"--help", {"--help"}, 0, kHelp, "", ""},
      {"-h", {"-h"}, 0, kHelp, "", ""},
      {"--help beats --version", {"--version", "--help"}, 0, kHelp, "", ""},
      {"--version as a bitmap",
       {"out.arc", "good.bmp", "--version"},
       1,
       "",
       "varnu-pack: --version: cannot open it\n",
       ""},
      {"--version as the archive", {"--", "--version", "good.bmp"}, 0, "", "", "--version"},
      {"mistyped",
       {"--versions"},
       2,
       "",
       "varnu-pack: unknown option --versions\n" + kUsageLine,
       ""},
      {"-v", {"-v"}, 2, "", "varnu-pack: unknown option -v\n" + kUsageLine, ""},
      {"no arguments", {}, 2, "", no_files, ""},
      {"archive alone", {"out.arc"}, 2, "", no_files, ""},
      {"archive and one bitmap", {"out.arc", "good.bmp"}, 0, "", "", "out.arc"},
      {"--like without its archive",
       {"--like"},
       2,
       "",
       "varnu-pack: --like needs an archive\n" + kUsageLine,
       ""},
      {"--like ORIGINAL", {"--like", "good.arc", "out.arc", "good.bmp"}, 0, "", "", "out.arc"},
      {"--like=ORIGINAL", {"--like=good.arc", "out.arc", "good.bmp"}, 0, "", "", "out.arc"},
  };

  const auto good = varnu::pack::encode_bmp(varnu::tools::draw_gradient(20, 10));
  const auto original = varnu::pack::build_archive({varnu::pack::lzss_pack(good)});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Standard output alone, then both streams together from a second run in a fresh folder: a
    // failing run prints nothing on standard output, so the two streams never interleave.
    std::string out;
    std::string both;
    for (const bool capture_stderr : {false, true}) {
      TempDir dir;
      write_bytes(dir.path() / "good.bmp", good);
      write_bytes(dir.path() / "good.arc", original);
      const auto before = files_in(dir.path());
      const auto result = varnu::testing::run_varnu(RunOptions{.program = VARNU_PACK_BINARY,
                                                               .args = c.args,
                                                               .cwd = dir.path(),
                                                               .capture_stderr = capture_stderr});
      EXPECT_EQ(result.status, c.status);
      (capture_stderr ? both : out) = result.output;
      auto after = files_in(dir.path());
      if (!c.archive.empty()) {
        EXPECT_EQ(after.erase(c.archive), 1u);
      }
      EXPECT_EQ(after, before);
    }
    if (c.out == kHelp) {
      EXPECT_TRUE(out.starts_with(kUsageLine + "\nPacks bitmaps")) << out;
      EXPECT_NE(out.find("\n  --version            show the version\n"), std::string::npos) << out;
    } else {
      EXPECT_EQ(out, c.out);
    }
    EXPECT_EQ(both, out + c.err);
  }
}

}  // namespace
