// varnu-floor MANIFEST: writes the files a conversion would, with the same names and sizes,
// straight from a zero-filled buffer. Nothing is read or decoded, so its time is the least any
// converter of the same archive must spend: create, write, close, file after file.
//
// MANIFEST has one "name size" a line, as make-corpus writes them.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: varnu-floor MANIFEST\n";
    return 2;
  }
  std::ifstream manifest(argv[1]);
  if (!manifest) {
    std::cerr << "varnu-floor: cannot read " << argv[1] << '\n';
    return 1;
  }
  std::vector<std::pair<std::string, std::uint64_t>> files;
  std::uint64_t largest = 0;
  std::string name;
  std::uint64_t size = 0;
  while (manifest >> name >> size) {
    files.emplace_back(name, size);
    if (size > largest) largest = size;
  }

  // The same stdio calls as the converter, so that both pay the same library costs.
  const std::vector<std::uint8_t> zeros(largest, 0);
  for (const auto& [path, bytes] : files) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
      std::cerr << "varnu-floor: cannot create " << path << '\n';
      return 1;
    }
    const bool written = std::fwrite(zeros.data(), 1, bytes, out) == bytes;
    if (std::fclose(out) != 0 || !written) {
      std::cerr << "varnu-floor: cannot write " << path << '\n';
      return 1;
    }
  }
  return 0;
}
