// The packer's limits as numbers, where a picture at the bound would take too long to make: the
// payload the 24-bit length field holds, and the picture count. Each refusal that --no-limits
// can lift says so, and only those.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "pack/entry/limits.hpp"

namespace {

using namespace varnu::pack;

TEST(PackLimitValues, MetExactlyRefusedOnePastLiftedOnlyWhereReadersAloneSetThem) {
  enum class Outcome { kPacked, kRefusedLiftable, kRefusedAlways };
  using Check = std::optional<std::string> (*)(std::size_t, bool);
  const Check payload = refuse_payload;
  const Check count = refuse_picture_count;
  struct Case {
    const char* name;
    Check check;
    std::size_t value;
    bool no_limits;
    Outcome outcome;
  };
  const std::vector<Case> cases = {
      {"payload 163838", payload, 163838, false, Outcome::kPacked},
      {"payload 163839", payload, 163839, false, Outcome::kRefusedLiftable},
      {"payload 163839, --no-limits", payload, 163839, true, Outcome::kPacked},
      {"payload 16 MiB - 1, --no-limits", payload, 0xFFFFFF, true, Outcome::kPacked},
      {"payload 16 MiB, --no-limits", payload, 0x1000000, true, Outcome::kRefusedAlways},
      {"payload 16 MiB", payload, 0x1000000, false, Outcome::kRefusedAlways},
      {"3600 pictures", count, 3600, false, Outcome::kPacked},
      {"3601 pictures", count, 3601, false, Outcome::kRefusedLiftable},
      {"3601 pictures, --no-limits", count, 3601, true, Outcome::kPacked},
      {"a million pictures, --no-limits", count, 1000000, true, Outcome::kPacked},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> refusal = c.check(c.value, c.no_limits);
    EXPECT_EQ(refusal.has_value(), c.outcome != Outcome::kPacked);
    if (!refusal) continue;
    EXPECT_NE(refusal->find(std::to_string(c.value)), std::string::npos) << *refusal;
    EXPECT_EQ(refusal->ends_with(" (--no-limits packs it anyway)"),
              c.outcome == Outcome::kRefusedLiftable)
        << *refusal;
  }
}

}  // namespace
