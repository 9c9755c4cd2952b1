#include "tools/base/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

#include "tools/base/file_io.h"
#include "tools/base/fixed_string.h"

namespace tools {
namespace {

TEST(Text, IntegersReadAsAtoiDoes) {
  EXPECT_EQ(parse_int("42"), 42);
  EXPECT_EQ(parse_int("  -7xyz"), -7);
  EXPECT_EQ(parse_int("+3"), 3);
  EXPECT_EQ(parse_int("12:"), 12);  // "*MESH_FACE 12:" index
  EXPECT_EQ(parse_int(""), 0);
  EXPECT_EQ(parse_int("abc"), 0);
  EXPECT_EQ(parse_int("99999999999999999999"), std::numeric_limits<int>::max());
  EXPECT_EQ(parse_int("-99999999999999999999"), std::numeric_limits<int>::min());
}

TEST(Text, RealsReadWithoutRegardToLocale) {
  EXPECT_DOUBLE_EQ(parse_real("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(parse_real("-0.25e2"), -25.0);
  EXPECT_DOUBLE_EQ(parse_real("+2"), 2.0);
  EXPECT_DOUBLE_EQ(parse_real("3.5abc"), 3.5);
  EXPECT_DOUBLE_EQ(parse_real("1.#QNAN0"), 1.0);  // what some exporters write for NaN
  EXPECT_DOUBLE_EQ(parse_real("nan"), 0.0);
  EXPECT_DOUBLE_EQ(parse_real("inf"), 0.0);
  EXPECT_DOUBLE_EQ(parse_real("1e999"), 0.0);
  EXPECT_DOUBLE_EQ(parse_real("x"), 0.0);
  // A comma-decimal locale must not change what is read.
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
    EXPECT_DOUBLE_EQ(parse_real("1.5"), 1.5);
    std::setlocale(LC_ALL, "C");
  }
}

TEST(Text, CaseInsensitiveComparison) {
  EXPECT_TRUE(iequals("*MESH_VERTEX", "*mesh_vertex"));
  EXPECT_FALSE(iequals("*MESH", "*MESH_"));
  EXPECT_LT(icompare("~01 a", "~01 B"), 0);
  EXPECT_EQ(icompare("ABC", "abc"), 0);
  EXPECT_LT(icompare("ab", "abc"), 0);
  // Case-insensitive order compares the lower-case forms: '_' (0x5F) sorts
  // before every letter, though it sorts after upper case by bytes.
  EXPECT_LT(icompare("_", "A"), 0);
  // Byte order puts upper case first.
  EXPECT_LT(bytecompare("B", "a"), 0);
  EXPECT_GT(bytecompare("\xE4", "z"), 0);  // bytes compare unsigned
  EXPECT_TRUE(istarts_with("bip01 Spine", "Bip"));
}

TEST(Text, FilePartAcceptsBothSeparators) {
  EXPECT_EQ(file_part("C:\\maps\\wall.tga"), "wall.tga");
  EXPECT_EQ(file_part("/maps/wall.tga"), "wall.tga");
  EXPECT_EQ(file_part("wall.tga"), "wall.tga");
  EXPECT_EQ(bare_name("/x/tankh.v2.3da"), "tankh");
}

TEST(FixedString, CutsAsAFixedArrayWould) {
  FixedString<8> s("0123456789");
  EXPECT_EQ(s.view(), "0123456");
  EXPECT_EQ(s.bytes()[7], '\0');
  s = "ab";
  EXPECT_EQ(s.view(), "ab");
  EXPECT_EQ(s.bytes()[2], '\0');
  EXPECT_EQ(s.bytes()[6], '\0');  // no stale bytes left behind
  s = std::string_view("x\0y", 3);
  EXPECT_EQ(s.view(), "x");
}

}  // namespace
}  // namespace tools
