// varnu-pack OUT.arc IN1 [IN2 ...]: packs files, byte for byte, into an archive.
#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "tools/archive.hpp"
#include "tools/lzss_pack.hpp"

namespace {

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
  if (file.bad()) throw std::runtime_error("cannot read " + path);
  return bytes;
}

}  // namespace

int varnu::program_main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: varnu-pack OUT.arc IN1.bmp [IN2.bmp ...]\n";
    return 2;
  }
  try {
    std::vector<std::vector<std::uint8_t>> payloads;
    for (int i = 2; i < argc; ++i) {
      payloads.push_back(varnu::tools::lzss_pack(read_file(argv[i])));
      if (payloads.back().size() > varnu::tools::kMaxPayloadSize) {
        throw std::runtime_error(std::string(argv[i]) + " packs to " +
                                 std::to_string(payloads.back().size()) +
                                 " bytes, more than an entry can hold (16777215)");
      }
    }
    varnu::tools::write_file(argv[1], varnu::tools::build_archive(payloads));
  } catch (const std::exception& e) {
    std::cerr << "varnu-pack: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
