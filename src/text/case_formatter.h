// Core of the case formatter on plain 16-bit text: the three case modes, the per-word rules
// of normal case, and the restoration of abbreviation capitals from the four fixed lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "narwick/frame/types.h"

namespace narwick::text {

// Which lists ApplyAbbreviationLists uses. The address list is the alternative to the misc
// list: it applies only when `misc` is off.
struct AbbreviationFlags {
  bool misc = true;
  bool address = true;
  bool canadian = true;
  bool us = true;
};

// The three case modes by their stored value; anything other than 2 or 3 is normal case.
inline constexpr std::int32_t kNormalCase = 1;
inline constexpr std::int32_t kUpperCase = 2;
inline constexpr std::int32_t kLowerCase = 3;

// A letter, for every rule of the formatter, is A-Z or a-z; nothing else (accented letters
// included) counts.
constexpr bool IsLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// A word cut into its leading non-letters, its core (first letter to last letter) and its
// trailing non-letters. A word without letters is all leading part with an empty core.
struct WordParts {
  StringView leading;
  StringView core;
  StringView trailing;
};
WordParts SplitWordPunctuation(StringView word);

// The formatter's result for `text` in the given mode.
String ModifyCase(StringView text, std::int32_t case_formating, const AbbreviationFlags& flags);

// Applies one list entry to `text` in place: whole text, start, end, then every
// non-overlapping occurrence, each matched ignoring case. The length never changes.
void ApplyAbbreviation(StringView entry, String& text);
// Applies every enabled list, entry by entry, in list order.
void ApplyAbbreviationLists(String& text, const AbbreviationFlags& flags);

}  // namespace narwick::text
