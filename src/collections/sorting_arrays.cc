// clsSortingArrays: sorts and utilities on one-dimensional arrays. The positions, loop steps
// and failure points follow the members' long-standing definitions exactly, because hosts
// rely on the resulting order (none of the sorts is stable, so any other sort would give a
// different permutation of equal elements).
#include "narwick/collections/sorting_arrays.h"

#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "collections/sorting_arrays_messages.h"
#include "frame/checked.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/host.h"

namespace narwick {

namespace {

// Nested quicksort calls beyond this stop with "Out of stack space" (28), each failing call
// stopping only itself, as when the original ran out of stack. The middle pivot keeps the
// nesting near 2 log2(n) on ordinary input; only crafted input goes deeper.
constexpr int kMaxQuickSortDepth = 6000;

// An array of another element kind than the parameter declares is a type mismatch of the
// argument itself, raised before the member's own error handling starts.
void RequireElementKind(const SafeArray& array, VbVarType kind) {
  if (array.Dims() != 0 && array.ElementType() != kind) Raise(err::kTypeMismatch);
}

// Bounds of a one-dimensional array; 9 for any other.
std::pair<Long, Long> Bounds(const SafeArray& array) {
  if (array.Dims() != 1) Raise(err::kSubscriptOutOfRange);
  return {array.LBound(), array.UBound()};
}

class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool exceeded() const { return depth_ > kMaxQuickSortDepth; }

 private:
  int& depth_;
};

bool AtLeast(std::partial_ordering c) { return c == std::partial_ordering::greater || c == 0; }
bool AtMost(std::partial_ordering c) { return c == std::partial_ordering::less || c == 0; }

void ShowElements(const SafeArray& array, bool skip_last) {
  const auto [lower, upper] = Bounds(array);
  const std::int64_t last = std::int64_t{upper} - (skip_last ? 1 : 0);
  for (std::int64_t i = lower; i <= last; ++i) {
    MsgBox(CStr(array(static_cast<Long>(i))), collections::kArrayBoxTitle);
  }
}

}  // namespace

const frame::ClassInfo& clsSortingArrays::TypeInfo() const {
  using C = clsSortingArrays;
  static const frame::ClassInfo info =
      frame::MemberTable<C>("clsSortingArrays")
          .Method("BubbleSortVariantArray", &C::BubbleSortVariantArray, {"avarIn"})
          .Method("QuickSortVariantArray", &C::QuickSortVariantArray,
                  {"avarIn", "intLowBound", "intHighBound"})
          .Method("QuickSortLongIntegerArray", &C::QuickSortLongIntegerArray,
                  {"avarIn", "intLowBound", "intHighBound"})
          .Method("ShellSortVariantArray", &C::ShellSortVariantArray, {"avarIn"})
          .Method("viewArray", &C::viewArray, {"sortedArray"})
          .Method("removeDuplicatesInArray", &C::removeDuplicatesInArray, {"sortedArray"})
          .Method("swapElementsInArray", &C::swapElementsInArray, {"Array1", "Index1", "Index2"})
          .Method("swapElementsInArrayWithPercolate", &C::swapElementsInArrayWithPercolate,
                  {"Array1", "originalIndex", "newIndex"})
          .Method("printArray", &C::printArray, {"sortedArray"})
          .Method("DeleteElementFromArray", &C::DeleteElementFromArray,
                  {"ArrayToChange", "IndexToDelete"})
          .Method("concatenateArrays", &C::concatenateArrays, {"Array1", "array2"})
          .Build();
  return info;
}

void clsSortingArrays::BubbleSortVariantArray(SafeArray& avarIn) {
  RequireElementKind(avarIn, VbVarType::vbVariant);
  trap::LeaveOnError([&] {
    const auto [lower, upper] = Bounds(avarIn);
    // Every pair (p, q), p < q, once; cells[k] is position lower + k.
    auto cells = avarIn.elements();
    const std::size_t n = cells.size();
    for (std::size_t p = 0; p + 1 < n; ++p) {
      for (std::size_t q = p + 1; q < n; ++q) {
        if (Greater(cells[p], cells[q])) std::swap(cells[p], cells[q]);
      }
      // The 32-bit counter steps past the upper bound after each pass: at the largest
      // Long that step overflows and the sort ends after its first pass.
      if (upper == INT32_MAX) Raise(err::kOverflow);
    }
    (void)lower;
  });
}

void clsSortingArrays::QuickSortVariantArray(SafeArray& avarIn, Long intLowBound, Long intHighBound) {
  RequireElementKind(avarIn, VbVarType::vbVariant);
  DepthGuard depth(quicksort_depth_);
  trap::LeaveOnError([&] {
    if (depth.exceeded()) Raise(err::kOutOfStackSpace);
    if (intHighBound <= intLowBound) return;
    const Variant pivot = avarIn(checked::Add(intLowBound, intHighBound) / 2);  // truncates
    Long i = intLowBound;
    Long j = intHighBound;
    // Partition. Both elements are compared before the test, as the original's And
    // evaluated both sides; the else branch reuses the two results (nothing moved between).
    // With Null (or another unordered value) at i or j no branch may move: that call stops
    // there, instead of looping for ever.
    while (i <= j) {
      Variant& at_i = avarIn(i);
      const std::partial_ordering ci = Compare(at_i, pivot);
      Variant& at_j = avarIn(j);
      const std::partial_ordering cj = Compare(at_j, pivot);
      if (AtLeast(ci) && AtMost(cj)) {
        if (i != j) std::swap(at_i, at_j);
        i = checked::Add(i, 1);
        j = checked::Sub(j, 1);
      } else {
        bool moved = false;
        if (ci == std::partial_ordering::less) {
          i = checked::Add(i, 1);
          moved = true;
        }
        if (cj == std::partial_ordering::greater) {
          j = checked::Sub(j, 1);
          moved = true;
        }
        if (!moved) Raise(err::kInvalidUseOfNull);
      }
    }
    // Through the public member: each partition traps its own failures.
    this->QuickSortVariantArray(avarIn, intLowBound, j);
    this->QuickSortVariantArray(avarIn, i, intHighBound);
  });
}

void clsSortingArrays::QuickSortLongIntegerArray(SafeArray& avarIn, Long intLowBound, Long intHighBound) {
  RequireElementKind(avarIn, VbVarType::vbLong);
  DepthGuard depth(quicksort_depth_);
  trap::LeaveOnError([&] {
    if (depth.exceeded()) Raise(err::kOutOfStackSpace);
    if (intHighBound <= intLowBound) return;
    const std::int64_t pivot = avarIn(checked::Add(intLowBound, intHighBound) / 2).Int();
    Long i = intLowBound;
    Long j = intHighBound;
    // Long values are totally ordered, so one of the branches always moves.
    while (i <= j) {
      Variant& at_i = avarIn(i);
      const std::int64_t vi = at_i.Int();
      Variant& at_j = avarIn(j);
      const std::int64_t vj = at_j.Int();
      if (vi >= pivot && vj <= pivot) {
        if (i != j) std::swap(at_i, at_j);
        i = checked::Add(i, 1);
        j = checked::Sub(j, 1);
      } else {
        if (vi < pivot) i = checked::Add(i, 1);
        if (vj > pivot) j = checked::Sub(j, 1);
      }
    }
    this->QuickSortLongIntegerArray(avarIn, intLowBound, j);
    this->QuickSortLongIntegerArray(avarIn, i, intHighBound);
  });
}

void clsSortingArrays::ShellSortVariantArray(SafeArray& avarIn) {
  RequireElementKind(avarIn, VbVarType::vbVariant);
  trap::LeaveOnError([&] {
    const auto [lower, upper] = Bounds(avarIn);
    auto cells = avarIn.elements();
    const std::size_t n = cells.size();
    // For each gap: forward and backward passes of gap-apart exchanges, repeated until a
    // forward pass and the backward pass after it exchange nothing.
    for (std::size_t gap = n / 2; gap >= 1; gap /= 2) {
      bool exchanged = true;
      while (exchanged) {
        exchanged = false;
        for (std::size_t i = 0; i + gap < n; ++i) {
          if (Greater(cells[i], cells[i + gap])) {
            std::swap(cells[i], cells[i + gap]);
            exchanged = true;
          }
        }
        for (std::size_t k = n - gap; k-- > 0;) {
          if (Greater(cells[k], cells[k + gap])) {
            std::swap(cells[k], cells[k + gap]);
            exchanged = true;
          }
        }
        // The backward counter steps below the lower bound: at the smallest Long that
        // step overflows and the sort ends there.
        if (lower == INT32_MIN) Raise(err::kOverflow);
      }
    }
    (void)upper;
  });
}

void clsSortingArrays::viewArray(SafeArray& sortedArray) {
  RequireElementKind(sortedArray, VbVarType::vbVariant);
  trap::LeaveOnError([&] { ShowElements(sortedArray, false); });
}

Variant clsSortingArrays::removeDuplicatesInArray(SafeArray& sortedArray) {
  RequireElementKind(sortedArray, VbVarType::vbVariant);
  return trap::Leave(Variant(), [&] {
    if (sortedArray.Dims() != 1) Raise(err::kSubscriptOutOfRange);
    const Long upper = sortedArray.UBound();
    if (upper < 1) Raise(err::kSubscriptOutOfRange);  // the result 1 .. upper cannot be sized
    SafeArray result(VbVarType::vbVariant, 1, upper);
    // The duplicate search runs on 16-bit positions from 1: an upper bound above 32,767
    // overflows at once, and at 32,767 the first inner pass steps past it and overflows.
    const Integer last = checked::Narrow<Integer>(upper);
    for (Integer i = 1; i <= last; i = checked::Add(i, Integer{1})) {
      for (Integer j = checked::Add(i, Integer{1}); j <= last; j = checked::Add(j, Integer{1})) {
        if (Equal(sortedArray(j), sortedArray(i))) sortedArray(j) = String();
      }
    }
    // Every element in storage order (positions below 1 included) that is not "" (Empty
    // counts as "") goes to the next slot of the result.
    const Variant blank = String();
    Long next = 1;
    for (Variant& element : sortedArray.elements()) {
      if (!Equal(element, blank)) {
        result(next) = element;
        next = checked::Add(next, 1);
      }
    }
    return Variant(std::move(result));
  });
}

Variant clsSortingArrays::swapElementsInArray(SafeArray& Array1, Long Index1, Long Index2) {
  RequireElementKind(Array1, VbVarType::vbVariant);
  trap::LeaveOnError([&] {
    // Both are looked up before either is written: a bad index changes nothing.
    Variant& first = Array1(Index1);
    Variant& second = Array1(Index2);
    if (&first != &second) std::swap(first, second);
  });
  return Variant();
}

Variant clsSortingArrays::swapElementsInArrayWithPercolate(SafeArray& Array1, Long originalIndex,
                                                           Long newIndex) {
  RequireElementKind(Array1, VbVarType::vbVariant);
  trap::LeaveOnError([&] {
    if (newIndex < 0 || originalIndex < 0) return;
    // One neighbour exchange at a time, so a position outside the bounds stops the move
    // with the exchanges before it done.
    if (originalIndex >= newIndex) {
      for (std::int64_t i = originalIndex; i >= std::int64_t{newIndex} + 1; --i) {
        Variant& below = Array1(static_cast<Long>(i - 1));
        Variant& here = Array1(static_cast<Long>(i));
        std::swap(below, here);
      }
    } else {
      for (std::int64_t i = originalIndex; i <= std::int64_t{newIndex} - 1; ++i) {
        Variant& here = Array1(static_cast<Long>(i));
        Variant& above = Array1(static_cast<Long>(i + 1));
        std::swap(here, above);
      }
    }
  });
  return Variant();
}

void clsSortingArrays::printArray(SafeArray& sortedArray) {
  RequireElementKind(sortedArray, VbVarType::vbVariant);
  trap::LeaveOnError([&] { ShowElements(sortedArray, true); });
}

void clsSortingArrays::DeleteElementFromArray(Variant& ArrayToChange, Long IndexToDelete) {
  trap::LeaveOnError([&] {
    if (!ArrayToChange.IsArray()) return;
    const SafeArray old = ArrayToChange.Array();
    const auto [lower, upper] = Bounds(old);
    // The new array keeps the old lower bound (any lower bound, not only 0), so no element
    // is lost whatever the bounds. One element cannot become none: that range is refused
    // before anything changes.
    const Long new_upper = checked::Sub(upper, 1);
    if (new_upper < lower) Raise(err::kSubscriptOutOfRange);
    ArrayToChange = Variant(SafeArray(VbVarType::vbVariant, lower, new_upper));
    SafeArray& fresh = ArrayToChange.Array();
    // An index outside the bounds deletes nothing: the copy then runs one element past the
    // new upper bound and stops there, so the last element is lost, as it always was.
    Long next = lower;
    for (std::int64_t i = lower; i <= upper; ++i) {
      if (i != IndexToDelete) {
        fresh(next) = old(static_cast<Long>(i));
        next = checked::Add(next, 1);
      }
    }
  });
}

Variant clsSortingArrays::concatenateArrays(SafeArray& Array1, SafeArray& array2) {
  RequireElementKind(Array1, VbVarType::vbVariant);
  RequireElementKind(array2, VbVarType::vbVariant);
  trap::LeaveOnError([&] {
    Bounds(array2);
    if (Array1.Dims() > 1) Raise(err::kSubscriptOutOfRange);
    // Copied first: Array1 and array2 may be one array.
    std::vector<Variant> tail(array2.elements().begin(), array2.elements().end());
    if (tail.empty()) return;
    const Long added = checked::Narrow<Long>(static_cast<std::int64_t>(tail.size()));
    if (Array1.Dims() == 0) {  // never sized: it becomes 0 .. n - 1
      Array1 = SafeArray(VbVarType::vbVariant, 0, checked::Sub(added, 1));
    } else {
      Array1.ReDim(Array1.LBound(), checked::Add(Array1.UBound(), added), true);
    }
    auto cells = Array1.elements();
    const std::size_t base = cells.size() - tail.size();
    for (std::size_t k = 0; k < tail.size(); ++k) cells[base + k] = std::move(tail[k]);
  });
  return Variant();
}

NARWICK_REGISTER_CLASS(clsSortingArrays);

}  // namespace narwick
