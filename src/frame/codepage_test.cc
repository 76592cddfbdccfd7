// Code page 1252: the 0x80..0x9F table, all 256 bytes round trip, and everything else is '?'.
// UTF-8: valid text against a plain encoder, and any bytes round trip.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "narwick/frame/codepage.h"
#include "narwick/frame/variant.h"

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

// Plain encoders of one code point, for the UTF-8 tests.
void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return;
  }
  const int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  out += static_cast<char>(((0xFF00u >> (extra + 1)) & 0xFF) | (cp >> (6 * extra)));
  for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}
void AppendUtf16(String& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  }
}

TEST(Utf8Test, ValidTextMatchesAPlainCoderAndAnyBytesRoundTrip) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string utf8;
    String utf16;
    for (int n = static_cast<int>(rng() % 12); n > 0; --n) {
      static constexpr char32_t kTops[] = {0x80, 0x800, 0x10000, 0x110000};
      auto cp = static_cast<char32_t>(rng() % kTops[rng() % 4]);
      if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;  // surrogates are no characters
      AppendUtf8(utf8, cp);
      AppendUtf16(utf16, cp);
    }
    ASSERT_EQ(FromUtf8(utf8), utf16);
    ASSERT_EQ(ToUtf8(utf16), utf8);
    std::string bytes(rng() % 12, '\0');
    for (char& b : bytes) b = static_cast<char>(rng() % 4 == 0 ? 0x80 | (rng() & 0x3F) : rng());
    ASSERT_EQ(ToUtf8(FromUtf8(bytes)), bytes);
  }
  // Bytes that are not UTF-8 stand for themselves.
  const struct {
    const char* utf8;
    String text;
  } cases[] = {
      {"caf\xE9", u"caf\xDCE9"},  // Latin-1
      {"\xC0\xAF", u"\xDCC0\xDCAF"},  // overlong
      {"\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // past U+10FFFF
      {"\xF0\x9F\x98", u"\xDCF0\xDC9F\xDC98"},  // cut short
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},  // a surrogate alone
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FromUtf8(c.utf8), c.text) << c.utf8;
    EXPECT_EQ(ToUtf8(c.text), c.utf8) << c.utf8;
  }
}

}  // namespace
}  // namespace narwick
