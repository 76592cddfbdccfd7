// Sorting the rows of an ordered list on one item: the comparison kinds and the quicksort over
// consecutive indexes that exchanges whole rows.
#pragma once

#include <vector>

#include "list/ordered_list_store.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick::list {

// An item value prepared for comparison under one kind (enumVarType). A value whose
// preparation failed (a text that is not a number under the number kind, Null under a date
// kind, ...) compares as neither smaller, equal nor greater than anything.
class SortKey {
 public:
  SortKey() = default;
  static SortKey Prepare(const Variant& item, Long kind);

  // The tests of the sort: a < p, b > p, and "a >= p and b <= p".
  static bool Below(const SortKey& a, const SortKey& p);
  static bool Above(const SortKey& b, const SortKey& p);
  static bool PairNeedsSwap(const SortKey& a, const SortKey& b, const SortKey& p);

 private:
  enum class Form { kFailed, kText, kNumber, kVariant };
  // -1, 0, 1 for smaller, equal, greater; 2 when the two do not compare.
  static int Order(const SortKey& a, const SortKey& b);

  Form form_ = Form::kFailed;
  double number_ = 0;
  String text_;
  Variant value_;
};

// Sorts rows[0..n) (the real nodes, holding the consecutive indexes first .. first + n - 1)
// on item `item_number` (an item number outside 1..12 reads Empty for every row) by exchanging
// whole rows, with the quicksort partition of the list: pivot at the middle index, i and j
// moving inward. A partition step in which nothing can move (values that no comparison
// orders) ends that range, as a failure would: the list is left partly sorted instead of
// looping. Returns the node of the last index looked up, or null when none was.
ListNode* QuickSortRows(const std::vector<ListNode*>& rows, Long first, int item_number, Long kind);

}  // namespace narwick::list
