// clsOrderedLinkedList persistence: the list text, the record file (golden bytes, round trips,
// hostile files, safe replacement), delimited strings and list copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "list/list_file_format.h"
#include "list/list_record.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/safe_array.h"
#include "narwick/frame/object.h"
#include "narwick/list/ordered_linked_list.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<Long> Indexes(clsOrderedLinkedList& l) {
  std::vector<Long> out;
  if (!l.MoveFirst()) return out;
  while (!l.IsTailNode()) {
    out.push_back(CLng(l.getCurrentListIndex()));
    l.MoveNext();
  }
  return out;
}

String Column(clsOrderedLinkedList& l, Integer item) {
  return l.CopyLinkedListItemsToDelimiterSeparatedString(item, u",");
}

// The items of every kind the record carries, as the golden file every_kind.lst holds them.
void AddEveryKind(clsOrderedLinkedList& l) {
  l.AddNewNode(1, Variant(), Variant::Null(), Variant(Integer{-2}), Variant(100000), Variant(1.5f),
               Variant(-2.25), Variant(Currency{123456}), Variant(Date{43835.5}), Variant(u"caf\u00e9"),
               Variant(true), Variant(Byte{200}), Variant(u""));
  std::vector<Variant> texts;
  for (int i = 0; i < 12; ++i) {
    std::string two = (i < 10 ? "0" : "") + std::to_string(i);
    std::string text;
    for (int r = 0; r < 6; ++r) text += two;
    texts.emplace_back(FromUtf8(text));
  }
  l.AddNewNode(7, texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6], texts[7], texts[8],
               texts[9], texts[10], texts[11]);
}

void ExpectSameRows(clsOrderedLinkedList& a, clsOrderedLinkedList& b) {
  ASSERT_EQ(Indexes(a), Indexes(b));
  for (Long index : Indexes(a)) {
    for (Integer k = 1; k <= 12; ++k) {
      Variant x = a.getListItem(index, k), y = b.getListItem(index, k);
      EXPECT_EQ(x, y) << "index " << index << " item " << k;
      EXPECT_EQ(x.VarType(), y.VarType()) << "index " << index << " item " << k;
    }
  }
}

// --- text ---

TEST(ListTextTest, EmptyListGivesTheEmptyText) {
  clsOrderedLinkedList l;
  EXPECT_EQ(l.putLinkedListToString(), u"");
  l.AddNewNode(1);
  l.EmptyList();  // the cursor is on the head sentinel: it is still not written
  EXPECT_EQ(l.putLinkedListToString(), u"");
}

TEST(ListTextTest, RecordsFieldsAndItemTexts) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"a"), Variant(5));
  l.AddNewNode(3);
  EXPECT_EQ(l.putLinkedListToString(), u"1~a~5~~~~~~~~~~|3~~~~~~~~~~~~");
  clsOrderedLinkedList kinds;
  kinds.AddNewNode(0, Variant(true), Variant(2.5), Variant::Null(), Variant(Date{43835.0}), Variant(-7),
                   Variant(MakeObject(std::make_shared<clsOrderedLinkedList>())));
  EXPECT_EQ(kinds.putLinkedListToString(), u"0~True~2.5~~1/5/2020~-7~~~~~~~");
}

TEST(ListTextTest, TheCursorIsPutBack) {
  clsOrderedLinkedList l;
  l.AddNewNode(1);
  l.AddNewNode(2);
  l.DeleteNode(2);  // unset
  l.putLinkedListToString();
  EXPECT_TRUE(l.getCurrentListIndex().IsEmpty());
  l.FindByIndex(1);
  l.putLinkedListToString();
  EXPECT_EQ(l.getCurrentListIndex(), Variant(1));
}

TEST(ListTextTest, AnItemWithoutTextFormFailsWithTheCursorOnItsNode) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"a"));
  l.AddNewNode(2, Variant(SafeArray(VbVarType::vbLong, 0, 1)));
  l.AddNewNode(3);
  EXPECT_EQ(l.putLinkedListToString(), u"");
  EXPECT_EQ(l.getCurrentListIndex(), Variant(2));
}

TEST(ListTextTest, LoadingGivesTextItemsInIndexOrder) {
  clsOrderedLinkedList l;
  EXPECT_TRUE(l.getLinkedListFromString(u"1~a~5~~~~~~~~~~|3~~~~~~~~~~~~"));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{1, 3}));
  EXPECT_EQ(l.getListItem(1, 2), Variant(u"5"));
  for (Integer k = 1; k <= 12; ++k) EXPECT_EQ(l.getListItem(3, k), Variant(u"")) << k;

  EXPECT_TRUE(l.getLinkedListFromString(u"3~x~~~~~~~~~~~|1~y~~~~~~~~~~~|3~z~~~~~~~~~~~"));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{1, 3}));
  EXPECT_EQ(l.getListItem(3, 1), Variant(u"x"));  // the first record of an index counts
}

TEST(ListTextTest, MergingOrEmptyingFirst) {
  clsOrderedLinkedList l;
  l.AddNewNode(2, Variant(u"mine"));
  EXPECT_TRUE(l.getLinkedListFromString(u"2~theirs~~~~~~~~~~~|4~~~~~~~~~~~~", false));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{2, 4}));
  EXPECT_EQ(l.getListItem(2, 1), Variant(u"mine"));
  EXPECT_TRUE(l.getLinkedListFromString(u"5~~~~~~~~~~~~|6~~~~~~~~~~~~"));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{5, 6}));
}

TEST(ListTextTest, UnescapedSeparatorsShiftTheFields) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"a~b"), Variant(u"c"));
  l.AddNewNode(2);
  String text = l.putLinkedListToString();
  EXPECT_EQ(text, u"1~a~b~c~~~~~~~~~~|2~~~~~~~~~~~~");
  clsOrderedLinkedList back;
  EXPECT_TRUE(back.getLinkedListFromString(text));
  EXPECT_EQ(back.getListItem(1, 1), Variant(u"a"));
  EXPECT_EQ(back.getListItem(1, 2), Variant(u"b"));
  EXPECT_EQ(back.getListItem(1, 3), Variant(u"c"));
}

TEST(ListTextTest, RefusedAndBadTexts) {
  clsOrderedLinkedList l;
  l.AddNewNode(9);
  EXPECT_FALSE(l.getLinkedListFromString(u"1~a~~~~~~~~~~~"));  // one record: no "|"
  EXPECT_EQ(l.NodeCount(), 0);                                  // emptied all the same
  EXPECT_TRUE(l.getLinkedListFromString(u"|"));                 // empty records are skipped
  EXPECT_TRUE(l.getLinkedListFromString(u"skip|me"));           // records without "~" too
  EXPECT_EQ(l.NodeCount(), 0);
  // A short record or a bad index ends the load; the nodes before it stay.
  EXPECT_FALSE(l.getLinkedListFromString(u"1~~~~~~~~~~~~|2~a~b|3~~~~~~~~~~~~"));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{1}));
  EXPECT_FALSE(l.getLinkedListFromString(u"4~~~~~~~~~~~~|x~~~~~~~~~~~~"));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{4}));
  EXPECT_FALSE(l.getLinkedListFromString(u"99999999999~~~~~~~~~~~~|1~~~~~~~~~~~~"));
  // Index texts go through the text-to-Long conversion; below -1 nothing is added.
  EXPECT_TRUE(l.getLinkedListFromString(u" 7 ~~~~~~~~~~~~|&H10~~~~~~~~~~~~|-5~~~~~~~~~~~~|2.5~~~~~~~~~~~~"));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{2, 7, 16}));
  // Fields after the thirteenth are ignored.
  EXPECT_TRUE(l.getLinkedListFromString(u"1~~~~~~~~~~~~l~extra~more|2~~~~~~~~~~~~"));
  EXPECT_EQ(l.getListItem(1, 12), Variant(u"l"));
}

// --- record file ---

class ListFileTest : public ::testing::Test {
 protected:
  testing::TempFolder folder_;
  String path_ = folder_.File("list.lst");
  std::filesystem::path fs_path_ = folder_.path() / "list.lst";
};

TEST_F(ListFileTest, GoldenFileOfEveryKindLoadsAndIsWrittenAgainByteForByte) {
  const auto golden = testing::TestDataDir() / "list" / "every_kind.lst";
  clsOrderedLinkedList loaded;
  ASSERT_TRUE(loaded.getLinkedListFromFile(FromUtf8(golden.string())));
  clsOrderedLinkedList expected;
  AddEveryKind(expected);
  ExpectSameRows(loaded, expected);
  EXPECT_EQ(loaded.getListItem(1, 11).VarType(), VbVarType::vbByte);
  ASSERT_TRUE(expected.putLinkedListToFile(path_));
  EXPECT_EQ(ReadBytes(fs_path_), ReadBytes(golden));
}

TEST_F(ListFileTest, RecordLayoutSpelledOut) {
  clsOrderedLinkedList l;
  l.AddNewNode(258, Variant(u"\u20ac!"), Variant(Integer{-1}));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  Bytes expected = {0x02, 0x01, 0x00, 0x00,  // index 258
                    0x08, 0x00, 0x02, 0x00, 0x80, '!',  // String, length 2, euro sign in 1252
                    0x02, 0x00, 0xFF, 0xFF};            // Integer -1
  for (int k = 3; k <= 12; ++k) expected.insert(expected.end(), {0x00, 0x00});  // Empty
  expected.resize(196, 0);
  EXPECT_EQ(ReadBytes(fs_path_), expected);
}

TEST_F(ListFileTest, RoundTripKeepsIndexesItemsAndKinds) {
  clsOrderedLinkedList l;
  AddEveryKind(l);
  l.AddNewNode(0, Variant(ErrorCode{2000}), Variant(-0.0), Variant(Date{-1.25}));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  EXPECT_EQ(std::filesystem::file_size(fs_path_), 3u * 196u);
  clsOrderedLinkedList back;
  ASSERT_TRUE(back.getLinkedListFromFile(path_));
  ExpectSameRows(back, l);
}

TEST_F(ListFileTest, TextOutsideTheCodePageComesBackAsQuestionMarks) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"\u0416\u00ff"));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  clsOrderedLinkedList back;
  ASSERT_TRUE(back.getLinkedListFromFile(path_));
  EXPECT_EQ(back.getListItem(1, 1), Variant(u"?\u00ff"));
}

TEST_F(ListFileTest, LoadingMergesIntoTheListTheListWinning) {
  clsOrderedLinkedList l;
  l.AddNewNode(2, Variant(u"file"));
  l.AddNewNode(3, Variant(u"file"));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  clsOrderedLinkedList target;
  target.AddNewNode(2, Variant(u"mine"));
  target.AddNewNode(9);
  ASSERT_TRUE(target.getLinkedListFromFile(path_));
  EXPECT_EQ(Indexes(target), (std::vector<Long>{2, 3, 9}));
  EXPECT_EQ(target.getListItem(2, 1), Variant(u"mine"));
  EXPECT_EQ(target.getListItem(3, 1), Variant(u"file"));
}

TEST_F(ListFileTest, RewritingAShorterListLeavesNoStaleRecords) {
  clsOrderedLinkedList l;
  for (Long i = 1; i <= 5; ++i) l.AddNewNode(i);
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  clsOrderedLinkedList shorter;
  shorter.AddNewNode(8);
  ASSERT_TRUE(shorter.putLinkedListToFile(path_));
  EXPECT_EQ(std::filesystem::file_size(fs_path_), 196u);
  clsOrderedLinkedList back;
  ASSERT_TRUE(back.getLinkedListFromFile(path_));
  EXPECT_EQ(Indexes(back), (std::vector<Long>{8}));
}

TEST_F(ListFileTest, ARecordTooLongFailsAndKeepsTheFormerFile) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"former"));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  const Bytes former = ReadBytes(fs_path_);

  clsOrderedLinkedList big;
  big.AddNewNode(1);
  String thirteen(13, u'x');  // 4 + 12 * (4 + 13) = 208 bytes
  big.AddNewNode(2, Variant(thirteen), Variant(thirteen), Variant(thirteen), Variant(thirteen),
                 Variant(thirteen), Variant(thirteen), Variant(thirteen), Variant(thirteen),
                 Variant(thirteen), Variant(thirteen), Variant(thirteen), Variant(thirteen));
  big.AddNewNode(3);
  EXPECT_FALSE(big.putLinkedListToFile(path_));
  EXPECT_EQ(big.getCurrentListIndex(), Variant(2));  // the cursor is not put back
  EXPECT_EQ(ReadBytes(fs_path_), former);
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ListFileTest, ObjectItemsAndBadPathsCannotBeWritten) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(MakeObject(std::make_shared<clsOrderedLinkedList>())));
  EXPECT_FALSE(l.putLinkedListToFile(path_));
  EXPECT_FALSE(std::filesystem::exists(fs_path_));
  clsOrderedLinkedList plain;
  plain.AddNewNode(1);
  EXPECT_FALSE(plain.putLinkedListToFile(folder_.File("no/such/folder/x.lst")));
  EXPECT_FALSE(plain.putLinkedListToFile(u""));
}

TEST_F(ListFileTest, MissingFileLeavesTheListUnchanged) {
  clsOrderedLinkedList l;
  l.AddNewNode(4);
  l.FindByIndex(4);
  EXPECT_FALSE(l.getLinkedListFromFile(path_));
  EXPECT_EQ(Indexes(l), (std::vector<Long>{4}));
  EXPECT_FALSE(l.getLinkedListFromFile(FromUtf8(folder_.path().string())));  // a folder
}

TEST_F(ListFileTest, HostileFiles) {
  clsOrderedLinkedList source;
  source.AddNewNode(1, Variant(u"one"));
  source.AddNewNode(2, Variant(u"two"));
  source.AddNewNode(3, Variant(u"three"));
  ASSERT_TRUE(source.putLinkedListToFile(path_));
  const Bytes good = ReadBytes(fs_path_);

  auto load = [&](const Bytes& bytes, std::vector<Long> expected_indexes, bool expected_result) {
    WriteBytes(fs_path_, bytes);
    clsOrderedLinkedList l;
    EXPECT_EQ(bool(l.getLinkedListFromFile(path_)), expected_result);
    EXPECT_EQ(Indexes(l), expected_indexes);
  };
  // An incomplete last record yields no node.
  load(Bytes(good.begin(), good.end() - 1), {1, 2}, true);
  load(Bytes(good.begin(), good.begin() + 100), {}, true);
  load({}, {}, true);
  // An unknown type code, an Object code or an array flag in record 2 ends the load there.
  for (unsigned code : {9u, 12u, 99u, 0x2008u, 0xFFFFu}) {
    Bytes bad = good;
    bad[196 + 4] = static_cast<std::uint8_t>(code);
    bad[196 + 5] = static_cast<std::uint8_t>(code >> 8);
    load(bad, {1}, false);
  }
  // A string length running past the record.
  Bytes long_string = good;
  long_string[196 + 6] = 0xF0;
  load(long_string, {1}, false);
  // Record 3 made of 14-character strings: the eleventh would run past byte 195.
  Bytes crowded = good;
  std::size_t at = 2 * 196 + 4;
  for (int k = 0; k < 10; ++k, at += 18) {
    crowded[at] = 0x08;
    crowded[at + 1] = 0;
    crowded[at + 2] = 14;
    crowded[at + 3] = 0;
    for (std::size_t c = 0; c < 14; ++c) crowded[at + 4 + c] = 'a';
  }
  crowded[at] = 0x08;
  crowded[at + 1] = 0;
  crowded[at + 2] = 14;
  crowded[at + 3] = 0;
  load(crowded, {1, 2}, false);
  // Indexes -1 and below are dropped like taken ones.
  Bytes negative = good;
  negative[0] = 0xFE;
  negative[1] = negative[2] = negative[3] = 0xFF;
  load(negative, {2, 3}, true);
}

// --- delimited strings ---

TEST(ListDelimitedTest, ColumnToText) {
  clsOrderedLinkedList l;
  EXPECT_EQ(Column(l, 2), u"");
  l.AddNewNode(1, Missing, Variant(u"a"));
  l.AddNewNode(2, Missing, Variant(u"b"));
  l.AddNewNode(3, Missing, Variant(u"c"));
  EXPECT_EQ(l.CopyLinkedListItemsToDelimiterSeparatedString(2, u";"), u"a;b;c");
  EXPECT_EQ(l.CopyLinkedListItemsToDelimiterSeparatedString(2, u""), u"abc");
  EXPECT_EQ(l.CopyLinkedListItemsToDelimiterSeparatedString(1, u";"), u";;");
  EXPECT_EQ(l.CopyLinkedListItemsToDelimiterSeparatedString(13, u"-"), u"--");
  l.EmptyList();
  EXPECT_EQ(Column(l, 2), u"");
}

TEST(ListDelimitedTest, NullFailsWithTheCursorOnItsNode) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"a"));
  l.AddNewNode(2, Variant::Null());
  l.AddNewNode(3, Variant(u"c"));
  l.DeleteNode(3);
  l.AddNewNode(3, Variant(u"c"));
  EXPECT_EQ(Column(l, 1), u"");
  EXPECT_EQ(l.getCurrentListIndex(), Variant(2));
  // On success the cursor is put back, an unset cursor included.
  l.editItem(2, Variant(7), 1);
  l.DeleteNode(3);
  EXPECT_EQ(Column(l, 1), u"a,7");
  EXPECT_TRUE(l.getCurrentListIndex().IsEmpty());
}

TEST(ListDelimitedTest, TextToNodes) {
  clsOrderedLinkedList l;
  EXPECT_TRUE(l.putDelimiterSeparatedStringToLinkedList(1, u"x,y", u",").IsEmpty());
  EXPECT_EQ(Indexes(l), (std::vector<Long>{0, 1}));
  EXPECT_EQ(l.getListItem(1, 1), Variant(u"y"));
  EXPECT_TRUE(l.getListItem(1, 2).IsEmpty());

  clsOrderedLinkedList taken;
  taken.AddNewNode(0, Variant(u"keep"));
  taken.putDelimiterSeparatedStringToLinkedList(1, u"x,y", u",");
  EXPECT_EQ(Column(taken, 1), u"keep,y");

  clsOrderedLinkedList letters;
  letters.putDelimiterSeparatedStringToLinkedList(3, u"aXbxcXX", u"x");  // case ignored, empty pieces stay
  EXPECT_EQ(letters.CopyLinkedListItemsToDelimiterSeparatedString(3, u"|"), u"a|b|c||");
  clsOrderedLinkedList whole;
  whole.putDelimiterSeparatedStringToLinkedList(2, u"a,b", u"");
  EXPECT_EQ(whole.getListItem(0, 2), Variant(u"a,b"));
}

TEST(ListDelimitedTest, OutOfRangeItemOrEmptyTextAddsNothingButStillEmpties) {
  clsOrderedLinkedList l;
  l.AddNewNode(5);
  EXPECT_TRUE(l.putDelimiterSeparatedStringToLinkedList(13, u"x,y", u",").IsEmpty());
  EXPECT_EQ(l.NodeCount(), 1);
  l.putDelimiterSeparatedStringToLinkedList(13, u"x,y", u",", true);
  EXPECT_EQ(l.NodeCount(), 0);
  l.AddNewNode(5);
  l.putDelimiterSeparatedStringToLinkedList(1, u"", u",", true);
  EXPECT_EQ(l.NodeCount(), 0);
}

// --- list copy ---

TEST(ListCopyTest, KeepingIndexesOrRenumberingFromTheReceiver) {
  auto source = std::make_shared<clsOrderedLinkedList>();
  auto dest = std::make_shared<clsOrderedLinkedList>();
  auto shared = std::make_shared<clsOrderedLinkedList>();
  clsOrderedLinkedList receiver;
  source->AddNewNode(3, Variant(u"c"), Variant(MakeObject(shared)));
  source->AddNewNode(5, Variant(u"e"));
  dest->AddNewNode(1, Variant(u"old"));
  receiver.AddNewNode(9);
  receiver.DeleteNode(42);  // cursor on the tail sentinel

  EXPECT_TRUE(receiver.CopyEntireListToSecondList(MakeObject(source), MakeObject(dest), true).IsEmpty());
  EXPECT_EQ(Indexes(*dest), (std::vector<Long>{3, 5}));
  EXPECT_EQ(dest->getListItem(3, 2).Obj(), MakeObject(shared));  // the same reference
  EXPECT_EQ(receiver.getCurrentListIndex(), Variant(-1));
  EXPECT_TRUE(bool(receiver.IsTailNode()));

  receiver.CopyEntireListToSecondList(MakeObject(source), MakeObject(dest), false);
  EXPECT_EQ(Indexes(*dest), (std::vector<Long>{3, 5, 10, 11}));
  EXPECT_EQ(dest->getListItem(11, 1), Variant(u"e"));
  EXPECT_TRUE(bool(source->IsTailNode()));  // the source's cursor ends on its tail sentinel
}

TEST(ListCopyTest, EmptySourceAndNothing) {
  auto source = std::make_shared<clsOrderedLinkedList>();
  auto dest = std::make_shared<clsOrderedLinkedList>();
  dest->AddNewNode(1);
  clsOrderedLinkedList receiver;
  receiver.CopyEntireListToSecondList(MakeObject(source), MakeObject(dest), true);
  EXPECT_EQ(dest->NodeCount(), 0);
  // Nothing as the source: the destination was emptied before the copy failed.
  dest->AddNewNode(1);
  EXPECT_TRUE(receiver.CopyEntireListToSecondList(Object(), MakeObject(dest), true).IsEmpty());
  EXPECT_EQ(dest->NodeCount(), 0);
  // Another class is a type mismatch raised to the caller.
  auto collection = CreateObject("VBA.Collection");
  EXPECT_RUNTIME_ERROR(receiver.CopyEntireListToSecondList(collection, MakeObject(dest), true), 13);
}

TEST(ListCopyTest, RunningIndexOverflowEndsTheCopy) {
  auto source = std::make_shared<clsOrderedLinkedList>();
  auto dest = std::make_shared<clsOrderedLinkedList>();
  source->AddNewNode(1);
  clsOrderedLinkedList receiver;
  receiver.AddNewNode(2147483647);
  receiver.CopyEntireListToSecondList(MakeObject(source), MakeObject(dest), false);
  EXPECT_EQ(dest->NodeCount(), 0);
  EXPECT_EQ(receiver.getCurrentListIndex(), Variant(2147483647));  // left where UBoundNodeIndex put it
}

TEST(ListCopyTest, ListCopiedOntoItselfWhileTheReceiverCursorIsRemembered) {
  auto l = std::make_shared<clsOrderedLinkedList>();
  l->AddNewNode(1, Variant(u"a"));
  l->AddNewNode(2, Variant(u"b"));
  l->FindByIndex(2);
  // The receiver is also the emptied destination: its remembered node left the list and the
  // cursor is put back on it, off the chain.
  l->CopyEntireListToSecondList(MakeObject(l), MakeObject(l), true);
  EXPECT_EQ(l->NodeCount(), 0);
  EXPECT_EQ(l->getCurrentListIndex(), Variant(2));
  EXPECT_EQ(l->getCurrentListItem(1), Variant(u"b"));
  EXPECT_TRUE(bool(l->IsHeadNode()));
  EXPECT_TRUE(bool(l->IsTailNode()));
  EXPECT_FALSE(bool(l->DeleteCurrentNode()));
  EXPECT_TRUE(bool(l->MoveFirst()) == false);
}

}  // namespace
}  // namespace narwick
