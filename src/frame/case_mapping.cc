// UCase / LCase: ICU's simple case mapping applied to each 16-bit unit on its own, so the
// length never changes. Surrogate halves map to themselves; a letter whose simple mapping
// would leave the 16-bit range stays as it is.
#include "case_mapping.h"

#include <unicode/uchar.h>

#include "narwick/frame/convert.h"

namespace narwick::frame {

char16_t UpperUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  const UChar32 mapped = u_toupper(static_cast<UChar32>(c));
  return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : c;
}

char16_t LowerUnit(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  const UChar32 mapped = u_tolower(static_cast<UChar32>(c));
  return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : c;
}

bool EqualIgnoringCase(StringView a, StringView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && LowerUnit(a[i]) != LowerUnit(b[i])) return false;
  }
  return true;
}

}  // namespace narwick::frame

namespace narwick {

String UCase(StringView text) {
  String out(text);
  for (char16_t& c : out) c = frame::UpperUnit(c);
  return out;
}

String LCase(StringView text) {
  String out(text);
  for (char16_t& c : out) c = frame::LowerUnit(c);
  return out;
}

}  // namespace narwick
