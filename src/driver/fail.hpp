// The failure routine and its messages.
#pragma once

#include <cstdint>
#include <span>

namespace varnu {

inline constexpr int FAIL_USAGE = 0;          // no archive path given
inline constexpr int FAIL_OPEN_INPUT = 1;     // the archive cannot be read
inline constexpr int FAIL_CREATE_OUTPUT = 2;  // an output file cannot be created or written
inline constexpr int FAIL_CONVERT = 3;        // the archive cannot be converted

// The exit status of every failure.
inline constexpr int kFailureStatus = 1;

// The bytes of the message for `code`, without the line end. The Japanese messages are fixed
// Shift_JIS bytes, so they read the same whatever the console's encoding.
std::span<const std::uint8_t> failure_message(int code);

// Prints the message for `code` as one line ending in CR LF on standard output and ends the
// process with status 1; ending it writes out and closes whatever stream is still open.
[[noreturn]] void fail(int code);

}  // namespace varnu
