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

  // --- Search and node operations ---

  // True when a node has that index; the cursor is left where the index search stopped.
  VariantBool FindByIndex(Long indexNum);
  // Index of the first node (from the head sentinel) whose item itemNum reads as the same text
  // as itemValue, else -1; the cursor stays on the match, or ends on the tail sentinel.
  Long FindByItem(Integer itemNum, const Variant& itemValue);
  // The same search starting after the cursor: the next match, else -1.
  Long FindNextByItem(Integer itemNum, const Variant& itemValue);
  // Exchanges the twelve items of two nodes; indexes stay. False when either is missing.
  VariantBool SwapNodeContents(Long varIndex1, Long varIndex2);
  // Moves the items of node originalIndex to node newIndex, shifting the rows in between one
  // place toward originalIndex. Equal indexes: True, nothing changes.
  VariantBool SwapNodeContentsWithPercolate(Long originalIndex, Long newIndex);
  // Copies the twelve items of one node over another's. False when either is missing.
  VariantBool CopyNodeContents(Long varSourceIndex, Long varDestinationIndex);
  // The lowest index from 0 (startAtZero) or 1 not in use, at most NodeCount + 1 (0 on
  // failure). startAtOne is accepted and not used.
  Long FindNextAvailableIndexLocation(VariantBool startAtZero = False, VariantBool startAtOne = True);
  // Puts a node with the items passed first, renumbers the list 0, 1, ... and, for a positive
  // maxLength, keeps the first maxLength nodes. True (False on failure).
  VariantBool InsertNodeAsFixedLengthQueue(
      Long maxLength, const Variant& varItem1 = Missing, const Variant& varItem2 = Missing,
      const Variant& varItem3 = Missing, const Variant& varItem4 = Missing,
      const Variant& varItem5 = Missing, const Variant& varItem6 = Missing,
      const Variant& varItem7 = Missing, const Variant& varItem8 = Missing,
      const Variant& varItem9 = Missing, const Variant& varItem10 = Missing,
      const Variant& varItem11 = Missing, const Variant& varItem12 = Missing);

  // --- Sorting and renumbering ---

  // Renumbers the list from 0 (when its first index is 0) or 1 and sorts the rows so that item
  // itemNum ascends under the comparison kind. Not stable. A failure just ends it.
  void StartQuickSortListBySingleItem(Integer itemNum, enumVarType sortVariableTypeEnum);
  // Rewrites the indexes as 0, 1, ... (startAtZero) or 1, 2, ... in chain order; the cursor
  // stays. startAtOne is accepted and not used.
  void ReorderNodesSequentially(VariantBool startAtZero = False, VariantBool startAtOne = True);

  // --- Text and record-file persistence ---

  // The list as "|" / "~" text; the empty string on failure (an item with no text form).
  String putLinkedListToString();
  // Adds the records of a list text (emptying the list first by default). False for a text
  // without "|", or at a bad record (the nodes added before it stay).
  VariantBool getLinkedListFromString(const String& linkListString, VariantBool emptyListFirst = True);
  // Writes the list as 196-byte records, replacing the file only when every record was
  // written. False when the file cannot be written or a node has no record (too long, an
  // object or array item); the former file then stays as it was.
  VariantBool putLinkedListToFile(const String& FileLocation);
  // Merges the records of a list file into the list (a taken index keeps its node). False when
  // the file is missing or cannot be read, or at an undecodable record (the nodes inserted
  // before it stay). An incomplete last record yields no node.
  VariantBool getLinkedListFromFile(const String& FileLocation);

  // --- Delimited strings and list copy ---

  // Item itemNum of every node as text, joined by delimiterSeparator; the empty string on
  // failure (an item with no text form). The cursor stays.
  String CopyLinkedListItemsToDelimiterSeparatedString(Integer itemNum, const String& delimiterSeparator);
  // Splits commaStr at delimiterSeparator (letter case ignored) and adds piece k as item itemNum
  // of a node with index k. Always Empty.
  Variant putDelimiterSeparatedStringToLinkedList(Integer itemNum, const String& commaStr,
                                                  const String& delimiterSeparator,
                                                  VariantBool emptyListFirstFlag = False);
  // Copies every node of sourceList into destList, keeping the indexes when destList is
  // emptied first, otherwise numbering from this list's highest index plus 1. Always Empty.
  // Both must be lists (13 otherwise); Nothing ends the copy.
  Variant CopyEntireListToSecondList(const Object& sourceList, const Object& destList,
                                     VariantBool emptyDestListFirst);

 private:
  friend class OrderedLinkedListPeer;  // tests: the node store behind the members

  // FindNodePosition / FindNextNodePosition by item.
  bool FindItemPosition(const Variant& value, Integer item_number, bool from_head);

  std::unique_ptr<list::OrderedListStore> store_;
  Long sort_variable_type_ = 0;                         // sortVariableType
  std::shared_ptr<FileSystemTools> file_system_helper_;  // fileSystemHelper, made on first use
};

}  // namespace narwick
