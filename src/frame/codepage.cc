// Code page 1252 in both directions. Only the exact table is used: a character outside it
// becomes '?', with no best-fit substitutes, so that what goes out as bytes reads back
// either as itself or visibly as '?'.
#include "narwick/frame/codepage.h"

#include <array>

namespace narwick {

namespace {

// Bytes 0x80..0x9F. The five bytes 1252 leaves undefined stand for the C1 controls of the
// same number, so every byte survives a trip through text.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

}  // namespace

char16_t AnsiToChar(Byte b) {
  return (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
}

Byte CharToAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<Byte>(c);
  // U+0080..U+009F: only the five undefined bytes map back; the others ('\x80' is the euro
  // sign's byte) have no character of their own here.
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == c) return static_cast<Byte>(0x80 + i);
  }
  return static_cast<Byte>('?');
}

std::vector<Byte> ToAnsi(StringView text) {
  std::vector<Byte> bytes(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = CharToAnsi(text[i]);
  return bytes;
}

String FromAnsi(std::span<const Byte> bytes) {
  String text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = AnsiToChar(bytes[i]);
  return text;
}

}  // namespace narwick
