// clsOrderedLinkedList beyond the reach of the random model test: extreme indexes, a deep sort,
// late binding, bad list texts, the record file's exact bytes, hostile files and bad paths, and
// list copy's refusals.
#include "narwick/list/ordered_linked_list.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
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

// --- indexes and sorting ---

TEST(OrderedLinkedListTest, ExtremeIndexesOrderAndTheLowestLongIsRefused) {
  clsOrderedLinkedList l;
  for (Long i : std::initializer_list<Long>{2147483647, 0, 1000000, -2147483647 - 1}) {
    l.AddNewNode(i, Variant(u"x"));
  }
  EXPECT_EQ(Indexes(l), (std::vector<Long>{0, 1000000, 2147483647}));
  EXPECT_EQ(l.getListIndex(2147483647), Variant(2147483647));
  EXPECT_FALSE(l.DeleteNode(-2147483647 - 1));
}

TEST(OrderedLinkedListTest, LargeListsSortWithoutDeepRecursion) {
  clsOrderedLinkedList l;
  for (Long i = 0; i < 20000; ++i) l.AddNewNode(i, Variant((i * 7919) % 20000));
  l.StartQuickSortListBySingleItem(1, enumVarType::enumNumber);
  for (Long i = 0; i < 20000; i += 997) EXPECT_EQ(l.getListItem(i, 1), Variant(i));
}

// The time kinds order to the second; the model test's random dates are whole quarter days.
// Rows already ascending stay put; rows compared as equal would be exchanged.
TEST(OrderedLinkedListTest, TimeKindsOrderToTheSecond) {
  auto at = [](double day, int seconds) { return Variant(Date{day + seconds / 86400.0}); };
  const struct { enumVarType kind; Variant first, second; } cases[] = {
      {enumVarType::enumTime, at(43832, 36001), at(43831, 36002)},  // the date is ignored
      {enumVarType::enumDateAndTime, at(43831, 36001), at(43831, 36002)},
  };
  for (const auto& c : cases) {
    clsOrderedLinkedList l;
    l.AddNewNode(1, c.first);
    l.AddNewNode(2, c.second);
    l.StartQuickSortListBySingleItem(1, c.kind);
    EXPECT_EQ(l.getListItem(1, 1), c.first) << static_cast<int>(c.kind);
    EXPECT_EQ(l.getListItem(2, 1), c.second) << static_cast<int>(c.kind);
  }
}

// A node off the chain (a new list's placeholder, or a node emptied away while the cursor was
// remembered on it) lives only while the cursor stands on it; removed nodes go at once. An
// object item shows when its node is destroyed.
TEST(OrderedLinkedListTest, NodesOutOfReachReleaseTheirItems) {
  auto object_item = [](std::weak_ptr<clsOrderedLinkedList>& weak) {
    auto inner = std::make_shared<clsOrderedLinkedList>();
    weak = inner;
    return Variant(MakeObject(std::move(inner)));
  };
  std::weak_ptr<clsOrderedLinkedList> placeholder, copied_over, deleted, current, emptied, abandoned;
  auto l = std::make_shared<clsOrderedLinkedList>();
  EXPECT_TRUE(l->editCurrentItem(object_item(placeholder), 1));
  EXPECT_EQ(l->NodeCount(), 0);  // the cursor stays, and so does the placeholder
  EXPECT_FALSE(placeholder.expired());
  l->AddNewNode(1, object_item(copied_over));
  EXPECT_TRUE(placeholder.expired());

  // Emptied by a copy into itself, node 1 stays under the cursor, off the chain.
  l->MoveFirst();
  l->CopyEntireListToSecondList(MakeObject(std::make_shared<clsOrderedLinkedList>()), MakeObject(l), true);
  EXPECT_EQ(l->getCurrentListIndex(), Variant(1));
  EXPECT_TRUE(l->IsHeadNode() && l->IsTailNode());
  EXPECT_FALSE(copied_over.expired());
  l->AddNewNode(2, object_item(deleted));
  EXPECT_TRUE(copied_over.expired());

  l->AddNewNode(3, object_item(current));
  l->editItem(-1, object_item(emptied), 12);
  EXPECT_TRUE(l->DeleteNode(2));
  EXPECT_TRUE(deleted.expired());
  l->MoveFirst();
  EXPECT_TRUE(l->DeleteCurrentNode());
  EXPECT_TRUE(current.expired());
  EXPECT_TRUE(l->EmptyList());
  EXPECT_TRUE(emptied.expired());
  // The same copy ended by a missing source: the cursor is not put back on node 4.
  l->AddNewNode(4, object_item(abandoned));
  l->MoveFirst();
  l->CopyEntireListToSecondList(Object(), MakeObject(l), true);
  EXPECT_EQ(l->getCurrentListIndex(), Variant(-1));
  EXPECT_TRUE(abandoned.expired());
}

// --- late-bound ---

TEST(OrderedLinkedListDispatchTest, CreatedByProgIdAndDrivenByName) {
  Object list = CreateObject("Narwick.clsOrderedLinkedList");
  Object other = CreateObject("Narwick.clsOrderedLinkedList");
  list.Call("AddNewNode", {5, u"e"});
  list.Call("AddNewNode", {3, Missing, u"c2"});
  Variant idx = 3;
  EXPECT_EQ(list.Call("getListItem", {ByRef(idx), 2}), Variant(u"c2"));
  EXPECT_EQ(idx, Variant(3));
  EXPECT_EQ(list.Call("NodeCount"), Variant(2));
  EXPECT_EQ(other.Call("NodeCount"), Variant(0));  // no state shared between instances
  EXPECT_EQ(list.Call("getlistitem", {u"5", 1}), Variant(u"e"));  // coerced to Long
  Variant yes = list.Call("MoveFirst");
  EXPECT_EQ(yes.VarType(), VbVarType::vbBoolean);
  EXPECT_EQ(yes.Int(), -1);
  EXPECT_RUNTIME_ERROR(list.Call("getListItem", {u"five", 1}), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(list.Call("AddNewNode"), err::kArgumentNotOptional);
  // Left out, startAtZero is False: counting starts at 1.
  EXPECT_EQ(list.Call("FindNextAvailableIndexLocation"), Variant(1));
  list.Call("ReorderNodesSequentially");
  EXPECT_EQ(list.Call("LBoundNodeIndex"), Variant(1));
  // Left out, emptyListFirstFlag is False: node 1 keeps its items and only index 0 is added.
  list.Call("putDelimiterSeparatedStringToLinkedList", {1, u"p,q", u","});
  EXPECT_EQ(list.Call("getListItem", {1, 2}), Variant(u"c2"));
  EXPECT_EQ(list.Call("NodeCount"), Variant(3));
  // Left out, emptyListFirst is True.
  list.Call("getLinkedListFromString", {u"7~~~~~~~~~~~~|8~~~~~~~~~~~~"});
  EXPECT_EQ(list.Call("NodeCount"), Variant(2));
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

// --- list text ---

TEST(ListTextTest, AnItemWithoutTextFormFailsWithTheCursorOnItsNode) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"a"));
  l.AddNewNode(2, Variant(SafeArray(VbVarType::vbLong, 0, 1)));
  l.AddNewNode(3);
  EXPECT_EQ(l.putLinkedListToString(), u"");
  EXPECT_EQ(l.getCurrentListIndex(), Variant(2));
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

// The golden file holds a row of every kind the record carries and a row of full-length texts.
TEST_F(ListFileTest, GoldenFileLoadsIsWrittenAgainByteForByteAndEveryKindRoundTrips) {
  clsOrderedLinkedList expected;
  expected.AddNewNode(1, Variant(), Variant::Null(), Variant(Integer{-2}), Variant(100000),
                      Variant(1.5f), Variant(-2.25), Variant(Currency{123456}),
                      Variant(Date{43835.5}), Variant(u"caf\u00e9"), Variant(true),
                      Variant(Byte{200}), Variant(u""));
  std::vector<Variant> t;
  for (int i = 0; i < 12; ++i) {
    std::string two = (i < 10 ? "0" : "") + std::to_string(i);
    t.emplace_back(FromUtf8(two + two + two + two + two + two));
  }
  expected.AddNewNode(7, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], t[11]);
  auto expect_same_rows = [](clsOrderedLinkedList& a, clsOrderedLinkedList& b) {
    ASSERT_EQ(Indexes(a), Indexes(b));
    for (Long index : Indexes(a)) {
      for (Integer k = 1; k <= 12; ++k) {
        EXPECT_EQ(a.getListItem(index, k), b.getListItem(index, k))
            << "index " << index << " item " << k;
      }
    }
  };
  const auto golden = testing::TestDataDir() / "list" / "every_kind.lst";
  clsOrderedLinkedList loaded;
  ASSERT_TRUE(loaded.getLinkedListFromFile(FromUtf8(golden.string())));
  expect_same_rows(loaded, expected);
  ASSERT_TRUE(expected.putLinkedListToFile(path_));
  EXPECT_EQ(ReadBytes(fs_path_), ReadBytes(golden));

  expected.AddNewNode(0, Variant(ErrorCode{2000}), Variant(-0.0), Variant(Date{-1.25}));
  ASSERT_TRUE(expected.putLinkedListToFile(path_));
  EXPECT_EQ(std::filesystem::file_size(fs_path_), 3u * 196u);
  clsOrderedLinkedList back;
  ASSERT_TRUE(back.getLinkedListFromFile(path_));
  expect_same_rows(back, expected);
}

TEST_F(ListFileTest, RecordLayoutSpelledOut) {
  clsOrderedLinkedList l;
  l.AddNewNode(258, Variant(u"\u20ac!"), Variant(Integer{-1}), Variant(u"\u0416"));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  Bytes expected = {0x02, 0x01, 0x00, 0x00,              // index 258
                    0x08, 0x00, 0x02, 0x00, 0x80, '!',  // String, length 2, euro sign in 1252
                    0x02, 0x00, 0xFF, 0xFF,             // Integer -1
                    0x08, 0x00, 0x01, 0x00, '?'};       // a letter outside the code page
  for (int k = 4; k <= 12; ++k) expected.insert(expected.end(), {0x00, 0x00});  // Empty
  expected.resize(196, 0);
  EXPECT_EQ(ReadBytes(fs_path_), expected);
  clsOrderedLinkedList back;  // bytes 0x80-0x9F are code page letters, not control codes
  ASSERT_TRUE(back.getLinkedListFromFile(path_));
  EXPECT_EQ(back.getListItem(258, 1), Variant(u"\u20ac!"));
}

TEST_F(ListFileTest, ARecordTooLongFailsAndKeepsTheFormerFile) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(u"former"));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  const Bytes former = ReadBytes(fs_path_);

  clsOrderedLinkedList big;
  big.AddNewNode(1);
  const Variant x(String(12, u'x')), y(String(13, u'y'));  // 4 + 11 * (4 + 12) + (4 + 13) = 197 bytes
  big.AddNewNode(2, x, x, x, x, x, x, x, x, x, x, x, y);
  big.AddNewNode(3);
  EXPECT_FALSE(big.putLinkedListToFile(path_));
  EXPECT_EQ(big.getCurrentListIndex(), Variant(2));  // the cursor is not put back
  EXPECT_EQ(ReadBytes(fs_path_), former);
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ListFileTest, ObjectItemsAndBadPathsFailAndChangeNothing) {
  clsOrderedLinkedList l;
  l.AddNewNode(1, Variant(MakeObject(std::make_shared<clsOrderedLinkedList>())));
  EXPECT_FALSE(l.putLinkedListToFile(path_));
  EXPECT_FALSE(std::filesystem::exists(fs_path_));
  clsOrderedLinkedList plain;
  plain.AddNewNode(4);
  EXPECT_FALSE(plain.putLinkedListToFile(folder_.File("no/such/folder/x.lst")));
  EXPECT_FALSE(plain.putLinkedListToFile(u""));
  // A folder in the file's place stays a folder, and no temporary file is left beside it.
  std::filesystem::create_directory(folder_.path() / "sub");
  EXPECT_FALSE(plain.putLinkedListToFile(folder_.File("sub")));
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "sub"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_FALSE(plain.getLinkedListFromFile(path_));
  EXPECT_FALSE(plain.getLinkedListFromFile(FromUtf8(folder_.path().string())));  // a folder
  EXPECT_EQ(Indexes(plain), (std::vector<Long>{4}));
}

// Saving through a symbolic link writes the file it points at, made or replaced, and keeps
// the link; a loop of links cannot be opened.
TEST_F(ListFileTest, ALinkIsFollowed) {
  std::filesystem::create_symlink("list.lst", folder_.path() / "link.lst");
  std::filesystem::create_symlink("loop", folder_.path() / "loop");
  clsOrderedLinkedList l;
  l.AddNewNode(6, Variant(u"six"));
  for (std::uintmax_t former : {0, 3 * 196}) {
    if (former != 0) WriteBytes(fs_path_, Bytes(former, 0));
    ASSERT_TRUE(l.putLinkedListToFile(folder_.File("link.lst"))) << former;
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.path() / "link.lst"));
    EXPECT_EQ(std::filesystem::file_size(fs_path_), 196u);
  }
  EXPECT_FALSE(l.putLinkedListToFile(folder_.File("loop")));
  EXPECT_TRUE(std::filesystem::is_symlink(folder_.path() / "loop"));
  // A name as long as a name can be still leaves room for the file written beside it.
  const std::string longest(255, 'n');
  ASSERT_TRUE(l.putLinkedListToFile(folder_.File(longest)));
  EXPECT_EQ(std::filesystem::file_size(folder_.path() / longest), 196u);
}

// A pipe (or a device) in the file's place is written into, not replaced by a plain file.
TEST_F(ListFileTest, APipeIsWrittenInto) {
  const std::filesystem::path pipe = folder_.path() / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int reader = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);  // holds the pipe open, never waits
  ASSERT_GE(reader, 0);
  clsOrderedLinkedList l;
  l.AddNewNode(6, Variant(u"six"));
  l.AddNewNode(7, Variant(u"seven"));
  ASSERT_TRUE(l.putLinkedListToFile(FromUtf8(pipe.string())));
  ASSERT_TRUE(l.putLinkedListToFile(path_));
  const Bytes want = ReadBytes(fs_path_);
  Bytes got(want.size() + 1);
  EXPECT_EQ(::read(reader, got.data(), got.size()), static_cast<ssize_t>(want.size()));
  got.resize(want.size());
  EXPECT_EQ(got, want);
  ::close(reader);
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
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
  Bytes item = {0x08, 0x00, 14, 0x00};
  item.resize(18, 'a');
  for (std::size_t k = 0, at = 2 * 196 + 4; k < 11; ++k, at += 18) {
    std::copy_n(item.begin(), k < 10 ? 18 : 4, crowded.begin() + static_cast<std::ptrdiff_t>(at));
  }
  load(crowded, {1, 2}, false);
  // Indexes -1 and below are dropped like taken ones.
  Bytes negative = good;
  negative[0] = 0xFE;
  negative[1] = negative[2] = negative[3] = 0xFF;
  load(negative, {2, 3}, true);
}

// --- list copy ---

TEST(ListCopyTest, AnotherClassIsAMismatchAndARunningIndexPastTheLongEndsTheCopy) {
  auto source = std::make_shared<clsOrderedLinkedList>();
  auto dest = std::make_shared<clsOrderedLinkedList>();
  source->AddNewNode(1);
  clsOrderedLinkedList receiver;
  Object collection = CreateObject("VBA.Collection");
  EXPECT_RUNTIME_ERROR(receiver.CopyEntireListToSecondList(collection, MakeObject(dest), true),
                       err::kTypeMismatch);
  receiver.AddNewNode(2147483647);
  receiver.CopyEntireListToSecondList(MakeObject(source), MakeObject(dest), false);
  EXPECT_EQ(dest->NodeCount(), 0);
  // The cursor is left where UBoundNodeIndex put it.
  EXPECT_EQ(receiver.getCurrentListIndex(), Variant(2147483647));
}

}  // namespace
}  // namespace narwick
