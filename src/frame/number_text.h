// Numbers <-> text under the en-US Automation rules: the text reader behind CDbl, CLng, ...
// and the 15 / 7 significant-digit forms of CStr. Plain types only; convert.cc adds the
// Variant layer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "narwick/frame/types.h"

namespace narwick::frame {

enum class NumberStatus { kOk, kTypeMismatch, kOverflow };

// A number as read from text: decimal digits with a power of ten, or the raw value of an
// &H / &O literal (whose meaning depends on the width of the target, see RadixToSigned).
struct ParsedNumber {
  static constexpr int kMaxDigits = 120;

  bool negative = false;
  bool radix = false;        // &H or &O: `bits` holds the value, the digits are unused
  std::uint64_t bits = 0;
  // Decimal: value = 0.digits[0]digits[1]... x 10^point. Leading zeros are dropped; digits
  // past kMaxDigits are folded into a final sticky '1' so that rounding still sees them.
  char digits[kMaxDigits + 2] = {};
  int digit_count = 0;
  long point = 0;
};

// Reads the whole of `text` as a number. kTypeMismatch when any of it is not part of the
// grammar, kOverflow for an &H / &O value beyond 64 bits.
NumberStatus ParseNumber(StringView text, ParsedNumber& out);

// The value as a double (correctly rounded). kOverflow beyond the Double range. An &H / &O
// value is the bit pattern of a Long when it fits in 32 bits, else the unsigned value.
NumberStatus ParsedToDouble(const ParsedNumber& number, double& out);

// An &H / &O value taken as a bit pattern `width` bits wide (16 for Integer, 32 for Long,
// 8 unsigned for Byte): kOverflow when it does not fit in that many bits.
NumberStatus RadixToSigned(const ParsedNumber& number, int width, std::int64_t& out);

// The value scaled by 10,000 and rounded half to even (Currency); kOverflow out of range.
NumberStatus ParsedToCurrency(const ParsedNumber& number, std::int64_t& out);

// Decimal text of a Double (precision 15) or Single (precision 7): significant digits rounded
// with ties away from zero on the exact binary value, plain or E form by the CStr rules.
// `out` must hold kRealTextMax chars; returns the length written (no terminator).
inline constexpr std::size_t kRealTextMax = 48;
std::size_t FormatReal(double value, int precision, char* out);

// Decimal text of an integer / of a Currency's scaled value (up to 4 decimals, no exponent).
std::size_t FormatInteger(std::int64_t value, char* out);  // out: 21 chars
std::size_t FormatCurrency(std::int64_t scaled, char* out);  // out: 22 chars

// Round half to even, as every floating -> integer conversion does.
double RoundHalfEven(double x);

}  // namespace narwick::frame
