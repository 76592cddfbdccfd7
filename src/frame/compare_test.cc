// The Variant ordering, equality, text-equal and case mapping; the ordering is also checked
// against a plain model on random mixed values.
#include <gtest/gtest.h>

#include <algorithm>
#include <compare>
#include <random>
#include <vector>

#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using std::partial_ordering;

const Variant kEmpty;
const Variant kNull = Variant::Null();

TEST(CompareTest, SortsNumbersBelowStringsAndStringsByCodeUnit) {
  std::vector<Variant> values = {10, u"9", 2, Variant()};
  std::stable_sort(values.begin(), values.end(), Less);
  EXPECT_EQ(values, (std::vector<Variant>{Variant(), 2, 10, u"9"}));

  std::vector<Variant> letters = {u"b", u"B", u"a"};
  std::stable_sort(letters.begin(), letters.end(), Less);
  EXPECT_EQ(letters, (std::vector<Variant>{u"B", u"a", u"b"}));
}

TEST(CompareTest, OrderingRules) {
  const struct {
    Variant a, b;
    partial_ordering expected;
  } cases[] = {
      {0, kEmpty, partial_ordering::equivalent},
      {-1, true, partial_ordering::equivalent},
      {Integer{2}, 2.0, partial_ordering::equivalent},
      {Variant(Date{2}), 1.5, partial_ordering::greater},
      {2, u"1", partial_ordering::less},
      {1e300, u"", partial_ordering::less},
      {u"", kEmpty, partial_ordering::equivalent},
      {u"x", kEmpty, partial_ordering::greater},
      {kEmpty, u"x", partial_ordering::less},
      {kEmpty, kEmpty, partial_ordering::equivalent},
      {u"ab", u"abc", partial_ordering::less},
      {u"", u"a", partial_ordering::less},
      {String(1, u'\u0100'), String(1, u'\u00FF'), partial_ordering::greater},
      {String(1, u'\uFFFF'), String(1, static_cast<char16_t>(0xD800)), partial_ordering::greater},
      {String(u"a\0b", 3), String(u"a\0c", 3), partial_ordering::less},
      {1, u"1", partial_ordering::less},
      {Variant(Currency{15000}), 1.5, partial_ordering::equivalent},
      {Variant(Currency{15000}), 2, partial_ordering::less},
      {Variant(Currency{20000}), Byte{2}, partial_ordering::equivalent},
      {Variant(Currency{std::numeric_limits<std::int64_t>::max()}),
       Variant(Currency{std::numeric_limits<std::int64_t>::max() - 1}), partial_ordering::greater},
      {0.1f, 0.1, partial_ordering::equivalent},  // the Double is rounded to Single first
      {0.1f, 0.2, partial_ordering::less},
      {false, kEmpty, partial_ordering::equivalent},
      {std::numeric_limits<int>::min(), -2147483648.0, partial_ordering::equivalent},
      {ErrorCode{5}, ErrorCode{7}, partial_ordering::equivalent},
      {kNull, kNull, partial_ordering::unordered},
      {kNull, 1, partial_ordering::unordered},
      {u"a", kNull, partial_ordering::unordered},
      {kNull, ErrorCode{1}, partial_ordering::unordered},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Compare(c.a, c.b), c.expected) << ToUtf8(CStr(c.a.IsNull() ? Variant(u"Null") : c.a));
    // The mirror image, and the three tests agree with the ordering.
    EXPECT_EQ(Compare(c.b, c.a), 0 <=> c.expected);
    EXPECT_EQ(Equal(c.a, c.b), c.expected == partial_ordering::equivalent);
    EXPECT_EQ(Less(c.a, c.b), c.expected == partial_ordering::less);
    EXPECT_EQ(Greater(c.a, c.b), c.expected == partial_ordering::greater);
  }
}

TEST(CompareTest, ErrorsAgainstOtherKindsObjectsAndArraysDoNotCompare) {
  EXPECT_RUNTIME_ERROR(Compare(ErrorCode{5}, 5), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(Compare(u"a", Missing), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(Equal(Missing, kEmpty), err::kTypeMismatch);
  const Variant nothing{Object()};
  EXPECT_RUNTIME_ERROR(Compare(nothing, 1), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(Compare(u"a", nothing), err::kTypeMismatch);
  const Variant array(SafeArray(VbVarType::vbVariant, 0, 0));
  EXPECT_RUNTIME_ERROR(Compare(array, array), err::kTypeMismatch);
}

// Model of the ordering over values whose numbers are exact in double: a number is below any
// string; numbers by value; strings by code unit. Empty is left out here because it is equal
// both to 0 and to "", which no single key can express (its cases are in the table above).
struct ModelKey {
  int rank;
  double number;
  String text;
  friend std::weak_ordering operator<=>(const ModelKey& a, const ModelKey& b) {
    if (a.rank != b.rank) return a.rank <=> b.rank;
    if (a.rank == 0) return a.number < b.number ? std::weak_ordering::less
                            : a.number > b.number ? std::weak_ordering::greater : std::weak_ordering::equivalent;
    return a.text.compare(b.text) <=> 0;
  }
};

TEST(CompareTest, RandomMixedValuesOrderLikeTheModel) {
  const unsigned seed = 99;
  std::mt19937 rng(seed);
  std::vector<std::pair<Variant, ModelKey>> values;
  for (int i = 0; i < 400; ++i) {
    const int whole = static_cast<int>(rng() % 21) - 10;
    switch (rng() % 8) {
      case 0: values.push_back({Integer(whole), {0, double(whole), {}}}); break;
      case 1: values.push_back({whole, {0, double(whole), {}}}); break;
      case 2: values.push_back({whole / 2.0, {0, whole / 2.0, {}}}); break;
      case 3: values.push_back({static_cast<float>(whole / 4.0), {0, whole / 4.0, {}}}); break;
      case 4: values.push_back({Variant(Currency{whole * 2500}), {0, whole / 4.0, {}}}); break;
      case 5: values.push_back({Variant(Date{double(whole)}), {0, double(whole), {}}}); break;
      case 6: values.push_back({whole % 2 == 0, {0, whole % 2 == 0 ? -1.0 : 0.0, {}}}); break;
      default: {
        String s;
        for (std::size_t n = rng() % 4; n > 0; --n) s.push_back(u"aAb\u00E9\u0100"[rng() % 5]);
        values.push_back({s, {1, 0, s}});
      }
    }
  }
  for (const auto& [va, ka] : values) {
    for (const auto& [vb, kb] : values) {
      const auto expected = ka <=> kb;
      const auto actual = Compare(va, vb);
      ASSERT_EQ(actual == partial_ordering::less, expected < 0) << "seed " << seed;
      ASSERT_EQ(actual == partial_ordering::equivalent, expected == 0) << "seed " << seed;
    }
  }
}

TEST(CompareTest, TextEqualComparesLowerCasedText) {
  EXPECT_TRUE(TextEqual(1, u"1"));
  EXPECT_TRUE(TextEqual(1.5, u"1.5"));
  EXPECT_FALSE(TextEqual(1, u"1.0"));
  EXPECT_FALSE(TextEqual(1, u"01"));
  EXPECT_TRUE(TextEqual(true, u"true"));
  EXPECT_TRUE(TextEqual(Variant(Date{43835}), u"1/5/2020"));
  EXPECT_TRUE(TextEqual(u"\u00C9MILE", u"\u00E9mile"));
  EXPECT_TRUE(TextEqual(kEmpty, u""));
  EXPECT_FALSE(TextEqual(u"stra\u00DFe", u"STRASSE"));
  EXPECT_FALSE(TextEqual(u"ab", u"abc"));
  EXPECT_FALSE(TextEqual(kNull, kNull));
  EXPECT_FALSE(TextEqual(kNull, u""));
  EXPECT_FALSE(TextEqual(u"", kNull));
}

TEST(CompareTest, CaseMappingIsOneUnitForOne) {
  EXPECT_EQ(UCase(u"\u00E9mile"), u"\u00C9MILE");
  EXPECT_EQ(UCase(u"\u00FF"), u"\u0178");
  EXPECT_EQ(UCase(u"\u0153\u0161\u017E"), u"\u0152\u0160\u017D");
  EXPECT_EQ(UCase(u"\u00DF"), u"\u00DF");
  EXPECT_EQ(LCase(u"ABC xyz 123 \u00C0"), u"abc xyz 123 \u00E0");
  EXPECT_EQ(UCase(u"a1-b_"), u"A1-B_");
  // Every 16-bit unit maps to one unit, and letters that map come back.
  String all;
  for (char32_t c = 0; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
  const String upper = UCase(all), lower = LCase(all);
  ASSERT_EQ(upper.size(), all.size());
  ASSERT_EQ(lower.size(), all.size());
  for (std::size_t i = 0; i < 128; ++i) {
    const char16_t c = all[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    EXPECT_EQ(upper[i] != c || lower[i] != c, letter) << i;
  }
  for (std::size_t i = 0xD800; i < 0xE000; ++i) EXPECT_EQ(upper[i], all[i]);  // surrogates untouched
}

}  // namespace
}  // namespace narwick
