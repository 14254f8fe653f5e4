// The packer's speed, and its size against two yardsticks, on two sets of pictures, each as the
// bitmap file an entry holds:
//
// - "photo-and-drawing": 8 photograph-like pictures (draw_noise, 640x480, seeds 1 to 8) and 8
//   drawings (draw_line_art at four sizes, a gradient, a checkerboard, a green-keyed picture and
//   a mirrored sprite sheet of 8 sprites);
// - "worst cases", the pictures that make a match search work hardest: two smooth full-screen
//   gradients (one of long runs, one of runs that vary and rows that never repeat), and noise of
//   2, 4 and 16 values, where every short string recurs all over the window.
//
// The yardsticks:
// - exact optimum: the shortest path over every position with every match length from 3 to the
//   true longest match, found by walking chains keyed by the exact three bytes with no bound;
//   the smallest stream the format allows, slow.
// - greedy: the longest match at each position, else a literal; the classic choice.
//
// Every stream of all three is decoded by the simple ring decoder before it is counted. The
// speed counts input bytes per second of CPU time, per set and per picture; the slowest picture
// is named after the benchmarks, then the sizes are printed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "format/lzss.hpp"
#include "pack/encoder/classic_lzss.hpp"
#include "pack/encoder/lzss_pack.hpp"
#include "tools/picture.hpp"

namespace {

using varnu::kMaxMatch;
using varnu::kMinMatch;
using varnu::kRingMask;
using varnu::kRingSize;
using varnu::kRingStart;
using varnu::match_bytes;
using Bytes = std::vector<std::uint8_t>;
using varnu::tools::Picture;

struct Sample {
  std::string name;
  const char* kind;
  Bytes file;
};

std::string sized(const char* what, int width, int height) {
  return std::string(what) + " " + std::to_string(width) + "x" + std::to_string(height);
}

Picture sprite_sheet() {
  Picture sheet;
  sheet.width = 8 * 64;
  sheet.height = 64;
  sheet.pixels.resize(std::size_t{sheet.width} * sheet.height);
  for (std::uint32_t k = 0; k < 8; ++k) {
    const Picture s = varnu::tools::draw_sprite(k);
    if (k == 0) sheet.palette = s.palette;
    for (std::size_t y = 0; y < 64; ++y) {
      std::copy_n(s.pixels.begin() + static_cast<std::ptrdiff_t>(y * 64), 64,
                  sheet.pixels.begin() + static_cast<std::ptrdiff_t>(y * sheet.width + k * 64));
    }
  }
  return sheet;
}

const std::vector<Sample>& photo_and_drawing() {
  static const std::vector<Sample> set = [] {
    using namespace varnu::pack;
    using namespace varnu::tools;
    std::vector<Sample> out;
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
      out.push_back(
          {"photo " + std::to_string(seed), "photo", encode_bmp(draw_noise(640, 480, seed))});
    }
    for (auto [w, h] : {std::pair{640, 480}, {641, 480}, {800, 600}, {1024, 768}}) {
      out.push_back({sized("line art", w, h), "drawing",
                     encode_bmp(draw_line_art(static_cast<std::uint16_t>(w),
                                              static_cast<std::uint16_t>(h)))});
    }
    out.push_back({"gradient 640x480", "drawing", encode_bmp(draw_gradient(640, 480))});
    out.push_back({"checkerboard 640x480", "drawing", encode_bmp(draw_checkerboard(640, 480, 13))});
    out.push_back({"green keyed 640x480", "drawing", encode_bmp(draw_green_keyed(640, 480))});
    out.push_back({"sprite sheet 512x64", "drawing", encode_bmp(sprite_sheet())});
    return out;
  }();
  return set;
}

const std::vector<Sample>& worst_cases() {
  static const std::vector<Sample> set = [] {
    using namespace varnu::pack;
    using namespace varnu::tools;
    std::vector<Sample> out;
    out.push_back({"sky 1920x1080", "gradient", encode_bmp(draw_vertical_gradient(1920, 1080))});
    out.push_back({"glow 1920x1080", "gradient", encode_bmp(draw_radial_gradient(1920, 1080))});
    struct Noise {
      unsigned levels;
      std::uint16_t width, height;
    };
    for (const Noise& n : {Noise{2, 640, 480}, {2, 1024, 768}, {4, 640, 480}, {16, 640, 480}}) {
      out.push_back({sized(("noise of " + std::to_string(n.levels)).c_str(), n.width, n.height),
                     "noise", encode_bmp(draw_level_noise(n.width, n.height, n.levels, n.levels))});
    }
    return out;
  }();
  return set;
}

// ---- the yardsticks: exact longest matches, then the optimal or the greedy parse ----

class StreamWriter {
 public:
  void item(bool literal, std::uint8_t a, std::uint8_t b = 0) {
    if (bit_ == 0) {
      flag_at_ = out_.size();
      out_.push_back(0);
    }
    if (literal) out_[flag_at_] |= static_cast<std::uint8_t>(1u << bit_);
    out_.push_back(a);
    if (!literal) out_.push_back(b);
    bit_ = (bit_ + 1) % 8;
  }
  Bytes take() { return std::move(out_); }

 private:
  Bytes out_;
  std::size_t flag_at_ = 0;
  unsigned bit_ = 0;
};

struct Longest {
  std::vector<std::uint8_t> length;
  std::vector<std::uint16_t> ring_position;
};

// The true longest match at every position: every earlier position within the window whose
// three bytes equal these is tried.
Longest exact_longest(std::span<const std::uint8_t> data) {
  Bytes ext(kRingSize, 0);
  ext.insert(ext.end(), data.begin(), data.end());
  std::vector<std::int32_t> head(1 << 24, -1);
  std::vector<std::int32_t> prev(ext.size(), -1);
  auto key = [&](std::size_t p) { return ext[p] << 16 | ext[p + 1] << 8 | ext[p + 2]; };
  auto insert = [&](std::size_t p) {
    if (p + kMinMatch > ext.size()) return;
    prev[p] = head[key(p)];
    head[key(p)] = static_cast<std::int32_t>(p);
  };
  for (std::size_t p = 0; p < kRingSize; ++p) insert(p);
  Longest out{std::vector<std::uint8_t>(data.size()), std::vector<std::uint16_t>(data.size())};
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::size_t pos = kRingSize + i;
    const std::size_t limit = std::min(kMaxMatch, ext.size() - pos);
    std::size_t best = 0;
    std::size_t source = 0;
    if (limit >= kMinMatch) {
      for (std::int32_t c = head[key(pos)];
           c >= 0 && static_cast<std::size_t>(c) + kRingSize >= pos && best < limit; c = prev[c]) {
        std::size_t n = 0;
        while (n < limit && ext[c + n] == ext[pos + n]) ++n;
        if (n > best) {
          best = n;
          source = static_cast<std::size_t>(c);
        }
      }
    }
    insert(pos);
    out.length[i] = static_cast<std::uint8_t>(best >= kMinMatch ? best : 0);
    out.ring_position[i] = static_cast<std::uint16_t>((source + kRingStart) & kRingMask);
  }
  return out;
}

void put_match(StreamWriter& w, std::uint16_t position, std::size_t length) {
  const std::array<std::uint8_t, 2> bytes = match_bytes(position, length);
  w.item(false, bytes[0], bytes[1]);
}

Bytes exact_optimal(std::span<const std::uint8_t> data) {
  const Longest m = exact_longest(data);
  const std::size_t n = data.size();
  std::vector<std::uint64_t> cost(n + 1, 0);
  std::vector<std::size_t> step(n, 1);
  for (std::size_t i = n; i-- > 0;) {
    cost[i] = 9 + cost[i + 1];
    for (std::size_t l = kMinMatch; l <= m.length[i]; ++l) {
      if (17 + cost[i + l] < cost[i]) {
        cost[i] = 17 + cost[i + l];
        step[i] = l;
      }
    }
  }
  StreamWriter w;
  for (std::size_t i = 0; i < n; i += step[i]) {
    if (step[i] == 1) {
      w.item(true, data[i]);
    } else {
      put_match(w, m.ring_position[i], step[i]);
    }
  }
  return w.take();
}

Bytes greedy(std::span<const std::uint8_t> data) {
  const Longest m = exact_longest(data);
  StreamWriter w;
  for (std::size_t i = 0; i < data.size();) {
    if (m.length[i] == 0) {
      w.item(true, data[i++]);
    } else {
      put_match(w, m.ring_position[i], m.length[i]);
      i += m.length[i];
    }
  }
  return w.take();
}

// ---- speed ----

// Argument 0: the whole photo-and-drawing set; 1: its photographs; 2: its drawings.
void BM_Pack(benchmark::State& state) {
  const char* const kinds[] = {nullptr, "photo", "drawing"};
  const std::string kind = kinds[state.range(0)] ? kinds[state.range(0)] : "";
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const Sample& s : photo_and_drawing()) {
      if (!kind.empty() && kind != s.kind) continue;
      benchmark::DoNotOptimize(varnu::pack::lzss_pack(s.file));
      bytes += s.file.size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_Pack)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

constexpr const char* kPicturePrefix = "BM_PackPicture/";

void register_picture_benchmarks() {
  for (const auto* set : {&photo_and_drawing(), &worst_cases()}) {
    for (const Sample& s : *set) {
      benchmark::RegisterBenchmark((kPicturePrefix + s.name).c_str(), [&s](
                                                                          benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(varnu::pack::lzss_pack(s.file));
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.file.size()));
      })->Unit(benchmark::kMillisecond);
    }
  }
}

// The console's report, and the speed of each picture kept to name the slowest: the median where
// there are repetitions, else the single run.
class SlowestPicture : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    benchmark::ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      const bool usable = run.aggregate_name.empty() || run.aggregate_name == "median";
      const auto speed = run.counters.find("bytes_per_second");
      if (name.rfind(kPicturePrefix, 0) != 0 || !usable || speed == run.counters.end()) continue;
      // The median comes after the repetitions it sums up, so it is the one kept.
      speed_[name] = speed->second;
    }
  }

  void print() const {
    if (speed_.empty()) return;
    const auto slowest = std::min_element(speed_.begin(), speed_.end(),
                                          [](auto& a, auto& b) { return a.second < b.second; });
    std::printf("\nslowest picture: %s, %.1f MB/s\n",
                slowest->first.c_str() + std::string(kPicturePrefix).size(), slowest->second / 1e6);
  }

 private:
  std::map<std::string, double> speed_;
};

// ---- sizes ----

struct Totals {
  std::size_t input = 0, packer = 0, exact = 0, greedy = 0;
};

std::size_t checked_size(const Bytes& stream, const Bytes& file, const char* who) {
  if (varnu::pack::classic_lzss_decode(stream) != file) {
    std::fprintf(stderr, "%s: a stream does not decode back\n", who);
    std::exit(1);
  }
  return stream.size();
}

void print_row(const char* name, const Totals& t) {
  std::printf("%-8s %11zu %11zu %11zu %11zu %+8.3f%% %+8.3f%%\n", name, t.input, t.packer, t.exact,
              t.greedy, 100.0 * (double(t.packer) / double(t.exact) - 1),
              100.0 * (double(t.packer) / double(t.greedy) - 1));
}

// One row per kind of the set, then the set's total.
void report_sizes(const char* title, const std::vector<Sample>& set) {
  std::vector<std::pair<std::string, Totals>> rows;
  Totals all;
  double worst = 0;
  for (const Sample& s : set) {
    Totals one{s.file.size(), checked_size(varnu::pack::lzss_pack(s.file), s.file, "packer"),
               checked_size(exact_optimal(s.file), s.file, "exact"),
               checked_size(greedy(s.file), s.file, "greedy")};
    worst = std::max(worst, double(one.packer) / double(one.exact) - 1);
    auto row = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.first == s.kind; });
    if (row == rows.end()) row = rows.insert(rows.end(), {s.kind, Totals{}});
    for (Totals* t : {&all, &row->second}) {
      t->input += one.input;
      t->packer += one.packer;
      t->exact += one.exact;
      t->greedy += one.greedy;
    }
  }
  std::printf("\n%s set, bytes:\n%-8s %11s %11s %11s %11s %9s %9s\n", title, "kind", "input",
              "packer", "exact", "greedy", "vs exact", "vs greedy");
  for (const auto& [kind, totals] : rows) print_row(kind.c_str(), totals);
  print_row("all", all);
  std::printf("worst single picture: %+.3f%% against the exact optimum\n", 100 * worst);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  register_picture_benchmarks();
  SlowestPicture reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.print();
  report_sizes("photo-and-drawing", photo_and_drawing());
  report_sizes("worst cases", worst_cases());
  return 0;
}
