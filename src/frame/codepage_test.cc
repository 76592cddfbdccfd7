// Code page 1252: the 0x80..0x9F table, all 256 bytes round trip, and everything else is '?'.
#include <gtest/gtest.h>

#include <vector>

#include "narwick/frame/codepage.h"

namespace narwick {
namespace {

TEST(CodePageTest, HighControlRangeTable) {
  const char16_t expected[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  for (int b = 0x80; b <= 0x9F; ++b) EXPECT_EQ(AnsiToChar(static_cast<Byte>(b)), expected[b - 0x80]) << b;
  EXPECT_EQ(AnsiToChar(0x41), u'A');
  EXPECT_EQ(AnsiToChar(0x00), u'\0');
  EXPECT_EQ(AnsiToChar(0xA0), u'\u00A0');
  EXPECT_EQ(AnsiToChar(0xFF), u'\u00FF');
}

TEST(CodePageTest, AllBytesRoundTrip) {
  std::vector<Byte> bytes(256);
  for (int b = 0; b < 256; ++b) bytes[static_cast<std::size_t>(b)] = static_cast<Byte>(b);
  const String text = FromAnsi(bytes);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(ToAnsi(text), bytes);
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  // Exactly 256 characters have a byte; each of the others gives '?' (no best fit).
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
  EXPECT_EQ(CharToAnsi(u'\u0080'), '?');  // 0x80 is the euro sign's byte
  EXPECT_EQ(CharToAnsi(u'\u20AC'), 0x80);
  EXPECT_EQ(CharToAnsi(u'\u0100'), '?');
  EXPECT_EQ(CharToAnsi(u'\u2002'), '?');
  EXPECT_EQ(CharToAnsi(static_cast<char16_t>(0xD83D)), '?');
  EXPECT_EQ(ToAnsi(u"a\u20ACb\u4E2D"), (std::vector<Byte>{'a', 0x80, 'b', '?'}));
  EXPECT_TRUE(ToAnsi(u"").empty());
}

}  // namespace
}  // namespace narwick
