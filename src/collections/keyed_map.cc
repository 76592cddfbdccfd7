// The insertion-ordered Variant map and its scripting-dictionary face.
#include "collections/keyed_map.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "collections/keyed_map_messages.h"
#include "frame/case_mapping.h"
#include "frame/default_value.h"
#include "frame/member_table.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick::collections {

namespace {

constexpr std::size_t kMinCapacity = 16;
constexpr std::uint64_t kFree = 0;
constexpr std::uint64_t kDeleted = 1;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The identity of a non-string key: its kind class and a 64-bit value. Numbers of every kind
// meet in kWhole when they are whole (so 2, 2.0 and CCur(2) are one key) and in kReal
// otherwise.
enum class KeyClass : std::uint64_t { kEmpty = 1, kNull, kWhole, kReal, kObject, kError };

struct Canon {
  KeyClass cls;
  std::uint64_t bits;
  friend bool operator==(const Canon&, const Canon&) = default;
};

Canon FromReal(double d) {
  if (std::isnan(d)) return {KeyClass::kReal, 0x7ff8000000000000ULL};
  // -0.0 lands here as 0; the range test keeps the cast defined.
  if (d >= -9.2233720368547758e18 && d < 9.2233720368547758e18 && d == std::trunc(d)) {
    return {KeyClass::kWhole, static_cast<std::uint64_t>(static_cast<std::int64_t>(d))};
  }
  return {KeyClass::kReal, std::bit_cast<std::uint64_t>(d)};
}

[[gnu::always_inline]] inline Canon Canonical(const Variant& v) {
  if (v.IsArray()) Raise(err::kTypeMismatch);
  switch (v.VarType()) {
    case VbVarType::vbEmpty: return {KeyClass::kEmpty, 0};
    case VbVarType::vbNull: return {KeyClass::kNull, 0};
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
      return {KeyClass::kWhole, static_cast<std::uint64_t>(v.Int())};
    case VbVarType::vbCurrency: {
      const std::int64_t scaled = v.Int();
      if (scaled % 10000 == 0) return {KeyClass::kWhole, static_cast<std::uint64_t>(scaled / 10000)};
      return FromReal(static_cast<double>(scaled) / 10000.0);
    }
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return FromReal(v.Real());
    case VbVarType::vbObject:
      return {KeyClass::kObject, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(v.ObjPtr().get()))};
    case VbVarType::vbError:
      return {KeyClass::kError, static_cast<std::uint64_t>(v.Int())};
    default:
      Raise(err::kTypeMismatch);
  }
}

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 32;
  x *= 0xd6e8feb86659fd93ULL;
  x ^= x >> 32;
  x *= 0xd6e8feb86659fd93ULL;
  x ^= x >> 32;
  return x;
}

// Four code units per step; under text compare each unit is lower-cased first so that keys
// differing only in case land in the same chain.
std::uint64_t HashText(StringView s, bool fold) {
  std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ s.size();
  std::size_t i = 0;
  const std::size_t n = s.size();
  if (!fold) {
    for (; i + 4 <= n; i += 4) {
      std::uint64_t w;
      std::memcpy(&w, s.data() + i, sizeof w);
      h = (h ^ w) * 0x9e3779b97f4a7c15ULL;
      h ^= h >> 29;
    }
  }
  for (; i < n; i += 4) {
    std::uint64_t w = 0;
    for (std::size_t k = 0; k < 4 && i + k < n; ++k) {
      const char16_t c = fold ? frame::LowerUnit(s[i + k]) : s[i + k];
      w |= std::uint64_t{c} << (16 * k);
    }
    h = (h ^ w) * 0x9e3779b97f4a7c15ULL;
    h ^= h >> 29;
  }
  return Mix(h);
}

bool IsText(KeyCompare mode) { return mode != KeyCompare::kBinary; }

}  // namespace

KeyedMap::KeyedMap() { index_.assign(kMinCapacity, kFree); }

void KeyedMap::set_compare_mode(KeyCompare mode) {
  if (mode == compare_) return;
  if (!empty()) Raise(err::kInvalidProcedureCall);
  Clear();
  compare_ = mode;
}

[[gnu::always_inline]] inline KeyedMap::KeyId KeyedMap::Identify(const Variant& key) const {
  KeyId id;
  if (key.IsString()) {
    id.text = &key.Str();
    id.hash = HashText(*id.text, IsText(compare_));
    return id;
  }
  const Canon c = Canonical(key);
  id.cls = static_cast<std::uint64_t>(c.cls);
  id.bits = c.bits;
  id.hash = Mix(c.bits ^ (id.cls * 0xff51afd7ed558ccdULL));
  return id;
}

bool KeyedMap::MatchesText(const Slot& slot, const KeyId& id) const {
  if (slot.cls != 0) return false;
  const String& stored = slot.key.Str();
  return IsText(compare_) ? frame::EqualIgnoringCase(stored, *id.text) : stored == *id.text;
}

[[gnu::always_inline]] inline std::size_t KeyedMap::Probe(const KeyId& id, bool& found) const {
  const std::size_t mask = index_.size() - 1;
  const std::uint64_t tag = id.hash >> 32;
  std::size_t pos = static_cast<std::size_t>(id.hash) & mask;
  std::size_t first_deleted = kNotFound;
  // Linear probing; at least a quarter of the index is free, so the walk always meets a
  // free slot.
  for (;;) {
    const std::uint64_t s = index_[pos];
    if (s == kFree) {
      found = false;
      return first_deleted != kNotFound ? first_deleted : pos;
    }
    if (s == kDeleted) {
      if (first_deleted == kNotFound) first_deleted = pos;
    } else if ((s >> 32) == tag && Matches(entries_[static_cast<std::size_t>(s & 0xffffffffULL) - 2], id)) {
      found = true;
      return pos;
    }
    pos = (pos + 1) & mask;
  }
}

void KeyedMap::Rebuild(std::size_t capacity) {
  if (holes_ != 0) {
    entries_.Compact();
    holes_ = 0;
  }
  index_.assign(capacity, kFree);
  tombstones_ = 0;
  const std::size_t mask = capacity - 1;
  for (std::size_t e = 0; e < entries_.size(); ++e) {
    const std::uint64_t h = entries_[e].hash;
    std::size_t pos = static_cast<std::size_t>(h) & mask;
    while (index_[pos] != kFree) pos = (pos + 1) & mask;  // keys are distinct: no compare
    index_[pos] = ((h >> 32) << 32) | (e + 2);
  }
}

void KeyedMap::GrowIfNeeded() {
  // Keeps a quarter of the index free or more (deleted marks count as used); a rebuild
  // leaves it at most half full, so rebuilds are spaced out geometrically.
  if ((live_ + tombstones_ + 1) * 4 > index_.size() * 3) {
    Rebuild(std::bit_ceil(std::max(kMinCapacity, (live_ + 1) * 2)));
  }
}

std::size_t KeyedMap::Append(std::size_t pos, const Variant& key, const KeyId& id, Variant item) {
  if (index_[pos] == kDeleted) --tombstones_;
  const std::size_t e = entries_.size();
  entries_.push_back(Slot{id.bits, static_cast<std::uint8_t>(id.cls), true, std::move(item), key, id.hash});
  index_[pos] = ((id.hash >> 32) << 32) | (e + 2);
  ++live_;
  return e;
}

bool KeyedMap::Add(const Variant& key, Variant item) {
  const KeyId id = Identify(key);
  GrowIfNeeded();  // before probing, so the probed slot stays valid
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (found) return false;
  Append(pos, key, id, std::move(item));
  return true;
}

Variant* KeyedMap::Find(const Variant& key) {
  const KeyId id = Identify(key);
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (!found) return nullptr;
  return &entries_[static_cast<std::size_t>(index_[pos] & 0xffffffffULL) - 2].item;
}

Variant& KeyedMap::FindOrAdd(const Variant& key) {
  const KeyId id = Identify(key);
  bool found = false;
  std::size_t pos = Probe(id, found);
  if (found) return entries_[static_cast<std::size_t>(index_[pos] & 0xffffffffULL) - 2].item;
  if ((live_ + tombstones_ + 1) * 4 > index_.size() * 3) {
    GrowIfNeeded();
    pos = Probe(id, found);
  }
  return entries_[Append(pos, key, id, Variant())].item;
}

bool KeyedMap::Remove(const Variant& key) {
  const KeyId id = Identify(key);
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (!found) return false;
  Slot& slot = entries_[static_cast<std::size_t>(index_[pos] & 0xffffffffULL) - 2];
  slot.live = false;
  slot.item = Variant();
  slot.key = Variant();
  index_[pos] = kDeleted;
  ++tombstones_;
  --live_;
  ++holes_;
  if (live_ == 0) {
    Clear();
  } else if (holes_ > 32 && holes_ > live_) {
    Rebuild(index_.size());
  }
  return true;
}

bool KeyedMap::Rename(const Variant& key, const Variant& new_key) {
  const KeyId id = Identify(key);
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (!found) return false;
  const std::size_t e = static_cast<std::size_t>(index_[pos] & 0xffffffffULL) - 2;
  const KeyId nid = Identify(new_key);
  if (Matches(entries_[e], nid)) {  // the same key, in other letter case or another kind
    entries_[e].key = new_key;
    return true;
  }
  bool taken = false;
  Probe(nid, taken);
  if (taken) return false;
  Slot& slot = entries_[e];
  slot.key = new_key;
  slot.hash = nid.hash;
  slot.bits = nid.bits;
  slot.cls = static_cast<std::uint8_t>(nid.cls);
  index_[pos] = kDeleted;
  ++tombstones_;
  if ((live_ + tombstones_ + 1) * 4 > index_.size() * 3) {
    Rebuild(std::bit_ceil(std::max(kMinCapacity, (live_ + 1) * 2)));  // indexes it too
    return true;
  }
  bool again = false;
  const std::size_t npos = Probe(nid, again);
  if (index_[npos] == kDeleted) --tombstones_;
  index_[npos] = ((nid.hash >> 32) << 32) | (e + 2);
  return true;
}

void KeyedMap::Clear() {
  entries_.clear();
  index_.assign(kMinCapacity, kFree);
  live_ = holes_ = tombstones_ = 0;
}

std::vector<KeyedMap::Entry> KeyedMap::Entries() const {
  std::vector<Entry> out;
  out.reserve(live_);
  ForEach([&](const Variant& key, const Variant& item) { out.push_back(Entry{key, item}); });
  return out;
}

// ---- ScriptingDictionary -------------------------------------------------------------------

namespace {

SafeArray ArrayOf(const KeyedMap& map, bool keys) {
  SafeArray out(VbVarType::vbVariant, 0, static_cast<Long>(map.size()) - 1);
  auto cells = out.elements();
  std::size_t i = 0;
  map.ForEach([&](const Variant& key, const Variant& item) { cells[i++] = keys ? key : item; });
  return out;
}

}  // namespace

const frame::ClassInfo& ScriptingDictionary::TypeInfo() const {
  using D = ScriptingDictionary;
  static const frame::ClassInfo info =
      frame::MemberTable<D>("Dictionary")
          .Method("Add", &D::Add, {"Key", "Item"})
          .Get<Long() const>("Count", &D::Count)
          .Method("Exists", &D::Exists, {"Key"})
          .Method("Items", &D::Items)
          .Method("Keys", &D::Keys)
          .Method("Remove", &D::Remove, {"Key"})
          .Method("RemoveAll", &D::RemoveAll)
          .Get<Variant(const Variant&)>("Item", &D::Item, {"Key"})
          .Default()
          .Let<void(const Variant&, const Variant&)>("Item", &D::Item, {"Key", "newItem"})
          .Set("Item", &D::SetItem, {"Key", "newItem"})
          .Let("Key", &D::Key, {"Key", "NewKey"})
          .Get<Long() const>("CompareMode", &D::CompareMode)
          .Let<void(Long)>("CompareMode", &D::CompareMode, {"Comp"})
          .Build();
  return info;
}

void ScriptingDictionary::Add(const Variant& Key, const Variant& Item) {
  if (!map_.Add(Key, Item)) Raise(err::kKeyAlreadyAssociated);
}

Long ScriptingDictionary::Count() const { return static_cast<Long>(map_.size()); }

VariantBool ScriptingDictionary::Exists(const Variant& Key) const {
  return const_cast<KeyedMap&>(map_).Find(Key) != nullptr;
}

Variant ScriptingDictionary::Items() const { return Variant(ArrayOf(map_, false)); }

Variant ScriptingDictionary::Keys() const { return Variant(ArrayOf(map_, true)); }

void ScriptingDictionary::Remove(const Variant& Key) {
  if (!map_.Remove(Key)) Raise(kElementNotFound, kMapErrorSource, kElementNotFoundText);
}

void ScriptingDictionary::RemoveAll() { map_.Clear(); }

Variant ScriptingDictionary::Item(const Variant& Key) { return map_.FindOrAdd(Key); }

void ScriptingDictionary::Item(const Variant& Key, const Variant& newItem) {
  // Evaluate the value first: an object without a default value adds nothing.
  Variant value = newItem.IsObject() ? frame::DefaultValueOf(newItem) : newItem;
  map_.FindOrAdd(Key) = std::move(value);
}

void ScriptingDictionary::SetItem(const Variant& Key, const Variant& newItem) {
  if (!newItem.IsObject()) Raise(err::kObjectRequired);
  map_.FindOrAdd(Key) = newItem;
}

void ScriptingDictionary::Key(const Variant& Key, const Variant& NewKey) {
  if (map_.Find(Key) == nullptr) Raise(kElementNotFound, kMapErrorSource, kElementNotFoundText);
  if (!map_.Rename(Key, NewKey)) Raise(err::kKeyAlreadyAssociated);
}

Long ScriptingDictionary::CompareMode() const { return static_cast<Long>(map_.compare_mode()); }

void ScriptingDictionary::CompareMode(Long Comp) {
  if (Comp < 0) Raise(err::kInvalidProcedureCall);
  map_.set_compare_mode(static_cast<KeyCompare>(Comp));
}

}  // namespace narwick::collections
