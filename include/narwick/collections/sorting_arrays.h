// clsSortingArrays: a stateless toolbox of sorts and utilities on one-dimensional arrays
// passed by reference.
#pragma once

#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

// Every member traps its run-time errors: it stops at the first failure, keeps the work
// done so far and raises nothing. Arrays may have any lower bound unless a member says
// otherwise. Elements compare by the Variant ordering (numbers by value, strings by
// character code, a number below any string, Null unordered).
//
// Parameters declared `() As Variant` take arrays of Variant and `() As Long` arrays of
// Long: an array of another element kind is refused with 13 before the member runs, as the
// argument would be.
class clsSortingArrays final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override;

  /// Exchange sort of the whole array, ascending, in place.
  void BubbleSortVariantArray(SafeArray& avarIn);
  /// Quicksort of positions intLowBound .. intHighBound; each partition is sorted by a call
  /// of this member. A partition that stalls on an unordered element (Null) stops that call
  /// only, so the sort always ends.
  void QuickSortVariantArray(SafeArray& avarIn, Long intLowBound, Long intHighBound);
  /// The same quicksort on an array of Long.
  void QuickSortLongIntegerArray(SafeArray& avarIn, Long intLowBound, Long intHighBound);
  /// Shell sort of the whole array with the gaps n \ 2, n \ 4, ..., 1.
  void ShellSortVariantArray(SafeArray& avarIn);
  /// One message box per element (through the host's message-box hook), titled "Narwick".
  void viewArray(SafeArray& sortedArray);
  /// A new array 1 .. UBound holding the distinct values in input order, then Empty slots;
  /// blanks the duplicates in `sortedArray` to "". Empty on failure (upper bound below 1 or
  /// 32,767 and above: its positions are 16-bit).
  Variant removeDuplicatesInArray(SafeArray& sortedArray);
  /// Exchanges two elements; always Empty. Out-of-bounds indexes change nothing.
  Variant swapElementsInArray(SafeArray& Array1, Long Index1, Long Index2);
  /// Moves one element to `newIndex`, shifting those between by one; always Empty.
  Variant swapElementsInArrayWithPercolate(SafeArray& Array1, Long originalIndex, Long newIndex);
  /// As viewArray, without the last element.
  void printArray(SafeArray& sortedArray);
  /// Replaces the array by an array of Variant, same lower bound, one element shorter,
  /// without the element at `IndexToDelete`. Not an array: nothing happens.
  void DeleteElementFromArray(Variant& ArrayToChange, Long IndexToDelete);
  /// Appends the elements of array2 to Array1 in place (Array1 keeps its lower bound);
  /// always Empty.
  Variant concatenateArrays(SafeArray& Array1, SafeArray& array2);

 private:
  int quicksort_depth_ = 0;  // nesting of the running quicksort calls, for the depth guard
};

}  // namespace narwick
