// The keyed map against a plain ordered model (a vector searched linearly), key matching
// by kind, and the scripting-dictionary face with its errors.
#include "collections/keyed_map.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "collections/keyed_map_messages.h"
#include "frame/member_table.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick::collections {
namespace {

// The model's key equality, written out plainly: numbers (any kind) by value, strings by
// code unit or lower-cased, objects by identity, other kinds by kind.
bool ModelSameKey(const Variant& a, const Variant& b, bool text) {
  if (a.IsString() != b.IsString()) return false;
  if (a.IsString()) return text ? LCase(a.Str()) == LCase(b.Str()) : a.Str() == b.Str();
  if (a.HoldsNumber() != b.HoldsNumber()) return false;
  if (a.HoldsNumber()) return CDbl(a) == CDbl(b);
  if (a.VarType() != b.VarType()) return false;
  if (a.IsObject()) return a.ObjPtr() == b.ObjPtr();
  if (a.VarType() == VbVarType::vbError) return a.Int() == b.Int();
  return true;  // Empty, Null
}

// An object whose default member is a property without arguments.
class Valued final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override {
    static const frame::ClassInfo info =
        frame::MemberTable<Valued>("Valued").Get("Value", &Valued::Value).Default().Build();
    return info;
  }
  Variant Value() { return Variant(u"default"); }
};

struct Model {
  std::vector<KeyedMap::Entry> entries;
  bool text = false;

  std::size_t Find(const Variant& key) const {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (ModelSameKey(entries[i].key, key, text)) return i;
    }
    return entries.size();
  }
};

class KeyGenerator {
 public:
  explicit KeyGenerator(std::uint32_t seed, int spread) : rng_(seed), spread_(spread) {
    objects_.push_back(Object(std::make_shared<Collection>()));
    objects_.push_back(Object(std::make_shared<Collection>()));
  }

  Variant Next() {
    const int n = Pick(spread_);
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
      default: return Variant(ErrorCode{Pick(3)});
    }
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

 private:
  std::mt19937 rng_;
  int spread_;
  std::vector<Object> objects_;
};

void ExpectSameEntries(const KeyedMap& map, const Model& model, std::uint32_t seed, int step) {
  auto entries = map.Entries();
  ASSERT_EQ(entries.size(), model.entries.size()) << "seed " << seed << " step " << step;
  ASSERT_EQ(map.size(), model.entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    ASSERT_EQ(entries[i].key, model.entries[i].key) << "seed " << seed << " step " << step << " at " << i;
    ASSERT_EQ(entries[i].item, model.entries[i].item) << "seed " << seed << " step " << step << " at " << i;
  }
}

// Random adds, reads, removes, renames and clears, checked against the model after every
// step; a wide key space makes the index grow, a narrow one churns deleted marks.
void RunModel(std::uint32_t seed, int spread, int steps, bool text) {
  KeyGenerator keys(seed, spread);
  KeyedMap map;
  Model model;
  map.set_compare_mode(text ? KeyCompare::kText : KeyCompare::kBinary);
  model.text = text;
  int next_item = 0;
  for (int step = 0; step < steps; ++step) {
    const Variant key = keys.Next();
    const std::size_t at = model.Find(key);
    const bool present = at < model.entries.size();
    switch (keys.Pick(7)) {
      case 0:
      case 1: {
        const Variant item = next_item++;
        ASSERT_EQ(map.Add(key, item), !present) << "seed " << seed << " step " << step;
        if (!present) model.entries.push_back({key, item});
        break;
      }
      case 2: {
        const Variant* found = map.Find(key);
        ASSERT_EQ(found != nullptr, present) << "seed " << seed << " step " << step;
        if (present) {
          ASSERT_EQ(*found, model.entries[at].item);
        }
        break;
      }
      case 3: {
        Variant& item = map.FindOrAdd(key);
        if (present) {
          ASSERT_EQ(item, model.entries[at].item);
        } else {
          ASSERT_TRUE(item.IsEmpty());
          model.entries.push_back({key, Variant()});
        }
        item = next_item;
        (present ? model.entries[at] : model.entries.back()).item = next_item++;
        break;
      }
      case 4:
      case 5:
        ASSERT_EQ(map.Remove(key), present) << "seed " << seed << " step " << step;
        if (present) model.entries.erase(model.entries.begin() + static_cast<std::ptrdiff_t>(at));
        break;
      default: {
        if (keys.Pick(50) == 0) {
          map.Clear();
          model.entries.clear();
          break;
        }
        const Variant new_key = keys.Next();
        const std::size_t taken = model.Find(new_key);
        const bool ok = present && (taken == model.entries.size() || taken == at);
        ASSERT_EQ(map.Rename(key, new_key), ok) << "seed " << seed << " step " << step;
        if (ok) model.entries[at].key = new_key;
        break;
      }
    }
    if (model.entries.size() < 64 || step % 97 == 0) ExpectSameEntries(map, model, seed, step);
  }
  ExpectSameEntries(map, model, seed, steps);
}

TEST(KeyedMapModelTest, NarrowKeySpaceBinary) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) RunModel(seed, 8, 4000, false);
}

TEST(KeyedMapModelTest, NarrowKeySpaceText) {
  for (std::uint32_t seed = 11; seed <= 16; ++seed) RunModel(seed, 8, 4000, true);
}

TEST(KeyedMapModelTest, WideKeySpaceGrowsAndCompacts) {
  RunModel(101, 3000, testing::Scaled(30000), false);
  RunModel(102, 3000, testing::Scaled(30000), true);
}

// Whole-number keys in families that strain a hash index: runs up and down, values that
// differ only in their high bits, values whose high half repeats the low half, and wide
// pseudo-random values. Each use of a key takes a random kind that can hold it exactly
// (Long, Double or Currency), since a number is one key whatever its kind.
class WholeKeyFamily {
 public:
  WholeKeyFamily(int family, std::uint32_t seed) : family_(family), rng_(seed) {}

  std::int64_t Value(std::int64_t i) const {
    switch (family_) {
      case 0: return 1000 + i;
      case 1: return -i;
      case 2: return i << 20;
      case 3: return i << 40;
      case 4: return (i << 32) | i;
      default: {
        std::uint64_t x = static_cast<std::uint64_t>(i) + 0x9e3779b97f4a7c15ULL;  // splitmix64
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return static_cast<std::int64_t>((x ^ (x >> 31)) >> 12) - (std::int64_t{1} << 51);
      }
    }
  }

  Variant AsAnyKind(std::int64_t v) {
    std::vector<Variant> forms;
    if (v >= INT32_MIN && v <= INT32_MAX) forms.emplace_back(static_cast<int>(v));
    if (static_cast<std::int64_t>(static_cast<double>(v)) == v) forms.emplace_back(static_cast<double>(v));
    if (v >= -922337203685477 && v <= 922337203685477) forms.emplace_back(Currency{v * 10000});
    return forms[std::uniform_int_distribution<std::size_t>(0, forms.size() - 1)(rng_)];
  }
  std::int64_t Pick(std::int64_t n) { return std::uniform_int_distribution<std::int64_t>(0, n - 1)(rng_); }

 private:
  int family_;
  std::mt19937 rng_;
};

// The plain reference: value -> insertion number, and the entries by insertion number.
struct WholeModel {
  std::map<std::int64_t, std::uint64_t> number_of;
  std::map<std::uint64_t, KeyedMap::Entry> in_order;
  std::uint64_t next = 0;

  void Add(std::int64_t v, const Variant& key, const Variant& item) {
    number_of[v] = next;
    in_order[next++] = {key, item};
  }
  KeyedMap::Entry* Find(std::int64_t v) {
    auto it = number_of.find(v);
    return it == number_of.end() ? nullptr : &in_order[it->second];
  }
  void Remove(std::int64_t v) {
    auto it = number_of.find(v);
    in_order.erase(it->second);
    number_of.erase(it);
  }
  // Value v becomes nv under `new_key`, keeping its place and item; returns the entry.
  const KeyedMap::Entry& Rename(std::int64_t v, std::int64_t nv, const Variant& new_key) {
    const std::uint64_t number = number_of[v];
    number_of.erase(v);
    number_of[nv] = number;
    in_order[number].key = new_key;
    return in_order[number];
  }
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
void ExpectSameEntries(const KeyedMap& map, const WholeModel& model, const std::string& where) {
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

// Every way of reading and writing an item (Find, Get, Contains, Store, a write through
// FindOrAdd, Add, Remove, Rename) on whole-number keys of each family, over twice as many
// values as were added first (so about half are absent), with items of every kind, checked
// against the plain reference, and the whole order now and then; an item written through
// FindOrAdd has to win over the index's copy of the old one.
void RunItemModel(int family, std::int64_t distinct, int steps) {
  WholeKeyFamily keys(family, static_cast<std::uint32_t>(family * 104729 + 3));
  std::mt19937 rng(static_cast<std::uint32_t>(family + 77));
  KeyedMap map;
  WholeModel model;
  int n = 0;
  auto where = [&](int step) { return "family " + std::to_string(family) + " step " + std::to_string(step); };
  for (std::int64_t i = 0; i < distinct; ++i) {
    const std::int64_t v = keys.Value(i);
    const Variant key = keys.AsAnyKind(v);
    const Variant item = AnyItem(rng, n++);
    ASSERT_TRUE(map.Add(key, item)) << where(-1);
    model.Add(v, key, item);
  }
  for (int step = 0; step < steps; ++step) {
    const std::int64_t v = keys.Value(keys.Pick(distinct * 2));
    const Variant key = keys.AsAnyKind(v);
    KeyedMap::Entry* expected = model.Find(v);
    switch (keys.Pick(8)) {
      case 0: {
        const Variant item = AnyItem(rng, n++);
        ASSERT_EQ(map.Add(key, item), expected == nullptr) << where(step);
        if (expected == nullptr) model.Add(v, key, item);
        break;
      }
      case 1: {
        const Variant* found = map.Find(key);
        ASSERT_EQ(found != nullptr, expected != nullptr) << where(step);
        ASSERT_EQ(map.Contains(key), expected != nullptr) << where(step);
        if (found != nullptr) {
          ASSERT_TRUE(SameItem(*found, expected->item)) << where(step);
        }
        break;
      }
      case 2: {
        const Variant got = map.Get(key);
        if (expected == nullptr) {
          ASSERT_TRUE(got.IsEmpty()) << where(step);
          model.Add(v, key, Variant());
        } else {
          ASSERT_TRUE(SameItem(got, expected->item)) << where(step);
        }
        break;
      }
      case 3: {
        const Variant item = AnyItem(rng, n++);
        map.Store(key, item);
        if (expected == nullptr) {
          model.Add(v, key, item);
        } else {
          expected->item = item;
        }
        break;
      }
      case 4: {
        const Variant item = AnyItem(rng, n++);
        Variant& slot = map.FindOrAdd(key);
        ASSERT_TRUE(expected == nullptr ? slot.IsEmpty() : SameItem(slot, expected->item)) << where(step);
        slot = item;
        if (expected == nullptr) {
          model.Add(v, key, item);
        } else {
          expected->item = item;
        }
        ASSERT_TRUE(SameItem(map.Get(key), item)) << where(step);
        break;
      }
      case 5:
        ASSERT_EQ(map.Remove(key), expected != nullptr) << where(step);
        if (expected != nullptr) model.Remove(v);
        break;
      default: {
        const std::int64_t nv = keys.Value(keys.Pick(distinct * 2));
        const Variant new_key = keys.AsAnyKind(nv);
        const bool ok = expected != nullptr && (nv == v || model.Find(nv) == nullptr);
        ASSERT_EQ(map.Rename(key, new_key), ok) << where(step);
        if (ok) {
          const KeyedMap::Entry& moved = model.Rename(v, nv, new_key);
          ASSERT_TRUE(SameItem(map.Get(new_key), moved.item)) << where(step);
        }
        break;
      }
    }
    if (step % 8191 == 0) ExpectSameEntries(map, model, where(step));
  }
  ExpectSameEntries(map, model, where(steps));
}

TEST(KeyedMapModelTest, ItemsOfEveryKindMatchAPlainReferenceOnEveryPath) {
  for (int family = 0; family <= 5; ++family) RunItemModel(family, 2000, testing::Scaled(30000));
}

// Enough keys that the index and the entry store reach their large blocks.
TEST(KeyedMapModelTest, LargeMapsMatchAPlainReference) {
  RunItemModel(0, 70000, 50000);
  RunItemModel(5, 70000, 50000);
}

TEST(KeyedMapTest, NumbersAreKeysByValueWhateverTheirKind) {
  KeyedMap map;
  ASSERT_TRUE(map.Add(Variant(2), u"two"));
  EXPECT_FALSE(map.Add(Variant(Integer{2}), 0));
  EXPECT_FALSE(map.Add(Variant(2.0), 0));
  EXPECT_FALSE(map.Add(Variant(Currency{20000}), 0));
  EXPECT_FALSE(map.Add(Variant(Date{2.0}), 0));
  EXPECT_TRUE(map.Add(Variant(u"2"), 0));
  EXPECT_TRUE(map.Add(Variant(2.5), 0));
  EXPECT_FALSE(map.Add(Variant(Currency{25000}), 0));
  EXPECT_FALSE(map.Add(Variant(2.5f), 0));
  EXPECT_TRUE(map.Add(Variant(true), 0));
  EXPECT_FALSE(map.Add(Variant(-1), 0));  // True is -1
  EXPECT_TRUE(map.Add(Variant(0.0), 0));
  EXPECT_FALSE(map.Add(Variant(-0.0), 0));
  EXPECT_FALSE(map.Add(Variant(false), 0));
  EXPECT_TRUE(map.Add(Variant(0.1f), 0));  // a Single keeps its own value: not 0.1
  EXPECT_TRUE(map.Add(Variant(0.1), 0));
  EXPECT_EQ(map.size(), 7u);
  EXPECT_EQ(*map.Find(Variant(2.0)), Variant(u"two"));
}

TEST(KeyedMapTest, EmptyNullNothingAndNaNAreKeysOfTheirOwn) {
  KeyedMap map;
  EXPECT_TRUE(map.Add(Variant(), 1));
  EXPECT_TRUE(map.Add(Variant::Null(), 2));
  EXPECT_TRUE(map.Add(Variant(Object()), 3));
  EXPECT_TRUE(map.Add(Variant(u""), 4));
  EXPECT_TRUE(map.Add(Variant(0), 5));
  EXPECT_TRUE(map.Add(Variant(std::nan("")), 6));
  EXPECT_FALSE(map.Add(Variant(-std::nan("")), 7));
  EXPECT_EQ(*map.Find(Variant()), Variant(1));
  EXPECT_EQ(*map.Find(Variant::Null()), Variant(2));
  EXPECT_EQ(*map.Find(Variant(Object())), Variant(3));
}

TEST(KeyedMapTest, ArraysAreRefusedAsKeys) {
  KeyedMap map;
  Variant array = SafeArray(VbVarType::vbVariant, 0, 1);
  EXPECT_RUNTIME_ERROR(map.Add(array, 1), err::kTypeMismatch);
  EXPECT_TRUE(map.empty());
}

TEST(KeyedMapTest, CompareModeChangesOnlyWhileEmpty) {
  KeyedMap map;
  map.set_compare_mode(KeyCompare::kText);
  ASSERT_TRUE(map.Add(Variant(u"Key"), 1));
  EXPECT_FALSE(map.Add(Variant(u"KEY"), 2));
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
  Object inner = MakeObject(std::make_shared<Valued>());
  d.Let("Item", {1}, Variant(inner));
  EXPECT_EQ(d.Get("Item", {1}), Variant(u"default"));
  d.Set("Item", {2}, Variant(inner));
  EXPECT_TRUE(d.Get("Item", {2}).IsObject());
  // A Collection's default member needs an argument: the value cannot be read, nothing added.
  EXPECT_RUNTIME_ERROR(d.Let("Item", {3}, Variant(Object(std::make_shared<Collection>()))),
                       err::kArgumentNotOptional);
  EXPECT_EQ(d.Get("Count"), Variant(2));
}

// Items move when the index grows: assigning one of the map's own items under a new key must
// not read it after the add has moved it.
TEST(ScriptingDictionaryTest, AssigningAnItemOfTheSameMapSurvivesGrowth) {
  auto typed = std::make_shared<ScriptingDictionary>();
  Object inner = MakeObject(std::make_shared<Valued>());
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

}  // namespace
}  // namespace narwick::collections
