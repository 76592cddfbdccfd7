// clsOrderedLinkedList: the Automation shell over the node store. Each member applies the
// leave-with-failure-value handling; the node store does the work.
#include "narwick/list/ordered_linked_list.h"

#include <utility>

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "list/list_cursor.h"
#include "list/list_sort.h"
#include "list/ordered_list_store.h"
#include "frame/checked.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick {

using list::IsRealNode;
using list::ListNode;

using list::CursorNode;
using list::IsItemNumber;
using list::ItemOf;

clsOrderedLinkedList::clsOrderedLinkedList() : store_(std::make_unique<list::OrderedListStore>()) {}

clsOrderedLinkedList::~clsOrderedLinkedList() = default;

Long clsOrderedLinkedList::NodeCount() {
  return trap::Leave(Long{-1}, [&] { return static_cast<Long>(store_->size()); });
}

void clsOrderedLinkedList::AddNewNode(Long varIndex, const Variant& varItem1, const Variant& varItem2,
                                      const Variant& varItem3, const Variant& varItem4,
                                      const Variant& varItem5, const Variant& varItem6,
                                      const Variant& varItem7, const Variant& varItem8,
                                      const Variant& varItem9, const Variant& varItem10,
                                      const Variant& varItem11, const Variant& varItem12) {
  trap::Leave(0, [&] {
    const Variant* args[list::kItemCount] = {&varItem1, &varItem2, &varItem3, &varItem4,
                                             &varItem5, &varItem6, &varItem7, &varItem8,
                                             &varItem9, &varItem10, &varItem11, &varItem12};
    // A Variant copy shares an object reference and copies any other value. The items are
    // stored only when the index is free.
    store_->Insert(varIndex, [&](list::Items& items) {
      for (std::size_t k = 0; k < list::kItemCount; ++k) {
        if (!args[k]->IsMissing()) items[k] = *args[k];
      }
    });
    return 0;
  });
}

VariantBool clsOrderedLinkedList::EmptyList() {
  return trap::Leave(False, [&] {
    store_->Clear();
    return True;
  });
}

VariantBool clsOrderedLinkedList::DeleteNode(Long varIndex) {
  return trap::Leave(False, [&] { return VariantBool(store_->Remove(varIndex)); });
}

VariantBool clsOrderedLinkedList::DeleteCurrentNode() {
  return trap::Leave(False, [&] {
    CursorNode(*store_);
    return VariantBool(store_->RemoveCursorNode());
  });
}

VariantBool clsOrderedLinkedList::editItem(Long varIndex, const Variant& varItem, Integer itemNumber) {
  return trap::Leave(False, [&] {
    if (!store_->Seek(varIndex)) return False;
    if (IsItemNumber(itemNumber)) ItemOf(*store_->cursor(), itemNumber) = varItem;
    return True;
  });
}

VariantBool clsOrderedLinkedList::editCurrentItem(const Variant& varItem, Integer itemNumber) {
  return trap::Leave(False, [&] {
    ListNode& node = CursorNode(*store_);
    if (IsItemNumber(itemNumber)) ItemOf(node, itemNumber) = varItem;
    return True;
  });
}

Variant clsOrderedLinkedList::getListItem(Long varIndex, Integer itemNumber) {
  return trap::Leave(Variant(), [&] {
    if (!store_->Seek(varIndex) || !IsItemNumber(itemNumber)) return Variant();
    return ItemOf(*store_->cursor(), itemNumber);
  });
}

Variant clsOrderedLinkedList::getListIndex(Long varIndex) {
  return trap::Leave(Variant(), [&] {
    if (!store_->Seek(varIndex)) return Variant();
    return Variant::FromLong(store_->cursor()->index);
  });
}

Variant clsOrderedLinkedList::getCurrentListItem(Integer itemNumber) {
  return trap::Leave(Variant(), [&] {
    const ListNode& node = CursorNode(*store_);
    if (!IsItemNumber(itemNumber)) return Variant();
    return ItemOf(node, itemNumber);
  });
}

Variant clsOrderedLinkedList::getCurrentListIndex() {
  return trap::Leave(Variant(), [&] { return Variant::FromLong(CursorNode(*store_).index); });
}

VariantBool clsOrderedLinkedList::MoveFirst() {
  return trap::Leave(False, [&] {
    if (store_->empty()) return False;
    store_->set_cursor(store_->first());
    return True;
  });
}

VariantBool clsOrderedLinkedList::MoveLast() {
  return trap::Leave(False, [&] {
    if (store_->empty()) return False;
    store_->set_cursor(store_->last());
    return True;
  });
}

VariantBool clsOrderedLinkedList::MoveNext() {
  return trap::Leave(False, [&] {
    ListNode& node = CursorNode(*store_);
    if (node.next == nullptr) return False;
    store_->set_cursor(node.next);
    return True;
  });
}

VariantBool clsOrderedLinkedList::MovePrevious() {
  return trap::Leave(False, [&] {
    ListNode& node = CursorNode(*store_);
    if (node.previous == nullptr) return False;
    store_->set_cursor(node.previous);
    return True;
  });
}

VariantBool clsOrderedLinkedList::IsHeadNode() {
  return trap::Leave(True, [&] { return VariantBool(CursorNode(*store_).previous == nullptr); });
}

VariantBool clsOrderedLinkedList::IsTailNode() {
  return trap::Leave(True, [&] { return VariantBool(CursorNode(*store_).next == nullptr); });
}

VariantBool clsOrderedLinkedList::IsListEmpty() {
  return trap::Leave(True, [&] { return VariantBool(store_->empty()); });
}

Long clsOrderedLinkedList::UBoundNodeIndex() {
  return trap::Leave(Long{0}, [&] { return MoveLast() ? CursorNode(*store_).index : Long{-1}; });
}

Long clsOrderedLinkedList::LBoundNodeIndex() {
  return trap::Leave(Long{0}, [&] { return MoveFirst() ? CursorNode(*store_).index : Long{-1}; });
}

// --- Search and node operations ---

VariantBool clsOrderedLinkedList::FindByIndex(Long indexNum) {
  return trap::Leave(False, [&] { return VariantBool(store_->Seek(indexNum)); });
}

// The walk by item compares texts: the search value and each node's item converted with CStr.
// The head sentinel is the first node compared when searching from the head. A conversion
// failure ends the walk on the node where it happened.
bool clsOrderedLinkedList::FindItemPosition(const Variant& value, Integer item_number, bool from_head) {
  if (from_head) {
    store_->set_cursor(store_->head());
  } else {
    ListNode& start = CursorNode(*store_);
    if (start.next != nullptr) store_->set_cursor(start.next);
  }
  const bool in_range = IsItemNumber(item_number);
  bool have_text = false;
  String wanted;
  ListNode* node = store_->cursor();
  for (; node->next != nullptr; node = node->next) {
    if (!in_range) continue;
    store_->set_cursor(node);
    if (!have_text) {
      wanted = CStr(value);
      have_text = true;
    }
    const Variant& item = ItemOf(*node, item_number);
    if (item.IsString() ? item.Str() == wanted : CStr(item) == wanted) return true;
  }
  store_->set_cursor(node);
  return false;
}

Long clsOrderedLinkedList::FindByItem(Integer itemNum, const Variant& itemValue) {
  return trap::Leave(Long{-1}, [&] {
    return FindItemPosition(itemValue, itemNum, true) ? store_->cursor()->index : Long{-1};
  });
}

Long clsOrderedLinkedList::FindNextByItem(Integer itemNum, const Variant& itemValue) {
  return trap::Leave(Long{-1}, [&] {
    return FindItemPosition(itemValue, itemNum, false) ? store_->cursor()->index : Long{-1};
  });
}

VariantBool clsOrderedLinkedList::SwapNodeContents(Long varIndex1, Long varIndex2) {
  return trap::Leave(False, [&] {
    if (!store_->Seek(varIndex1)) return False;
    ListNode* a = store_->cursor();
    if (!store_->Seek(varIndex2)) return False;
    ListNode* b = store_->cursor();
    if (a != b) std::swap(a->items, b->items);
    return True;
  });
}

// Adjacent exchanges from the original node toward the new one: a rotation of the rows between
// them by one place. Equal indexes would start the forward walk past its end; they change
// nothing and answer True.
VariantBool clsOrderedLinkedList::SwapNodeContentsWithPercolate(Long originalIndex, Long newIndex) {
  return trap::Leave(False, [&] {
    if (!store_->Seek(originalIndex)) return False;
    ListNode* original = store_->cursor();
    if (!store_->Seek(newIndex)) return False;
    ListNode* target = store_->cursor();
    if (original == target) return True;
    const bool forward = newIndex >= originalIndex;
    for (ListNode* x = original;;) {
      ListNode* y = forward ? x->next : x->previous;
      if (y == nullptr) Raise(err::kObjectVariableNotSet);
      const bool reached = y->index == target->index;
      std::swap(x->items, y->items);
      x = y;
      if (reached) break;
    }
    return True;
  });
}

VariantBool clsOrderedLinkedList::CopyNodeContents(Long varSourceIndex, Long varDestinationIndex) {
  return trap::Leave(False, [&] {
    if (!store_->Seek(varSourceIndex)) return False;
    ListNode* source = store_->cursor();
    if (!store_->Seek(varDestinationIndex)) return False;
    ListNode* destination = store_->cursor();
    if (source != destination) destination->items = source->items;
    return True;
  });
}

// Candidates run from the first number up to NodeCount; the cursor ends where the lookup of the
// last candidate tried would leave it.
Long clsOrderedLinkedList::FindNextAvailableIndexLocation(VariantBool startAtZero, VariantBool /*startAtOne*/) {
  return trap::Leave(Long{0}, [&] {
    const Long first = startAtZero ? 0 : 1;
    const Long count = static_cast<Long>(store_->size());
    if (first > count) return checked::Add(count, 1);
    const Long free = store_->FirstFreeIndex(first, count);
    store_->Seek(free <= count ? free : count);
    return free;
  });
}

// Items are stored by value assignment; an object stays the same reference, so rows moved by
// the swaps and the sort keep their objects.
VariantBool clsOrderedLinkedList::InsertNodeAsFixedLengthQueue(
    Long maxLength, const Variant& varItem1, const Variant& varItem2, const Variant& varItem3,
    const Variant& varItem4, const Variant& varItem5, const Variant& varItem6,
    const Variant& varItem7, const Variant& varItem8, const Variant& varItem9,
    const Variant& varItem10, const Variant& varItem11, const Variant& varItem12) {
  return trap::Leave(False, [&] {
    const Variant* args[list::kItemCount] = {&varItem1, &varItem2, &varItem3, &varItem4,
                                             &varItem5, &varItem6, &varItem7, &varItem8,
                                             &varItem9, &varItem10, &varItem11, &varItem12};
    store_->PushFront(
        [&](list::Items& items) {
          for (std::size_t k = 0; k < list::kItemCount; ++k) {
            if (!args[k]->IsMissing()) items[k] = *args[k];
          }
        },
        maxLength);
    return True;
  });
}

// --- Sorting and renumbering ---

void clsOrderedLinkedList::StartQuickSortListBySingleItem(Integer itemNum, enumVarType sortVariableTypeEnum) {
  trap::Leave(0, [&] {
    if (IsListEmpty()) return 0;
    MoveFirst();
    const bool from_zero = CLng(getCurrentListIndex()) == 0;
    ReorderNodesSequentially(from_zero, !from_zero);
    sort_variable_type_ = static_cast<Long>(sortVariableTypeEnum);
    // After renumbering, every index the sort looks up is a position in the chain.
    ListNode* last = list::QuickSortRows(store_->Nodes(), from_zero ? 0 : 1, itemNum, sort_variable_type_);
    if (last != nullptr) store_->set_cursor(last);
    return 0;
  });
}

void clsOrderedLinkedList::ReorderNodesSequentially(VariantBool startAtZero, VariantBool /*startAtOne*/) {
  trap::Leave(0, [&] {
    list::OrderedListStore::CursorMemo memo(*store_);
    store_->Renumber(startAtZero ? 0 : 1);
    memo.Restore();
    return 0;
  });
}

const frame::ClassInfo& clsOrderedLinkedList::TypeInfo() const {
  using C = clsOrderedLinkedList;
  using frame::Opt;
  static const frame::ClassInfo info =
      frame::MemberTable<C>("clsOrderedLinkedList")
          .Method("NodeCount", &C::NodeCount)
          .Method("AddNewNode", &C::AddNewNode,
                  {"varIndex", Opt("varItem1"), Opt("varItem2"), Opt("varItem3"), Opt("varItem4"),
                   Opt("varItem5"), Opt("varItem6"), Opt("varItem7"), Opt("varItem8"),
                   Opt("varItem9"), Opt("varItem10"), Opt("varItem11"), Opt("varItem12")})
          .Method("EmptyList", &C::EmptyList)
          .Method("DeleteNode", &C::DeleteNode, {"varIndex"})
          .Method("DeleteCurrentNode", &C::DeleteCurrentNode)
          .Method("editItem", &C::editItem, {"varIndex", "varItem", "itemNumber"})
          .Method("editCurrentItem", &C::editCurrentItem, {"varItem", "itemNumber"})
          .Method("getListItem", &C::getListItem, {"varIndex", "itemNumber"})
          .Method("getListIndex", &C::getListIndex, {"varIndex"})
          .Method("getCurrentListItem", &C::getCurrentListItem, {"itemNumber"})
          .Method("getCurrentListIndex", &C::getCurrentListIndex)
          .Method("MoveFirst", &C::MoveFirst)
          .Method("MoveLast", &C::MoveLast)
          .Method("MoveNext", &C::MoveNext)
          .Method("MovePrevious", &C::MovePrevious)
          .Method("IsHeadNode", &C::IsHeadNode)
          .Method("IsTailNode", &C::IsTailNode)
          .Method("IsListEmpty", &C::IsListEmpty)
          .Method("UBoundNodeIndex", &C::UBoundNodeIndex)
          .Method("LBoundNodeIndex", &C::LBoundNodeIndex)
          .Method("FindByIndex", &C::FindByIndex, {"indexNum"})
          .Method("FindByItem", &C::FindByItem, {"itemNum", "itemValue"})
          .Method("FindNextByItem", &C::FindNextByItem, {"itemNum", "itemValue"})
          .Method("SwapNodeContents", &C::SwapNodeContents, {"varIndex1", "varIndex2"})
          .Method("SwapNodeContentsWithPercolate", &C::SwapNodeContentsWithPercolate,
                  {"originalIndex", "newIndex"})
          .Method("CopyNodeContents", &C::CopyNodeContents, {"varSourceIndex", "varDestinationIndex"})
          .Method("FindNextAvailableIndexLocation", &C::FindNextAvailableIndexLocation,
                  {Opt("startAtZero", false), Opt("startAtOne", true)})
          .Method("InsertNodeAsFixedLengthQueue", &C::InsertNodeAsFixedLengthQueue,
                  {"maxLength", Opt("varItem1"), Opt("varItem2"), Opt("varItem3"), Opt("varItem4"),
                   Opt("varItem5"), Opt("varItem6"), Opt("varItem7"), Opt("varItem8"),
                   Opt("varItem9"), Opt("varItem10"), Opt("varItem11"), Opt("varItem12")})
          .Method("StartQuickSortListBySingleItem", &C::StartQuickSortListBySingleItem,
                  {"itemNum", "sortVariableTypeEnum"})
          .Method("ReorderNodesSequentially", &C::ReorderNodesSequentially,
                  {Opt("startAtZero", false), Opt("startAtOne", true)})
          .Method("putLinkedListToString", &C::putLinkedListToString)
          .Method("getLinkedListFromString", &C::getLinkedListFromString,
                  {"linkListString", Opt("emptyListFirst", true)})
          .Method("putLinkedListToFile", &C::putLinkedListToFile, {"FileLocation"})
          .Method("getLinkedListFromFile", &C::getLinkedListFromFile, {"FileLocation"})
          .Method("CopyLinkedListItemsToDelimiterSeparatedString",
                  &C::CopyLinkedListItemsToDelimiterSeparatedString, {"itemNum", "delimiterSeparator"})
          .Method("putDelimiterSeparatedStringToLinkedList", &C::putDelimiterSeparatedStringToLinkedList,
                  {"itemNum", "commaStr", "delimiterSeparator", Opt("emptyListFirstFlag", false)})
          .Method("CopyEntireListToSecondList", &C::CopyEntireListToSecondList,
                  {"sourceList", "destList", "emptyDestListFirst"})
          .Build();
  return info;
}

NARWICK_REGISTER_CLASS(clsOrderedLinkedList);

}  // namespace narwick
