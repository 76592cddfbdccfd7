// Automation value types under the names the classes use, and the variant type codes.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace narwick {

using Integer = std::int16_t;
using Long = std::int32_t;
using Byte = std::uint8_t;
using Single = float;
using Double = double;
using String = std::u16string;
using StringView = std::u16string_view;

// Type codes of a Variant, named as VB names them.
enum class VbVarType : std::uint16_t {
  vbEmpty = 0,
  vbNull = 1,
  vbInteger = 2,
  vbLong = 3,
  vbSingle = 4,
  vbDouble = 5,
  vbCurrency = 6,
  vbDate = 7,
  vbString = 8,
  vbObject = 9,
  vbError = 10,
  vbBoolean = 11,
  vbVariant = 12,
  vbByte = 17,
  vbArray = 8192,
};

// Automation Boolean: True is -1 (all bits set), False is 0, so a stray 1 never reaches a host.
class VariantBool {
 public:
  constexpr VariantBool() = default;
  constexpr VariantBool(bool b) : value_(b ? -1 : 0) {}  // NOLINT: implicit by design
  static constexpr VariantBool FromRaw(Integer raw) { VariantBool v; v.value_ = raw; return v; }
  constexpr explicit operator bool() const { return value_ != 0; }
  constexpr Integer raw() const { return value_; }
  friend constexpr bool operator==(VariantBool a, VariantBool b) { return bool(a) == bool(b); }
  friend constexpr bool operator==(VariantBool a, bool b) { return bool(a) == b; }

 private:
  Integer value_ = 0;
};

inline constexpr VariantBool True{true};
inline constexpr VariantBool False{false};

// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
  std::int64_t scaled = 0;
  friend constexpr bool operator==(Currency, Currency) = default;
};

// Date: days since 30 December 1899; the fraction is the time of day.
struct Date {
  double serial = 0;
  friend constexpr bool operator==(Date, Date) = default;
};

// An Error-kind value (SCODE). The missing optional argument is DISP_E_PARAMNOTFOUND.
struct ErrorCode {
  std::int32_t scode = 0;
  friend constexpr bool operator==(ErrorCode, ErrorCode) = default;
};
inline constexpr std::int32_t kParamNotFound = static_cast<std::int32_t>(0x80020004u);

}  // namespace narwick
