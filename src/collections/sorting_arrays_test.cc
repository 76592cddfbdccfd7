// clsSortingArrays: the sorts against plain transcriptions of the same algorithms on random
// mixed-kind arrays (exact permutation), the Null guard, the 16-bit positions of
// removeDuplicatesInArray, the array utilities, message boxes and failure values.
#include "narwick/collections/sorting_arrays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/host.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

std::vector<Variant> Elements(const SafeArray& array) {
  auto cells = array.elements();
  return {cells.begin(), cells.end()};
}

SafeArray Array(Long lbound, const std::vector<Variant>& values) {
  SafeArray a(VbVarType::vbVariant, lbound, static_cast<Long>(lbound + static_cast<std::int64_t>(values.size()) - 1));
  std::copy(values.begin(), values.end(), a.elements().begin());
  return a;
}

void ReferenceBubble(std::vector<Variant>& a) {
  try {
    for (std::size_t p = 0; p + 1 < a.size(); ++p) {
      for (std::size_t q = p + 1; q < a.size(); ++q) {
        if (Greater(a[p], a[q])) std::swap(a[p], a[q]);
      }
    }
  } catch (const RuntimeError&) {
  }
}

// Absolute positions (the midpoint truncates toward zero, which matters below zero);
// a[k - lbound] is position k. Each call traps its own failure.
void ReferenceQuick(std::vector<Variant>& a, long lbound, long lo, long hi) {
  auto at = [&](long k) -> Variant& { return a.at(static_cast<std::size_t>(k - lbound)); };
  try {
    if (hi <= lo) return;
    const Variant pivot = at((lo + hi) / 2);
    long i = lo, j = hi;
    while (i <= j) {
      const bool i_ge = !Less(at(i), pivot) && Compare(at(i), pivot) != std::partial_ordering::unordered;
      const bool j_le = !Greater(at(j), pivot) && Compare(at(j), pivot) != std::partial_ordering::unordered;
      if (i_ge && j_le) {
        std::swap(at(i), at(j));
        ++i;
        --j;
      } else {
        const bool up = Less(at(i), pivot), down = Greater(at(j), pivot);
        if (!up && !down) return;  // stalled by Null: this call stops there
        if (up) ++i;
        if (down) --j;
      }
    }
    ReferenceQuick(a, lbound, lo, j);
    ReferenceQuick(a, lbound, i, hi);
  } catch (const RuntimeError&) {
  }
}

void ReferenceShell(std::vector<Variant>& a) {
  const auto exchange = [&](std::size_t i, std::size_t j) {
    if (!Greater(a[i], a[j])) return false;
    std::swap(a[i], a[j]);
    return true;
  };
  try {
    const std::size_t n = a.size();
    for (std::size_t gap = n / 2; gap >= 1; gap /= 2) {
      bool forward = true, backward = true;
      while (forward || backward) {
        forward = backward = false;
        for (std::size_t i = 0; i + gap < n; ++i) forward |= exchange(i, i + gap);
        for (std::size_t i = n - gap; i-- > 0;) backward |= exchange(i, i + gap);
      }
    }
  } catch (const RuntimeError&) {
  }
}

// Mixed kinds whose values collide across kinds (2, 2.0, CCur(2), #1/1/1900#, "2"), so a
// wrong permutation of equal elements shows.
Variant RandomElement(std::mt19937& rng, bool with_errors) {
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const int n = pick(8) - 2;
  switch (pick(with_errors ? 12 : 11)) {
    case 0: return Variant(static_cast<Integer>(n));
    case 1: return Variant(n);
    case 2: return Variant(static_cast<double>(n) / 2);
    case 3: return Variant(static_cast<float>(n) / 4);
    case 4: return Variant(Currency{std::int64_t{n} * 10000});
    case 5: return Variant(Date{static_cast<double>(n)});
    case 6: return Variant(pick(2) == 0);
    case 7: return Variant();
    case 8:
    case 9: {
      static const char16_t* const kTexts[] = {u"", u"a", u"A", u"b", u"B", u"ab", u"2", u"10", u"\u00e9"};
      return Variant(kTexts[pick(9)]);
    }
    case 10: return Variant(FromUtf8(std::to_string(n)));
    default: return Variant(ErrorCode{pick(2)});
  }
}

struct Sample {
  Long lbound;
  std::vector<Variant> values;
};

Sample RandomSample(std::mt19937& rng, int max_len, bool with_errors) {
  Sample s;
  s.lbound = std::uniform_int_distribution<Long>(-5, 5)(rng);
  const int len = std::uniform_int_distribution<int>(0, max_len)(rng);
  for (int i = 0; i < len; ++i) s.values.push_back(RandomElement(rng, with_errors && rng() % 8 == 0));
  return s;
}

class SortingArraysTest : public ::testing::Test {
 protected:
  clsSortingArrays sorter_;
};

TEST_F(SortingArraysTest, SortsGiveExactlyTheReferencePermutation) {
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const Sample s = RandomSample(rng, seed % 10 == 0 ? 300 : 40, seed % 3 == 0);
    // The quicksort takes any part of the array (reversed bounds sort nothing) or all of it.
    Long lo = s.lbound, hi = s.lbound + static_cast<Long>(s.values.size()) - 1;
    if (seed % 2 == 0 && hi >= lo) {
      std::uniform_int_distribution<Long> position(lo, hi);
      lo = position(rng);
      hi = position(rng);
    }
    for (const char* sort : {"bubble", "quick", "shell"}) {
      std::vector<Variant> expected = s.values;
      SafeArray a = Array(s.lbound, s.values);
      if (sort[0] == 'b') {
        ReferenceBubble(expected);
        sorter_.BubbleSortVariantArray(a);
      } else if (sort[0] == 'q') {
        ReferenceQuick(expected, s.lbound, lo, hi);
        sorter_.QuickSortVariantArray(a, lo, hi);
      } else {
        ReferenceShell(expected);
        sorter_.ShellSortVariantArray(a);
      }
      ASSERT_EQ(Elements(a), expected) << sort << ", seed " << seed;
    }
  }
  // Empty equals 0 and "" though 0 < "": the Shell sort's backward passes show in the order.
  const Variant e;
  SafeArray untidy = Array(1, {e, e, u"", u"a", 1, e});
  sorter_.ShellSortVariantArray(untidy);
  EXPECT_EQ(Elements(untidy), (std::vector<Variant>{e, e, u"", e, 1, u"a"}));
  // At the largest upper bound the exchange sort's inner counter overflows after one pass;
  // at the smallest lower bound the Shell sort's backward counter does, after its first one.
  SafeArray at_max = Array(INT32_MAX - 2, {3, 2, 1});
  sorter_.BubbleSortVariantArray(at_max);
  EXPECT_EQ(Elements(at_max), (std::vector<Variant>{1, 3, 2}));
  SafeArray at_min = Array(INT32_MIN, {3, 5, 2, 4, 1});
  sorter_.ShellSortVariantArray(at_min);
  EXPECT_EQ(Elements(at_min), (std::vector<Variant>{1, 4, 2, 5, 3}));
  // Quicksort bounds past the array: the first read of position 4 fails, nothing moves.
  SafeArray beyond = Array(1, {3, 1, 2});
  sorter_.QuickSortVariantArray(beyond, 1, 4);
  EXPECT_EQ(Elements(beyond), (std::vector<Variant>{3, 1, 2}));
}

TEST_F(SortingArraysTest, LongQuickSortMatchesItsTranscriptionAndSorts) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    std::mt19937 rng(seed);
    const int n = std::uniform_int_distribution<int>(0, 500)(rng);
    const Long lb = std::uniform_int_distribution<Long>(-3, 3)(rng);
    const int spread = seed % 2 == 0 ? 5 : 1000000;
    std::vector<Variant> values;
    for (int i = 0; i < n; ++i) values.push_back(Variant(std::uniform_int_distribution<int>(-spread, spread)(rng)));
    std::vector<Variant> expected = values;
    ReferenceQuick(expected, lb, lb, lb + n - 1);
    SafeArray a(VbVarType::vbLong, lb, lb + n - 1);
    std::copy(values.begin(), values.end(), a.elements().begin());
    sorter_.QuickSortLongIntegerArray(a, lb, lb + n - 1);
    ASSERT_EQ(Elements(a), expected) << "seed " << seed;
  }
}

TEST_F(SortingArraysTest, LargeOrderedInputsSortWithoutDeepRecursion) {
  const int n = 200000;
  SafeArray up(VbVarType::vbLong, 0, n - 1), down(VbVarType::vbLong, 1, n);
  for (int i = 0; i < n; ++i) {
    up(i) = Variant(i % 1000);
    down(i + 1) = Variant(n - i);
  }
  sorter_.QuickSortLongIntegerArray(up, 0, n - 1);
  sorter_.QuickSortLongIntegerArray(down, 1, n);
  for (int i = 1; i < n; ++i) {
    ASSERT_LE(up(i - 1).Int(), up(i).Int()) << i;
    ASSERT_EQ(down(i).Int(), i);
  }
}

TEST_F(SortingArraysTest, QuickSortWithNullElementsEndsAndLosesNothing) {
  std::vector<std::vector<Variant>> all = {{Variant::Null(), Variant::Null(), Variant::Null()}};
  std::mt19937 rng(5);
  for (int k = 0; k < 200; ++k) {
    std::vector<Variant> v = RandomSample(rng, 60, false).values;
    for (auto& x : v) {
      if (rng() % 6 == 0) x = Variant::Null();
    }
    all.push_back(v);
  }
  for (const auto& values : all) {
    SafeArray a = Array(1, values);
    sorter_.QuickSortVariantArray(a, 1, static_cast<Long>(values.size()));
    std::vector<Variant> expected = values;
    ReferenceQuick(expected, 1, 1, static_cast<long>(values.size()));
    ASSERT_EQ(Elements(a), expected);
  }
}

TEST_F(SortingArraysTest, ArraysOfAnotherElementKindAreRefused) {
  SafeArray longs(VbVarType::vbLong, 0, 2);
  SafeArray variants = Array(0, {3, 2, 1});
  EXPECT_RUNTIME_ERROR(sorter_.BubbleSortVariantArray(longs), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(sorter_.QuickSortLongIntegerArray(variants, 0, 2), err::kTypeMismatch);
  Object late = CreateObject("Narwick.clsSortingArrays");
  EXPECT_RUNTIME_ERROR(late.Call("ShellSortVariantArray", {5}), err::kTypeMismatch);
  SafeArray unsized;
  sorter_.ShellSortVariantArray(unsized);  // fails inside, quietly
  SafeArray grid(VbVarType::vbVariant, {{0, 1}, {0, 1}});
  sorter_.BubbleSortVariantArray(grid);
  EXPECT_EQ(Elements(variants), (std::vector<Variant>{3, 2, 1}));
}

TEST_F(SortingArraysTest, RemoveDuplicates) {
  const Variant e, null = Variant::Null();
  const struct {
    Long lbound;
    std::vector<Variant> in;
    std::vector<Variant> out;      // the result 1 .. UBound; none: Empty (it cannot be filled)
    std::vector<Variant> blanked;  // the input afterwards, where checked
  } cases[] = {
      {1, {u"a", u"b", u"a", u"c", u"b"}, {u"a", u"b", u"c", e, e}, {u"a", u"b", u"", u"c", u""}},
      // 2.0 repeats 2; Empty and "" are dropped; 0 stays (0 is not ""); Nulls never repeat.
      {1, {2, 2.0, u"2", e, u"", 0, null, null}, {2, u"2", 0, null, null, e, e, e}, {}},
      {0, {u"x", u"y", u"x", u"y"}, {u"x", u"y", u"x"}, {}},  // position 0 is only copied
      {0, {u"x", u"y", u"z", u"w"}, {}, {}},                  // four survivors, three slots
      {0, {u"x"}, {}, {}},
      {2, {u"x", u"x"}, {}, {u"x", u"x"}},  // position 1 is not there
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(CStr(c.in[0])) + ", " + std::to_string(c.in.size()) + " elements");
    SafeArray a = Array(c.lbound, c.in);
    const Variant r = sorter_.removeDuplicatesInArray(a);
    if (c.out.empty()) {
      EXPECT_TRUE(r.IsEmpty());
    } else {
      ASSERT_TRUE(r.IsArray());
      EXPECT_EQ(r.Array().LBound(), 1);
      EXPECT_EQ(Elements(r.Array()), c.out);
    }
    if (!c.blanked.empty()) {
      EXPECT_EQ(Elements(a), c.blanked);
    }
  }
}

TEST_F(SortingArraysTest, RemoveDuplicatesHas16BitPositions) {
  SafeArray a(VbVarType::vbVariant, 1, 32767);
  for (Long i = 1; i <= 32767; ++i) a(i) = Variant(i % 3);
  EXPECT_TRUE(sorter_.removeDuplicatesInArray(a).IsEmpty());
  // The first pass ran: the copies of element 1 are blanked, those of element 2 are not.
  EXPECT_EQ(a(1), Variant(1));
  EXPECT_EQ(a(4), Variant(u""));
  EXPECT_EQ(a(2), Variant(2));
  EXPECT_EQ(a(5), Variant(2));

  SafeArray b(VbVarType::vbVariant, 1, 32768);
  for (Long i = 1; i <= 32768; ++i) b(i) = Variant(i % 3);
  EXPECT_TRUE(sorter_.removeDuplicatesInArray(b).IsEmpty());
  EXPECT_EQ(b(4), Variant(1));  // stopped before the search started
}

TEST_F(SortingArraysTest, SwapAndItsBadIndexes) {
  SafeArray a = Array(1, {u"A", u"B", u"C"});
  EXPECT_TRUE(sorter_.swapElementsInArray(a, 1, 3).IsEmpty());
  EXPECT_EQ(Elements(a), (std::vector<Variant>{u"C", u"B", u"A"}));
  sorter_.swapElementsInArray(a, 2, 9);
  sorter_.swapElementsInArray(a, 0, 2);
  EXPECT_EQ(Elements(a), (std::vector<Variant>{u"C", u"B", u"A"}));
}

TEST_F(SortingArraysTest, PercolateIsARotation) {
  std::mt19937 rng(9);
  for (int k = 0; k < 200; ++k) {
    const int n = 1 + static_cast<int>(rng() % 12);
    std::vector<Variant> v;
    for (int i = 0; i < n; ++i) v.push_back(Variant(i));
    const Long from = static_cast<Long>(rng() % static_cast<unsigned>(n));
    const Long to = static_cast<Long>(rng() % static_cast<unsigned>(n));
    SafeArray a = Array(0, v);
    sorter_.swapElementsInArrayWithPercolate(a, from, to);
    Variant moved = v[static_cast<std::size_t>(from)];
    v.erase(v.begin() + from);
    v.insert(v.begin() + to, moved);
    ASSERT_EQ(Elements(a), v) << from << " -> " << to;
  }
  // Outside the bounds: a negative index moves nothing; past the upper bound the exchanges
  // inside the array are done, then the move stops.
  SafeArray a = Array(0, {u"A", u"B", u"C", u"D", u"E"});
  sorter_.swapElementsInArrayWithPercolate(a, -1, 2);
  sorter_.swapElementsInArrayWithPercolate(a, 2, -1);
  sorter_.swapElementsInArrayWithPercolate(a, 2, 7);
  EXPECT_EQ(Elements(a), (std::vector<Variant>{u"A", u"B", u"D", u"E", u"C"}));
}

TEST_F(SortingArraysTest, DeleteElement) {
  const struct {
    Variant array;
    Long index;
    std::vector<Variant> expected;  // under the same lower bound, as Variants
  } cases[] = {
      {Array(0, {u"A", u"B", u"C", u"D"}), 1, {u"A", u"C", u"D"}},
      {SafeArray::FromValues(VbVarType::vbLong, 0, {1, 2, 3}), 2, {1, 2}},
      {Array(0, {u"A", u"B", u"C"}), 9, {u"A", u"B"}},  // outside: the last element is lost
      {Array(0, {u"A"}), 0, {u"A"}},                    // cannot become empty: unchanged
      {Array(3, {u"A", u"B", u"C"}), 4, {u"A", u"C"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("index " + std::to_string(c.index));
    Variant v = c.array;
    sorter_.DeleteElementFromArray(v, c.index);
    ASSERT_TRUE(v.IsArray());
    EXPECT_EQ(v.Array().LBound(), c.array.Array().LBound());
    EXPECT_EQ(v.Array().ElementType(), VbVarType::vbVariant);
    EXPECT_EQ(Elements(v.Array()), c.expected);
  }
  Variant not_array = 5;
  sorter_.DeleteElementFromArray(not_array, 0);
  EXPECT_EQ(not_array, Variant(5));
}

TEST_F(SortingArraysTest, ConcatenateAppendsInPlace) {
  SafeArray a = Array(1, {u"a", u"b"});
  SafeArray b = Array(-2, {1, 2, 3});
  EXPECT_TRUE(sorter_.concatenateArrays(a, b).IsEmpty());
  EXPECT_EQ(a.LBound(), 1);
  EXPECT_EQ(a.UBound(), 5);
  EXPECT_EQ(Elements(a), (std::vector<Variant>{u"a", u"b", 1, 2, 3}));
  EXPECT_EQ(Elements(b), (std::vector<Variant>{1, 2, 3}));

  sorter_.concatenateArrays(a, a);  // with itself: doubles
  EXPECT_EQ(a.UBound(), 10);
  EXPECT_EQ(a(10), Variant(3));

  SafeArray unsized;
  sorter_.concatenateArrays(unsized, b);
  EXPECT_EQ(unsized.LBound(), 0);
  EXPECT_EQ(Elements(unsized), (std::vector<Variant>{1, 2, 3}));

  SafeArray empty(VbVarType::vbVariant, 0, -1);
  sorter_.concatenateArrays(b, empty);
  EXPECT_EQ(Elements(b), (std::vector<Variant>{1, 2, 3}));
}

class MessageBoxCapture {
 public:
  MessageBoxCapture() {
    SetMessageBoxHook([this](StringView prompt, StringView title) {
      prompts.emplace_back(prompt);
      titles.emplace_back(title);
    });
  }
  ~MessageBoxCapture() { SetMessageBoxHook(nullptr); }
  std::vector<String> prompts, titles;
};

TEST_F(SortingArraysTest, ViewAndPrintShowElementsInBoxes) {
  MessageBoxCapture boxes;
  SafeArray a = Array(-1, {1.5, u"two", true});
  SafeArray with_null = Array(0, {u"a", Variant::Null(), u"c"});  // Null has no text: stops
  sorter_.viewArray(a);
  sorter_.printArray(a);  // all but the last
  sorter_.viewArray(with_null);
  EXPECT_EQ(boxes.prompts, (std::vector<String>{u"1.5", u"two", u"True", u"1.5", u"two", u"a"}));
  EXPECT_EQ(boxes.titles, std::vector<String>(6, u"Narwick"));
}

TEST(SortingArraysDispatchTest, EveryMemberAnswersByName) {
  MessageBoxCapture boxes;
  Object sorter = CreateObject("Narwick.clsSortingArrays");
  std::vector<std::string> names;
  for (const auto& member : sorter.get()->TypeInfo().members()) {
    names.push_back(member.name);
    std::vector<Variant> values;
    for (const auto& param : member.params) {
      if (param.type == VbVarType::vbArray || param.name == "ArrayToChange") {
        values.push_back(member.name == "QuickSortLongIntegerArray"
                             ? Variant(SafeArray::FromValues(VbVarType::vbLong, 1, {3, 1, 2}))
                             : Variant(Array(1, {3, 1, 2})));
      } else {
        values.push_back(Variant(param.name == "intLowBound" ? 1 : 3));
      }
    }
    std::vector<Arg> args;
    for (auto& v : values) args.push_back(ByRef(v));
    SCOPED_TRACE(member.name);
    const Variant result = sorter.Call(member.name, std::span<const Arg>(args));
    if (member.name.find("Sort") != std::string::npos) {
      EXPECT_EQ(Elements(values[0].Array()), (std::vector<Variant>{1, 2, 3}));
    }
    if (member.name == "removeDuplicatesInArray") {
      EXPECT_TRUE(result.IsArray());
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"BubbleSortVariantArray", "QuickSortVariantArray",
                                             "QuickSortLongIntegerArray", "ShellSortVariantArray", "viewArray",
                                             "removeDuplicatesInArray", "swapElementsInArray",
                                             "swapElementsInArrayWithPercolate", "printArray",
                                             "DeleteElementFromArray", "concatenateArrays"}));
  EXPECT_EQ(boxes.prompts.size(), 5u);  // viewArray 3, printArray 2
}

}  // namespace
}  // namespace narwick
