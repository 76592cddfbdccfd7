// The VB conversion functions (CStr, CLng, ...), IsNumeric and IsDate over Variant values.
#include "narwick/frame/convert.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "date.h"
#include "default_value.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "number_text.h"

namespace narwick {

namespace {

using frame::NumberStatus;

[[noreturn]] void Fail(NumberStatus status) {
  Raise(status == NumberStatus::kOverflow ? err::kOverflow : err::kTypeMismatch);
}

void Check(NumberStatus status) {
  if (status != NumberStatus::kOk) Fail(status);
}

frame::ParsedNumber ParseOrRaise(StringView text) {
  frame::ParsedNumber number;
  Check(frame::ParseNumber(text, number));
  return number;
}

double TextToDouble(StringView text) {
  double value = 0;
  Check(frame::ParsedToDouble(ParseOrRaise(text), value));
  return value;
}

String Ascii(const char* text, std::size_t len) { return String(text, text + len); }

// Round half to even, then the target's range; NaN is out of every range.
template <class T>
T RoundToInteger(double x) {
  const double r = frame::RoundHalfEven(x);
  if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
        r <= static_cast<double>(std::numeric_limits<T>::max()))) {
    Raise(err::kOverflow);
  }
  return static_cast<T>(r);
}

template <class T>
T NarrowInteger(std::int64_t v) {
  if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) Raise(err::kOverflow);
  return static_cast<T>(v);
}

// A Currency's scaled value rounded half to even to a whole number.
std::int64_t CurrencyToWhole(std::int64_t scaled) {
  std::int64_t q = scaled / 10000;
  const std::int64_t r = scaled % 10000;
  const std::int64_t abs_r = r < 0 ? -r : r;
  const std::int64_t step = scaled < 0 ? -1 : 1;
  if (abs_r > 5000 || (abs_r == 5000 && (q & 1) != 0)) q += step;
  return q;
}

std::int64_t DoubleToCurrency(double x) {
  const double r = frame::RoundHalfEven(x * 10000.0);
  // 2^63 is exactly representable; the valid range is [-2^63, 2^63).
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) Raise(err::kOverflow);
  return static_cast<std::int64_t>(r);
}

// Integer targets: `width` is 8 (Byte, unsigned), 16 or 32 bits.
template <class T>
T ToInteger(const Variant& v, int width) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty:
      return 0;
    case VbVarType::vbNull:
      Raise(err::kInvalidUseOfNull);
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
      return NarrowInteger<T>(v.Int());
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return RoundToInteger<T>(v.Real());
    case VbVarType::vbCurrency:
      return NarrowInteger<T>(CurrencyToWhole(v.Int()));
    case VbVarType::vbString: {
      const frame::ParsedNumber number = ParseOrRaise(v.Str());
      if (number.radix) {
        std::int64_t bits = 0;
        Check(frame::RadixToSigned(number, width, bits));
        return NarrowInteger<T>(bits);
      }
      double value = 0;
      Check(frame::ParsedToDouble(number, value));
      return RoundToInteger<T>(value);
    }
    case VbVarType::vbObject:
      return ToInteger<T>(frame::DefaultValueOf(v), width);
    default:
      Raise(err::kTypeMismatch);
  }
}

bool EqualsNoCase(StringView text, const char16_t* word) {
  std::size_t i = 0;
  for (; word[i] != 0; ++i) {
    if (i >= text.size()) return false;
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    char16_t w = word[i];
    if (w >= u'A' && w <= u'Z') w = static_cast<char16_t>(w + 32);
    if (c != w) return false;
  }
  return i == text.size();
}

// The number an Error value stands for in text: VB errors (0x800A0000 + n) and the missing
// argument (which VB reports as error 448) by their VB number, other codes as they are.
std::int64_t ErrorNumber(std::int32_t scode) {
  const std::uint32_t u = static_cast<std::uint32_t>(scode);
  if (scode == kParamNotFound) return 448;
  if ((u & 0xFFFF0000u) == 0x800A0000u) return u & 0xFFFFu;
  return scode;
}

}  // namespace

String DoubleToText(double value) {
  char buf[frame::kRealTextMax];
  return Ascii(buf, frame::FormatReal(value, 15, buf));
}

String SingleToText(float value) {
  char buf[frame::kRealTextMax];
  return Ascii(buf, frame::FormatReal(static_cast<double>(value), 7, buf));
}

String CStr(const Variant& v) {
  char buf[frame::kRealTextMax];
  switch (v.VarType()) {
    case VbVarType::vbEmpty:
      return String();
    case VbVarType::vbNull:
      Raise(err::kInvalidUseOfNull);
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
      return Ascii(buf, frame::FormatInteger(v.Int(), buf));
    case VbVarType::vbBoolean:
      return v.Int() != 0 ? String(u"True") : String(u"False");
    case VbVarType::vbSingle:
      return SingleToText(static_cast<float>(v.Real()));
    case VbVarType::vbDouble:
      return DoubleToText(v.Real());
    case VbVarType::vbCurrency:
      return Ascii(buf, frame::FormatCurrency(v.Int(), buf));
    case VbVarType::vbDate:
      return DateToText(v.Real());
    case VbVarType::vbString:
      return v.Str();
    case VbVarType::vbError: {
      String text = u"Error ";
      std::size_t len = frame::FormatInteger(ErrorNumber(static_cast<std::int32_t>(v.Int())), buf);
      text.append(buf, buf + len);
      return text;
    }
    case VbVarType::vbObject:
      return CStr(frame::DefaultValueOf(v));
    default:
      Raise(err::kTypeMismatch);
  }
}

Long CLng(const Variant& v) { return ToInteger<Long>(v, 32); }
Integer CInt(const Variant& v) { return ToInteger<Integer>(v, 16); }
Byte CByte(const Variant& v) { return ToInteger<Byte>(v, 8); }

Double CDbl(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty:
      return 0.0;
    case VbVarType::vbNull:
      Raise(err::kInvalidUseOfNull);
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
      return static_cast<double>(v.Int());
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return v.Real();
    case VbVarType::vbCurrency:
      return static_cast<double>(v.Int()) / 10000.0;
    case VbVarType::vbString:
      return TextToDouble(v.Str());
    case VbVarType::vbObject:
      return CDbl(frame::DefaultValueOf(v));
    default:
      Raise(err::kTypeMismatch);
  }
}

Single CSng(const Variant& v) {
  if (v.VarType() == VbVarType::vbSingle) return static_cast<float>(v.Real());
  const double d = CDbl(v);
  if (std::fabs(d) > static_cast<double>(FLT_MAX)) Raise(err::kOverflow);
  return static_cast<float>(d);
}

Currency CCur(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty:
      return Currency{0};
    case VbVarType::vbNull:
      Raise(err::kInvalidUseOfNull);
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
      return Currency{v.Int() * 10000};
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return Currency{DoubleToCurrency(v.Real())};
    case VbVarType::vbCurrency:
      return Currency{v.Int()};
    case VbVarType::vbString: {
      std::int64_t scaled = 0;
      Check(frame::ParsedToCurrency(ParseOrRaise(v.Str()), scaled));
      return Currency{scaled};
    }
    case VbVarType::vbObject:
      return CCur(frame::DefaultValueOf(v));
    default:
      Raise(err::kTypeMismatch);
  }
}

VariantBool CBool(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty:
      return False;
    case VbVarType::vbNull:
      Raise(err::kInvalidUseOfNull);
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
    case VbVarType::vbCurrency:
      return v.Int() != 0;
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return v.Real() != 0.0;
    case VbVarType::vbString: {
      const String& text = v.Str();
      if (EqualsNoCase(text, u"True") || EqualsNoCase(text, u"#TRUE#")) return True;
      if (EqualsNoCase(text, u"False") || EqualsNoCase(text, u"#FALSE#")) return False;
      return TextToDouble(text) != 0.0;
    }
    case VbVarType::vbObject:
      return CBool(frame::DefaultValueOf(v));
    default:
      Raise(err::kTypeMismatch);
  }
}

Double CDate(const Variant& v) {
  double serial = 0;
  switch (v.VarType()) {
    case VbVarType::vbDate:
      return v.Real();
    case VbVarType::vbString:
      return DateSerialFromText(v.Str());
    case VbVarType::vbObject:
      return CDate(frame::DefaultValueOf(v));
    default:
      serial = CDbl(v);  // Empty 0, True -1, Null 94, others 13
      break;
  }
  if (!frame::IsSerialInRange(serial)) Raise(err::kOverflow);
  return serial;
}

Variant CVarType(const Variant& v, VbVarType kind) {
  switch (kind) {
    case VbVarType::vbEmpty:
      return Variant();
    case VbVarType::vbNull:
      return Variant::Null();
    case VbVarType::vbInteger:
      return Variant(CInt(v));
    case VbVarType::vbLong:
      return Variant::FromLong(CLng(v));
    case VbVarType::vbSingle:
      return Variant(CSng(v));
    case VbVarType::vbDouble:
      return Variant(CDbl(v));
    case VbVarType::vbCurrency:
      return Variant(CCur(v));
    case VbVarType::vbDate:
      return Variant(Date{CDate(v)});
    case VbVarType::vbString:
      return Variant(CStr(v));
    case VbVarType::vbBoolean:
      return Variant(CBool(v));
    case VbVarType::vbByte:
      return Variant(CByte(v));
    case VbVarType::vbVariant:
      return v;
    case VbVarType::vbObject:
      // An Empty argument for an object parameter is Nothing.
      if (v.IsObject()) return v;
      if (v.IsEmpty()) return Variant(Object());
      Raise(err::kTypeMismatch);
    case VbVarType::vbError:
      if (v.VarType() == VbVarType::vbError) return v;
      Raise(err::kTypeMismatch);
    default:
      // Arrays pass only as arrays of the same element kind.
      if (v.IsArray() && v.VarType() == kind) return v;
      Raise(err::kTypeMismatch);
  }
}

VariantBool IsNumeric(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty:
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbCurrency:
      return True;
    case VbVarType::vbString: {
      frame::ParsedNumber number;
      double value = 0;
      return frame::ParseNumber(v.Str(), number) == NumberStatus::kOk &&
             frame::ParsedToDouble(number, value) == NumberStatus::kOk;
    }
    case VbVarType::vbObject:
      // The default value decides; an object without one (or Nothing) is not numeric.
      try {
        return IsNumeric(frame::DefaultValueOf(v));
      } catch (const RuntimeError&) {
        return False;
      }
    default:  // Null, Date, Error, arrays
      return False;
  }
}

VariantBool IsDate(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbDate:
      return True;
    case VbVarType::vbString: {
      double serial = 0;
      return frame::TryDateFromText(v.Str(), 0, serial);
    }
    case VbVarType::vbObject:
      try {
        return IsDate(frame::DefaultValueOf(v));
      } catch (const RuntimeError&) {
        return False;
      }
    default:
      return False;
  }
}

}  // namespace narwick
