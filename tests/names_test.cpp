// How archive paths become output names.
#include "archive/names.hpp"

#include <gtest/gtest.h>

namespace varnu {
namespace {

TEST(Names, BaseNameFromPath) {
  const struct {
    const char* path;
    const char* base;
  } cases[] = {
      {"title.arc", "title"},
      {"C:\\data\\title.arc", "title"},
      {"C:title.arc", "title"},
      {"\\title.arc", "title"},
      {"dir.old\\pics.arc", "dir"},  // the first dot of the whole path cuts it
      {".arc", ""},
      {"./title.arc", ""},
      {"a/b.arc", "a/b"},  // a slash is not a separator
      {"/data/title.arc", "/data/title"},
      {"noext", "noext"},
      {"", ""},
      {"a:b\\c:d.x.y", "d"},
      // 0x5C as the second byte of a double-byte character still separates.
      {"\x95\x5C"
       "abc.arc",
       "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(derive_base_name(c.path), c.base) << c.path;
  }
}

TEST(Names, LongPathsAreKeptWhole) {
  const std::string base(300, 'n');
  EXPECT_EQ(derive_base_name(base + ".arc"), base);
  EXPECT_EQ(output_name(base, 0), base + "_000.BMP");
}

TEST(Names, EntryNumbers) {
  const struct {
    int entry;
    const char* name;
  } cases[] = {
      {0, "t_000.BMP"},    {9, "t_009.BMP"},    {10, "t_010.BMP"},   {999, "t_999.BMP"},
      {1000, "t_A00.BMP"}, {1099, "t_A99.BMP"}, {1100, "t_B00.BMP"}, {3599, "t_Z99.BMP"},
  };
  for (const auto& c : cases) EXPECT_EQ(output_name("t", c.entry), c.name);
}

}  // namespace
}  // namespace varnu
