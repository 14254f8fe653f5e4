// Throughput of the converter's inner parts on pictures the project draws and packs itself.
//
// Every rate counts OUTPUT bytes: the decoded bitmap for the decoders, the written file for the
// writers. Each decoder benchmark has a twin running the classic byte-at-a-time ring decoder on
// the same payloads, and after the run the binary prints how many times faster the program's
// decoder is on each payload set, and how the half-width writer compares with the plain one.
//
// Rates are per second of CPU time: the machines this runs on are shared, and a single-threaded
// loop's CPU time is the figure that other processes disturb least. The tables go to the
// console; for machine-readable results add --benchmark_out=FILE --benchmark_out_format=json.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench/output_sizes.hpp"
#include "bitmap/fix_up.hpp"
#include "bitmap/layout.hpp"
#include "bitmap/write_bitmap.hpp"
#include "common/run_state.hpp"
#include "lzss/lzss.hpp"
#include "pack/encoder/classic_lzss.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using varnu::tools::Picture;

constexpr std::uint16_t kWidth = 640;
constexpr std::uint16_t kHeight = 480;
constexpr int kSpriteBatch = 64;

struct PayloadSet {
  std::vector<Bytes> payloads;
  std::vector<Bytes> files;  // what each payload must decode to
  std::size_t packed_bytes = 0;
  std::size_t decoded_bytes = 0;
  // A decoder that gets a set wrong is not worth timing on it.
  std::string broken;
};

PayloadSet pack_all(const std::vector<Picture>& pictures) {
  PayloadSet set;
  std::vector<std::uint8_t> image(varnu::kInitialImageSize, 0);
  for (const Picture& picture : pictures) {
    Bytes file = varnu::pack::encode_bmp(picture);
    Bytes payload = varnu::tools::pack_entry_payload(picture);
    const std::size_t decoded = varnu::lzss_expand(payload, image);
    if (decoded != file.size() || !std::equal(file.begin(), file.end(), image.begin())) {
      set.broken = "the program's decoder does not give back the packed bitmap";
    }
    if (varnu::pack::classic_lzss_decode(payload) != file) {
      set.broken = "the classic decoder does not give back the packed bitmap";
    }
    set.packed_bytes += payload.size();
    set.decoded_bytes += file.size();
    set.payloads.push_back(std::move(payload));
    set.files.push_back(std::move(file));
  }
  return set;
}

std::vector<Picture> sprites(int count) {
  std::vector<Picture> out;
  for (int k = 0; k < count; ++k)
    out.push_back(varnu::tools::draw_sprite(static_cast<std::uint32_t>(k)));
  return out;
}

// Every kind the converter meets in one list, decoded in turn: what a real archive looks like.
std::vector<Picture> mixed() {
  using namespace varnu::pack;
  using namespace varnu::tools;
  std::vector<Picture> out = {
      draw_gradient(kWidth, kHeight),         draw_line_art(kWidth, kHeight),
      draw_noise(kWidth, kHeight, 1),         draw_checkerboard(kWidth, kHeight, 8),
      draw_green_keyed(kWidth, kHeight),      draw_noise(kWidth - 1, kHeight, 2),
      draw_checkerboard(kWidth, kHeight, 40),
  };
  for (Picture& sprite : sprites(8)) out.push_back(std::move(sprite));
  return out;
}

struct SetRecipe {
  const char* name;
  std::function<std::vector<Picture>()> draw;
};

const std::vector<SetRecipe>& recipes() {
  using namespace varnu::pack;
  using namespace varnu::tools;
  static const std::vector<SetRecipe> list = {
      {"gradient", [] { return std::vector<Picture>{draw_gradient(kWidth, kHeight)}; }},
      {"line_art", [] { return std::vector<Picture>{draw_line_art(kWidth, kHeight)}; }},
      {"noise", [] { return std::vector<Picture>{draw_noise(kWidth, kHeight, 1)}; }},
      {"sprites64", [] { return sprites(kSpriteBatch); }},
      {"mixed", mixed},
  };
  return list;
}

// Sets are drawn and packed on first use, so that a filtered run builds only what it times.
const PayloadSet& payload_set(const SetRecipe& recipe) {
  static std::map<std::string, std::unique_ptr<PayloadSet>> built;
  std::unique_ptr<PayloadSet>& slot = built[recipe.name];
  if (!slot) slot = std::make_unique<PayloadSet>(pack_all(recipe.draw()));
  return *slot;
}

void describe(benchmark::State& state, const PayloadSet& set) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.decoded_bytes));
  state.counters["packed_ratio"] =
      static_cast<double>(set.decoded_bytes) / static_cast<double>(set.packed_bytes);
}

void decode_fast(benchmark::State& state, const SetRecipe& recipe) {
  const PayloadSet& set = payload_set(recipe);
  if (!set.broken.empty()) {
    state.SkipWithError(set.broken.c_str());
    return;
  }
  // One image buffer for every entry, as the program keeps it.
  std::vector<std::uint8_t> image(varnu::kInitialImageSize, 0);
  for (auto _ : state) {
    for (const Bytes& payload : set.payloads) {
      benchmark::DoNotOptimize(varnu::lzss_expand(payload, image));
    }
    benchmark::ClobberMemory();
  }
  describe(state, set);
}

void decode_classic(benchmark::State& state, const SetRecipe& recipe) {
  const PayloadSet& set = payload_set(recipe);
  if (!set.broken.empty()) {
    state.SkipWithError(set.broken.c_str());
    return;
  }
  for (auto _ : state) {
    for (const Bytes& payload : set.payloads) {
      Bytes out = varnu::pack::classic_lzss_decode(payload);
      benchmark::DoNotOptimize(out.data());
    }
    benchmark::ClobberMemory();
  }
  describe(state, set);
}

// One picture's bitmap in an image buffer of the program's size, converted over and over into
// memory: the stream copies every byte as a write to a file in the page cache would, where
// /dev/null would make the plain writer's large writes free.
void write_picture(benchmark::State& state, const Picture& picture, bool halve) {
  const Bytes file = varnu::pack::encode_bmp(picture);
  std::vector<std::uint8_t> image(std::max(varnu::kInitialImageSize, file.size()), 0);
  std::copy(file.begin(), file.end(), image.begin());
  std::vector<std::uint8_t> row(varnu::kMaxHalfWidthRowBytes, 0);
  const std::uint64_t written =
      halve ? varnu::bench::half_width_file_size(picture.width, picture.height) : file.size();
  // One byte more for the terminating zero the memory stream keeps after the data.
  std::vector<char> sink(written + 1);
  std::FILE* out = fmemopen(sink.data(), sink.size(), "wb");
  if (out == nullptr) {
    state.SkipWithError("cannot open a memory stream");
    return;
  }
  for (auto _ : state) {
    std::rewind(out);
    // The half-width writer rewrites the headers in place; every pass starts from the packed
    // bitmap's own, as a freshly decoded entry would.
    std::copy_n(file.begin(), varnu::kHeadersSize, image.begin());
    const std::optional<varnu::BitmapPlan> plan = varnu::plan_bitmap(
        image, halve ? varnu::OutputMode::kHalfWidth : varnu::OutputMode::kPlain);
    if (!plan) {
      state.SkipWithError("the writer refuses the picture");
      break;
    }
    varnu::prepare_file(image, *plan);
    varnu::write_prepared(image, *plan, row, out);
    std::fflush(out);
  }
  if (std::ferror(out) || static_cast<std::uint64_t>(std::ftell(out)) != written) {
    state.SkipWithError("the writer wrote an unexpected number of bytes");
  }
  std::fclose(out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

// Keeps the CPU seconds per iteration of every benchmark that ran, keyed by its registered name,
// for the tables printed after the run; with repetitions they take the median.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      // With --benchmark_report_aggregates_only only the aggregates come, and the median
      // stands for the runs.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      Sample& sample = samples_[run.run_name.function_name];
      const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      (median ? sample.median_seconds : sample.seconds).push_back(seconds);
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) {
        // The rate is per CPU second; it gives back the bytes of one iteration.
        sample.bytes_per_iteration = rate->second.value * seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Output megabytes (10^6 bytes) per second, or nothing when the benchmark did not run.
  std::optional<double> megabytes_per_second(const std::string& name) const {
    const auto found = samples_.find(name);
    if (found == samples_.end()) return std::nullopt;
    std::vector<double> seconds = found->second.seconds;
    if (seconds.empty()) seconds = found->second.median_seconds;
    if (seconds.empty()) return std::nullopt;
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    return found->second.bytes_per_iteration / median / 1e6;
  }

 private:
  struct Sample {
    std::vector<double> seconds;
    std::vector<double> median_seconds;
    double bytes_per_iteration = 0;
  };
  std::map<std::string, Sample> samples_;
};

std::string decode_name(const char* set, const char* decoder) {
  return std::string("decode/") + set + "/" + decoder;
}

void print_summary(const RatioReporter& reporter, std::ostream& out) {
  out << "\nDecoding, output MB/s (MB = 10^6 bytes) per CPU second:\n"
      << std::left << std::setw(12) << "set" << std::right << std::setw(12) << "varnu"
      << std::setw(12) << "classic" << std::setw(14) << "varnu/classic" << '\n';
  out << std::fixed << std::setprecision(1);
  for (const SetRecipe& recipe : recipes()) {
    const auto fast = reporter.megabytes_per_second(decode_name(recipe.name, "varnu"));
    const auto classic = reporter.megabytes_per_second(decode_name(recipe.name, "classic"));
    if (!fast && !classic) continue;
    out << std::left << std::setw(12) << recipe.name << std::right;
    out << std::setw(12);
    fast ? out << *fast : out << "-";
    out << std::setw(12);
    classic ? out << *classic : out << "-";
    out << std::setw(13);
    if (fast && classic) {
      out << std::setprecision(2) << *fast / *classic << "x" << std::setprecision(1);
    } else {
      out << "-";
    }
    out << '\n';
  }

  bool header = false;
  for (const char* picture : {"gradient", "green_keyed"}) {
    const auto half = reporter.megabytes_per_second(std::string("write/") + picture + "/half");
    const auto plain = reporter.megabytes_per_second(std::string("write/") + picture + "/plain");
    if (!half && !plain) continue;
    if (!header) {
      out << "\nConverting 640x480 into memory, output MB/s per CPU second:\n"
          << std::left << std::setw(12) << "picture" << std::right << std::setw(12) << "half-width"
          << std::setw(12) << "plain" << '\n';
      header = true;
    }
    out << std::left << std::setw(12) << picture << std::right << std::setw(12);
    half ? out << *half : out << "-";
    out << std::setw(12);
    plain ? out << *plain : out << "-";
    out << '\n';
  }
}

void register_all() {
  for (const SetRecipe& recipe : recipes()) {
    benchmark::RegisterBenchmark(
        decode_name(recipe.name, "varnu").c_str(),
        [&recipe](benchmark::State& state) { decode_fast(state, recipe); });
    benchmark::RegisterBenchmark(
        decode_name(recipe.name, "classic").c_str(),
        [&recipe](benchmark::State& state) { decode_classic(state, recipe); });
  }
  static const Picture gradient = varnu::tools::draw_gradient(kWidth, kHeight);
  static const Picture keyed = varnu::tools::draw_green_keyed(kWidth, kHeight);
  for (const auto& [name, picture] :
       {std::pair{"gradient", &gradient}, std::pair{"green_keyed", &keyed}}) {
    for (const bool halve : {true, false}) {
      const std::string full = std::string("write/") + name + (halve ? "/half" : "/plain");
      // Clang before 16 cannot capture a structured binding; a copy it can.
      const Picture* source = picture;
      benchmark::RegisterBenchmark(full.c_str(), [source, halve](benchmark::State& state) {
        write_picture(state, *source, halve);
      });
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  register_all();
  const auto options = isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                             : benchmark::ConsoleReporter::OO_Tabular;
  RatioReporter reporter(options);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::cout.flush();
  print_summary(reporter, std::cout);
  benchmark::Shutdown();
  return 0;
}
