// Simple 1:1 case mapping of single 16-bit units, shared by UCase/LCase and text-equal.
#pragma once

#include "narwick/frame/types.h"

namespace narwick::frame {

char16_t UpperUnit(char16_t c);
char16_t LowerUnit(char16_t c);

// LCase(a) == LCase(b) without building either string.
bool EqualIgnoringCase(StringView a, StringView b);

}  // namespace narwick::frame
