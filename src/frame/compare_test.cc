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

TEST(CompareTest, OrderingRules) {
  constexpr auto less = partial_ordering::less, greater = partial_ordering::greater;
  constexpr auto equivalent = partial_ordering::equivalent, unordered = partial_ordering::unordered;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const struct {
    Variant a, b;
    partial_ordering expected;
  } cases[] = {
      {0, kEmpty, equivalent}, {-1, true, equivalent}, {Integer{2}, 2.0, equivalent},
      {Variant(Date{2}), 1.5, greater}, {2, u"1", less}, {1e300, u"", less},
      {u"", kEmpty, equivalent}, {u"x", kEmpty, greater}, {kEmpty, u"x", less},
      {kEmpty, kEmpty, equivalent}, {u"ab", u"abc", less}, {u"", u"a", less},
      {String(1, u'\u0100'), String(1, u'\u00FF'), greater},
      {String(1, u'\uFFFF'), String(1, static_cast<char16_t>(0xD800)), greater},
      {String(u"a\0b", 3), String(u"a\0c", 3), less}, {1, u"1", less},
      {Variant(Currency{15000}), 1.5, equivalent}, {Variant(Currency{15000}), 2, less},
      {Variant(Currency{20000}), Byte{2}, equivalent},
      {Variant(Currency{kMax}), Variant(Currency{kMax - 1}), greater},
      {0.1f, 0.1, equivalent},  // the Double is rounded to Single first
      {0.1f, 0.2, less}, {false, kEmpty, equivalent},
      {std::numeric_limits<int>::min(), -2147483648.0, equivalent},
      {ErrorCode{5}, ErrorCode{7}, equivalent}, {kNull, kNull, unordered}, {kNull, 1, unordered},
      {u"a", kNull, unordered}, {kNull, ErrorCode{1}, unordered},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.a) + " / " + ::testing::PrintToString(c.b));
    EXPECT_EQ(Compare(c.a, c.b), c.expected);
    // The mirror image, and the three tests agree with the ordering.
    EXPECT_EQ(Compare(c.b, c.a), 0 <=> c.expected);
    EXPECT_EQ(Equal(c.a, c.b), c.expected == equivalent);
    EXPECT_EQ(Less(c.a, c.b), c.expected == less);
    EXPECT_EQ(Greater(c.a, c.b), c.expected == greater);
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
  friend partial_ordering operator<=>(const ModelKey& a, const ModelKey& b) {
    if (a.rank != b.rank) return a.rank <=> b.rank;
    if (a.rank == 0) return a.number <=> b.number;
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
      ASSERT_EQ(Compare(va, vb), ka <=> kb) << "seed " << seed;
    }
  }
}

TEST(CompareTest, TextEqualComparesLowerCasedText) {
  const struct {
    Variant a, b;
    bool equal;
  } cases[] = {
      {1, u"1", true}, {1.5, u"1.5", true}, {1, u"1.0", false}, {1, u"01", false},
      {true, u"true", true}, {Variant(Date{43835}), u"1/5/2020", true},
      {u"\u00C9MILE", u"\u00E9mile", true}, {kEmpty, u"", true},
      {u"stra\u00DFe", u"STRASSE", false}, {u"ab", u"abc", false}, {kNull, kNull, false},
      {kNull, u"", false}, {u"", kNull, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextEqual(c.a, c.b), c.equal) << ::testing::PrintToString(c.a) << " / "
                                             << ::testing::PrintToString(c.b);
  }
}

TEST(CompareTest, CaseMappingIsOneUnitForOne) {
  EXPECT_EQ(UCase(u"\u00E9mile \u00FF\u0153\u0161\u017E \u00DF a1-b_"),
            u"\u00C9MILE \u0178\u0152\u0160\u017D \u00DF A1-B_");
  EXPECT_EQ(LCase(u"ABC xyz 123 \u00C0"), u"abc xyz 123 \u00E0");
  // Every 16-bit unit maps to one unit; of ASCII only the letters change; surrogates stay.
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
  for (std::size_t i = 0xD800; i < 0xE000; ++i) EXPECT_EQ(upper[i], all[i]);
}

}  // namespace
}  // namespace narwick
