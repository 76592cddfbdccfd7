// The Variant ordering and text-equal. Sorts call Compare for every pair, so the common
// cases (two strings, two numbers of one kind) are decided without conversions or copies.
#include <compare>

#include "case_mapping.h"
#include "default_value.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick {

namespace {

template <class T>
std::partial_ordering Order(T a, T b) {
  return a <=> b;
}

// Kinds that compare as whole numbers: Empty (0), Integer, Long, Byte, Boolean (-1 / 0).
bool IsWhole(VbVarType t) {
  return t == VbVarType::vbEmpty || t == VbVarType::vbInteger || t == VbVarType::vbLong ||
         t == VbVarType::vbByte || t == VbVarType::vbBoolean;
}

bool IsNumericKind(VbVarType t) {
  return IsWhole(t) || t == VbVarType::vbSingle || t == VbVarType::vbDouble || t == VbVarType::vbDate ||
         t == VbVarType::vbCurrency;
}

std::int64_t WholeValue(const Variant& v, VbVarType t) { return t == VbVarType::vbEmpty ? 0 : v.Int(); }

double RealValue(const Variant& v, VbVarType t) {
  switch (t) {
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return v.Real();
    case VbVarType::vbCurrency:
      return static_cast<double>(v.Int()) / 10000.0;
    default:
      return static_cast<double>(WholeValue(v, t));
  }
}

}  // namespace

std::partial_ordering Compare(const Variant& a, const Variant& b) {
  const VbVarType ta = a.VarType();
  const VbVarType tb = b.VarType();
  if (ta == VbVarType::vbString && tb == VbVarType::vbString) {
    // By 16-bit code unit; char16_t is unsigned, so the traits compare as code units.
    const int c = a.Str().compare(b.Str());
    return c < 0 ? std::partial_ordering::less
                 : c > 0 ? std::partial_ordering::greater : std::partial_ordering::equivalent;
  }
  if (ta == VbVarType::vbNull || tb == VbVarType::vbNull) return std::partial_ordering::unordered;
  if (ta == VbVarType::vbError || tb == VbVarType::vbError) {
    if (ta == tb) return std::partial_ordering::equivalent;
    Raise(err::kTypeMismatch);
  }
  if (ta == VbVarType::vbString || tb == VbVarType::vbString) {
    // A string is above every number; against Empty only "" is equal.
    const bool a_is_string = ta == VbVarType::vbString;
    const VbVarType other = a_is_string ? tb : ta;
    if (!IsNumericKind(other)) Raise(err::kTypeMismatch);
    std::partial_ordering r = std::partial_ordering::greater;
    if (other == VbVarType::vbEmpty && (a_is_string ? a : b).Str().empty()) r = std::partial_ordering::equivalent;
    return a_is_string ? r : 0 <=> r;
  }
  if (!IsNumericKind(ta) || !IsNumericKind(tb)) Raise(err::kTypeMismatch);  // objects, arrays

  if (IsWhole(ta) && IsWhole(tb)) return Order(WholeValue(a, ta), WholeValue(b, tb));
  if (ta == VbVarType::vbSingle || tb == VbVarType::vbSingle) {
    // The other side is first rounded to Single precision.
    return Order(static_cast<float>(RealValue(a, ta)), static_cast<float>(RealValue(b, tb)));
  }
  const bool a_exact = IsWhole(ta) || ta == VbVarType::vbCurrency;
  const bool b_exact = IsWhole(tb) || tb == VbVarType::vbCurrency;
  if (a_exact && b_exact) {
    // Currency against a whole number or Currency: exactly, on the scaled values.
    const std::int64_t sa = ta == VbVarType::vbCurrency ? a.Int() : WholeValue(a, ta) * 10000;
    const std::int64_t sb = tb == VbVarType::vbCurrency ? b.Int() : WholeValue(b, tb) * 10000;
    return Order(sa, sb);
  }
  // Everything else as Double, Currency included: a Currency against a Double is not first
  // rounded to four decimals, so 1.00001 stays above 1 whichever side holds it.
  return Order(RealValue(a, ta), RealValue(b, tb));
}

bool Equal(const Variant& a, const Variant& b) { return Compare(a, b) == std::partial_ordering::equivalent; }
bool Less(const Variant& a, const Variant& b) { return Compare(a, b) == std::partial_ordering::less; }
bool Greater(const Variant& a, const Variant& b) { return Compare(a, b) == std::partial_ordering::greater; }

bool TextEqual(const Variant& a, const Variant& b) {
  if (a.IsObject()) return TextEqual(frame::DefaultValueOf(a), b);
  if (b.IsObject()) return TextEqual(a, frame::DefaultValueOf(b));
  // LCase(Null) is Null, which equals nothing; no error 94 on this path.
  if (a.IsNull() || b.IsNull()) return false;
  if (a.IsString() && b.IsString()) return frame::EqualIgnoringCase(a.Str(), b.Str());
  return frame::EqualIgnoringCase(CStr(a), CStr(b));
}

}  // namespace narwick
