// clsOrderedLinkedList: cursor states, node store cases and failure values, and the member
// table walked late-bound.
#include "narwick/list/ordered_linked_list.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

class OrderedLinkedListTest : public ::testing::Test {
 protected:
  void AddAll(std::initializer_list<Long> indexes) {
    for (Long i : indexes) list_.AddNewNode(i, Variant(u"n" + std::u16string(1, char16_t(u'0' + i % 10))));
  }
  // Indexes along the chain, found by walking with the cursor.
  std::vector<Long> Indexes() {
    std::vector<Long> out;
    if (!list_.MoveFirst()) return out;
    while (!list_.IsTailNode()) {
      out.push_back(CLng(list_.getCurrentListIndex()));
      list_.MoveNext();
    }
    return out;
  }
  // (IsHeadNode, IsTailNode, getCurrentListIndex) tells the four cursor states apart.
  std::string CursorState() {
    Variant index = list_.getCurrentListIndex();
    std::string text = index.IsEmpty() ? "unset" : std::to_string(CLng(index));
    return text + (list_.IsHeadNode() ? " H" : "") + (list_.IsTailNode() ? " T" : "");
  }

  clsOrderedLinkedList list_;
};

// --- defaults ---

TEST_F(OrderedLinkedListTest, NewListStartsOnThePlaceholder) {
  EXPECT_EQ(list_.NodeCount(), 0);
  EXPECT_TRUE(list_.IsListEmpty());
  EXPECT_EQ(CursorState(), "-1 H T");
  EXPECT_FALSE(list_.MoveNext());
  EXPECT_FALSE(list_.MovePrevious());
  EXPECT_FALSE(list_.MoveFirst());
  EXPECT_FALSE(list_.MoveLast());
  EXPECT_EQ(list_.UBoundNodeIndex(), -1);
  EXPECT_EQ(list_.LBoundNodeIndex(), -1);
  EXPECT_EQ(list_.getCurrentListIndex(), Variant(-1));
}

TEST_F(OrderedLinkedListTest, PlaceholderIsNotInTheChain) {
  EXPECT_TRUE(list_.editCurrentItem(Variant(u"p"), 1));
  AddAll({1, 2});
  EXPECT_EQ(list_.getListItem(-1, 1), Variant());  // the head sentinel is another node
  list_.getListIndex(3);                            // and so is the tail sentinel
  EXPECT_EQ(CursorState(), "-1 T");
  EXPECT_EQ(list_.getCurrentListItem(1), Variant());
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 2}));
}

TEST_F(OrderedLinkedListTest, PlaceholderKeepsItsItemsWhileTheCursorStaysThere) {
  EXPECT_TRUE(list_.editCurrentItem(Variant(7), 3));
  EXPECT_EQ(list_.NodeCount(), 0);
  EXPECT_EQ(list_.getCurrentListItem(3), Variant(7));
  EXPECT_EQ(CursorState(), "-1 H T");
  list_.MoveFirst();  // refused on an empty list: still on the placeholder
  EXPECT_EQ(list_.getCurrentListItem(3), Variant(7));
}

// --- adding and order ---

TEST_F(OrderedLinkedListTest, AddNewNodeKeepsIndexOrder) {
  AddAll({5, 1, 3});
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 3, 5}));
  EXPECT_EQ(list_.LBoundNodeIndex(), 1);
  EXPECT_EQ(list_.UBoundNodeIndex(), 5);
  EXPECT_EQ(list_.NodeCount(), 3);
}

TEST_F(OrderedLinkedListTest, AddNewNodeWithATakenIndexChangesNothing) {
  list_.AddNewNode(2, Variant(u"first"));
  list_.AddNewNode(2, Variant(u"second"), Variant(9));
  EXPECT_EQ(list_.NodeCount(), 1);
  EXPECT_EQ(list_.getListItem(2, 1), Variant(u"first"));
  EXPECT_EQ(list_.getListItem(2, 2), Variant());
  EXPECT_EQ(CursorState(), "2");  // the cursor rests on the existing node
}

TEST_F(OrderedLinkedListTest, CursorEndsOnTheSuccessorOfTheNewNode) {
  AddAll({1, 5});
  list_.AddNewNode(3, Variant(u"c"));
  EXPECT_EQ(list_.getCurrentListIndex(), Variant(5));
  list_.AddNewNode(9);
  EXPECT_EQ(CursorState(), "-1 T");
}

TEST_F(OrderedLinkedListTest, LeftOutItemsAreEmptyAndEmptyIsKeptDistinct) {
  list_.AddNewNode(2);
  for (Integer k = 1; k <= 12; ++k) EXPECT_EQ(list_.getListItem(2, k), Variant());
  list_.AddNewNode(4, Missing, Variant(), Variant::Null());
  EXPECT_TRUE(list_.getListItem(4, 1).IsEmpty());
  EXPECT_TRUE(list_.getListItem(4, 2).IsEmpty());
  EXPECT_TRUE(list_.getListItem(4, 3).IsNull());
}

TEST_F(OrderedLinkedListTest, ObjectItemsAreStoredAsTheSameReference) {
  auto other = std::make_shared<clsOrderedLinkedList>();
  Object ref = MakeObject(other);
  list_.AddNewNode(1, Variant(ref));
  Variant back = list_.getListItem(1, 1);
  ASSERT_TRUE(back.IsObject());
  EXPECT_EQ(back.Obj(), ref);
  other->AddNewNode(7);
  EXPECT_EQ(back.Obj().As<clsOrderedLinkedList>()->NodeCount(), 1);
}

TEST_F(OrderedLinkedListTest, IndexesBelowMinusOneAreRejectedWithoutChange) {
  AddAll({3});
  list_.AddNewNode(-1, Variant(u"x"));
  list_.AddNewNode(-2, Variant(u"x"));
  list_.AddNewNode(-2147483647 - 1, Variant(u"x"));
  EXPECT_EQ(Indexes(), (std::vector<Long>{3}));
  list_.AddNewNode(-5);
  EXPECT_EQ(CursorState(), "-1 H");  // the search stopped on the head sentinel
  EXPECT_FALSE(list_.DeleteNode(-5));
  EXPECT_EQ(list_.getListIndex(-5), Variant());
}

TEST_F(OrderedLinkedListTest, ExtremeIndexesOrderCorrectly) {
  AddAll({2147483647, 0, 1000000});
  EXPECT_EQ(Indexes(), (std::vector<Long>{0, 1000000, 2147483647}));
  EXPECT_EQ(list_.getListIndex(2147483647), Variant(2147483647));
}

// --- lookups and the cursor ---

TEST_F(OrderedLinkedListTest, IndexMinusOneFindsTheHeadSentinel) {
  AddAll({1});
  EXPECT_EQ(list_.getListIndex(-1), Variant(-1));
  EXPECT_EQ(CursorState(), "-1 H");
  EXPECT_TRUE(list_.editItem(-1, Variant(u"on head"), 2));
  EXPECT_EQ(list_.getListItem(-1, 2), Variant(u"on head"));
  EXPECT_EQ(list_.NodeCount(), 1);
  EXPECT_FALSE(list_.DeleteNode(-1));
  EXPECT_EQ(list_.NodeCount(), 1);
}

TEST_F(OrderedLinkedListTest, FailedLookupLeavesTheCursorOnTheNextHigherNode) {
  AddAll({1, 3, 5});
  EXPECT_EQ(list_.getListItem(4, 1), Variant());
  EXPECT_EQ(CursorState(), "5");
  EXPECT_EQ(list_.getListIndex(6), Variant());
  EXPECT_EQ(CursorState(), "-1 T");
  EXPECT_EQ(list_.getListIndex(0), Variant());
  EXPECT_EQ(CursorState(), "1");
}

TEST_F(OrderedLinkedListTest, ItemNumbersOutsideOneToTwelve) {
  list_.AddNewNode(1, Variant(u"a"), Missing, Missing, Missing, Missing, Missing, Missing, Missing,
                   Missing, Missing, Missing, Variant(u"l"));
  EXPECT_EQ(list_.getListItem(1, 12), Variant(u"l"));
  EXPECT_EQ(list_.getListItem(1, 0), Variant());
  EXPECT_EQ(list_.getListItem(1, 13), Variant());
  EXPECT_TRUE(list_.editItem(1, Variant(u"z"), 0));
  EXPECT_TRUE(list_.editItem(1, Variant(u"z"), 13));
  EXPECT_FALSE(list_.editItem(2, Variant(u"z"), 1));
  EXPECT_EQ(list_.getListItem(1, 1), Variant(u"a"));
  list_.MoveFirst();
  EXPECT_EQ(list_.getCurrentListItem(0), Variant());
  EXPECT_EQ(list_.getCurrentListItem(-1), Variant());
  EXPECT_TRUE(list_.editCurrentItem(Variant(u"z"), 13));
}

// --- deleting ---

TEST_F(OrderedLinkedListTest, DeleteNodeLeavesTheCursorUnset) {
  AddAll({1, 3, 5});
  EXPECT_TRUE(list_.DeleteNode(3));
  EXPECT_EQ(list_.NodeCount(), 2);
  EXPECT_EQ(CursorState(), "unset H T");
  // Every cursor member fails with its failure value.
  EXPECT_FALSE(list_.MoveNext());
  EXPECT_FALSE(list_.MovePrevious());
  EXPECT_EQ(list_.getCurrentListItem(1), Variant());
  EXPECT_FALSE(list_.editCurrentItem(Variant(1), 1));
  EXPECT_FALSE(list_.DeleteCurrentNode());
  // Members that do not depend on the cursor work and set it again.
  EXPECT_EQ(list_.NodeCount(), 2);
  EXPECT_EQ(CursorState(), "unset H T");
  EXPECT_FALSE(list_.IsListEmpty());
  EXPECT_TRUE(list_.MoveFirst());
  EXPECT_EQ(CursorState(), "1");
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 5}));
}

TEST_F(OrderedLinkedListTest, DeleteCurrentNodeMovesToThePredecessor) {
  AddAll({1, 3, 5});
  list_.MoveFirst();
  EXPECT_TRUE(list_.DeleteCurrentNode());
  EXPECT_EQ(CursorState(), "-1 H");
  EXPECT_TRUE(list_.MoveNext());
  EXPECT_EQ(CursorState(), "3");
  list_.MoveLast();
  EXPECT_TRUE(list_.DeleteCurrentNode());
  EXPECT_EQ(CursorState(), "3");
}

TEST_F(OrderedLinkedListTest, DeleteCurrentNodeRefusesSentinelsAndPlaceholder) {
  EXPECT_FALSE(list_.DeleteCurrentNode());  // placeholder
  AddAll({1, 3});
  list_.getListIndex(7);  // tail sentinel
  EXPECT_FALSE(list_.DeleteCurrentNode());
  list_.getListIndex(-1);  // head sentinel
  EXPECT_FALSE(list_.DeleteCurrentNode());
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 3}));
}

TEST_F(OrderedLinkedListTest, DeletingWhileWalkingForward) {
  AddAll({1, 2, 3, 4, 5, 6});
  list_.MoveFirst();
  while (!list_.IsTailNode()) {
    if (CLng(list_.getCurrentListIndex()) % 2 == 0) list_.DeleteCurrentNode();
    list_.MoveNext();
  }
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 3, 5}));
}

// --- navigation ---

TEST_F(OrderedLinkedListTest, MoveNextOntoTheTailOnceOnly) {
  AddAll({1, 2});
  list_.MoveLast();
  EXPECT_TRUE(list_.MoveNext());
  EXPECT_EQ(CursorState(), "-1 T");
  EXPECT_FALSE(list_.MoveNext());
  EXPECT_TRUE(list_.MovePrevious());
  EXPECT_EQ(CursorState(), "2");
  list_.MoveFirst();
  EXPECT_TRUE(list_.MovePrevious());
  EXPECT_EQ(CursorState(), "-1 H");
  EXPECT_FALSE(list_.MovePrevious());
}

TEST_F(OrderedLinkedListTest, NodeCountKeepsEveryCursorState) {
  AddAll({1, 2, 3});
  list_.getListIndex(2);
  EXPECT_EQ(list_.NodeCount(), 3);
  EXPECT_EQ(CursorState(), "2");
  list_.DeleteNode(2);
  EXPECT_EQ(list_.NodeCount(), 2);
  EXPECT_EQ(CursorState(), "unset H T");
}

TEST_F(OrderedLinkedListTest, EmptyListFromAnyStateGivesAWorkingList) {
  AddAll({1, 2, 3});
  list_.DeleteNode(2);  // unset cursor
  list_.editItem(-1, Variant(u"head item"), 1);
  EXPECT_TRUE(list_.EmptyList());
  EXPECT_EQ(list_.NodeCount(), 0);
  EXPECT_EQ(CursorState(), "-1 H");  // the head sentinel, not a placeholder
  EXPECT_EQ(list_.getListItem(-1, 1), Variant());  // fresh sentinels
  AddAll({4});
  EXPECT_EQ(Indexes(), (std::vector<Long>{4}));
}

// --- search by item ---

TEST_F(OrderedLinkedListTest, FindByIndexLeavesTheCursorWhereTheSearchStopped) {
  EXPECT_FALSE(list_.FindByIndex(1));
  EXPECT_EQ(CursorState(), "-1 T");
  AddAll({1, 5});
  EXPECT_FALSE(list_.FindByIndex(3));
  EXPECT_EQ(CursorState(), "5");
  EXPECT_TRUE(list_.FindByIndex(1));
}

TEST_F(OrderedLinkedListTest, FindByItemThenFindNextByItem) {
  list_.AddNewNode(1, Variant(u"x"));
  list_.AddNewNode(2, Variant(u"y"));
  list_.AddNewNode(3, Variant(u"x"));
  EXPECT_EQ(list_.FindByItem(1, Variant(u"x")), 1);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"x")), 3);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"x")), -1);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"x")), -1);
  EXPECT_EQ(CursorState(), "-1 T");
  EXPECT_EQ(list_.FindByItem(0, Variant(u"x")), -1);
  EXPECT_EQ(list_.FindByItem(13, Variant(u"x")), -1);
  EXPECT_EQ(list_.FindByItem(1, Variant(u"X")), -1);  // letter case matters
}

TEST_F(OrderedLinkedListTest, FindByItemComparesTexts) {
  list_.AddNewNode(1, Variant(u"5"));
  list_.AddNewNode(2, Variant(5));
  list_.AddNewNode(3, Variant(5.0));
  EXPECT_EQ(list_.FindByItem(1, Variant(5)), 1);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(5)), 2);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"5")), 3);
}

TEST_F(OrderedLinkedListTest, EmptyTextStopsOnTheHeadSentinelFirst) {
  list_.AddNewNode(1, Variant(u"a"));
  list_.AddNewNode(2, Variant(u""));
  EXPECT_EQ(list_.FindByItem(1, Variant(u"")), -1);
  EXPECT_EQ(CursorState(), "-1 H");
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"")), 2);
}

TEST_F(OrderedLinkedListTest, FindNextByItemFromThePlaceholderFindsNothing) {
  list_.editCurrentItem(Variant(u"a"), 1);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"a")), -1);
  EXPECT_EQ(CursorState(), "-1 H T");
}

TEST_F(OrderedLinkedListTest, UnconvertibleValuesEndTheSearchWhereTheyFailed) {
  list_.AddNewNode(1, Variant(u"a"));
  list_.AddNewNode(2, Variant::Null());
  list_.AddNewNode(3, Variant(u"b"));
  EXPECT_EQ(list_.FindByItem(1, Variant(u"b")), -1);
  EXPECT_EQ(CursorState(), "2");
  EXPECT_EQ(list_.FindByItem(1, Variant::Null()), -1);
  EXPECT_EQ(CursorState(), "-1 H");  // the search value fails on the first node compared
  list_.DeleteNode(3);
  EXPECT_EQ(list_.FindNextByItem(1, Variant(u"a")), -1);  // an unset cursor
}

// --- node operations ---

TEST_F(OrderedLinkedListTest, SwapAndCopyMoveItemsNotIndexes) {
  list_.AddNewNode(1, Variant(u"a"), Variant(1));
  list_.AddNewNode(2, Variant(u"b"), Variant(2));
  EXPECT_TRUE(list_.SwapNodeContents(1, 2));
  EXPECT_EQ(list_.getListItem(1, 1), Variant(u"b"));
  EXPECT_EQ(list_.getListItem(2, 2), Variant(1));
  EXPECT_TRUE(list_.SwapNodeContents(1, 1));
  EXPECT_FALSE(list_.SwapNodeContents(1, 3));
  EXPECT_EQ(list_.getListItem(1, 1), Variant(u"b"));
  EXPECT_TRUE(list_.CopyNodeContents(2, 1));
  EXPECT_EQ(CursorState(), "1");
  EXPECT_EQ(list_.getListItem(1, 1), Variant(u"a"));
  EXPECT_FALSE(list_.CopyNodeContents(7, 1));
}

TEST_F(OrderedLinkedListTest, PercolateRotatesTheRowsBetween) {
  auto column = [&] {
    std::u16string out;
    for (Long i = 1; i <= 4; ++i) out += CStr(list_.getListItem(i, 1));
    return out;
  };
  for (Long i = 1; i <= 4; ++i) list_.AddNewNode(i, Variant(std::u16string(1, char16_t(u'a' + i - 1))));
  EXPECT_TRUE(list_.SwapNodeContentsWithPercolate(1, 3));
  EXPECT_EQ(CursorState(), "3");
  EXPECT_EQ(column(), u"bcad");
  EXPECT_TRUE(list_.SwapNodeContentsWithPercolate(4, 2));
  EXPECT_EQ(column(), u"bdca");
  EXPECT_TRUE(list_.SwapNodeContentsWithPercolate(2, 2));  // equal indexes: no change
  EXPECT_EQ(column(), u"bdca");
  EXPECT_FALSE(list_.SwapNodeContentsWithPercolate(2, 9));
}

TEST_F(OrderedLinkedListTest, FindNextAvailableIndexLocation) {
  EXPECT_EQ(list_.FindNextAvailableIndexLocation(), 1);
  EXPECT_EQ(list_.FindNextAvailableIndexLocation(true), 0);
  AddAll({1, 2, 4});
  EXPECT_EQ(list_.FindNextAvailableIndexLocation(), 3);
  EXPECT_EQ(CursorState(), "4");
  list_.AddNewNode(3);
  EXPECT_EQ(list_.FindNextAvailableIndexLocation(), 5);
  list_.EmptyList();
  AddAll({0, 1, 2});
  EXPECT_EQ(list_.FindNextAvailableIndexLocation(true), 3);
  EXPECT_EQ(list_.FindNextAvailableIndexLocation(false, false), 3);
}

TEST_F(OrderedLinkedListTest, FixedLengthQueueKeepsTheNewest) {
  for (const char16_t* item : {u"a", u"b", u"c", u"d", u"e"}) {
    EXPECT_TRUE(list_.InsertNodeAsFixedLengthQueue(3, Variant(item)));
  }
  EXPECT_EQ(Indexes(), (std::vector<Long>{0, 1, 2}));
  EXPECT_EQ(list_.CopyLinkedListItemsToDelimiterSeparatedString(1, u""), u"edc");
  list_.getListIndex(-1);
  EXPECT_TRUE(list_.InsertNodeAsFixedLengthQueue(1));
  EXPECT_EQ(Indexes(), (std::vector<Long>{0}));
  EXPECT_EQ(CursorState(), "-1 T");
}

TEST_F(OrderedLinkedListTest, UncappedQueueOnlyRenumbers) {
  AddAll({5, 9});
  list_.InsertNodeAsFixedLengthQueue(0, Variant(u"new"));
  EXPECT_EQ(Indexes(), (std::vector<Long>{0, 1, 2}));
  EXPECT_EQ(list_.getListItem(0, 1), Variant(u"new"));
  EXPECT_EQ(list_.getListItem(2, 1), Variant(u"n9"));
  EXPECT_EQ(list_.getListIndex(9), Variant());
}

// --- sorting ---

class OrderedLinkedListSortTest : public OrderedLinkedListTest {
 protected:
  void Load(std::initializer_list<Long> indexes, std::initializer_list<Variant> values) {
    auto value = values.begin();
    for (Long i : indexes) {
      list_.AddNewNode(i, *value, value->IsNull() ? Variant(u"row of Null") : Variant(u"row of " + CStr(*value)));
      ++value;
    }
  }
  std::u16string Sorted(enumVarType kind) {
    list_.StartQuickSortListBySingleItem(1, kind);
    return list_.CopyLinkedListItemsToDelimiterSeparatedString(1, u",");
  }
};

TEST_F(OrderedLinkedListSortTest, RenumbersFromOneOrZeroAndOrders) {
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumString);  // an empty list
  EXPECT_EQ(list_.NodeCount(), 0);
  Load({5, 7, 9}, {u"c", u"a", u"b"});
  EXPECT_EQ(Sorted(enumVarType::enumString), u"a,b,c");
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 2, 3}));
  EXPECT_EQ(list_.getListItem(1, 2), Variant(u"row of a"));  // rows travel whole
  list_.EmptyList();
  Load({0, 7, 9}, {u"c", u"a", u"b"});
  Sorted(enumVarType::enumString);
  EXPECT_EQ(Indexes(), (std::vector<Long>{0, 1, 2}));
}

TEST_F(OrderedLinkedListSortTest, StringKindIgnoresCaseMixedUsesCodes) {
  Load({1, 2, 3}, {u"b", u"A", u"c"});
  EXPECT_EQ(Sorted(enumVarType::enumString), u"A,b,c");
  EXPECT_EQ(Sorted(enumVarType::enumMixed), u"A,b,c");
  list_.EmptyList();
  Load({1, 2, 3}, {u"a", u"B", u"c"});
  EXPECT_EQ(Sorted(enumVarType::enumMixed), u"B,a,c");
}

TEST_F(OrderedLinkedListSortTest, NumberKindReadsTexts) {
  Load({1, 2, 3}, {u"10", u"9", u"100"});
  EXPECT_EQ(Sorted(enumVarType::enumNumber), u"9,10,100");
  EXPECT_EQ(Sorted(enumVarType::enumString), u"10,100,9");
}

TEST_F(OrderedLinkedListSortTest, DateKindsIgnoreWhatTheirPatternDrops) {
  // Two times on 5 Jan 2020 and one on 4 Jan at a later hour.
  Load({1, 2, 3}, {Variant(Date{43835.75}), Variant(Date{43835.25}), Variant(Date{43834.9})});
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumDate);
  EXPECT_EQ(list_.getListItem(1, 1), Variant(Date{43834.9}));
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumTime);
  EXPECT_EQ(list_.getListItem(1, 1), Variant(Date{43835.25}));
  EXPECT_EQ(list_.getListItem(3, 1), Variant(Date{43834.9}));
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumDateAndTime);
  EXPECT_EQ(list_.getListItem(1, 1), Variant(Date{43834.9}));
  EXPECT_EQ(list_.getListItem(2, 1), Variant(Date{43835.25}));
  // Texts that read as dates sort by date, not by text.
  list_.EmptyList();
  Load({1, 2}, {u"Feb 1, 2020", u"Jan 9, 2020"});
  EXPECT_EQ(Sorted(enumVarType::enumDate), u"Jan 9, 2020,Feb 1, 2020");
}

TEST_F(OrderedLinkedListSortTest, UnorderableItemsEndTheirRangeInsteadOfLooping) {
  Load({1, 2, 3, 4, 5}, {u"3", u"x", u"1", Variant::Null(), u"2"});
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumNumber);
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 2, 3, 4, 5}));
  EXPECT_EQ(list_.NodeCount(), 5);
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumMixed);
  EXPECT_EQ(list_.NodeCount(), 5);
}

TEST_F(OrderedLinkedListSortTest, LargeListsSortWithoutDeepRecursion) {
  for (Long i = 0; i < 20000; ++i) list_.AddNewNode(i, Variant((i * 7919) % 20000));
  list_.StartQuickSortListBySingleItem(1, enumVarType::enumNumber);
  for (Long i = 0; i < 20000; i += 997) EXPECT_EQ(list_.getListItem(i, 1), Variant(i));
}

TEST_F(OrderedLinkedListSortTest, ReorderNodesSequentiallyKeepsTheCursor) {
  AddAll({4, 8, 15});
  list_.FindByIndex(8);
  list_.ReorderNodesSequentially();
  EXPECT_EQ(Indexes(), (std::vector<Long>{1, 2, 3}));
  list_.FindByIndex(2);
  list_.ReorderNodesSequentially(true);
  EXPECT_EQ(CursorState(), "1");
  EXPECT_EQ(Indexes(), (std::vector<Long>{0, 1, 2}));
}

// --- late-bound ---

TEST(OrderedLinkedListDispatchTest, CreatedByProgIdAndDrivenByName) {
  Object list = CreateObject("Narwick.clsOrderedLinkedList");
  list.Call("AddNewNode", {5, u"e"});
  list.Call("AddNewNode", {3, Missing, u"c2"});
  Variant idx = 3;
  EXPECT_EQ(list.Call("getListItem", {ByRef(idx), 2}), Variant(u"c2"));
  EXPECT_EQ(idx, Variant(3));
  EXPECT_EQ(list.Call("NodeCount"), Variant(2));
  EXPECT_EQ(list.Call("getlistitem", {u"5", 1}), Variant(u"e"));  // coerced to Long
  Variant yes = list.Call("MoveFirst");
  EXPECT_EQ(yes.VarType(), VbVarType::vbBoolean);
  EXPECT_EQ(yes.Int(), -1);
  EXPECT_RUNTIME_ERROR(list.Call("getListItem", {u"five", 1}), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(list.Call("AddNewNode"), err::kArgumentNotOptional);
}

TEST(OrderedLinkedListDispatchTest, TwoListsShareNoState) {
  Object a = CreateObject("Narwick.clsOrderedLinkedList");
  Object b = CreateObject("Narwick.clsOrderedLinkedList");
  a.Call("AddNewNode", {1});
  EXPECT_EQ(a.Call("NodeCount"), Variant(1));
  EXPECT_EQ(b.Call("NodeCount"), Variant(0));
}

// Calls every member of the table by name with plausible arguments: each must answer
// without a dispatch error (438 / 449 / 450 / 13).
TEST(OrderedLinkedListDispatchTest, EveryMemberOfTheTableAnswersByName) {
  Object list = CreateObject("Narwick.clsOrderedLinkedList");
  Object second = CreateObject("Narwick.clsOrderedLinkedList");
  list.Call("AddNewNode", {1, u"a", 2});
  list.Call("AddNewNode", {2, u"b", 1});
  testing::TempFolder folder;
  for (const auto& member : list.get()->TypeInfo().members()) {
    std::vector<Arg> args;
    for (const auto& p : member.params) {
      if (p.optional) break;
      switch (p.type) {
        case VbVarType::vbString:
          args.emplace_back(p.name == "FileLocation" ? Variant(folder.File("walk.lst")) : Variant(u"1~a|2~b"));
          break;
        case VbVarType::vbObject: args.emplace_back(Variant(second)); break;
        case VbVarType::vbBoolean: args.emplace_back(Variant(false)); break;
        case VbVarType::vbVariant: args.emplace_back(Variant(u"v")); break;
        default: args.emplace_back(Variant(1)); break;
      }
    }
    SCOPED_TRACE(member.name);
    EXPECT_NO_THROW(list.Call(member.name, std::span<const Arg>(args)));
  }
}

}  // namespace
}  // namespace narwick
