// The single-byte code page 1252 used wherever text turns into bytes one character per byte.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "narwick/frame/types.h"

namespace narwick {

// The character a byte stands for. All 256 bytes map (0x81, 0x8D, 0x8F, 0x90, 0x9D to the
// C1 controls of the same number), so bytes round-trip through text.
char16_t AnsiToChar(Byte b);
// The byte for a character; '?' for characters the code page cannot represent.
Byte CharToAnsi(char16_t c);

std::vector<Byte> ToAnsi(StringView text);
String FromAnsi(std::span<const Byte> bytes);

}  // namespace narwick
