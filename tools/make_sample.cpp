// make-sample OUT.arc: writes the small archive shipped with the repository.
#include <cstdint>
#include <exception>
#include <iostream>
#include <vector>

#include "tools/archive.hpp"
#include "tools/picture.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-sample OUT.arc\n";
    return 2;
  }
  using namespace varnu::pack;
  using namespace varnu::tools;
  try {
    // An odd width makes the keyed picture exercise row padding.
    const std::vector<Picture> pictures = {
        draw_gradient(160, 120),
        draw_checkerboard(96, 96, 12),
        draw_green_keyed(101, 75),
        draw_sprite(7),
    };
    std::vector<std::vector<std::uint8_t>> payloads;
    for (const Picture& picture : pictures) payloads.push_back(pack_entry_payload(picture));
    write_file(argv[1], build_archive(payloads));
  } catch (const std::exception& e) {
    std::cerr << "make-sample: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
