#include "web/page_run.hpp"

#include <cstdio>
#include <utility>
#include <vector>

#include "driver/run.hpp"
#include "platform/end_run.hpp"
#include "web/conversion.hpp"

namespace varnu::web {
namespace {

// What a process's end would have closed.
void close_run_streams() {
  if (run.output != nullptr) {
    discard_open_output();
    std::fclose(run.output);
    run.output = nullptr;
  }
  if (run.input != nullptr) {
    std::fclose(run.input);
    run.input = nullptr;
  }
}

// The run's own state is the converter's while it steps.
class StateSwap {
 public:
  explicit StateSwap(RunState& state) : state_(state) { std::swap(run, state_); }
  ~StateSwap() { std::swap(run, state_); }
  StateSwap(const StateSwap&) = delete;
  StateSwap& operator=(const StateSwap&) = delete;

 private:
  RunState& state_;
};

}  // namespace

PageRun::PageRun(const std::string& path, bool half_width) : path_(path), half_width_(half_width) {}

PageRun::~PageRun() {
  const StateSwap swap(state_);
  close_run_streams();
}

int PageRun::step(int entries) {
  if (outcome_ != kRunGoesOn) return outcome_;
  const StateSwap swap(state_);
  try {
    if (!begun_) {
      std::vector<char*> argv = {program_.data(), path_.data()};
      if (half_width_) argv.push_back(option_.data());
      begun_ = true;
      walk_ = begin_run(static_cast<int>(argv.size()), argv.data());
    }
    for (int k = 0; k < entries; ++k) {
      if (!continue_run(walk_)) return outcome_ = kRunSucceeded;
    }
  } catch (const FailedRun& failed) {
    close_run_streams();
    return outcome_ = failed.code;
  }
  return kRunGoesOn;
}

}  // namespace varnu::web
