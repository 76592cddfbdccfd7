// SafeArray bounds: the extremes of Long, and ReDim that either succeeds or changes nothing.
#include <gtest/gtest.h>

#include <cstdint>

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

}  // namespace
}  // namespace narwick
