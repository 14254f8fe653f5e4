// A run of the converter that the page drives a few entries at a time, between drawing its
// pictures and answering for others. Each run has a state of its own, swapped in while it steps,
// so that several may be under way at once in the one module: an archive being shown, and
// another run finding what an earlier entry of some archive left behind.
#pragma once

#include <string>

#include "common/run_state.hpp"
#include "driver/extract.hpp"

namespace varnu::web {

// What a step says besides a failure's code (FAIL_*, 0 and up).
inline constexpr int kRunSucceeded = -1;
inline constexpr int kRunGoesOn = -2;

class PageRun {
 public:
  // `varnu path [x]` in the current directory, not yet begun.
  PageRun(const std::string& path, bool half_width);
  ~PageRun();
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;

  // Converts up to `entries` more entries. Returns kRunGoesOn while entries remain, then
  // kRunSucceeded or the code of the failure that ended the run, as the command line would.
  int step(int entries);

 private:
  std::string program_ = "varnu";
  std::string path_;
  std::string option_ = "x";
  bool half_width_;
  RunState state_;
  Walk walk_;
  bool begun_ = false;
  int outcome_ = kRunGoesOn;
};

}  // namespace varnu::web
