// clsOrderedLinkedList: the Automation shell over the node store. Each member applies the
// leave-with-failure-value handling; the node store does the work.
#include "narwick/list/ordered_linked_list.h"

#include <utility>

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "list/ordered_list_store.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick {

using list::IsRealNode;
using list::ListNode;

namespace {

bool IsItemNumber(Integer item_number) { return item_number >= 1 && item_number <= list::kItemCount; }

// The cursor's node; an unset cursor is run-time error 91, which every cursor member turns
// into its failure value.
ListNode& CursorNode(const list::OrderedListStore& store) {
  ListNode* node = store.cursor();
  if (node == nullptr) Raise(err::kObjectVariableNotSet);
  return *node;
}

}  // namespace

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
    list::Items items;
    // A Variant copy shares an object reference and copies any other value.
    for (int k = 0; k < list::kItemCount; ++k) {
      if (!args[k]->IsMissing()) items[static_cast<std::size_t>(k)] = *args[k];
    }
    store_->Insert(varIndex, std::move(items));
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
    if (IsItemNumber(itemNumber)) store_->cursor()->items[static_cast<std::size_t>(itemNumber - 1)] = varItem;
    return True;
  });
}

VariantBool clsOrderedLinkedList::editCurrentItem(const Variant& varItem, Integer itemNumber) {
  return trap::Leave(False, [&] {
    ListNode& node = CursorNode(*store_);
    if (IsItemNumber(itemNumber)) node.items[static_cast<std::size_t>(itemNumber - 1)] = varItem;
    return True;
  });
}

Variant clsOrderedLinkedList::getListItem(Long varIndex, Integer itemNumber) {
  return trap::Leave(Variant(), [&] {
    if (!store_->Seek(varIndex) || !IsItemNumber(itemNumber)) return Variant();
    return store_->cursor()->items[static_cast<std::size_t>(itemNumber - 1)];
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
    return node.items[static_cast<std::size_t>(itemNumber - 1)];
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
          .Build();
  return info;
}

NARWICK_REGISTER_CLASS(clsOrderedLinkedList);

}  // namespace narwick
