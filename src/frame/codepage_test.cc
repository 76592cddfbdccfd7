// Code page 1252: the 0x80..0x9F table, all 256 bytes round trip, and everything else is '?'.
#include <gtest/gtest.h>

#include <vector>

#include "narwick/frame/codepage.h"

namespace narwick {
namespace {

TEST(CodePageTest, BytesToCharacters) {
  const char16_t high[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  for (int b = 0; b < 256; ++b) {
    const bool in_table = b >= 0x80 && b <= 0x9F;
    EXPECT_EQ(AnsiToChar(static_cast<Byte>(b)), in_table ? high[b - 0x80] : char16_t(b)) << b;
  }
  std::vector<Byte> bytes(256);
  for (int b = 0; b < 256; ++b) bytes[static_cast<std::size_t>(b)] = static_cast<Byte>(b);
  const String text = FromAnsi(bytes);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(ToAnsi(text), bytes);
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  // Exactly 256 characters have a byte; each of the others gives '?' (no best fit), among
  // them U+0080, whose byte is the euro sign's, and lone surrogates.
  int mapped = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const char16_t ch = static_cast<char16_t>(c);
    const Byte b = CharToAnsi(ch);
    if (AnsiToChar(b) == ch) {
      ++mapped;
    } else {
      EXPECT_EQ(b, '?') << std::hex << static_cast<unsigned>(c);
    }
  }
  EXPECT_EQ(mapped, 256);
  EXPECT_EQ(ToAnsi(u"a\u20ACb\u4E2D\u0080"), (std::vector<Byte>{'a', 0x80, 'b', '?', '?'}));
  EXPECT_TRUE(ToAnsi(u"").empty());
}

}  // namespace
}  // namespace narwick
