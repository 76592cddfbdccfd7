// SafeArray: bounds at the ends of Long, ReDim that succeeds or changes nothing, element
// defaults and the order of two-dimensional storage.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "narwick/frame/error_numbers.h"
#include "narwick/frame/safe_array.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

TEST(SafeArrayTest, BoundsReachTheEndsOfLongAndFailedReDimChangesNothing) {
  SafeArray low(VbVarType::vbLong, INT32_MIN, INT32_MIN + 2);
  EXPECT_EQ(low.Count(), 3u);
  low(INT32_MIN) = Variant(7);
  EXPECT_EQ(low(INT32_MIN), Variant(7));
  EXPECT_RUNTIME_ERROR(low(INT32_MIN + 3), err::kSubscriptOutOfRange);
  EXPECT_EQ(SafeArray(VbVarType::vbLong, INT32_MAX, INT32_MAX).Count(), 1u);
  EXPECT_EQ(SafeArray::FromBytes(std::vector<Byte>{1, 2}, INT32_MAX - 1).UBound(), INT32_MAX);
  EXPECT_RUNTIME_ERROR(SafeArray::FromBytes(std::vector<Byte>{1, 2}, INT32_MAX), err::kSubscriptOutOfRange);

  SafeArray unallocated;
  EXPECT_RUNTIME_ERROR(unallocated.ReDim(5, 3, false), err::kSubscriptOutOfRange);
  EXPECT_EQ(unallocated.Dims(), 0);
  EXPECT_RUNTIME_ERROR(low.ReDim(0, -2, false), err::kSubscriptOutOfRange);
  EXPECT_EQ(low.UBound(), INT32_MIN + 2);

  // Preserve keeps the leading elements and may not move the lower bound; an empty range
  // (upper bound one below the lower) is allowed.
  low.ReDim(INT32_MIN, INT32_MIN + 4, true);
  EXPECT_EQ(low(INT32_MIN), Variant(7));
  EXPECT_EQ(low(INT32_MIN + 4), Variant(0));
  EXPECT_RUNTIME_ERROR(low.ReDim(0, 4, true), err::kSubscriptOutOfRange);
  unallocated.ReDim(1, 0, true);
  EXPECT_EQ(unallocated.Dims(), 1);
  EXPECT_EQ(unallocated.Count(), 0u);
}

TEST(SafeArrayTest, FreshElementsHoldTheirKindsDefaultAndTheFirstIndexRunsFastest) {
  for (VbVarType kind : {VbVarType::vbInteger, VbVarType::vbLong, VbVarType::vbByte, VbVarType::vbSingle,
                         VbVarType::vbDouble, VbVarType::vbCurrency, VbVarType::vbDate, VbVarType::vbString,
                         VbVarType::vbBoolean, VbVarType::vbObject, VbVarType::vbVariant}) {
    SafeArray a(kind, 1, 2);
    a.ReDim(1, 3, true);  // the element Preserve adds, too
    const VbVarType expected = kind == VbVarType::vbVariant ? VbVarType::vbEmpty : kind;
    EXPECT_EQ(a(1).VarType(), expected) << static_cast<int>(kind);
    EXPECT_EQ(a(3).VarType(), expected) << static_cast<int>(kind);
    a(2) = Variant::Null();
    a.ReDim(1, 3, false);  // without Preserve every element starts afresh
    EXPECT_EQ(a(2), DefaultValue(kind)) << static_cast<int>(kind);
  }

  SafeArray grid(VbVarType::vbLong, {{0, 2}, {5, 6}});
  for (Long j = 5; j <= 6; ++j) {
    for (Long i = 0; i <= 2; ++i) grid(i, j) = Variant(10 * i + j);
  }
  std::vector<Variant> order(grid.elements().begin(), grid.elements().end());
  EXPECT_EQ(order, (std::vector<Variant>{5, 15, 25, 6, 16, 26}));
  EXPECT_RUNTIME_ERROR(grid(3, 5), err::kSubscriptOutOfRange);
  EXPECT_RUNTIME_ERROR(grid(0, 7), err::kSubscriptOutOfRange);
  EXPECT_RUNTIME_ERROR(SafeArray(VbVarType::vbLong, 0, 1)(0, 0), err::kSubscriptOutOfRange);
}

}  // namespace
}  // namespace narwick
