#include "pack/command/progress_line.hpp"

#include <algorithm>
#include <cstdio>

namespace varnu::pack {
namespace {

using Clock = std::chrono::steady_clock;

// A run shorter than this shows no line at all.
constexpr Clock::duration kShowAfter = std::chrono::seconds(1);
// Often enough to see it move, seldom enough not to flood a slow terminal.
constexpr Clock::duration kRedrawEvery = std::chrono::milliseconds(200);

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal)
    : terminal_(terminal), start_(Clock::now()), drawn_at_(start_) {}

void ProgressLine::progress(std::size_t written, std::size_t total, std::uint64_t bytes_read) {
  written_ = written;
  total_ = total;
  bytes_read_ = bytes_read;
  const Clock::time_point now = Clock::now();
  const bool due = drawn_width_ == 0 ? now - start_ >= kShowAfter : now - drawn_at_ >= kRedrawEvery;
  if (due || back_after_warning_) draw(now);
  back_after_warning_ = false;
}

void ProgressLine::warning(const PackMessage& message) {
  back_after_warning_ = drawn_width_ != 0;
  clear();
  terminal_ << message_line(message) << '\n' << std::flush;
}

void ProgressLine::clear() {
  if (drawn_width_ == 0) return;
  terminal_ << '\r' << std::string(drawn_width_, ' ') << '\r' << std::flush;
  drawn_width_ = 0;
}

void ProgressLine::draw(Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double megabytes = static_cast<double>(bytes_read_) / 1e6;
  // Under 80 columns, the narrowest console, so that the carriage return finds its start.
  char line[96];
  const int width =
      std::snprintf(line, sizeof line, "varnu-pack: %zu/%zu pictures, %.1f MB read, %.1f MB/s",
                    written_, total_, megabytes, seconds > 0 ? megabytes / seconds : 0.0);
  if (width <= 0) return;
  std::string text(line, std::min(static_cast<std::size_t>(width), sizeof line - 1));
  // Spaces over what a longer line before it left.
  if (text.size() < drawn_width_) text.append(drawn_width_ - text.size(), ' ');
  terminal_ << '\r' << text << std::flush;
  drawn_width_ = text.size();
  drawn_at_ = now;
}

}  // namespace varnu::pack
