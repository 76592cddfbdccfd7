// clsOrderedLinkedList: a doubly linked list of nodes kept in ascending order of a Long key
// (the node's index), each node carrying twelve Variant items, walked with a cursor. Sorting
// by any item, text and record-file persistence, delimited strings and list copy.
//
// Every member traps run-time errors and returns its failure value instead (given with each
// declaration); parameters are only read. Index lookups cost O(log n) and leave the cursor
// exactly where a walk from the head would have stopped.
#pragma once

#include <memory>

#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/object.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace list {
class OrderedListStore;
}

// How StartQuickSortListBySingleItem compares two item values. Any other value compares by the
// Variant ordering, as enumObject and enumMixed do.
enum class enumVarType : Long {
  enumString = 1,       // CStr, upper-cased, by character code
  enumNumber = 2,       // CDbl
  enumDate = 3,         // the calendar day ("mmm d, yyyy" and read back)
  enumTime = 4,         // the time of day to the second ("hh:nn:ss" and read back)
  enumDateAndTime = 5,  // day and time to the second ("mmm d, yyyy hh:nn:ss" and read back)
  enumObject = 6,       // the Variant ordering
  enumMixed = 7,        // the Variant ordering
};

class clsOrderedLinkedList final : public frame::AutomationObject {
 public:
  clsOrderedLinkedList();
  ~clsOrderedLinkedList() override;
  const frame::ClassInfo& TypeInfo() const override;

  // --- Nodes and navigation ---

  // Number of real nodes (-1 on failure). The cursor stays.
  Long NodeCount();
  // Adds a node with index varIndex and the items passed; a left-out item stays Empty, an
  // object is stored as the same reference. Nothing is added when the index is taken or is
  // -1 or below. The cursor ends on the node after the new one (or where the search stopped).
  void AddNewNode(Long varIndex, const Variant& varItem1 = Missing, const Variant& varItem2 = Missing,
                  const Variant& varItem3 = Missing, const Variant& varItem4 = Missing,
                  const Variant& varItem5 = Missing, const Variant& varItem6 = Missing,
                  const Variant& varItem7 = Missing, const Variant& varItem8 = Missing,
                  const Variant& varItem9 = Missing, const Variant& varItem10 = Missing,
                  const Variant& varItem11 = Missing, const Variant& varItem12 = Missing);
  // Removes every node; the cursor goes to the head sentinel. True (False on failure).
  VariantBool EmptyList();
  // Removes the node with that index; the cursor is then unset. False when there is none.
  VariantBool DeleteNode(Long varIndex);
  // Removes the cursor's node if it is a real node; the cursor goes to its predecessor.
  VariantBool DeleteCurrentNode();
  // Stores varItem as item itemNumber (1..12) of node varIndex. False when there is no such
  // node; True otherwise, also when itemNumber is out of range (then nothing is stored).
  VariantBool editItem(Long varIndex, const Variant& varItem, Integer itemNumber);
  // As editItem on the cursor's node, whatever it is; False only while the cursor is unset.
  VariantBool editCurrentItem(const Variant& varItem, Integer itemNumber);
  // Item itemNumber of node varIndex, or Empty. The cursor stays where the search stopped.
  Variant getListItem(Long varIndex, Integer itemNumber);
  // varIndex as a Long when a node has it, else Empty. Moves the cursor as a search.
  Variant getListIndex(Long varIndex);
  // Item itemNumber of the cursor's node, or Empty.
  Variant getCurrentListItem(Integer itemNumber);
  // The cursor node's index (-1 on a sentinel or the placeholder); Empty while unset.
  Variant getCurrentListIndex();
  // True when the cursor moved (False on failure).
  VariantBool MoveFirst();
  VariantBool MoveLast();
  VariantBool MoveNext();
  VariantBool MovePrevious();
  // Cursor tests; True on failure (an unset cursor).
  VariantBool IsHeadNode();
  VariantBool IsTailNode();
  VariantBool IsListEmpty();
  // Highest / lowest index, -1 on an empty list, 0 on failure; the cursor ends on that node.
  Long UBoundNodeIndex();
  Long LBoundNodeIndex();

 private:
  friend class OrderedLinkedListPeer;  // tests: the node store behind the members

  std::unique_ptr<list::OrderedListStore> store_;
  Long sort_variable_type_ = 0;                         // sortVariableType
  std::shared_ptr<FileSystemTools> file_system_helper_;  // fileSystemHelper, made on first use
};

}  // namespace narwick
