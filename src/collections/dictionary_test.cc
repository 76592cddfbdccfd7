// The dictionary: the keyed map against a plain ordered reference on random keys and items of
// every kind, key matching at its edges, the scripting-dictionary face with its errors; then
// clsDictionary over it against an ordered reference, its documented cases, the 16-bit sort
// positions, and what the models do not reach.
#include "narwick/collections/dictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "collections/keyed_map.h"
#include "collections/keyed_map_messages.h"
#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/safe_array.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using collections::KeyCompare;
using collections::KeyedMap;
using collections::ScriptingDictionary;
using collections::kElementNotFound;

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

std::vector<Variant> ElementsOf(const Variant& array) {
  if (!array.IsArray()) return {};
  auto cells = array.Array().elements();
  return {cells.begin(), cells.end()};
}

// The reference's notion of a key, written out plainly: numbers of any kind by value,
// strings by code unit or lower-cased, objects by identity, Errors by code, Empty and Null
// by kind.
std::string ModelKey(const Variant& k, bool text) {
  if (k.IsString()) return "s" + ToUtf8(text ? LCase(k.Str()) : k.Str());
  if (k.HoldsNumber()) {
    // By exact value: a Currency's whole part can be past a double's precision.
    const bool currency = k.VarType() == VbVarType::vbCurrency;
    if (currency && k.Int() % 10000 == 0) return "w" + std::to_string(k.Int() / 10000);
    const double d = CDbl(k);
    if (d == std::trunc(d) && std::abs(d) < 9e18) return "w" + std::to_string(std::int64_t(d));
    return "r" + std::to_string(std::bit_cast<std::uint64_t>(d));
  }
  if (k.IsObject()) return "o" + std::to_string(reinterpret_cast<std::uintptr_t>(k.ObjPtr().get()));
  if (k.VarType() == VbVarType::vbError) return "e" + std::to_string(k.Int());
  return k.IsNull() ? "N" : "E";
}

// The plain reference: the entries by insertion number, and each key's number.
struct Model {
  bool text = false;
  std::map<std::string, std::uint64_t> number_of;
  std::map<std::uint64_t, KeyedMap::Entry> in_order;
  std::uint64_t next = 0;

  KeyedMap::Entry* Find(const Variant& key) {
    auto it = number_of.find(ModelKey(key, text));
    return it == number_of.end() ? nullptr : &in_order[it->second];
  }
  void Add(const Variant& key, const Variant& item) {
    number_of[ModelKey(key, text)] = next;
    in_order[next++] = {key, item};
  }
  void Remove(const Variant& key) {
    auto it = number_of.find(ModelKey(key, text));
    in_order.erase(it->second);
    number_of.erase(it);
  }
  // The entry keeps its place and item under `new_key`.
  void Rename(const Variant& key, const Variant& new_key) {
    auto it = number_of.find(ModelKey(key, text));
    const std::uint64_t number = it->second;
    number_of.erase(it);
    number_of[ModelKey(new_key, text)] = number;
    in_order[number].key = new_key;
  }
  void Clear() {
    number_of.clear();
    in_order.clear();
  }
};

// Keys of every kind (family -1), whose numbers meet across kinds (2, 2.0, CCur(2),
// #1/1/1900#) and whose strings differ in letter case; or whole numbers in families that
// strain a hash index: runs up and down, values that differ only in their high bits, values
// whose high half repeats the low half, and wide pseudo-random values.
class KeyGenerator {
 public:
  KeyGenerator(int family, int spread, std::uint32_t seed)
      : family_(family), spread_(spread), rng_(seed) {}

  Variant Next() {
    if (family_ >= 0) return Whole(Pick(spread_));
    const int n = static_cast<int>(Pick(spread_));
    switch (Pick(14)) {
      case 0: return Variant(static_cast<Integer>(n));
      case 1: return Variant(n);
      case 2: return Variant(static_cast<double>(n));
      case 3: return Variant(Currency{std::int64_t{n} * 10000});
      case 4: return Variant(Date{static_cast<double>(n)});
      case 5: return Variant(static_cast<double>(n) + 0.5);
      case 6: return Variant(static_cast<float>(n) + 0.5f);
      case 7: return Variant(Currency{std::int64_t{n} * 10000 + 5000});
      case 8: return Variant(Pick(2) == 0);
      case 9: {
        static const char16_t* const kTexts[] = {u"a", u"A", u"b", u"B", u"ab", u"aB", u"Ab", u"1", u"", u"\u00e9", u"\u00c9"};
        return Variant(kTexts[Pick(11)]);
      }
      case 10: return Variant(String(u"k") + FromUtf8(std::to_string(n)));
      case 11: return Pick(2) == 0 ? Variant() : Variant::Null();
      case 12: return Variant(objects_[static_cast<std::size_t>(Pick(2))]);
      default: return Variant(ErrorCode{static_cast<std::int32_t>(Pick(3))});
    }
  }

  // The family's i-th value, as a random kind that holds it exactly (Long, Double or
  // Currency), since a number is one key whatever its kind.
  Variant Whole(std::int64_t i) {
    std::int64_t v = 0;
    switch (family_) {
      case 0: v = 1000 + i; break;
      case 1: v = -i; break;
      case 2: v = i << 20; break;
      case 3: v = i << 40; break;
      case 4: v = (i << 32) | i; break;
      default: {
        std::uint64_t x = static_cast<std::uint64_t>(i) + 0x9e3779b97f4a7c15ULL;  // splitmix64
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        v = static_cast<std::int64_t>((x ^ (x >> 31)) >> 12) - (std::int64_t{1} << 51);
      }
    }
    std::vector<Variant> forms;
    if (v >= INT32_MIN && v <= INT32_MAX) forms.emplace_back(static_cast<int>(v));
    if (static_cast<std::int64_t>(static_cast<double>(v)) == v) forms.emplace_back(static_cast<double>(v));
    if (v >= -922337203685477 && v <= 922337203685477) forms.emplace_back(Currency{v * 10000});
    return forms[static_cast<std::size_t>(Pick(static_cast<std::int64_t>(forms.size())))];
  }
  std::int64_t Pick(std::int64_t n) { return std::uniform_int_distribution<std::int64_t>(0, n - 1)(rng_); }

 private:
  int family_;
  std::int64_t spread_;
  std::mt19937 rng_;
  std::vector<Object> objects_ = {Object(std::make_shared<Collection>()),
                                  Object(std::make_shared<Collection>())};
};

// Items of every kind: the index keeps its own copy of plain ones (numbers, dates,
// Booleans, Errors, Empty, Null), which has to come back as the same kind and bits.
Variant AnyItem(std::mt19937& rng, int n) {
  switch (std::uniform_int_distribution<int>(0, 15)(rng)) {
    case 0: return Variant(n);
    case 1: return Variant(static_cast<Integer>(n));
    case 2: return Variant(static_cast<Byte>(n));
    case 3: return Variant(n + 0.25);
    case 4: return Variant(static_cast<float>(n) + 0.5f);
    case 5: return Variant(std::nanf(""));
    case 6: return Variant(-std::nan(""));
    case 7: return Variant(-0.0);
    case 8: return Variant(Currency{std::int64_t{n} * 10000 + 1});
    case 9: return Variant(Date{n + 0.75});
    case 10: return Variant(VariantBool(n % 2 == 0));
    case 11: return Variant(ErrorCode{n});
    case 12: return n % 2 == 0 ? Variant() : Variant::Null();
    case 13: return Variant(String(u"item ") + FromUtf8(std::to_string(n)));
    case 14: return Variant(SafeArray(VbVarType::vbVariant, 0, n % 3));
    default: return Variant(Object(std::make_shared<Collection>()));
  }
}

// Same kind and value, with reals compared bit for bit (NaN and -0.0 included).
bool SameItem(const Variant& a, const Variant& b) {
  if (a.VarType() != b.VarType()) return false;
  const VbVarType t = a.VarType();
  if (t == VbVarType::vbSingle || t == VbVarType::vbDouble || t == VbVarType::vbDate) {
    return std::bit_cast<std::uint64_t>(a.Real()) == std::bit_cast<std::uint64_t>(b.Real());
  }
  return a == b;
}

// The map's entries are the reference's, in order, each also found by its key.
void ExpectSameEntries(const KeyedMap& map, const Model& model, const std::string& where) {
  const auto entries = map.Entries();
  ASSERT_EQ(entries.size(), model.in_order.size()) << where;
  ASSERT_EQ(map.size(), model.number_of.size()) << where;
  std::size_t i = 0;
  for (const auto& [number, e] : model.in_order) {
    ASSERT_EQ(entries[i].key, e.key) << where << " at " << i;
    ASSERT_TRUE(SameItem(entries[i].item, e.item)) << where << " at " << i;
    const Variant* found = map.Find(e.key);
    ASSERT_TRUE(found != nullptr && SameItem(*found, e.item)) << where << " at " << i;
    ++i;
  }
}

struct Run {
  int family;  // a whole-number key family, or -1 for keys of every kind
  int spread;  // the number of values keys are drawn from
  int prefill;  // family keys 0 .. prefill - 1 added first (in order) before the random steps
  int steps;
  bool text;
  int clear_one_in;  // one rename in this many is a Clear instead (0: none)
  int check_every;   // steps between whole-order checks
};

// Random adds, reads (Find, Contains, Get), writes (Store, through FindOrAdd), removes,
// renames and clears, with items of every kind, against the plain reference. A narrow key
// space churns deleted marks, a wide one makes the index grow; an item written through
// FindOrAdd has to win over the index's copy of the old one.
void RunModel(const Run& run, std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  KeyGenerator keys(run.family, run.spread, seed);
  KeyedMap map;
  Model model;
  map.set_compare_mode(run.text ? KeyCompare::kText : KeyCompare::kBinary);
  model.text = run.text;
  int n = 0;
  int step = -1;
  auto where = [&] {
    return "family " + std::to_string(run.family) + " seed " + std::to_string(seed) + " step " +
           std::to_string(step);
  };
  for (int i = 0; i < run.prefill; ++i) {
    const Variant key = keys.Whole(i);
    const Variant item = AnyItem(rng, n++);
    ASSERT_TRUE(map.Add(key, item)) << where();
    model.Add(key, item);
  }
  for (step = 0; step < run.steps; ++step) {
    const Variant key = keys.Next();
    KeyedMap::Entry* expected = model.Find(key);
    const bool present = expected != nullptr;
    switch (const int op = pick(9)) {
      case 0: {
        const Variant item = AnyItem(rng, n++);
        ASSERT_EQ(map.Add(key, item), !present) << where();
        if (!present) model.Add(key, item);
        break;
      }
      case 1: {
        const Variant* found = map.Find(key);
        ASSERT_EQ(found != nullptr, present) << where();
        ASSERT_EQ(map.Contains(key), present) << where();
        ASSERT_TRUE(!present || SameItem(*found, expected->item)) << where();
        break;
      }
      case 2: {
        const Variant got = map.Get(key);
        ASSERT_TRUE(present ? SameItem(got, expected->item) : got.IsEmpty()) << where();
        if (!present) model.Add(key, Variant());
        break;
      }
      case 3:
      case 4: {
        const Variant item = AnyItem(rng, n++);
        if (op == 3) {
          map.Store(key, item);
        } else {
          Variant& slot = map.FindOrAdd(key);
          ASSERT_TRUE(present ? SameItem(slot, expected->item) : slot.IsEmpty()) << where();
          slot = item;
        }
        if (present) {
          expected->item = item;
        } else {
          model.Add(key, item);
        }
        ASSERT_TRUE(SameItem(map.Get(key), item)) << where();
        break;
      }
      case 5:
      case 6:
        ASSERT_EQ(map.Remove(key), present) << where();
        if (present) model.Remove(key);
        break;
      default: {
        if (run.clear_one_in != 0 && pick(run.clear_one_in) == 0) {
          map.Clear();
          model.Clear();
          break;
        }
        const Variant new_key = keys.Next();
        const KeyedMap::Entry* taken = model.Find(new_key);
        const bool ok = present && (taken == nullptr || taken == expected);
        ASSERT_EQ(map.Rename(key, new_key), ok) << where();
        if (ok) {
          model.Rename(key, new_key);
          ASSERT_TRUE(SameItem(map.Get(new_key), expected->item)) << where();
        }
        break;
      }
    }
    if (step % run.check_every == 0) {
      ASSERT_NO_FATAL_FAILURE(ExpectSameEntries(map, model, where()));
    }
  }
  ExpectSameEntries(map, model, where());
}

TEST(KeyedMapModelTest, KeysOfEveryKind) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    RunModel({-1, 8, 0, 4000, false, 25, 4}, seed);
    RunModel({-1, 8, 0, 4000, true, 25, 4}, seed + 10);
  }
  RunModel({-1, 3000, 0, testing::Scaled(30000), false, 25, 97}, 101);
  RunModel({-1, 3000, 0, testing::Scaled(30000), true, 25, 97}, 102);
}

TEST(KeyedMapModelTest, WholeNumberKeyFamilies) {
  for (int family = 0; family <= 5; ++family) {
    RunModel({family, 4000, 2000, testing::Scaled(30000), false, 0, 16384}, 3 + 104729 * family);
  }
}

// Enough keys that the index and the entry store reach their large blocks.
TEST(KeyedMapModelTest, LargeMaps) {
  RunModel({0, 140000, 70000, testing::Scaled(50000), false, 0, 16384}, 1);
  RunModel({5, 140000, 70000, testing::Scaled(50000), false, 0, 16384}, 2);
}

// Each key in turn, and whether it is new given the keys before it.
TEST(KeyedMapTest, KeyIdentityAtTheEdges) {
  const struct {
    Variant key;
    bool added;
  } cases[] = {
      {Variant(2), true}, {Variant(Integer{2}), false}, {Variant(2.0), false},
      {Variant(Currency{20000}), false}, {Variant(Date{2.0}), false}, {Variant(u"2"), true},
      {Variant(2.5), true}, {Variant(Currency{25000}), false}, {Variant(2.5f), false},
      {Variant(true), true}, {Variant(-1), false},  // True is -1
      {Variant(0.0), true}, {Variant(-0.0), false}, {Variant(false), false},
      {Variant(0.1f), true}, {Variant(0.1), true},  // a Single keeps its own value: not 0.1
      {Variant(), true}, {Variant::Null(), true}, {Variant(Object()), true}, {Variant(u""), true},
      {Variant(std::nan("")), true}, {Variant(-std::nan("")), false},  // NaN matches only NaN
  };
  KeyedMap map;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(map.Add(cases[i].key, static_cast<int>(i)), cases[i].added) << "case " << i;
  }
  EXPECT_EQ(*map.Find(Variant(Currency{20000})), Variant(0));
  EXPECT_EQ(*map.Find(Variant(Object())), Variant(18));
  // Arrays are refused as keys before anything changes.
  EXPECT_RUNTIME_ERROR(map.Add(Variant(SafeArray(VbVarType::vbVariant, 0, 1)), 1),
                       err::kTypeMismatch);
  EXPECT_EQ(map.size(), 12u);
}

// Add and FindOrAdd given a key or item that is a value held in this very map, at the moment
// the index must grow while removed entries wait to be compacted: compacting moves the
// entries under the reference, so the arguments must be copied first.
TEST(KeyedMapTest, ArgumentsHeldInTheMapSurviveCompaction) {
  KeyedMap map;
  std::map<Long, Long> model;
  std::mt19937 rng(17);
  Long next_key = 0;
  // Half the time the newest entry: compacting moves entries from the end into the holes.
  auto any_key = [&] {
    if (rng() % 2 == 0 && model.contains(next_key - 1)) return next_key - 1;
    return std::next(model.begin(), static_cast<long>(rng() % model.size()))->first;
  };
  for (; next_key < 40; ++next_key) {
    ASSERT_TRUE(map.Add(Variant(next_key), Variant(1000000 + next_key)));
    model[next_key] = 1000000 + next_key;
  }
  for (int step = 0; step < 3000; ++step) {
    const Long gone = any_key();
    ASSERT_TRUE(map.Remove(Variant(gone)));
    model.erase(gone);

    const Long from = any_key();
    ASSERT_TRUE(map.Add(Variant(next_key), *map.Find(Variant(from)))) << step;
    model[next_key++] = model[from];

    // The item held under `from` becomes a key (unless it is one already).
    const Long other = any_key();
    const Long new_key = model[other];
    map.FindOrAdd(*map.Find(Variant(other))) = Variant(static_cast<Long>(step));
    model[new_key] = step;
  }
  ASSERT_EQ(map.size(), model.size());
  for (const auto& [key, item] : model) ASSERT_EQ(map.Get(Variant(key)), Variant(item)) << key;
}

TEST(KeyedMapTest, CompareModeChangesOnlyWhileEmpty) {
  KeyedMap map;
  map.set_compare_mode(KeyCompare::kText);
  ASSERT_TRUE(map.Add(Variant(u"Key"), 1));
  EXPECT_RUNTIME_ERROR(map.set_compare_mode(KeyCompare::kBinary), err::kInvalidProcedureCall);
  map.set_compare_mode(KeyCompare::kText);  // the same mode is always accepted
  map.Clear();
  map.set_compare_mode(KeyCompare::kBinary);
  EXPECT_TRUE(map.Add(Variant(u"Key"), 1));
  EXPECT_TRUE(map.Add(Variant(u"KEY"), 2));
}

TEST(ScriptingDictionaryTest, ErrorsAsTheRuntimeRaisesThem) {
  Object d = MakeObject(std::make_shared<ScriptingDictionary>());
  d.Call("Add", {u"a", 1});
  EXPECT_RUNTIME_ERROR(d.Call("Add", {u"a", 2}), err::kKeyAlreadyAssociated);
  EXPECT_RUNTIME_ERROR(d.Call("Remove", {u"zz"}), kElementNotFound);
  EXPECT_RUNTIME_ERROR(d.Let("CompareMode", 1), err::kInvalidProcedureCall);
  EXPECT_RUNTIME_ERROR(d.Let("Key", {u"zz"}, u"y"), kElementNotFound);
  d.Call("Add", {u"b", 2});
  EXPECT_RUNTIME_ERROR(d.Let("Key", {u"a"}, u"b"), err::kKeyAlreadyAssociated);
  EXPECT_RUNTIME_ERROR(d.Set("Item", {u"a"}, 5), err::kObjectRequired);
  EXPECT_EQ(d.Get("Count"), Variant(2));
}

TEST(ScriptingDictionaryTest, ItemReadAddsAnAbsentKeyAndDefaultMemberIsItem) {
  auto typed = std::make_shared<ScriptingDictionary>();
  Object d = MakeObject(typed);
  EXPECT_TRUE(d.Get("Item", {u"new"}).IsEmpty());
  EXPECT_EQ(d.Get("Count"), Variant(1));
  d.Let("Item", {u"new"}, 7);
  EXPECT_EQ(typed->Item(u"new"), Variant(7));
  d.Let("Key", {u"new"}, u"renamed");
  EXPECT_EQ(d.Call("Keys").Array()(0), Variant(u"renamed"));
  EXPECT_EQ(d.Call("Items").Array()(0), Variant(7));
  EXPECT_EQ(d.Call("Exists", {u"new"}).Int(), 0);
  EXPECT_EQ(d.Call("Exists", {u"renamed"}).Int(), -1);
  d.Call("RemoveAll");
  Variant keys = d.Call("Keys");
  EXPECT_EQ(keys.Array().LBound(), 0);
  EXPECT_EQ(keys.Array().UBound(), -1);
}

TEST(ScriptingDictionaryTest, ItemLetStoresTheValueAndSetTheReference) {
  Object d = MakeObject(std::make_shared<ScriptingDictionary>());
  const Variant inner = KeyedObject(Variant());
  d.Let("Item", {1}, inner);
  EXPECT_EQ(d.Get("Item", {1}), Variant(u"default"));
  d.Set("Item", {2}, inner);
  EXPECT_EQ(d.Get("Item", {2}), inner);
  // A Collection's default member needs an argument: the value cannot be read, nothing added.
  EXPECT_RUNTIME_ERROR(d.Let("Item", {3}, Variant(Object(std::make_shared<Collection>()))),
                       err::kArgumentNotOptional);
  EXPECT_EQ(d.Get("Count"), Variant(2));
}

// Items move when the index grows: assigning one of the map's own items under a new key must
// not read it after the add has moved it.
TEST(ScriptingDictionaryTest, AssigningAnItemOfTheSameMapSurvivesGrowth) {
  auto typed = std::make_shared<ScriptingDictionary>();
  Object inner = KeyedObject(Variant()).Obj();
  typed->SetItem(Variant(0), Variant(inner));
  for (int k = 1; k < 200; ++k) {
    if (k % 2 == 0) {
      typed->SetItem(Variant(k), *typed->map().Find(Variant(0)));
    } else {
      typed->Item(Variant(k), *typed->map().Find(Variant(k - 1)));
    }
  }
  ASSERT_EQ(typed->Count(), 200);
  for (int k = 0; k < 200; k += 2) {
    const Variant item = typed->Item(Variant(k));
    ASSERT_TRUE(item.IsObject()) << k;
    EXPECT_EQ(item.ObjPtr(), Variant(inner).ObjPtr()) << k;
  }
  for (int k = 1; k < 200; k += 2) EXPECT_EQ(typed->Item(Variant(k)), Variant(u"default")) << k;
}

class DictionaryTest : public ::testing::Test {
 protected:
  clsDictionary dict_;
};

TEST_F(DictionaryTest, ExistsBinaryResetsTheMapToBinaryCompare) {
  Object map = dict_.Dictionary();
  map.Let("CompareMode", 1);  // text compare, allowed while empty
  dict_.Add(u"Q", 1);
  EXPECT_EQ(map.Call("Exists", {u"q"}).Int(), -1);
  // The map holds an entry, so it refuses to go back to binary: Exists fails with False.
  EXPECT_EQ(dict_.Exists(u"Q"), False);
  EXPECT_EQ(map.Get("CompareMode"), Variant(1));
}

TEST_F(DictionaryTest, ArrayKeysChangeNothingAndRaiseNothing) {
  const Variant array = SafeArray(VbVarType::vbVariant, 0, 0);
  dict_.Add(array, 3);
  EXPECT_TRUE(dict_.Item(array).IsEmpty());
  EXPECT_EQ(dict_.Count(), 0);
}

TEST_F(DictionaryTest, KeyOfAnObjectKeyOrOfNothing) {
  const Variant inner = KeyedObject(u"deep");
  dict_.Add(2, KeyedObject(inner));
  dict_.Add(5, Variant(Object()));
  EXPECT_EQ(dict_.Key(2), inner);
  EXPECT_TRUE(dict_.Key(5).IsEmpty());
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

// Sort positions are 16-bit: 32,768 rows stop after the first pass, more before it.
TEST(DictionarySortTest, PositionsAre16Bit) {
  for (const auto& [count, passes] : {std::pair{32768, 1}, std::pair{32769, 0}}) {
    clsDictionary dict;
    std::vector<Row> rows;
    for (int i = count; i >= 1; --i) rows.emplace_back(Variant(i), Variant(-i));
    for (const auto& [k, v] : rows) dict.Add(k, v);
    ReferenceExchangeSort(rows, static_cast<std::size_t>(passes));
    dict.SortDictionary(VariantBool(passes == 1));  // by key, then by item
    const auto keys = ElementsOf(dict.Keys()), items = ElementsOf(dict.items());
    ASSERT_EQ(keys.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      ASSERT_EQ(keys[i], rows[i].first) << count << " rows, at " << i;
      ASSERT_EQ(items[i], rows[i].second) << count << " rows, at " << i;
    }
    EXPECT_EQ(keys[1], Variant(32768));  // the rest was not sorted
  }
}

class DictionaryModel {
 public:
  std::vector<Row> rows;

  std::size_t Find(const Variant& key) const {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (ModelKey(rows[i].first, false) == ModelKey(key, false)) return i;
    }
    return rows.size();
  }
  Variant& ItemOrAdd(const Variant& key) {
    std::size_t at = Find(key);
    if (at == rows.size()) rows.emplace_back(key, Variant());
    return rows[at].second;
  }
  // The first row whose key (or item) is text-equal to v; rows.size() when there is none or
  // a comparison fails first, since every member searching so then gives up. With
  // `every_row` the search goes on past the match, and a later failure counts too.
  std::size_t FindText(const Variant& v, bool in_keys, bool every_row = false) const {
    std::size_t found = rows.size();
    try {
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (TextEqual(in_keys ? rows[i].first : rows[i].second, v) && found == rows.size()) {
          found = i;
          if (!every_row) break;
        }
      }
    } catch (const RuntimeError&) {
      return rows.size();
    }
    return found;
  }
  // The other column of the row found by FindText, or "".
  Variant OtherText(const Variant& v, bool in_keys) const {
    const std::size_t at = FindText(v, in_keys);
    if (at == rows.size()) return String();
    return in_keys ? rows[at].second : rows[at].first;
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
      switch (pick(12)) {
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
          const bool binary = mode == 1 && model.Find(key) < model.rows.size();
          const bool text = mode == 2 && model.FindText(key, true) < model.rows.size();
          ASSERT_EQ(dict.Exists(key), VariantBool(binary || text));
          if (pick(8) == 0) {
            mode = 1 + pick(3);
            dict.CompareMode(static_cast<EnumCompareModes>(mode));
          }
          break;
        }
        case 6:
          ASSERT_EQ(dict.getKeyFromItemName(arg), model.OtherText(arg, false));
          ASSERT_EQ(dict.getItemFromKey(key), model.OtherText(key, true));
          break;
        case 7:
        case 8:
          dict.MovetoTop(key);
          if (std::size_t at = model.FindText(key, true, true); at < model.rows.size()) {
            const auto row = model.rows.begin() + static_cast<std::ptrdiff_t>(at);
            std::rotate(model.rows.begin(), row, row + 1);
          }
          break;
        case 9: {
          const bool by_key = pick(2) == 0;
          dict.SortDictionary(by_key);
          std::vector<Row> table;
          for (const auto& [k, v] : model.rows) table.emplace_back(by_key ? k : v, by_key ? v : k);
          ReferenceExchangeSort(table);
          model.rows.clear();
          for (const auto& [a, b] : table) model.rows.emplace_back(by_key ? a : b, by_key ? b : a);
          break;
        }
        case 10: {
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
      auto keys = ElementsOf(dict.Keys());
      auto items = ElementsOf(dict.items());
      ASSERT_EQ(keys.size(), model.rows.size());
      for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(keys[i], model.rows[i].first) << i;
        ASSERT_EQ(items[i], model.rows[i].second) << i;
      }
    }
  }
}

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
    if (member.result == VbVarType::vbObject) {
      EXPECT_TRUE(result.IsObject());
    } else if (member.result != VbVarType::vbVariant) {
      EXPECT_EQ(result.VarType(), member.result);
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
