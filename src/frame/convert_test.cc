// Conversions: rounding and ranges, the text reader, special kinds (Empty, Null, Error,
// objects), text forms of numbers, and a differential test of the Double / Single text forms
// against an exact reference built on glibc's printf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using enum VbVarType;
using namespace err;

// An object whose default member returns a stored value, and one without a default member.
class ValueHolder final : public frame::AutomationObject {
 public:
  explicit ValueHolder(Variant value) : value_(std::move(value)) {}
  const frame::ClassInfo& TypeInfo() const override {
    static const frame::ClassInfo info = frame::MemberTable<ValueHolder>("ValueHolder")
        .Get<Variant() const>("Value", &ValueHolder::Value).Default()
        .Build();
    return info;
  }
  Variant Value() const { return value_; }

 private:
  Variant value_;
};

class NoDefault final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override {
    static const frame::ClassInfo info = frame::MemberTable<NoDefault>("NoDefault").Build();
    return info;
  }
};

Variant Holding(Variant value) {
  return Variant(MakeObject(std::make_shared<ValueHolder>(std::move(value))));
}
Variant Cur(std::int64_t scaled) { return Variant(Currency{scaled}); }
const Variant kNoDefault(MakeObject(std::make_shared<NoDefault>()));
const Variant kNothing{Object()};
constexpr std::int64_t kMaxScaled = std::numeric_limits<std::int64_t>::max();
constexpr Long kMinLong = std::numeric_limits<Long>::min();

// A conversion made through CVarType, which calls the C* function of the kind: `in` gives
// `out`, whose kind is the target, or raises `error` when converted to kind `to`.
struct Conversion {
  Variant in;
  Variant out;
  VbVarType to = vbEmpty;
  Long error = 0;
};
Conversion Fails(Variant in, VbVarType to, Long error) { return {std::move(in), {}, to, error}; }

void ExpectConversions(std::initializer_list<Conversion> cases) {
  for (const Conversion& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in) + " to kind " +
                 std::to_string(static_cast<int>(c.error ? c.to : c.out.VarType())));
    if (c.error != 0) {
      EXPECT_RUNTIME_ERROR(CVarType(c.in, c.to), c.error);
    } else {
      EXPECT_EQ(CVarType(c.in, c.out.VarType()), c.out);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Numbers -> numbers: half to even, then the target's range.

TEST(ConvertTest, FloatingToWholeRoundsHalfToEven) {
  const struct {
    double in;
    Long out;
  } cases[] = {{0.5, 0},         {1.5, 2},   {2.5, 2},    {3.5, 4},      {-0.5, 0},
               {-1.5, -2},       {-2.5, -2}, {36.75, 37}, {-36.75, -37}, {0.49999999999999994, 0},
               {4.5000000001, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(CLng(c.in), c.out) << c.in;
    EXPECT_EQ(CInt(c.in), c.out) << c.in;
    EXPECT_EQ(CLng(static_cast<float>(c.in)), CLng(static_cast<double>(static_cast<float>(c.in))));
  }
}

TEST(ConvertTest, NumbersKeepToTheTargetsRange) {
  ExpectConversions({
      {Variant(Date{43835.75}), 43836},
      // Ranges of whole targets are half-open after rounding.
      {-0.5, Byte{0}}, {255.49, Byte{255}}, Fails(255.5, vbByte, kOverflow),
      Fails(-0.51, vbByte, kOverflow), {-32768.5, Integer{-32768}}, {32766.5, Integer{32766}},
      Fails(32767.5, vbInteger, kOverflow), Fails(-32769.5, vbInteger, kOverflow),
      {-2147483648.5, kMinLong}, {2147483646.5, 2147483646},
      Fails(2147483647.5, vbLong, kOverflow), Fails(std::nan(""), vbLong, kOverflow),
      Fails(std::numeric_limits<double>::infinity(), vbLong, kOverflow),
      // Whole to narrower whole: the range only.
      Fails(40000, vbInteger, kOverflow), Fails(Integer{-1}, vbByte, kOverflow),
      Fails(256, vbByte, kOverflow), {Byte{255}, Integer{255}}, {Integer{-32768}, -32768},
      // Currency: four decimals, half to even, both ways.
      {0.00005, Cur(0)}, {0.03125, Cur(312)}, {0.09375, Cur(938)}, {-1.23456, Cur(-12346)},
      {Integer{7}, Cur(70000)}, {true, Cur(-10000)}, Fails(1e15, vbCurrency, kOverflow),
      Fails(922337203685477.625, vbCurrency, kOverflow),  // scales to exactly 2^63
      Fails(-1e15, vbCurrency, kOverflow), {Cur(5000), 0}, {Cur(15000), 2}, {Cur(25000), 2},
      {Cur(-25000), -2}, {Cur(-25001), -3}, {Cur(-15), -0.0015},
      Fails(Cur(kMaxScaled), vbLong, kOverflow),
      // Single overflows beyond its range, from any source.
      {0.1, 0.1f}, {static_cast<double>(FLT_MAX), FLT_MAX}, Fails(1e39, vbSingle, kOverflow),
      Fails(u"-1e39", vbSingle, kOverflow),
  });
}

// ---------------------------------------------------------------------------------------------
// Text -> numbers.

TEST(ConvertTest, TextReadsAsNumber) {
  const struct {
    const char16_t* text;
    double value;
  } cases[] = {
      {u" 12 ", 12},      {u"1,234.5", 1234.5}, {u"$1,234.50", 1234.5}, {u"(5)", -5},
      {u"5-", -5},        {u"+.5", 0.5},        {u"&H1F", 31},          {u"&O17", 15},
      {u"&h1f", 31},      {u"1e3", 1000},       {u"1.5E-3", 0.0015},    {u"5.", 5},
      {u"1,2,3", 123},    {u"1,000", 1000},     {u"\t-7\r\n", -7},      {u"5 -", -5},
      {u"- 5", -5},       {u"$-5", -5},         {u"-$5", -5},           {u"5$", 5},
      {u"(5$)", -5},      {u"1,000,", 1000},    {u"007", 7},            {u"0.000", 0},
      {u"1e-400", 0},     {u"1e-325", 0},       {u"12345678901234567890", 12345678901234567890.0},
      {u"0.1", 0.1},      {u"1E+2", 100},       {u"  +1  ", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CDbl(c.text), c.value) << ToUtf8(c.text);
    EXPECT_TRUE(bool(IsNumeric(c.text))) << ToUtf8(c.text);
  }
  // Digits past the hundred and twenty kept still count: just above a tie between two doubles.
  EXPECT_EQ(CDbl(u"9007199254740993." + String(120, u'0') + u"1"), 9007199254740994.0);
}

TEST(ConvertTest, TextThatIsNotANumberIsTypeMismatch) {
  const char16_t* cases[] = {u"",     u" ",   u"12abc",   u"1 2",     u"1e",    u"1.2.3", u",5",
                             u".",    u"abc", u"45 Help", u"1,2.3.4", u"$1e3",  u"1D2",   u"(5",
                             u"5)",   u"-5-", u"++5",     u"$$5",     u"((5))", u"&H",    u"&HG",
                             u"&17",  u"&O8", u"$&H1",    u"1e+",     u"e5",    u"5 e3",  u"&H1.5",
                             u"1.5.", u"-",   u"()",      u"1_000"};
  for (const char16_t* text : cases) {
    EXPECT_RUNTIME_ERROR(CDbl(text), kTypeMismatch);
    EXPECT_RUNTIME_ERROR(CLng(text), kTypeMismatch);
    EXPECT_FALSE(bool(IsNumeric(text))) << ToUtf8(text);
  }
}

TEST(ConvertTest, TextGoesThroughTheTargetsRounding) {
  ExpectConversions({
      {u"2.5", Integer{2}}, {u"3.5", Integer{4}}, {u"-2147483648.5", kMinLong},
      Fails(u"40000", vbInteger, kOverflow), Fails(u"-1", vbByte, kOverflow),
      Fails(u"1e400", vbDouble, kOverflow), Fails(u"1e309", vbDouble, kOverflow),
      // Hex and octal are bit patterns of the target's width.
      {u"&HFFFF", Integer{-1}}, {u"&H7FFF", Integer{32767}},
      Fails(u"&H10000", vbInteger, kOverflow), {u"&HFFFFFFFF", -1}, {u"&HF000", 61440},
      {u"&O37777777777", -1}, Fails(u"&H100000000", vbLong, kOverflow), {u"&HFF", Byte{255}},
      Fails(u"&H100", vbByte, kOverflow), {u"-&H10", -16}, {u"&HFFFF", 65535.0},
      {u"&HFFFFFFFF", -1.0},  // a Long's bit pattern, as &HFFFFFFFF is in code
      {u"&H100000000", 4294967296.0}, Fails(u"&H10000000000000000", vbDouble, kOverflow),
      {u"&HFFFF", Cur(655350000)},
      // Beyond 32 bits the digits are the value, up to Currency's largest whole number.
      {u"&H346DC5D638865", Cur(9223372036854770000)}, {u"-&O40000000000", Cur(-42949672960000)},
      Fails(u"&H346DC5D638866", vbCurrency, kOverflow),
      Fails(u"-&O32155613530704146", vbCurrency, kOverflow),
      // Currency from text is exact.
      {u"$1,234.5678", Cur(12345678)}, {u"0.00005", Cur(0)}, {u"0.00015", Cur(2)},
      {u"0.000050001", Cur(1)}, {u"922337203685477.5807", Cur(kMaxScaled)},
      {u"-922337203685477.5808", Cur(std::numeric_limits<std::int64_t>::min())},
      Fails(u"922337203685477.5808", vbCurrency, kOverflow), Fails(u"1e20", vbCurrency, kOverflow),
      {u"1e-20", Cur(0)}, {u"(1.5)", Cur(-15000)}, {u"0.000", Cur(0)},
      {Variant(u"0.00005" + String(130, u'0') + u"1"), Cur(1)},  // above the tie, far out
  });
}

// Text built from the grammar's pieces in random order and spacing reads as the number its
// digits spell (strtod on the bare digits is the reference); one broken piece makes it 13.
TEST(ConvertTest, GeneratedNumberTextReadsBack) {
  const unsigned seed = 31337;
  std::mt19937 rng(seed);
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  auto blanks = [&] { return std::string(rng() % 3, " \t"[rng() % 2]); };
  auto digits = [&](std::size_t n) {
    std::string s;
    for (; n > 0; --n) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string int_digits = digits(rng() % 7), frac_digits;
    const bool dot = chance(50);
    if (dot) frac_digits = digits(rng() % 5);
    if (int_digits.empty() && frac_digits.empty()) int_digits = "7";
    const bool paren = chance(20);
    const int sign = static_cast<int>(rng() % 3);  // none, '+', '-'
    const bool sign_trailing = chance(30);
    const int dollar = static_cast<int>(rng() % 3);  // none, leading, trailing
    std::string exp_text;
    if (dollar == 0 && chance(30)) {
      exp_text = chance(50) ? "e" : "E";
      if (chance(50)) exp_text += chance(50) ? "-" : "+";
      exp_text += digits(1 + rng() % 2);
    }

    std::vector<std::string> leading, trailing;
    if (sign != 0) (sign_trailing ? trailing : leading).push_back(sign == 1 ? "+" : "-");
    if (dollar != 0) (dollar == 1 ? leading : trailing).push_back("$");
    if (paren) {
      leading.push_back("(");
      trailing.push_back(")");
    }
    if (chance(20)) trailing.push_back(",");
    std::shuffle(leading.begin(), leading.end(), rng);
    std::shuffle(trailing.begin(), trailing.end(), rng);

    // Commas anywhere after the first digit, unchecked.
    std::string body;
    for (char digit : int_digits) body += chance(15) ? std::string{digit, ','} : std::string{digit};
    if (dot) body += "." + frac_digits;
    body += exp_text;

    std::string text = blanks();
    for (const auto& piece : leading) text += piece + blanks();
    text += body;
    for (const auto& piece : trailing) text += blanks() + piece;
    text += blanks();

    std::string plain = (int_digits.empty() ? "0" : int_digits) + "." + frac_digits + exp_text;
    double expected = std::strtod(plain.c_str(), nullptr);
    if (sign == 2 || paren) expected = -expected;
    ASSERT_EQ(CDbl(FromUtf8(text)), expected) << "seed " << seed << " text [" << text << "]";

    std::string broken = text;
    const std::size_t body_end = broken.find(body) + body.size();
    switch (rng() % 6) {
      case 0: broken.insert(broken.find(body), ","); break;  // comma before the first digit
      case 1: broken.insert(body_end, ".5."); break;         // a second point
      case 2: broken.insert(rng() % (broken.size() + 1), "x"); break;
      case 3: broken.insert(body_end, " 1"); break;          // digits after a blank
      case 4: broken = paren ? broken.erase(broken.rfind(')'), 1) : "(" + broken; break;
      default: broken = (sign == 0 ? "+-" : "+") + broken; break;  // a second sign
    }
    EXPECT_RUNTIME_ERROR(CDbl(FromUtf8(broken)), kTypeMismatch);
  }
}

// ---------------------------------------------------------------------------------------------
// Booleans and the special kinds.

TEST(ConvertTest, BooleansTextEmptyErrorsObjectsAndArrays) {
  const Variant array(SafeArray(vbLong, 0, 2));
  ExpectConversions({
      // Booleans are -1 and 0.
      {true, Integer{-1}}, {true, -1.0}, {true, Date{-1}}, {0.0001, true}, {-5, true}, {0, false},
      {Cur(1), true}, {true, u"True"}, {false, u"False"},
      // Text reads as a Boolean by name or as a number.
      {u"True", true}, {u"tRUE", true}, {u"false", false}, {u"FALSE", false}, {u"#TRUE#", true},
      {u"#false#", false}, {u"0", false}, {u"2", true}, {u"-0.5", true}, {u" 0 ", false},
      {u"&H0", false}, {u"(1)", true},
      // Empty is zero, empty text and False.
      {Variant(), 0}, {Variant(), Integer{0}}, {Variant(), Byte{0}}, {Variant(), 0.0},
      {Variant(), 0.0f}, {Variant(), Cur(0)}, {Variant(), Date{0}}, {Variant(), u""},
      {Variant(), false},
      // Error values have text but no number.
      {ErrorCode{2000}, u"Error 2000"},
      {ErrorCode{static_cast<std::int32_t>(0x800A07D0u)}, u"Error 2000"},  // CVErr(2000)
      {Missing, u"Error 448"}, Fails(ErrorCode{5}, vbLong, kTypeMismatch),
      Fails(Missing, vbDouble, kTypeMismatch), Fails(Missing, vbBoolean, kTypeMismatch),
      // Arrays do not convert.
      Fails(array, vbString, kTypeMismatch), Fails(array, vbLong, kTypeMismatch),
      Fails(array, vbBoolean, kTypeMismatch),
      // Objects convert through their default member.
      {Holding(2.5), 2}, {Holding(1.5), u"1.5"}, {Holding(u"$3"), 3.0}, {Holding(u"true"), true},
      {Holding(2.5), Cur(25000)}, {Holding(u"1/5/2020"), Date{43835}},  // not a number, yet a date
      Fails(Holding(Variant::Null()), vbLong, kInvalidUseOfNull),
      Fails(kNoDefault, vbString, kObjectDoesntSupportMember),
      Fails(kNoDefault, vbCurrency, kObjectDoesntSupportMember),
      Fails(kNothing, vbLong, kObjectVariableNotSet),
  });
  for (VbVarType kind : {vbString, vbLong, vbInteger, vbByte, vbDouble, vbSingle, vbCurrency,
                         vbBoolean, vbDate}) {
    EXPECT_RUNTIME_ERROR(CVarType(Variant::Null(), kind), kInvalidUseOfNull);
  }
  for (const char16_t* text : {u"", u"yes", u"True ", u"#TRUE", u"T"}) {
    EXPECT_RUNTIME_ERROR(CBool(text), kTypeMismatch);
  }
}

TEST(ConvertTest, IsNumericAndIsDateByKind) {
  const struct {
    Variant value;
    bool numeric;
  } cases[] = {
      {Variant(), true},        {true, true},        {Byte{1}, true},       {Integer{1}, true},
      {1.5f, true},             {Cur(1), true},      {Date{1}, false},      {u"&HFF", true},
      {u"1e400", false},        {Variant::Null(), false}, {Missing, false}, {kNoDefault, false},
      {SafeArray(vbLong, 0, 2), false}, {Holding(7), true}, {Holding(u"x"), false},
      {kNothing, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bool(IsNumeric(c.value)), c.numeric) << ::testing::PrintToString(c.value);
  }
  EXPECT_TRUE(bool(IsDate(Holding(Date{1}))));
  EXPECT_FALSE(bool(IsDate(Variant::Null())));
  EXPECT_FALSE(bool(IsDate(kNoDefault)));
  EXPECT_EQ(FormatDate(Holding(u"Jan 5, 2020"), u"yyyy-mm-dd"), u"2020-01-05");
}

TEST(ConvertTest, ChangeTypeGivesTheRequestedKind) {
  const Variant longs(SafeArray(vbLong, 1, 2));
  ExpectConversions({
      {u"2.5", Integer{2}}, {u"2.5", 2}, {u"2.5", Byte{2}}, {u"2.5", 2.5f}, {u"2.5", 2.5},
      {u"2.5", Cur(25000)}, {u"2.5", u"2.5"}, {u"2.5", true}, {2.5, Date{2.5}},
      {u"1/5/2020", Date{43835}}, {longs, longs},
      Fails(5, vbObject, kTypeMismatch), Fails(5, vbError, kTypeMismatch),
      Fails(u"x", vbLong, kTypeMismatch), Fails(70000, vbInteger, kOverflow),
      Fails(longs, static_cast<VbVarType>(8192 + 8), kTypeMismatch),
  });
  EXPECT_EQ(CVarType(u"2.5", vbVariant), Variant(u"2.5"));
  EXPECT_TRUE(CVarType(Variant(), vbObject).IsObject());
  EXPECT_TRUE(CVarType(Missing, vbError).IsMissing());
}

// ---------------------------------------------------------------------------------------------
// Numbers -> text.

TEST(ConvertTest, NumberText) {
  ExpectConversions({
      // Double: fifteen significant digits.
      {0.5, u"0.5"}, {1.0 / 3, u"0.333333333333333"}, {2.0 / 3, u"0.666666666666667"},
      {0.1 + 0.2, u"0.3"}, {12.345678901234567, u"12.3456789012346"}, {-1.5, u"-1.5"},
      {999999999999999.0, u"999999999999999"}, {999999999999999.5, u"1E+15"}, {1e15, u"1E+15"},
      {1.2e15, u"1.2E+15"}, {123456789012345678.0, u"1.23456789012346E+17"}, {1e20, u"1E+20"},
      {DBL_MAX, u"1.79769313486232E+308"}, {-DBL_MAX, u"-1.79769313486232E+308"},
      {0.000015, u"0.000015"}, {0.0001, u"0.0001"}, {5.6789e-11, u"0.000000000056789"},
      {5.6789e-12, u"5.6789E-12"}, {1.5e-15, u"1.5E-15"},
      {1.23456789012345e-05, u"1.23456789012345E-05"}, {-0.0, u"0"}, {0.0, u"0"},
      {1e-14, u"0.00000000000001"}, {1e-15, u"1E-15"}, {1.1e-14, u"0.000000000000011"},
      {4.94065645841247e-324, u"4.94065645841247E-324"}, {100.0, u"100"}, {-32768.0, u"-32768"},
      {HUGE_VAL, u"Infinity"}, {-HUGE_VAL, u"-Infinity"},
      // Exact decimal ties round away from zero (printf would round these to even).
      {123456789012344.5, u"123456789012345"}, {-123456789012344.5, u"-123456789012345"},
      {1234567890123445.0, u"1.23456789012345E+15"}, {0.125, u"0.125"},
      // Single: seven.
      {1.0f / 3, u"0.3333333"}, {1234.5678f, u"1234.568"}, {9999999.0f, u"9999999"},
      {1e7f, u"1E+07"}, {16777216.0f, u"1.677722E+07"}, {0.000015f, u"0.000015"},
      {1.5e-8f, u"1.5E-08"}, {654322.25f, u"654322.3"}, {1048576.5f, u"1048577"},
      {-654322.25f, u"-654322.3"}, {FLT_MAX, u"3.402823E+38"}, {0.1f, u"0.1"},
      // Whole numbers and Currency.
      {Integer{-32768}, u"-32768"}, {std::numeric_limits<int>::min(), u"-2147483648"},
      {Byte{255}, u"255"}, {Cur(10000), u"1"}, {Cur(15000), u"1.5"}, {Cur(-15000), u"-1.5"},
      {Cur(9), u"0.0009"}, {Cur(-9), u"-0.0009"}, {Cur(kMaxScaled), u"922337203685477.5807"},
      {Cur(std::numeric_limits<std::int64_t>::min()), u"-922337203685477.5808"},
  });
}

// ---------------------------------------------------------------------------------------------
// Differential: the text of random doubles and singles against an exact reference. The
// reference takes glibc's exact decimal expansion (%.800e never rounds a double), rounds half
// up on the magnitude to `digits` digits, and reads that back with strtod.

double ReferenceRounded(double x, int digits) {
  static char buf[1000];
  std::snprintf(buf, sizeof buf, "%.800e", std::fabs(x));
  std::string mantissa = buf[0] + std::string(buf + 2, static_cast<std::size_t>(digits - 1));
  int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  if (buf[digits + 1] >= '5') {
    int i = digits - 1;
    while (i >= 0 && mantissa[static_cast<std::size_t>(i)] == '9') {
      mantissa[static_cast<std::size_t>(i--)] = '0';
    }
    if (i < 0) {
      mantissa.insert(mantissa.begin(), '1');
      mantissa.pop_back();
      ++exponent;
    } else {
      ++mantissa[static_cast<std::size_t>(i)];
    }
  }
  std::string text = mantissa + "e" + std::to_string(exponent - digits + 1);
  double r = std::strtod(text.c_str(), nullptr);
  return x < 0 ? -r : r;
}

// The text reads back as the reference rounding and has the shape of the form: at most
// `digits` significant digits, E form from 10^digits up and plain form from 1e-4 up, no
// trailing zero after a point.
void ExpectRoundedText(const String& wide, double x, int digits) {
  const std::string text = ToUtf8(wide);
  const double rounded = ReferenceRounded(x, digits);
  ASSERT_EQ(CDbl(wide), rounded) << "x=" << x << " text=" << text;
  std::size_t sig = 0;
  bool seen_nonzero = false;
  for (char ch : text.substr(0, text.find('E'))) {
    if (ch >= '1' && ch <= '9') seen_nonzero = true;
    if (ch >= '0' && ch <= '9' && seen_nonzero) ++sig;
  }
  EXPECT_LE(sig, static_cast<std::size_t>(digits)) << text;
  const bool e_form = text.find('E') != std::string::npos;
  if (std::fabs(rounded) >= std::pow(10.0, digits)) {
    EXPECT_TRUE(e_form) << text;
  } else if (std::fabs(rounded) >= 1e-4) {
    EXPECT_FALSE(e_form) << text;
  }
  if (!e_form && text.find('.') != std::string::npos) {
    EXPECT_NE(text.back(), '0') << text;
  }
}

TEST(ConvertTest, RandomNumbersReadBackAsTheirRounding) {
  const unsigned seed = 20261205;
  std::mt19937_64 rng(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (int i = 0; i < 40000 && !HasFatalFailure(); ++i) {
    double x;
    std::uint64_t bits = rng();
    switch (i % 5) {
      case 0:  // any Double bit pattern
        std::memcpy(&x, &bits, sizeof x);
        break;
      case 1:  // ordinary magnitudes
        x = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 120) - 90);
        break;
      case 2:  // 16-digit integers and halves: many exact ties
        x = static_cast<double>(rng() % 20000000000000000ull) / 2.0;
        break;
      case 3:  // short decimals
        x = static_cast<double>(static_cast<std::int64_t>(rng() % 2000000) - 1000000) / 1000.0;
        break;
      default: {  // Singles: any bit pattern, or 8-9 digit values and exact ties
        float f = static_cast<float>(bits % 200000000) / 8.0f;
        if (rng() & 1) std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f)) ExpectRoundedText(SingleToText(f), static_cast<double>(f), 7);
        continue;
      }
    }
    if (!std::isfinite(x)) continue;
    if (rng() & 1) x = -x;
    ExpectRoundedText(DoubleToText(x), x, 15);
  }
}

}  // namespace
}  // namespace narwick
