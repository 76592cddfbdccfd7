// Conversions: rounding and ranges, the text reader, special kinds (Empty, Null, Error,
// objects), text forms of numbers, and a differential test of the Double / Single text forms
// against an exact reference built on glibc's printf.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
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
    static const frame::ClassInfo info = frame::MemberTable<NoDefault>("NoDefault")
        .Get<Long() const>("Count", &NoDefault::Count)
        .Build();
    return info;
  }
  Long Count() const { return 1; }
};

Variant Holding(Variant value) { return Variant(MakeObject(std::make_shared<ValueHolder>(std::move(value)))); }
Variant Cur(std::int64_t scaled) { return Variant(Currency{scaled}); }

// ---------------------------------------------------------------------------------------------
// Floating -> whole numbers: half to even, then the range.

TEST(ConvertTest, FloatingToWholeRoundsHalfToEven) {
  const struct {
    double in;
    Long out;
  } cases[] = {{0.5, 0},  {1.5, 2},   {2.5, 2},   {3.5, 4},     {-0.5, 0},     {-1.5, -2},
               {-2.5, -2}, {36.75, 37}, {-36.75, -37}, {0.49999999999999994, 0}, {4.5000000001, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(CLng(c.in), c.out) << c.in;
    EXPECT_EQ(CInt(c.in), c.out) << c.in;
    EXPECT_EQ(CLng(static_cast<float>(c.in)), CLng(static_cast<double>(static_cast<float>(c.in))));
  }
  EXPECT_EQ(CLng(Variant(Date{43835.75})), 43836);
}

TEST(ConvertTest, WholeNumberRangesAreHalfOpen) {
  EXPECT_EQ(CByte(-0.5), 0);
  EXPECT_EQ(CByte(255.49), 255);
  EXPECT_RUNTIME_ERROR(CByte(255.5), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CByte(-0.51), err::kOverflow);
  EXPECT_EQ(CInt(-32768.5), -32768);
  EXPECT_EQ(CInt(32766.5), 32766);
  EXPECT_RUNTIME_ERROR(CInt(32767.5), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CInt(-32769.5), err::kOverflow);
  EXPECT_EQ(CLng(-2147483648.5), std::numeric_limits<Long>::min());
  EXPECT_EQ(CLng(2147483646.5), 2147483646);
  EXPECT_RUNTIME_ERROR(CLng(2147483647.5), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CLng(std::nan("")), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CLng(std::numeric_limits<double>::infinity()), err::kOverflow);
}

TEST(ConvertTest, NarrowingWholeNumbersChecksTheRangeOnly) {
  EXPECT_RUNTIME_ERROR(CInt(40000), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CByte(Integer{-1}), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CByte(256), err::kOverflow);
  EXPECT_EQ(CInt(Variant(Byte{255})), 255);
  EXPECT_EQ(CLng(Integer{-32768}), -32768);
}

TEST(ConvertTest, CurrencyRoundsToFourDecimalsHalfToEven) {
  EXPECT_EQ(CCur(0.00005).scaled, 0);
  EXPECT_EQ(CCur(0.03125).scaled, 312);  // 312.5 ten-thousandths, exactly
  EXPECT_EQ(CCur(0.09375).scaled, 938);
  EXPECT_EQ(CCur(-1.23456).scaled, -12346);
  EXPECT_EQ(CCur(Integer{7}).scaled, 70000);
  EXPECT_EQ(CCur(true).scaled, -10000);
  EXPECT_RUNTIME_ERROR(CCur(1e15), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CCur(-1e15), err::kOverflow);
  // Currency to whole numbers: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -2.5 -> -2.
  EXPECT_EQ(CLng(Cur(5000)), 0);
  EXPECT_EQ(CLng(Cur(15000)), 2);
  EXPECT_EQ(CLng(Cur(25000)), 2);
  EXPECT_EQ(CLng(Cur(-25000)), -2);
  EXPECT_EQ(CLng(Cur(-25001)), -3);
  EXPECT_DOUBLE_EQ(CDbl(Cur(-15)), -0.0015);
  EXPECT_RUNTIME_ERROR(CLng(Cur(std::numeric_limits<std::int64_t>::max())), err::kOverflow);
}

TEST(ConvertTest, SingleOverflowsBeyondItsRange) {
  EXPECT_EQ(CSng(0.1), 0.1f);
  EXPECT_EQ(CSng(static_cast<double>(FLT_MAX)), FLT_MAX);
  EXPECT_RUNTIME_ERROR(CSng(1e39), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CSng(u"-1e39"), err::kOverflow);
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
      {u"1e-400", 0},     {u"12345678901234567890", 12345678901234567890.0},
      {u"0.1", 0.1},      {u"1E+2", 100},       {u"  +1  ", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CDbl(c.text), c.value) << ToUtf8(c.text);
    EXPECT_TRUE(bool(IsNumeric(c.text))) << ToUtf8(c.text);
  }
}

TEST(ConvertTest, TextThatIsNotANumberIsTypeMismatch) {
  const char16_t* cases[] = {u"",    u" ",   u"12abc", u"1 2",  u"1e",   u"1.2.3", u",5",   u".",
                             u"abc", u"45 Help", u"1,2.3.4", u"$1e3", u"1D2", u"(5",  u"5)",   u"-5-",
                             u"++5", u"$$5", u"((5))", u"&H",  u"&HG",  u"&17",   u"&O8",  u"$&H1",
                             u"1e+", u"e5",  u"5 e3",  u"&H1.5", u"1.5.", u"-",    u"()",   u"1_000"};
  for (const char16_t* text : cases) {
    EXPECT_RUNTIME_ERROR(CDbl(text), err::kTypeMismatch);
    EXPECT_RUNTIME_ERROR(CLng(text), err::kTypeMismatch);
    EXPECT_FALSE(bool(IsNumeric(text))) << ToUtf8(text);
  }
}

TEST(ConvertTest, TextGoesThroughTheTargetsRounding) {
  EXPECT_EQ(CInt(u"2.5"), 2);
  EXPECT_EQ(CInt(u"3.5"), 4);
  EXPECT_EQ(CLng(u"-2147483648.5"), std::numeric_limits<Long>::min());
  EXPECT_RUNTIME_ERROR(CInt(u"40000"), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CByte(u"-1"), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CDbl(u"1e400"), err::kOverflow);
  EXPECT_FALSE(bool(IsNumeric(u"1e400")));
}

TEST(ConvertTest, HexAndOctalAreBitPatternsOfTheTargetWidth) {
  EXPECT_EQ(CInt(u"&HFFFF"), -1);
  EXPECT_EQ(CInt(u"&H7FFF"), 32767);
  EXPECT_RUNTIME_ERROR(CInt(u"&H10000"), err::kOverflow);
  EXPECT_EQ(CLng(u"&HFFFFFFFF"), -1);
  EXPECT_EQ(CLng(u"&HF000"), 61440);
  EXPECT_EQ(CLng(u"&O37777777777"), -1);
  EXPECT_RUNTIME_ERROR(CLng(u"&H100000000"), err::kOverflow);
  EXPECT_EQ(CByte(u"&HFF"), 255);
  EXPECT_RUNTIME_ERROR(CByte(u"&H100"), err::kOverflow);
  EXPECT_EQ(CLng(u"-&H10"), -16);
  EXPECT_EQ(CDbl(u"&HFFFF"), 65535);
  EXPECT_EQ(CDbl(u"&HFFFFFFFF"), -1);  // a Long's bit pattern, as &HFFFFFFFF is in code
  EXPECT_EQ(CDbl(u"&H100000000"), 4294967296.0);
  EXPECT_RUNTIME_ERROR(CDbl(u"&H10000000000000000"), err::kOverflow);
  EXPECT_EQ(CCur(u"&HFFFF").scaled, 655350000);
}

TEST(ConvertTest, CurrencyFromTextIsExact) {
  EXPECT_EQ(CCur(u"$1,234.5678").scaled, 12345678);
  EXPECT_EQ(CCur(u"0.00005").scaled, 0);
  EXPECT_EQ(CCur(u"0.00015").scaled, 2);
  EXPECT_EQ(CCur(u"0.000050001").scaled, 1);
  EXPECT_EQ(CCur(u"922337203685477.5807").scaled, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(CCur(u"-922337203685477.5808").scaled, std::numeric_limits<std::int64_t>::min());
  EXPECT_RUNTIME_ERROR(CCur(u"922337203685477.5808"), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CCur(u"1e20"), err::kOverflow);
  EXPECT_EQ(CCur(u"1e-20").scaled, 0);
  EXPECT_EQ(CCur(u"(1.5)").scaled, -15000);
}

// Text built from the grammar's pieces in random order and spacing reads as the number its
// digits spell (strtod on the bare digits is the reference); one broken piece makes it 13.
TEST(ConvertTest, GeneratedNumberTextReadsBack) {
  const unsigned seed = 31337;
  std::mt19937 rng(seed);
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  auto blanks = [&] { return std::string(rng() % 3, " \t"[rng() % 2]); };
  for (int i = 0; i < 20000; ++i) {
    std::string int_digits, frac_digits;
    for (std::size_t n = rng() % 7; n > 0; --n) int_digits += static_cast<char>('0' + rng() % 10);
    const bool dot = chance(50);
    if (dot) {
      for (std::size_t n = rng() % 5; n > 0; --n) frac_digits += static_cast<char>('0' + rng() % 10);
    }
    if (int_digits.empty() && frac_digits.empty()) int_digits = "7";
    const bool paren = chance(20);
    const int sign = static_cast<int>(rng() % 3);  // none, '+', '-'
    const bool sign_trailing = chance(30);
    const int dollar = static_cast<int>(rng() % 3);  // none, leading, trailing
    const bool exponent = dollar == 0 && chance(30);
    std::string exp_text;
    if (exponent) {
      exp_text = chance(50) ? "e" : "E";
      if (chance(50)) exp_text += chance(50) ? "-" : "+";
      for (std::size_t n = 1 + rng() % 2; n > 0; --n) exp_text += static_cast<char>('0' + rng() % 10);
    }

    std::vector<std::string> leading, trailing;
    if (sign != 0) (sign_trailing ? trailing : leading).push_back(sign == 1 ? "+" : "-");
    if (dollar == 1) leading.push_back("$");
    if (dollar == 2) trailing.push_back("$");
    if (paren) {
      leading.push_back("(");
      trailing.push_back(")");
    }
    if (chance(20)) trailing.push_back(",");
    std::shuffle(leading.begin(), leading.end(), rng);
    std::shuffle(trailing.begin(), trailing.end(), rng);

    // Commas anywhere after the first digit, unchecked.
    std::string body;
    for (std::size_t k = 0; k < int_digits.size(); ++k) {
      body += int_digits[k];
      if (chance(15)) body += ",";
    }
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
    const String wide = FromUtf8(text);
    ASSERT_EQ(CDbl(wide), expected) << "seed " << seed << " text [" << text << "]";

    // One broken piece.
    std::string broken = text;
    switch (rng() % 6) {
      case 0: broken.insert(broken.find(body), ","); break;                // comma before the first digit
      case 1: broken.insert(broken.find(body) + body.size(), ".5."); break;  // a second point
      case 2: broken.insert(rng() % (broken.size() + 1), "x"); break;
      case 3: broken.insert(broken.find(body) + body.size(), " 1"); break;   // digits after a blank
      case 4: broken = (paren ? "" : "(") + broken; if (paren) broken.erase(broken.rfind(')'), 1); break;
      default: broken = (sign == 0 ? "+-" : "+") + broken; break;           // a second sign
    }
    EXPECT_RUNTIME_ERROR(CDbl(FromUtf8(broken)), err::kTypeMismatch);
  }
}

// ---------------------------------------------------------------------------------------------
// Booleans and the special kinds.

TEST(ConvertTest, BooleansAreMinusOneAndZero) {
  EXPECT_EQ(CInt(true), -1);
  EXPECT_EQ(CDbl(true), -1.0);
  EXPECT_EQ(CDate(true), -1.0);
  EXPECT_EQ(CBool(0.0001).raw(), -1);
  EXPECT_EQ(CBool(-5).raw(), -1);
  EXPECT_EQ(CBool(0).raw(), 0);
  EXPECT_EQ(CBool(Variant()).raw(), 0);
  EXPECT_EQ(CBool(Cur(1)).raw(), -1);
  EXPECT_EQ(CStr(true), u"True");
  EXPECT_EQ(CStr(false), u"False");
}

TEST(ConvertTest, TextReadsAsBoolean) {
  const struct {
    const char16_t* text;
    bool value;
  } cases[] = {{u"True", true},    {u"tRUE", true},   {u"false", false}, {u"FALSE", false},
               {u"#TRUE#", true},  {u"#false#", false}, {u"0", false},   {u"2", true},
               {u"-0.5", true},    {u" 0 ", false},     {u"&H0", false}, {u"(1)", true}};
  for (const auto& c : cases) EXPECT_EQ(bool(CBool(c.text)), c.value) << ToUtf8(c.text);
  for (const char16_t* text : {u"", u"yes", u"True ", u"#TRUE", u"T"}) {
    EXPECT_RUNTIME_ERROR(CBool(text), err::kTypeMismatch);
  }
}

TEST(ConvertTest, EmptyIsZeroEmptyTextAndFalse) {
  const Variant empty;
  EXPECT_EQ(CLng(empty), 0);
  EXPECT_EQ(CInt(empty), 0);
  EXPECT_EQ(CByte(empty), 0);
  EXPECT_EQ(CDbl(empty), 0.0);
  EXPECT_EQ(CSng(empty), 0.0f);
  EXPECT_EQ(CCur(empty).scaled, 0);
  EXPECT_EQ(CDate(empty), 0.0);
  EXPECT_EQ(CStr(empty), u"");
  EXPECT_FALSE(bool(CBool(empty)));
}

TEST(ConvertTest, NullIsInvalidUseOfNullEverywhere) {
  const Variant null = Variant::Null();
  EXPECT_RUNTIME_ERROR(CStr(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CLng(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CInt(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CByte(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CDbl(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CSng(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CCur(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CBool(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CDate(null), err::kInvalidUseOfNull);
  EXPECT_RUNTIME_ERROR(CVarType(null, VbVarType::vbLong), err::kInvalidUseOfNull);
  EXPECT_FALSE(bool(IsNumeric(null)));
  EXPECT_FALSE(bool(IsDate(null)));
}

TEST(ConvertTest, ErrorValuesHaveTextButNoNumber) {
  EXPECT_EQ(CStr(ErrorCode{2000}), u"Error 2000");
  EXPECT_EQ(CStr(ErrorCode{static_cast<std::int32_t>(0x800A07D0u)}), u"Error 2000");  // CVErr(2000)
  EXPECT_EQ(CStr(Missing), u"Error 448");
  EXPECT_RUNTIME_ERROR(CLng(ErrorCode{5}), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CDbl(Missing), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CBool(Missing), err::kTypeMismatch);
  EXPECT_FALSE(bool(IsNumeric(Missing)));
}

TEST(ConvertTest, ArraysDoNotConvert) {
  const Variant array(SafeArray(VbVarType::vbLong, 0, 2));
  EXPECT_RUNTIME_ERROR(CStr(array), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CLng(array), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CBool(array), err::kTypeMismatch);
  EXPECT_FALSE(bool(IsNumeric(array)));
}

TEST(ConvertTest, ObjectsConvertThroughTheirDefaultMember) {
  EXPECT_EQ(CLng(Holding(2.5)), 2);
  EXPECT_EQ(CStr(Holding(1.5)), u"1.5");
  EXPECT_EQ(CDbl(Holding(u"$3")), 3.0);
  EXPECT_TRUE(bool(CBool(Holding(u"true"))));
  EXPECT_TRUE(bool(IsNumeric(Holding(7))));
  EXPECT_FALSE(bool(IsNumeric(Holding(u"x"))));
  EXPECT_TRUE(bool(IsDate(Holding(Date{1}))));
  EXPECT_RUNTIME_ERROR(CLng(Holding(Variant::Null())), err::kInvalidUseOfNull);
  const Variant no_default(MakeObject(std::make_shared<NoDefault>()));
  EXPECT_RUNTIME_ERROR(CStr(no_default), err::kObjectDoesntSupportMember);
  EXPECT_FALSE(bool(IsNumeric(no_default)));
  const Variant nothing{Object()};
  EXPECT_RUNTIME_ERROR(CLng(nothing), err::kObjectVariableNotSet);
  EXPECT_FALSE(bool(IsNumeric(nothing)));
}

TEST(ConvertTest, IsNumericByKind) {
  EXPECT_TRUE(bool(IsNumeric(Variant())));
  EXPECT_TRUE(bool(IsNumeric(true)));
  EXPECT_TRUE(bool(IsNumeric(Byte{1})));
  EXPECT_TRUE(bool(IsNumeric(Integer{1})));
  EXPECT_TRUE(bool(IsNumeric(1.5f)));
  EXPECT_TRUE(bool(IsNumeric(Cur(1))));
  EXPECT_FALSE(bool(IsNumeric(Variant(Date{1}))));
  EXPECT_TRUE(bool(IsNumeric(u"&HFF")));
}

TEST(ConvertTest, ChangeTypeGivesTheRequestedKind) {
  const struct {
    VbVarType kind;
    Variant expected;
  } cases[] = {
      {VbVarType::vbInteger, Variant(Integer{2})}, {VbVarType::vbLong, Variant(2)},
      {VbVarType::vbByte, Variant(Byte{2})},       {VbVarType::vbSingle, Variant(2.5f)},
      {VbVarType::vbDouble, Variant(2.5)},         {VbVarType::vbCurrency, Variant(Currency{25000})},
      {VbVarType::vbString, Variant(u"2.5")},
      {VbVarType::vbBoolean, Variant(true)},       {VbVarType::vbVariant, Variant(u"2.5")},
  };
  for (const auto& c : cases) {
    const Variant out = CVarType(Variant(u"2.5"), c.kind);
    EXPECT_EQ(out, c.expected) << static_cast<int>(c.kind);
    EXPECT_EQ(out.VarType(), c.kind == VbVarType::vbVariant ? VbVarType::vbString : c.kind);
  }
  EXPECT_EQ(CVarType(2.5, VbVarType::vbDate), Variant(Date{2.5}));
  EXPECT_EQ(CVarType(u"1/5/2020", VbVarType::vbDate), Variant(Date{43835}));
  EXPECT_TRUE(CVarType(Variant(), VbVarType::vbObject).IsObject());
  EXPECT_RUNTIME_ERROR(CVarType(5, VbVarType::vbObject), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CVarType(5, VbVarType::vbError), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CVarType(u"x", VbVarType::vbLong), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(CVarType(70000, VbVarType::vbInteger), err::kOverflow);
  const Variant longs(SafeArray(VbVarType::vbLong, 1, 2));
  EXPECT_EQ(CVarType(longs, longs.VarType()), longs);
  EXPECT_RUNTIME_ERROR(CVarType(longs, static_cast<VbVarType>(8192 + 8)), err::kTypeMismatch);
  EXPECT_TRUE(CVarType(Missing, VbVarType::vbError).IsMissing());
}

// ---------------------------------------------------------------------------------------------
// Numbers -> text.

TEST(ConvertTest, DoubleTextHasFifteenDigits) {
  const struct {
    double value;
    const char16_t* text;
  } cases[] = {
      {0.5, u"0.5"},
      {1.0 / 3, u"0.333333333333333"},
      {2.0 / 3, u"0.666666666666667"},
      {0.1 + 0.2, u"0.3"},
      {12.345678901234567, u"12.3456789012346"},
      {-1.5, u"-1.5"},
      {999999999999999.0, u"999999999999999"},
      {999999999999999.5, u"1E+15"},
      {1e15, u"1E+15"},
      {1.2e15, u"1.2E+15"},
      {123456789012345678.0, u"1.23456789012346E+17"},
      {1e20, u"1E+20"},
      {DBL_MAX, u"1.79769313486232E+308"},
      {-DBL_MAX, u"-1.79769313486232E+308"},
      {0.000015, u"0.000015"},
      {0.0001, u"0.0001"},
      {5.6789e-11, u"0.000000000056789"},
      {5.6789e-12, u"5.6789E-12"},
      {1.5e-15, u"1.5E-15"},
      {1.23456789012345e-05, u"1.23456789012345E-05"},
      {-0.0, u"0"},
      {0.0, u"0"},
      {1e-14, u"0.00000000000001"},
      {1e-15, u"1E-15"},
      {1.1e-14, u"0.000000000000011"},
      {4.94065645841247e-324, u"4.94065645841247E-324"},
      {100, u"100"},
      {-32768, u"-32768"},
      // Exact decimal ties round away from zero (printf would round these to even).
      {123456789012344.5, u"123456789012345"},
      {-123456789012344.5, u"-123456789012345"},
      {1234567890123445.0, u"1.23456789012345E+15"},
      {0.125, u"0.125"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DoubleToText(c.value), c.text) << c.value;
    EXPECT_EQ(CStr(c.value), c.text) << c.value;
  }
}

TEST(ConvertTest, SingleTextHasSevenDigits) {
  const struct {
    float value;
    const char16_t* text;
  } cases[] = {
      {1.0f / 3, u"0.3333333"},   {1234.5678f, u"1234.568"},    {9999999.0f, u"9999999"},
      {1e7f, u"1E+07"},           {16777216.0f, u"1.677722E+07"}, {0.000015f, u"0.000015"},
      {1.5e-8f, u"1.5E-08"},      {654322.25f, u"654322.3"},   {1048576.5f, u"1048577"},
      {-654322.25f, u"-654322.3"}, {FLT_MAX, u"3.402823E+38"}, {0.1f, u"0.1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SingleToText(c.value), c.text) << c.value;
    EXPECT_EQ(CStr(c.value), c.text) << c.value;
  }
}

TEST(ConvertTest, WholeAndCurrencyText) {
  EXPECT_EQ(CStr(Integer{-32768}), u"-32768");
  EXPECT_EQ(CStr(std::numeric_limits<int>::min()), u"-2147483648");
  EXPECT_EQ(CStr(Byte{255}), u"255");
  EXPECT_EQ(CStr(Cur(10000)), u"1");
  EXPECT_EQ(CStr(Cur(15000)), u"1.5");
  EXPECT_EQ(CStr(Cur(-15000)), u"-1.5");
  EXPECT_EQ(CStr(Cur(9)), u"0.0009");
  EXPECT_EQ(CStr(Cur(-9)), u"-0.0009");
  EXPECT_EQ(CStr(Cur(std::numeric_limits<std::int64_t>::max())), u"922337203685477.5807");
  EXPECT_EQ(CStr(Cur(std::numeric_limits<std::int64_t>::min())), u"-922337203685477.5808");
}

// ---------------------------------------------------------------------------------------------
// Differential: the text of random doubles and singles against an exact reference. The
// reference takes glibc's exact decimal expansion (%.800e never rounds a double), rounds half
// up on the magnitude to `digits` digits, and reads that back with strtod.

double ReferenceRounded(double x, int digits) {
  static char buf[1000];
  std::snprintf(buf, sizeof buf, "%.800e", std::fabs(x));
  std::string mantissa;
  mantissa += buf[0];
  mantissa.append(buf + 2, static_cast<std::size_t>(digits - 1));
  int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  if (buf[digits + 1] >= '5') {
    int i = digits - 1;
    while (i >= 0 && mantissa[static_cast<std::size_t>(i)] == '9') mantissa[static_cast<std::size_t>(i--)] = '0';
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

void ExpectTextShape(const std::string& text, double rounded, int digits, double lower_plain) {
  std::size_t sig = 0;
  bool seen_nonzero = false;
  for (char ch : text.substr(0, text.find('E'))) {
    if (ch >= '1' && ch <= '9') seen_nonzero = true;
    if (ch >= '0' && ch <= '9' && seen_nonzero) ++sig;
  }
  EXPECT_LE(sig, static_cast<std::size_t>(digits)) << text;
  const bool e_form = text.find('E') != std::string::npos;
  const double magnitude = std::fabs(rounded);
  if (magnitude >= std::pow(10.0, digits)) {
    EXPECT_TRUE(e_form) << text;
  } else if (magnitude >= lower_plain) {
    EXPECT_FALSE(e_form) << text;
  }
  if (!e_form && text.find('.') != std::string::npos) {
    EXPECT_NE(text.back(), '0') << text;
  }
}

TEST(ConvertTest, RandomDoublesReadBackAsTheirFifteenDigitRounding) {
  const unsigned seed = 20261205;
  std::mt19937_64 rng(seed);
  for (int i = 0; i < 20000; ++i) {
    double x;
    const int shape = i % 4;
    if (shape == 0) {  // any bit pattern
      std::uint64_t bits = rng();
      std::memcpy(&x, &bits, sizeof x);
      if (!std::isfinite(x)) continue;
    } else if (shape == 1) {  // ordinary magnitudes
      x = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 120) - 90);
    } else if (shape == 2) {  // 16-digit integers and halves: many exact ties
      x = static_cast<double>(rng() % 20000000000000000ull) / 2.0;
    } else {  // short decimals
      x = static_cast<double>(static_cast<std::int64_t>(rng() % 2000000) - 1000000) / 1000.0;
    }
    if (rng() & 1) x = -x;
    const String text = DoubleToText(x);
    const double expected = ReferenceRounded(x, 15);
    ASSERT_EQ(CDbl(text), expected) << "seed " << seed << " x=" << x << " text=" << ToUtf8(text);
    ExpectTextShape(ToUtf8(text), expected, 15, 1e-4);
  }
}

TEST(ConvertTest, RandomSinglesReadBackAsTheirSevenDigitRounding) {
  const unsigned seed = 77;
  std::mt19937 rng(seed);
  for (int i = 0; i < 20000; ++i) {
    float f;
    if (i % 2 == 0) {
      std::uint32_t bits = static_cast<std::uint32_t>(rng());
      std::memcpy(&f, &bits, sizeof f);
      if (!std::isfinite(f)) continue;
    } else {
      f = static_cast<float>(rng() % 200000000) / 8.0f;  // 8-9 digit values and exact ties
    }
    const String text = SingleToText(f);
    const double expected = ReferenceRounded(static_cast<double>(f), 7);
    ASSERT_EQ(CDbl(text), expected) << "seed " << seed << " f=" << f << " text=" << ToUtf8(text);
    ExpectTextShape(ToUtf8(text), expected, 7, 1e-4);
  }
}

}  // namespace
}  // namespace narwick
