// remap-time: the CPU time varnu-pack's mapping takes on each of the remap benchmark's edited
// pictures (remap_cases.hpp), from the edit's bitmap file to the entry's: the median of many
// runs with --remap, with --remap --dither, and for the unedited picture, which needs no
// mapping, so that the difference is the mapping's own cost.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/remap_cases.hpp"
#include "pack/picture/picture_input.hpp"
#include "platform/machine.hpp"
#include "tools/picture.hpp"

namespace {

using namespace varnu;

constexpr int kRuns = 21;

double cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median_ms(const std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& like,
                 pack::RemapOptions remap) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    const double start = cpu_ms();
    const pack::NormalisedPicture out =
        pack::normalise_picture(file, {.like = [&] { return like; }, .remap = remap});
    times.push_back(cpu_ms() - start);
    if (out.bitmap.empty()) std::puts("no bitmap");
  }
  std::sort(times.begin(), times.end());
  return times[kRuns / 2];
}

}  // namespace

int main() {
  // As varnu-pack does: a picture's buffers are not given back and zero-filled again for the next.
  platform::keep_freed_memory();
  std::printf("%-10s %10s %10s %10s %10s\n", "picture", "unedited", "--remap", "--dither",
              "mapping");
  for (const bench::RemapCase& c : bench::remap_cases()) {
    const std::vector<std::uint8_t> like = pack::encode_bmp(c.original);
    const auto edited = tools::encode_colours_bmp(c.edited);
    const auto unedited = tools::encode_colours_bmp(tools::true_colour_of(c.original));
    const double plain = median_ms(unedited, like, {.remap = true});
    const double mapped = median_ms(edited, like, {.remap = true});
    const double dithered = median_ms(edited, like, {.remap = true, .dither = true});
    std::printf("%-10s %7.2f ms %7.2f ms %7.2f ms %7.2f ms\n", c.name.c_str(), plain, mapped,
                dithered, std::max(mapped, dithered) - plain);
  }
  return 0;
}
