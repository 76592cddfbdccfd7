// clsDictionary: the shell over the keyed map. Sorting and move-to-top read every entry
// out, arrange them, empty the map and add them back, so the map's insertion order is the
// only order there is.
#include "narwick/collections/dictionary.h"

#include <utility>
#include <vector>

#include "collections/keyed_map.h"
#include "frame/checked.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"

namespace narwick {

namespace {

using Row = std::pair<Variant, Variant>;  // one row of the work table: cells (i, 0), (i, 1)

// Exchange sort on column 0, ascending, rows moving whole. Positions are 16-bit as they
// always were: the upper row must fit in an Integer (more than 32,768 rows stop at once),
// and the counter's step past 32,767 overflows (32,768 rows stop after the first pass).
// A comparison that cannot be made stops the sort where it stands, too; the caller puts
// the rows back in the order reached, so no entry is ever lost.
void SortTwoColumnTable(std::vector<Row>& table) {
  trap::Skip([&] {
    const Integer lo = 0;
    const Integer hi = checked::Narrow<Integer>(static_cast<std::int64_t>(table.size()) - 1);
    const Integer last_p = static_cast<Integer>(hi - 1);  // hi >= 0: no overflow
    for (Integer p = lo; p <= last_p; p = checked::Add(p, Integer{1})) {
      const auto pu = static_cast<std::size_t>(p);
      for (Integer q = checked::Add(p, Integer{1}); q <= hi; q = checked::Add(q, Integer{1})) {
        const auto qu = static_cast<std::size_t>(q);
        if (Greater(table[pu].first, table[qu].first)) std::swap(table[pu], table[qu]);
      }
    }
  });
}

}  // namespace

clsDictionary::clsDictionary() : map_(std::make_shared<collections::ScriptingDictionary>()) {}

clsDictionary::~clsDictionary() = default;

const frame::ClassInfo& clsDictionary::TypeInfo() const {
  using C = clsDictionary;
  static const frame::ClassInfo info =
      frame::MemberTable<C>("clsDictionary")
          .Get<EnumCompareModes() const>("CompareMode", &C::CompareMode)
          .Let<void(EnumCompareModes)>("CompareMode", &C::CompareMode, {"lngCompareMode"})
          .Get("Count", &C::Count)
          .Get("Dictionary", &C::Dictionary)
          .Get("Item", &C::Item, {"varKey"})
          .Get("items", &C::items)
          .Get("Key", &C::Key, {"varKey"})
          .Get("Keys", &C::Keys)
          .Method("Add", &C::Add, {"varKey", "varItem"})
          .Method("editItem", &C::editItem, {"varKey", "newItem"})
          .Method("getKeyFromItemName", &C::getKeyFromItemName, {"varItem"})
          .Method("getItemFromKey", &C::getItemFromKey, {"varKey"})
          .Method("Exists", &C::Exists, {"varKey"})
          .Method("Remove", &C::Remove, {"varKey"})
          .Method("RemoveAll", &C::RemoveAll)
          .Method("SortDictionary", &C::SortDictionary, {"fKey"})
          .Method("MovetoTop", &C::MovetoTop, {"varKey"})
          .Build();
  return info;
}

EnumCompareModes clsDictionary::CompareMode() const { return compare_mode_; }

void clsDictionary::CompareMode(EnumCompareModes lngCompareMode) { compare_mode_ = lngCompareMode; }

Long clsDictionary::Count() {
  return trap::Leave(Long{0}, [&] { return map_->Count(); });
}

Object clsDictionary::Dictionary() {
  return trap::Leave(Object(), [&] { return MakeObject(map_); });
}

Variant clsDictionary::Item(const Variant& varKey) {
  // Straight to the map (as the map object's Item does): this runs in hot loops.
  return trap::Leave(Variant(), [&] { return map_->map().Get(varKey); });
}

Variant clsDictionary::items() {
  return trap::Leave(Variant(), [&] { return map_->Items(); });
}

Variant clsDictionary::Key(const Variant& varKey) {
  return trap::Leave(Variant(), [&] {
    const Variant item = map_->Item(varKey);
    if (!item.IsObject()) Raise(err::kObjectRequired);
    // Resolved by name at run time: any object with a readable "Key" member will do.
    return item.Obj().Get("Key");
  });
}

Variant clsDictionary::Keys() {
  return trap::Leave(Variant(), [&] { return map_->Keys(); });
}

void clsDictionary::Add(const Variant& varKey, const Variant& varItem) {
  // Straight to the map: a key already present leaves the member as the map object's 457
  // would, without raising and catching it.
  trap::LeaveOnError([&] { map_->map().Add(varKey, varItem); });
}

void clsDictionary::editItem(const Variant& varKey, const Variant& newItem) {
  trap::LeaveOnError([&] { map_->Item(varKey, newItem); });
}

Variant clsDictionary::getKeyFromItemName(const Variant& varItem) {
  Variant result = String();
  return trap::LeaveWithCurrent(result, [&] {
    for (const auto& e : map_->map().Entries()) {
      if (TextEqual(e.item, varItem)) {
        result = e.key;
        return;
      }
    }
  });
}

Variant clsDictionary::getItemFromKey(const Variant& varKey) {
  Variant result = String();
  return trap::LeaveWithCurrent(result, [&] {
    for (const auto& e : map_->map().Entries()) {
      if (TextEqual(e.key, varKey)) {
        result = e.item;
        return;
      }
    }
  });
}

VariantBool clsDictionary::Exists(const Variant& varKey) {
  return trap::Leave(False, [&]() -> VariantBool {
    switch (compare_mode_) {
      case EnumCompareModes::dicBinary: {
        // The map goes to binary compare first (5 from the map when it holds entries
        // under another mode); straight to the map, since this runs in hot loops.
        collections::KeyedMap& map = map_->map();
        if (map.compare_mode() != collections::KeyCompare::kBinary) {
          map.set_compare_mode(collections::KeyCompare::kBinary);
        }
        return map.Contains(varKey);
      }
      case EnumCompareModes::dicText: {
        bool found = false;
        map_->map().ForEachKey([&](const Variant& key) {
          if (!found && TextEqual(key, varKey)) found = true;
        });
        return found;
      }
      default:
        return False;
    }
  });
}

void clsDictionary::Remove(const Variant& varKey) {
  trap::LeaveOnError([&] { map_->Remove(varKey); });
}

void clsDictionary::RemoveAll() {
  trap::LeaveOnError([&] { map_->RemoveAll(); });
}

void clsDictionary::SortDictionary(VariantBool fKey) {
  trap::LeaveOnError([&] {
    const bool by_key = static_cast<bool>(fKey);
    std::vector<Row> table;
    table.reserve(map_->map().size());
    map_->map().ForEach([&](const Variant& key, const Variant& item) {
      table.emplace_back(by_key ? key : item, by_key ? item : key);
    });
    if (table.empty()) return;  // no rows: the table cannot be sized, nothing changes
    SortTwoColumnTable(table);
    map_->RemoveAll();
    for (auto& [a, b] : table) {
      if (by_key) {
        map_->Add(a, b);
      } else {
        map_->Add(b, a);
      }
    }
  });
}

void clsDictionary::MovetoTop(const Variant& varKey) {
  trap::LeaveOnError([&] {
    std::vector<collections::KeyedMap::Entry> entries = map_->map().Entries();
    // Keys that differ only in case can coexist under binary compare; the first one that
    // matches moves, so no entry is lost or doubled. Every key is still compared: one that
    // cannot be read as text, even past the match, leaves the order as it was.
    std::size_t match = entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (TextEqual(entries[i].key, varKey) && match == entries.size()) match = i;
    }
    if (match == entries.size()) return;
    map_->RemoveAll();
    map_->Add(entries[match].key, entries[match].item);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i != match) map_->Add(entries[i].key, entries[i].item);
    }
  });
}

NARWICK_REGISTER_CLASS(clsDictionary);

}  // namespace narwick
