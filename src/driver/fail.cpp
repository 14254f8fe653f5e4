#include "driver/fail.hpp"

#include <cstdio>
#include <cstdlib>

namespace varnu {
namespace {

constexpr std::uint8_t kUsage[] = {'v', 'a', 'r', 'n', 'u', ' ', '<', 'f', 'i', 'l', 'e', 'n', 'a',
                                   'm', 'e', '>', ' ', '[', 'o', 'p', 't', 'i', 'o', 'n', ']'};
// "The given file cannot be read."
constexpr std::uint8_t kCannotRead[] = {0x8E, 0x77, 0x92, 0xE8, 0x83, 0x74, 0x83, 0x40, 0x83,
                                        0x43, 0x83, 0x8B, 0x82, 0xF0, 0x93, 0xC7, 0x82, 0xDF,
                                        0x82, 0xDC, 0x82, 0xB9, 0x82, 0xF1, 0x81, 0x42};
// "The file cannot be created."
constexpr std::uint8_t kCannotCreate[] = {0x83, 0x74, 0x83, 0x40, 0x83, 0x43, 0x83, 0x8B, 0x82,
                                          0xAA, 0x8D, 0xEC, 0x90, 0xAC, 0x82, 0xC5, 0x82, 0xAB,
                                          0x82, 0xDC, 0x82, 0xB9, 0x82, 0xF1, 0x81, 0x42};
// "The given file cannot be converted."
constexpr std::uint8_t kCannotConvert[] = {
    0x8E, 0x77, 0x92, 0xE8, 0x83, 0x74, 0x83, 0x40, 0x83, 0x43, 0x83, 0x8B, 0x82, 0xCD, 0x95,
    0xCF, 0x8A, 0xB7, 0x82, 0xC5, 0x82, 0xAB, 0x82, 0xDC, 0x82, 0xB9, 0x82, 0xF1, 0x81, 0x42};

constexpr std::uint8_t kLineEnd[] = {'\r', '\n'};

}  // namespace

std::span<const std::uint8_t> failure_message(int code) {
  switch (code) {
    case FAIL_USAGE:
      return kUsage;
    case FAIL_OPEN_INPUT:
      return kCannotRead;
    case FAIL_CREATE_OUTPUT:
      return kCannotCreate;
    default:
      return kCannotConvert;
  }
}

void fail(int code) {
  const std::span<const std::uint8_t> message = failure_message(code);
  std::fwrite(message.data(), 1, message.size(), stdout);
  std::fwrite(kLineEnd, 1, sizeof kLineEnd, stdout);
  std::fflush(stdout);
  std::exit(kFailureStatus);
}

}  // namespace varnu
