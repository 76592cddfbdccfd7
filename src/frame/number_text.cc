// Numbers <-> text: the en-US number reader and the CStr forms of Double and Single.
#include "number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace narwick::frame {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int RadixDigit(char16_t c, int base) {
  int d = -1;
  if (c >= u'0' && c <= u'9') {
    d = c - u'0';
  } else if (c >= u'a' && c <= u'f') {
    d = c - u'a' + 10;
  } else if (c >= u'A' && c <= u'F') {
    d = c - u'A' + 10;
  }
  return d < base ? d : -1;
}

// Appends the decimal digits of `value` (no sign).
char* WriteUnsigned(std::uint64_t value, char* out) {
  char tmp[20];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *out++ = tmp[--n];
  return out;
}

// The significant digits of a positive finite `a` rounded to `precision` digits, ties away
// from zero on the exact binary value. Writes them (trailing zeros removed) to `digits` and
// returns their count; `exponent` is the power of ten of the first digit.
//
// Fast path: two more digits than needed, correctly rounded by to_chars. A tail of 00..49
// means the exact dropped part is below one half, 51..99 at or above it (a carry into the kept
// digits gives the same result either way). Only a tail of exactly 50 is ambiguous; then the
// exact expansion (a double has at most 767 significant digits) decides.
int RoundedDigits(double a, int precision, char* digits, int& exponent) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision + 1);
  // Layout: d.ddddde[+-]xx; the mantissa holds precision + 2 digits.
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(res.ptr - buf)));
  int exp10 = 0;
  std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), res.ptr, exp10);
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, static_cast<std::size_t>(precision - 1));
  int tail = (buf[precision + 1] - '0') * 10 + (buf[precision + 2] - '0');
  bool up;
  if (tail != 50) {
    up = tail > 50;
  } else {
    // The exact expansion: 780 digits hold every double's, so nothing is rounded here.
    char exact[800];
    auto r2 = std::to_chars(exact, exact + sizeof exact, a, std::chars_format::scientific, 780);
    const char* ee = static_cast<const char*>(std::memchr(exact, 'e', static_cast<std::size_t>(r2.ptr - exact)));
    std::from_chars(ee + 1 + (ee[1] == '+' ? 1 : 0), r2.ptr, exp10);
    digits[0] = exact[0];
    std::memcpy(digits + 1, exact + 2, static_cast<std::size_t>(precision - 1));
    up = exact[precision + 1] >= '5';
  }
  if (up) {
    int i = precision - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';
      ++exp10;
    }
  }
  int count = precision;
  while (count > 1 && digits[count - 1] == '0') --count;
  exponent = exp10;
  return count;
}

}  // namespace

double RoundHalfEven(double x) {
  double r = std::round(x);  // halves away from zero
  if (std::fabs(x - std::trunc(x)) == 0.5) r = 2.0 * std::round(x / 2.0);
  return r;
}

NumberStatus ParseNumber(StringView text, ParsedNumber& out) {
  out.negative = false;
  out.radix = false;
  out.bits = 0;
  out.digit_count = 0;
  out.point = 0;
  const std::size_t n = text.size();
  std::size_t i = 0;
  bool sign = false, minus = false, dollar = false, paren = false;

  // Leading part: blanks, one sign, one '$', one '(' in any order.
  for (; i < n; ++i) {
    char16_t c = text[i];
    if (IsBlank(c)) continue;
    if ((c == u'+' || c == u'-') && !sign) {
      sign = true;
      minus = c == u'-';
    } else if (c == u'$' && !dollar) {
      dollar = true;
    } else if (c == u'(' && !paren) {
      paren = true;
    } else {
      break;
    }
  }

  bool overflow = false;
  if (i < n && text[i] == u'&') {
    // &H / &O literal; not after a currency sign.
    if (dollar || i + 1 >= n) return NumberStatus::kTypeMismatch;
    char16_t r = text[i + 1];
    int base = (r == u'h' || r == u'H') ? 16 : (r == u'o' || r == u'O') ? 8 : 0;
    if (base == 0) return NumberStatus::kTypeMismatch;
    int shift = base == 16 ? 4 : 3;
    i += 2;
    std::size_t start = i;
    for (; i < n; ++i) {
      int d = RadixDigit(text[i], base);
      if (d < 0) break;
      if ((out.bits >> (64 - shift)) != 0) overflow = true;
      out.bits = (out.bits << shift) | static_cast<std::uint64_t>(d);
    }
    if (i == start) return NumberStatus::kTypeMismatch;
    out.radix = true;
  } else {
    // Digits with thousands commas after the first digit, one decimal point.
    bool any_digit = false, dot = false, sticky = false;
    for (; i < n; ++i) {
      char16_t c = text[i];
      if (IsDigit(c)) {
        any_digit = true;
        if (out.digit_count == 0 && c == u'0') {
          if (dot) --out.point;  // leading zeros after the point shift the value down
          continue;
        }
        if (out.digit_count < ParsedNumber::kMaxDigits) {
          out.digits[out.digit_count++] = static_cast<char>(c);
        } else if (c != u'0') {
          sticky = true;
        }
        if (!dot) ++out.point;
      } else if (c == u',' && any_digit) {
        continue;
      } else if (c == u'.' && !dot) {
        dot = true;
      } else {
        break;
      }
    }
    if (!any_digit) return NumberStatus::kTypeMismatch;
    if (sticky) out.digits[out.digit_count++] = '1';
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
      if (dollar) return NumberStatus::kTypeMismatch;
      ++i;
      bool exp_minus = false;
      if (i < n && (text[i] == u'+' || text[i] == u'-')) exp_minus = text[i++] == u'-';
      std::size_t start = i;
      long exp = 0;
      for (; i < n && IsDigit(text[i]); ++i) {
        if (exp < 100000) exp = exp * 10 + (text[i] - u'0');  // beyond this the result is 0 or inf
      }
      if (i == start) return NumberStatus::kTypeMismatch;
      out.point += exp_minus ? -exp : exp;
    }
  }

  // Trailing part: blanks, a sign if none led, '$', ')' closing '(', commas.
  bool closed = false;
  for (; i < n; ++i) {
    char16_t c = text[i];
    if (IsBlank(c) || c == u',') continue;
    if ((c == u'+' || c == u'-') && !sign) {
      sign = true;
      minus = c == u'-';
    } else if (c == u'$' && !dollar) {
      dollar = true;
    } else if (c == u')' && paren && !closed) {
      closed = true;
    } else {
      return NumberStatus::kTypeMismatch;
    }
  }
  if (paren && !closed) return NumberStatus::kTypeMismatch;
  if (overflow) return NumberStatus::kOverflow;
  out.negative = minus || paren;
  return NumberStatus::kOk;
}

NumberStatus ParsedToDouble(const ParsedNumber& number, double& out) {
  if (number.radix) {
    double v = number.bits <= 0xFFFFFFFFu
                   ? static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(number.bits)))
                   : static_cast<double>(number.bits);
    out = number.negative ? -v : v;
    return NumberStatus::kOk;
  }
  if (number.digit_count == 0) {
    out = 0.0;
    return NumberStatus::kOk;
  }
  // value = 0.d1d2... x 10^point; the first digit is nonzero.
  if (number.point > 310) return NumberStatus::kOverflow;
  if (number.point < -330) {
    out = 0.0;
    return NumberStatus::kOk;
  }
  char buf[ParsedNumber::kMaxDigits + 16];
  std::memcpy(buf, number.digits, static_cast<std::size_t>(number.digit_count));
  char* p = buf + number.digit_count;
  *p++ = 'e';
  long exp = number.point - number.digit_count;
  if (exp < 0) {
    *p++ = '-';
    exp = -exp;
  }
  p = WriteUnsigned(static_cast<std::uint64_t>(exp), p);
  double v = 0;
  auto res = std::from_chars(buf, p, v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    if (number.point > 0) return NumberStatus::kOverflow;
    v = 0.0;
  }
  if (std::isinf(v)) return NumberStatus::kOverflow;
  out = number.negative ? -v : v;
  return NumberStatus::kOk;
}

NumberStatus RadixToSigned(const ParsedNumber& number, int width, std::int64_t& out) {
  std::int64_t v;
  if (width == 8) {
    if (number.bits > 0xFFu) return NumberStatus::kOverflow;
    v = static_cast<std::int64_t>(number.bits);
  } else if (width == 16) {
    if (number.bits > 0xFFFFu) return NumberStatus::kOverflow;
    v = static_cast<std::int16_t>(static_cast<std::uint16_t>(number.bits));
  } else {
    if (number.bits > 0xFFFFFFFFu) return NumberStatus::kOverflow;
    v = static_cast<std::int32_t>(static_cast<std::uint32_t>(number.bits));
  }
  out = number.negative ? -v : v;
  return NumberStatus::kOk;
}

NumberStatus ParsedToCurrency(const ParsedNumber& number, std::int64_t& out) {
  if (number.radix) {
    std::int64_t v = 0;
    if (RadixToSigned(number, 32, v) != NumberStatus::kOk) {
      if (number.bits > 922337203685477u) return NumberStatus::kOverflow;
      v = static_cast<std::int64_t>(number.bits);
      if (number.negative) v = -v;
    }
    out = v * 10000;
    return NumberStatus::kOk;
  }
  if (number.digit_count == 0) {
    out = 0;
    return NumberStatus::kOk;
  }
  // Exact decimal arithmetic: the scaled value's integer part is the first point + 4 digits.
  long int_len = number.point + 4;
  if (int_len > 19) return NumberStatus::kOverflow;
  std::uint64_t acc = 0;
  for (long j = 0; j < int_len; ++j) {
    int d = j < number.digit_count ? number.digits[j] - '0' : 0;
    acc = acc * 10 + static_cast<std::uint64_t>(d);
  }
  // Round half to even on the dropped digits.
  if (int_len >= 0 && int_len < number.digit_count) {
    char first = number.digits[int_len];
    bool more = false;
    for (long j = int_len + 1; j < number.digit_count; ++j) more = more || number.digits[j] != '0';
    if (first > '5' || (first == '5' && (more || (acc & 1) != 0))) ++acc;
  }
  const std::uint64_t limit = number.negative ? 9223372036854775808ull : 9223372036854775807ull;
  if (acc > limit) return NumberStatus::kOverflow;
  out = number.negative ? static_cast<std::int64_t>(0 - acc) : static_cast<std::int64_t>(acc);
  return NumberStatus::kOk;
}

std::size_t FormatReal(double value, int precision, char* out) {
  char* p = out;
  if (std::isnan(value)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  if (std::isinf(value)) {
    if (value < 0) *p++ = '-';
    std::memcpy(p, "Infinity", 8);
    return static_cast<std::size_t>(p + 8 - out);
  }
  if (value == 0) {  // also -0: no negative zero in text
    *p = '0';
    return 1;
  }
  char digits[24];
  int exp10 = 0;
  const int count = RoundedDigits(std::fabs(value), precision, digits, exp10);
  if (value < 0) *p++ = '-';

  bool e_form = exp10 < -4 || exp10 >= precision;
  if (e_form && exp10 < 0) {
    // Small numbers stay plain while they fit in `precision` decimals; a one-digit mantissa
    // is one decimal stricter (1E-14 is "0.00000000000001", 1E-15 stays "1E-15").
    int k = count >= 2 ? count - 2 : 0;
    if (-exp10 + k < precision) e_form = false;
  }
  if (e_form) {
    *p++ = digits[0];
    if (count > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, static_cast<std::size_t>(count - 1));
      p += count - 1;
    }
    *p++ = 'E';
    *p++ = exp10 < 0 ? '-' : '+';
    unsigned e = static_cast<unsigned>(exp10 < 0 ? -exp10 : exp10);
    if (e < 10) *p++ = '0';
    p = WriteUnsigned(e, p);
  } else if (exp10 >= 0) {
    for (int j = 0; j <= exp10; ++j) *p++ = j < count ? digits[j] : '0';
    if (count > exp10 + 1) {
      *p++ = '.';
      std::memcpy(p, digits + exp10 + 1, static_cast<std::size_t>(count - exp10 - 1));
      p += count - exp10 - 1;
    }
  } else {
    *p++ = '0';
    *p++ = '.';
    for (int j = 0; j < -exp10 - 1; ++j) *p++ = '0';
    std::memcpy(p, digits, static_cast<std::size_t>(count));
    p += count;
  }
  return static_cast<std::size_t>(p - out);
}

std::size_t FormatInteger(std::int64_t value, char* out) {
  char* p = out;
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    *p++ = '-';
    magnitude = 0 - magnitude;
  }
  return static_cast<std::size_t>(WriteUnsigned(magnitude, p) - out);
}

std::size_t FormatCurrency(std::int64_t scaled, char* out) {
  char* p = out;
  std::uint64_t magnitude = static_cast<std::uint64_t>(scaled);
  if (scaled < 0) {
    *p++ = '-';
    magnitude = 0 - magnitude;
  }
  p = WriteUnsigned(magnitude / 10000, p);
  unsigned frac = static_cast<unsigned>(magnitude % 10000);
  if (frac != 0) {
    *p++ = '.';
    char f[4];
    for (int j = 3; j >= 0; --j) {
      f[j] = static_cast<char>('0' + frac % 10);
      frac /= 10;
    }
    int len = 4;
    while (f[len - 1] == '0') --len;
    std::memcpy(p, f, static_cast<std::size_t>(len));
    p += len;
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace narwick::frame
