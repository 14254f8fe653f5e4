// make-corpus [--literal] OUT.arc N [seed]: writes an archive of N pictures of about 640x480, of
// every kind the converter meets, and beside it the names and sizes of the files the converter
// will write for it: OUT.arc.plain and OUT.arc.half, one "name size" a line, for varnu-floor; and
// what each picture shows, OUT.arc.kinds, one "name kind" a line (gradient, line-art, noise,
// checkerboard, green-keyed), for the scripts that edit one of a kind. With --literal, every
// stream is all literals, as a packer that does not search writes it: no entry is then what
// varnu-pack would make of its picture.
//
// The names are those the program gives when run as `varnu OUT.arc` from OUT.arc's own folder.
// The same seed gives the same archive, and a longer archive begins with a shorter one's entries.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "archive/names.hpp"
#include "bench/output_sizes.hpp"
#include "tools/archive.hpp"
#include "tools/picture.hpp"

namespace {

using varnu::tools::Picture;

constexpr std::uint16_t kWidth = 640;
constexpr std::uint16_t kHeight = 480;
// Noise is the slowest to pack; a pool of distinct seeds keeps a large corpus quick to make
// while still giving the decoder pictures it has not just seen.
constexpr std::uint32_t kNoiseSeeds = 24;

// A fixed generator, so that a seed names the same corpus everywhere.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint32_t below(std::uint32_t bound) {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32) % bound;
  }

 private:
  std::uint64_t state_;
};

enum class Kind { kGradient, kLineArt, kNoise, kCheckerboard, kGreenKeyed };

// What one entry shows: the kind, its size and the one parameter that varies within a kind.
using Recipe = std::tuple<Kind, std::uint16_t, std::uint32_t>;

Recipe choose(Rng& rng) {
  const std::uint32_t roll = rng.below(100);
  // A few odd widths keep row padding in play for both writers.
  const std::uint32_t width_roll = rng.below(100);
  const std::uint16_t width = width_roll < 3 ? kWidth - 1 : width_roll < 6 ? kWidth + 1 : kWidth;
  const std::uint32_t parameter = rng.below(1u << 16);
  if (roll < 10) return {Kind::kGreenKeyed, width, 0};
  if (roll < 30) return {Kind::kGradient, width, 0};
  if (roll < 50) return {Kind::kLineArt, width, 0};
  if (roll < 75) return {Kind::kNoise, width, parameter % kNoiseSeeds};
  return {Kind::kCheckerboard, width, 4 + parameter % 61};
}

Picture draw(const Recipe& recipe) {
  const auto [kind, width, parameter] = recipe;
  using namespace varnu::pack;
  using namespace varnu::tools;
  switch (kind) {
    case Kind::kGradient:
      return draw_gradient(width, kHeight);
    case Kind::kLineArt:
      return draw_line_art(width, kHeight);
    case Kind::kNoise:
      return draw_noise(width, kHeight, parameter);
    case Kind::kCheckerboard:
      return draw_checkerboard(width, kHeight, static_cast<std::uint16_t>(parameter));
    case Kind::kGreenKeyed:
      return draw_green_keyed(width, kHeight);
  }
  throw std::logic_error("unknown picture kind");
}

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kGradient:
      return "gradient";
    case Kind::kLineArt:
      return "line-art";
    case Kind::kNoise:
      return "noise";
    case Kind::kCheckerboard:
      return "checkerboard";
    case Kind::kGreenKeyed:
      return "green-keyed";
  }
  throw std::logic_error("unknown picture kind");
}

// Groups of eight literals, each after a flag byte of eight ones.
std::vector<std::uint8_t> literal_stream(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k < data.size(); ++k) {
    if (k % 8 == 0) out.push_back(0xFF);
    out.push_back(data[k]);
  }
  return out;
}

struct Packed {
  std::vector<std::uint8_t> payload;
  std::uint64_t plain_size = 0;
  std::uint64_t half_size = 0;
};

// The part of `path` the program keeps for the names when run from the archive's folder.
std::string file_name(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename Value>
void write_manifest(const std::string& path, const std::string& base,
                    const std::vector<Value>& values) {
  std::ofstream out(path, std::ios::trunc);
  for (std::size_t entry = 0; entry < values.size(); ++entry) {
    out << varnu::output_name(base, static_cast<int>(entry)) << ' ' << values[entry] << '\n';
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  const bool literal = argc > 1 && std::string(argv[1]) == "--literal";
  if (literal) {
    --argc;
    ++argv;
  }
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: make-corpus [--literal] OUT.arc N [seed]\n";
    return 2;
  }
  const std::string out_path = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  if (count < 1 || count > varnu::kMaxEntries) {
    std::cerr << "make-corpus: N must be 1 to " << varnu::kMaxEntries << '\n';
    return 2;
  }
  try {
    Rng rng(seed);
    // Pictures that come up again are packed once.
    std::map<Recipe, Packed> packed;
    std::vector<std::vector<std::uint8_t>> payloads;
    std::vector<std::uint64_t> plain_sizes;
    std::vector<std::uint64_t> half_sizes;
    std::vector<std::string> kinds;
    for (long entry = 0; entry < count; ++entry) {
      const Recipe recipe = choose(rng);
      kinds.push_back(kind_name(std::get<0>(recipe)));
      Packed& slot = packed[recipe];
      if (slot.payload.empty()) {
        const Picture picture = draw(recipe);
        slot.payload = literal ? literal_stream(varnu::pack::encode_bmp(picture))
                               : varnu::tools::pack_entry_payload(picture);
        slot.plain_size = varnu::pack::encode_bmp(picture).size();
        slot.half_size = varnu::bench::half_width_file_size(picture.width, picture.height);
      }
      payloads.push_back(slot.payload);
      plain_sizes.push_back(slot.plain_size);
      half_sizes.push_back(slot.half_size);
    }
    varnu::tools::write_file(out_path, varnu::tools::build_archive(payloads));
    const std::string base = varnu::derive_base_name(file_name(out_path));
    write_manifest(out_path + ".plain", base, plain_sizes);
    write_manifest(out_path + ".half", base, half_sizes);
    write_manifest(out_path + ".kinds", base, kinds);
  } catch (const std::exception& e) {
    std::cerr << "make-corpus: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
