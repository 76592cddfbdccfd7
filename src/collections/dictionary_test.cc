// clsDictionary: defaults, the documented cases, late-bound Key, failure values, the 16-bit
// sort positions, and a random model run against an ordered reference.
#include "narwick/collections/dictionary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/safe_array.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

// An object with a "Key" property and a default value, like the records hosts store.
class Keyed final : public frame::AutomationObject {
 public:
  explicit Keyed(Variant key = Variant()) : key_(std::move(key)) {}
  const frame::ClassInfo& TypeInfo() const override {
    static const frame::ClassInfo info = frame::MemberTable<Keyed>("Keyed")
                                             .Get("Value", &Keyed::Value)
                                             .Default()
                                             .Get("Key", &Keyed::Key)
                                             .Build();
    return info;
  }
  Variant Value() { return Variant(u"default"); }
  Variant Key() { return key_; }

 private:
  Variant key_;
};

Variant KeyedObject(Variant key) { return Variant(MakeObject(std::make_shared<Keyed>(std::move(key)))); }
Variant CollectionObject() { return Variant(Object(std::make_shared<Collection>())); }

std::vector<Variant> Elements(const Variant& array) {
  if (!array.IsArray()) return {};
  auto cells = array.Array().elements();
  return {cells.begin(), cells.end()};
}

class DictionaryTest : public ::testing::Test {
 protected:
  void AddAll(std::initializer_list<std::pair<Variant, Variant>> entries) {
    for (const auto& [k, v] : entries) dict_.Add(k, v);
  }
  std::vector<Variant> Keys() { return Elements(dict_.Keys()); }
  std::vector<Variant> Items() { return Elements(dict_.items()); }

  clsDictionary dict_;
};

// ---- defaults and the documented cases ---------------------------------------------------

TEST_F(DictionaryTest, StartsEmptyWithBinaryCompare) {
  EXPECT_EQ(dict_.CompareMode(), EnumCompareModes::dicBinary);
  EXPECT_EQ(dict_.Count(), 0);
  Variant keys = dict_.Keys();
  ASSERT_TRUE(keys.IsArray());
  EXPECT_EQ(keys.Array().LBound(), 0);
  EXPECT_EQ(keys.Array().UBound(), -1);
  EXPECT_EQ(dict_.getKeyFromItemName(5), Variant(u""));
  EXPECT_EQ(dict_.getItemFromKey(u"x"), Variant(u""));
}

TEST_F(DictionaryTest, SortByKeyUsesCharacterCodes) {
  AddAll({{u"b", 1}, {u"A", 2}, {u"a", 3}});
  dict_.SortDictionary(True);
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"A", u"a", u"b"}));
  EXPECT_EQ(Items(), (std::vector<Variant>{2, 3, 1}));
}

TEST_F(DictionaryTest, SortByKeyPutsNumbersBeforeStrings) {
  AddAll({{10, u"ten"}, {u"9", u"nine"}, {2, u"two"}});
  dict_.SortDictionary(True);
  EXPECT_EQ(Keys(), (std::vector<Variant>{2, 10, u"9"}));
}

TEST_F(DictionaryTest, SortByItemIsTheUnstableExchangeSort) {
  AddAll({{u"k1", 2}, {u"k2", 2}, {u"k3", 1}});
  dict_.SortDictionary(False);
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"k3", u"k2", u"k1"}));
  EXPECT_EQ(Items(), (std::vector<Variant>{1, 2, 2}));
}

TEST_F(DictionaryTest, MovetoTopMatchesWithoutCase) {
  AddAll({{u"x", 1}, {u"y", 2}, {u"z", 3}});
  dict_.MovetoTop(u"Z");
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"z", u"x", u"y"}));
  EXPECT_EQ(Items(), (std::vector<Variant>{3, 1, 2}));
  dict_.MovetoTop(u"z");
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"z", u"x", u"y"}));
  dict_.MovetoTop(u"w");
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"z", u"x", u"y"}));
  dict_.MovetoTop(u"Y");
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"y", u"z", u"x"}));
}

TEST_F(DictionaryTest, MovetoTopWithTwoCaseVariantsMovesTheFirstAndLosesNothing) {
  AddAll({{u"a", 1}, {u"Q", 2}, {u"b", 3}, {u"q", 4}, {u"c", 5}});
  dict_.MovetoTop(u"q");
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"Q", u"a", u"b", u"q", u"c"}));
  EXPECT_EQ(Items(), (std::vector<Variant>{2, 1, 3, 4, 5}));
}

TEST_F(DictionaryTest, TextEqualSearches) {
  AddAll({{u"q", u"item q"}, {7, u"5"}, {u"1.5", 1.5}});
  EXPECT_EQ(dict_.getItemFromKey(u"Q"), Variant(u"item q"));
  EXPECT_EQ(dict_.getKeyFromItemName(5), Variant(7));
  EXPECT_EQ(dict_.getKeyFromItemName(u"ITEM Q"), Variant(u"q"));
  EXPECT_EQ(dict_.getItemFromKey(1.5), Variant(1.5));
  EXPECT_EQ(dict_.getItemFromKey(u"7"), Variant(u"5"));
  EXPECT_EQ(dict_.getItemFromKey(u"7.0"), Variant(u""));
  EXPECT_EQ(dict_.getKeyFromItemName(Variant::Null()), Variant(u""));
}

TEST_F(DictionaryTest, ExistsFollowsTheCompareMode) {
  AddAll({{u"q", 1}, {2, 2}});
  EXPECT_EQ(dict_.Exists(u"Q"), False);
  EXPECT_EQ(dict_.Exists(u"q"), True);
  EXPECT_EQ(dict_.Exists(2.0), True);
  EXPECT_EQ(dict_.Exists(u"2"), False);
  dict_.CompareMode(EnumCompareModes::dicText);
  EXPECT_EQ(dict_.Exists(u"Q"), True);
  EXPECT_EQ(dict_.Exists(u"2"), True);  // text-equal: the number 2 reads as "2"
  EXPECT_EQ(dict_.Exists(u"r"), False);
  dict_.CompareMode(static_cast<EnumCompareModes>(7));  // any value is stored
  EXPECT_EQ(static_cast<Long>(dict_.CompareMode()), 7);
  EXPECT_EQ(dict_.Exists(u"q"), False);
}

TEST_F(DictionaryTest, ExistsBinaryResetsTheMapToBinaryCompare) {
  Object map = dict_.Dictionary();
  map.Let("CompareMode", 1);  // text compare, allowed while empty
  dict_.Add(u"Q", 1);
  EXPECT_EQ(map.Call("Exists", {u"q"}).Int(), -1);
  // The map holds an entry, so it refuses to go back to binary: Exists fails with False.
  EXPECT_EQ(dict_.Exists(u"Q"), False);
}

// ---- absent keys, failures -----------------------------------------------------------------

TEST_F(DictionaryTest, ReadingAnAbsentKeyAddsItWithAnEmptyItem) {
  AddAll({{u"a", 1}});
  EXPECT_TRUE(dict_.Item(u"b").IsEmpty());
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"a", u"b"}));
  EXPECT_TRUE(dict_.Key(u"c").IsEmpty());
  EXPECT_EQ(dict_.Count(), 3);
  dict_.editItem(u"d", 4);
  EXPECT_EQ(dict_.Item(u"d"), Variant(4));
  EXPECT_EQ(dict_.Count(), 4);
}

TEST_F(DictionaryTest, RefusedOperationsChangeNothingAndRaiseNothing) {
  AddAll({{u"a", 1}, {u"b", 2}});
  dict_.Add(u"a", 99);
  dict_.Remove(u"zz");
  dict_.Add(Variant(SafeArray(VbVarType::vbVariant, 0, 0)), 3);  // arrays are not keys
  EXPECT_TRUE(dict_.Item(Variant(SafeArray(VbVarType::vbVariant, 0, 0))).IsEmpty());
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"a", u"b"}));
  EXPECT_EQ(Items(), (std::vector<Variant>{1, 2}));
  dict_.Remove(u"a");
  EXPECT_EQ(Keys(), (std::vector<Variant>{u"b"}));
  dict_.RemoveAll();
  EXPECT_EQ(dict_.Count(), 0);
  dict_.SortDictionary(True);
  dict_.MovetoTop(u"b");
  EXPECT_EQ(dict_.Count(), 0);
}

TEST_F(DictionaryTest, EditItemAssignsTheValueNotTheReference) {
  AddAll({{u"a", 1}});
  dict_.editItem(u"a", KeyedObject(u"k"));
  EXPECT_EQ(dict_.Item(u"a"), Variant(u"default"));
  dict_.editItem(u"a", CollectionObject());  // no readable default value: nothing changes
  EXPECT_EQ(dict_.Item(u"a"), Variant(u"default"));
  Variant object = KeyedObject(u"k");
  dict_.Add(u"b", object);  // Add keeps the reference
  EXPECT_EQ(dict_.Item(u"b"), object);
}

TEST_F(DictionaryTest, KeyReadsTheItemsKeyMemberLateBound) {
  Variant inner = KeyedObject(u"deep");
  AddAll({{1, KeyedObject(u"first")}, {2, KeyedObject(inner)}, {3, u"plain"}, {4, CollectionObject()},
          {5, Variant(Object())}});
  EXPECT_EQ(dict_.Key(1), Variant(u"first"));
  Variant nested = dict_.Key(2);
  ASSERT_TRUE(nested.IsObject());
  EXPECT_EQ(nested, inner);
  EXPECT_TRUE(dict_.Key(3).IsEmpty());  // not an object
  EXPECT_TRUE(dict_.Key(4).IsEmpty());  // no Key member
  EXPECT_TRUE(dict_.Key(5).IsEmpty());  // Nothing
  Object late = MakeObject(std::make_shared<clsDictionary>());
  late.Call("Add", {u"r", KeyedObject(42)});
  EXPECT_EQ(late.Get("Key", {u"r"}), Variant(42));
}

TEST_F(DictionaryTest, DictionaryIsTheMapItselfAndOutlivesTheWrapper) {
  Object map;
  {
    auto wrapper = std::make_shared<clsDictionary>();
    wrapper->Add(u"a", 1);
    map = wrapper->Dictionary();
    map.Call("Add", {u"b", 2});
    EXPECT_EQ(wrapper->Count(), 2);
    EXPECT_EQ(wrapper->Item(u"b"), Variant(2));
  }
  EXPECT_EQ(map.Get("Count"), Variant(2));
  EXPECT_EQ(map.Get("Item", {u"a"}), Variant(1));
}

TEST_F(DictionaryTest, ObjectsAreIndependent) {
  clsDictionary other;
  dict_.Add(u"a", 1);
  other.CompareMode(EnumCompareModes::dicText);
  EXPECT_EQ(other.Count(), 0);
  EXPECT_EQ(dict_.CompareMode(), EnumCompareModes::dicBinary);
  Object created = CreateObject("Narwick.clsDictionary");
  EXPECT_EQ(created.ClassName(), "clsDictionary");
  EXPECT_EQ(created.Get("CompareMode"), Variant(1));
}

// ---- the exchange sort: failures and 16-bit positions -------------------------------------

using Row = std::pair<Variant, Variant>;

// The exchange sort written out plainly; `passes` limits the outer loop, and a comparison
// that cannot be made ends it where it stands.
void ReferenceExchangeSort(std::vector<Row>& rows, std::size_t passes = SIZE_MAX) {
  try {
    for (std::size_t p = 0; p + 1 < rows.size() && p < passes; ++p) {
      for (std::size_t q = p + 1; q < rows.size(); ++q) {
        if (Greater(rows[p].first, rows[q].first)) std::swap(rows[p], rows[q]);
      }
    }
  } catch (const RuntimeError&) {
  }
}

TEST_F(DictionaryTest, AComparisonThatFailsEndsTheSortButKeepsEveryEntry) {
  std::vector<Row> rows = {{5, 0}, {3, 1}, {CollectionObject(), 2}, {1, 3}, {u"s", 4}, {0, 5}};
  for (const auto& [k, v] : rows) dict_.Add(k, v);
  ReferenceExchangeSort(rows);
  dict_.SortDictionary(True);
  ASSERT_EQ(dict_.Count(), 6);
  std::vector<Variant> expected_keys;
  for (const auto& r : rows) expected_keys.push_back(r.first);
  EXPECT_EQ(Keys(), expected_keys);
  EXPECT_EQ(Keys()[0], Variant(3));  // the sort did start
}

std::vector<Row> DescendingRows(int n) {
  std::vector<Row> rows;
  for (int i = n; i >= 1; --i) rows.emplace_back(Variant(i), Variant(-i));
  return rows;
}

TEST_F(DictionaryTest, SortOf32768RowsStopsAfterItsFirstPass) {
  std::vector<Row> rows = DescendingRows(32768);
  for (const auto& [k, v] : rows) dict_.Add(k, v);
  ReferenceExchangeSort(rows, 1);
  dict_.SortDictionary(True);
  auto keys = Keys();
  auto items = Items();
  ASSERT_EQ(keys.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(keys[i], rows[i].first) << i;
    ASSERT_EQ(items[i], rows[i].second) << i;
  }
  EXPECT_EQ(keys[0], Variant(1));
  EXPECT_EQ(keys[1], Variant(32768));  // the rest was not sorted
}

TEST_F(DictionaryTest, SortOfMoreThan32768RowsChangesNothing) {
  std::vector<Row> rows = DescendingRows(32769);
  for (const auto& [k, v] : rows) dict_.Add(k, v);
  dict_.SortDictionary(False);
  auto keys = Keys();
  ASSERT_EQ(keys.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(keys[i], rows[i].first) << i;
}

// ---- random model --------------------------------------------------------------------------

bool ModelSameKey(const Variant& a, const Variant& b) {
  if (a.IsString() != b.IsString()) return false;
  if (a.IsString()) return a.Str() == b.Str();
  if (a.HoldsNumber() != b.HoldsNumber()) return false;
  if (a.HoldsNumber()) return CDbl(a) == CDbl(b);
  if (a.VarType() != b.VarType()) return false;
  if (a.IsObject()) return a.ObjPtr() == b.ObjPtr();
  return true;
}

class DictionaryModel {
 public:
  std::vector<Row> rows;

  std::size_t Find(const Variant& key) const {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (ModelSameKey(rows[i].first, key)) return i;
    }
    return rows.size();
  }
  Variant& ItemOrAdd(const Variant& key) {
    std::size_t at = Find(key);
    if (at == rows.size()) rows.emplace_back(key, Variant());
    return rows[at].second;
  }
  // The first row whose column `col` is text-equal to v, or rows.size(); throws as
  // TextEqual throws.
  std::size_t FindText(const Variant& v, bool in_keys) const {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (TextEqual(in_keys ? rows[i].first : rows[i].second, v)) return i;
    }
    return rows.size();
  }
};

TEST(DictionaryModelTest, RandomOperationsMatchAnOrderedReference) {
  for (std::uint32_t seed = 1; seed <= static_cast<std::uint32_t>(testing::Scaled(12)); ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::vector<Variant> objects = {KeyedObject(u"K1"), KeyedObject(7), CollectionObject()};
    auto value = [&]() -> Variant {
      switch (pick(10)) {
        case 0: return Variant(pick(12));
        case 1: return Variant(static_cast<double>(pick(12)));
        case 2: return Variant(static_cast<Integer>(pick(12)));
        case 3: {
          static const char16_t* const kTexts[] = {u"q", u"Q", u"5", u"a", u"A", u"b", u"10", u"", u"default", u"Default"};
          return Variant(kTexts[pick(10)]);
        }
        case 4: return Variant(FromUtf8("s" + std::to_string(pick(20))));
        case 5: return pick(2) == 0 ? Variant() : Variant::Null();
        case 6: return objects[static_cast<std::size_t>(pick(3))];
        case 7: return Variant(pick(2) == 0);
        default: return Variant(0.5 + pick(4));
      }
    };

    clsDictionary dict;
    DictionaryModel model;
    Long mode = 1;
    for (int step = 0; step < 1500; ++step) {
      const Variant key = value();
      const Variant arg = value();
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
      switch (pick(13)) {
        case 0:
        case 1:
          dict.Add(key, arg);
          if (model.Find(key) == model.rows.size()) model.rows.emplace_back(key, arg);
          break;
        case 2:
          dict.Remove(key);
          if (std::size_t at = model.Find(key); at < model.rows.size()) {
            model.rows.erase(model.rows.begin() + static_cast<std::ptrdiff_t>(at));
          }
          break;
        case 3:
          ASSERT_EQ(dict.Item(key), model.ItemOrAdd(key));
          break;
        case 4: {
          dict.editItem(key, arg);
          if (!arg.IsObject()) {
            model.ItemOrAdd(key) = arg;
          } else if (arg.Obj().As<Keyed>() != nullptr) {
            model.ItemOrAdd(key) = Variant(u"default");
          }  // a Collection has no readable default value: nothing happens
          break;
        }
        case 5: {
          const bool in_model = model.Find(key) < model.rows.size();
          bool expected = false;
          if (mode == 1) {
            expected = in_model;
          } else if (mode == 2) {
            try {
              expected = model.FindText(key, true) < model.rows.size();
            } catch (const RuntimeError&) {
            }
          }
          ASSERT_EQ(dict.Exists(key), VariantBool(expected));
          if (pick(8) == 0) {
            mode = 1 + pick(3);
            dict.CompareMode(static_cast<EnumCompareModes>(mode));
          }
          break;
        }
        case 6: {
          Variant expected = String();
          try {
            if (std::size_t at = model.FindText(arg, false); at < model.rows.size()) expected = model.rows[at].first;
          } catch (const RuntimeError&) {
          }
          ASSERT_EQ(dict.getKeyFromItemName(arg), expected);
          break;
        }
        case 7: {
          Variant expected = String();
          try {
            if (std::size_t at = model.FindText(key, true); at < model.rows.size()) expected = model.rows[at].second;
          } catch (const RuntimeError&) {
          }
          ASSERT_EQ(dict.getItemFromKey(key), expected);
          break;
        }
        case 8:
        case 9: {
          dict.MovetoTop(key);
          try {
            std::size_t at = model.FindText(key, true);
            if (at < model.rows.size()) {
              Row moved = model.rows[at];
              model.rows.erase(model.rows.begin() + static_cast<std::ptrdiff_t>(at));
              model.rows.insert(model.rows.begin(), moved);
            }
          } catch (const RuntimeError&) {
          }
          break;
        }
        case 10: {
          const bool by_key = pick(2) == 0;
          dict.SortDictionary(by_key);
          std::vector<Row> table;
          for (const auto& [k, v] : model.rows) table.emplace_back(by_key ? k : v, by_key ? v : k);
          ReferenceExchangeSort(table);
          model.rows.clear();
          for (const auto& [a, b] : table) model.rows.emplace_back(by_key ? a : b, by_key ? b : a);
          break;
        }
        case 11: {
          Variant expected;
          const Variant item = model.ItemOrAdd(key);
          if (item.IsObject() && item.Obj().As<Keyed>() != nullptr) expected = item.Obj().As<Keyed>()->Key();
          ASSERT_EQ(dict.Key(key), expected);
          break;
        }
        default:
          if (pick(10) == 0) {
            dict.RemoveAll();
            model.rows.clear();
          }
          ASSERT_EQ(dict.Count(), static_cast<Long>(model.rows.size()));
          break;
      }
      auto keys = Elements(dict.Keys());
      auto items = Elements(dict.items());
      ASSERT_EQ(keys.size(), model.rows.size());
      for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(keys[i], model.rows[i].first) << i;
        ASSERT_EQ(items[i], model.rows[i].second) << i;
      }
    }
  }
}

// ---- every member by name ------------------------------------------------------------------

TEST(DictionaryDispatchTest, EveryMemberAnswersByName) {
  Object dict = CreateObject("Narwick.clsDictionary");
  dict.Call("Add", {u"k", KeyedObject(u"key of k")});
  std::vector<std::string> names;
  for (const auto& member : dict.get()->TypeInfo().members()) {
    names.push_back(member.name);
    std::vector<Variant> values;
    for (const auto& param : member.params) {
      values.push_back(param.type == VbVarType::vbBoolean ? Variant(true)
                       : param.type == VbVarType::vbLong  ? Variant(1)
                                                          : Variant(u"k"));
    }
    SCOPED_TRACE(member.name);
    if (member.kind == frame::MemberKind::kPropertyLet) {
      ASSERT_EQ(values.size(), 1u);
      dict.Let(member.name, values[0]);
      continue;
    }
    std::vector<Arg> args(values.begin(), values.end());
    const Variant result = dict.Call(member.name, std::span<const Arg>(args));
    if (member.result == VbVarType::vbEmpty) {
      EXPECT_TRUE(result.IsEmpty());
    } else if (member.result == VbVarType::vbLong) {
      EXPECT_EQ(result.VarType(), VbVarType::vbLong);
    } else if (member.result == VbVarType::vbBoolean) {
      EXPECT_EQ(result.VarType(), VbVarType::vbBoolean);
    } else if (member.result == VbVarType::vbObject) {
      EXPECT_TRUE(result.IsObject());
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"CompareMode", "CompareMode", "Count", "Dictionary", "Item", "items",
                                             "Key", "Keys", "Add", "editItem", "getKeyFromItemName",
                                             "getItemFromKey", "Exists", "Remove", "RemoveAll",
                                             "SortDictionary", "MovetoTop"}));
  dict.Let("CompareMode", 1);
  dict.Call("Add", {u"k", KeyedObject(u"key of k")});
  EXPECT_EQ(dict.Get("Key", {u"k"}), Variant(u"key of k"));
  EXPECT_EQ(dict.Call("Exists", {u"k"}).Int(), -1);
}

}  // namespace
}  // namespace narwick
