// The line varnu-pack keeps on a terminal while it packs: pictures written of the total, MB of
// bitmaps read and the rate, redrawn in place with a carriage return. It appears only once a run
// has taken about a second, so quick runs print nothing more than before. A warning is printed on
// a line of its own in its place, and the line is drawn again below it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "pack/command/command_line.hpp"

namespace varnu::pack {

class ProgressLine : public PackObserver {
 public:
  // `terminal` is a terminal; the run starts now.
  explicit ProgressLine(std::ostream& terminal);

  void progress(std::size_t written, std::size_t total, std::uint64_t bytes_read) override;
  void warning(const PackMessage& message) override;
  // Takes the line off the terminal, leaving the cursor where it began.
  void clear();

 private:
  void draw(std::chrono::steady_clock::time_point now);

  std::ostream& terminal_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point drawn_at_;
  std::size_t drawn_width_ = 0;      // 0 while no line is shown
  bool back_after_warning_ = false;  // a warning took the line away: draw it at the next figures
  std::size_t written_ = 0;
  std::size_t total_ = 0;
  std::uint64_t bytes_read_ = 0;
};

}  // namespace varnu::pack
