// Small helpers shared by the files of the clsOrderedLinkedList shell.
#pragma once

#include "list/ordered_list_store.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick::list {

inline bool IsItemNumber(int item_number) { return item_number >= 1 && item_number <= kItemCount; }

inline Variant& ItemOf(ListNode& node, int item_number) {
  return node.items[static_cast<std::size_t>(item_number - 1)];
}
inline const Variant& ItemOf(const ListNode& node, int item_number) {
  return node.items[static_cast<std::size_t>(item_number - 1)];
}

// The cursor's node; an unset cursor is run-time error 91, which every cursor member turns
// into its failure value.
inline ListNode& CursorNode(const OrderedListStore& store) {
  ListNode* node = store.cursor();
  if (node == nullptr) Raise(err::kObjectVariableNotSet);
  return *node;
}

}  // namespace narwick::list
