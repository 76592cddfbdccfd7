// The insertion-ordered Variant map and its scripting-dictionary face.
#include "collections/keyed_map.h"

#include <sys/mman.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "collections/keyed_map_messages.h"
#include "frame/case_mapping.h"
#include "frame/default_value.h"
#include "frame/member_table.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick::collections {

namespace detail {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

void* AllocateTable(std::size_t bytes, std::size_t align, bool zeroed) {
  if (bytes < kHugePage) {
    void* p = ::operator new(bytes, std::align_val_t{align});
    if (zeroed) std::memset(p, 0, bytes);
    return p;
  }
  // Map one huge page more than needed and trim both ends, so the block starts on a huge
  // page boundary. Without huge pages (or with madvise refused) this is plain memory.
  const std::size_t size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  if (aligned != start) munmap(raw, aligned - start);
  const std::uintptr_t tail = start + kHugePage - aligned;  // what is left past aligned + size
  if (tail != 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  madvise(p, size, MADV_HUGEPAGE);
#endif
  return p;
}

void FreeTable(void* p, std::size_t bytes, std::size_t align) noexcept {
  if (bytes < kHugePage) {
    ::operator delete(p, std::align_val_t{align});
    return;
  }
  munmap(p, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

}  // namespace detail

namespace {

constexpr std::size_t kMinCapacity = 16;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The identity of a non-string key: its kind class and a 64-bit value. Numbers of every kind
// meet in kWhole when they are whole (so 2, 2.0 and CCur(2) are one key) and in kReal
// otherwise. Strings are told apart by their text; class 0 is nobody's (free index slots).
enum class KeyClass : std::uint64_t { kEmpty = 1, kNull, kWhole, kReal, kObject, kError, kText };

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

// Hash of a non-string key. Whole numbers that differ only in their last six bits keep
// them as the low bits of the hash, and Home puts such a run of 64 in neighbouring slots
// (2 KiB of index), so keys 1, 2, 3, ... fill the index in long sequential stretches rather
// than one cache miss every few keys. The rest is multiplied
// by 2^64 / phi, whose top bits (the home) spread runs of blocks evenly over the index
// (Fibonacci hashing). Folding the high half in first keeps doubles, whose low bits are
// mostly zero, apart; adding a multiple of the class keeps 5 and Error 5 from sharing a home.
[[gnu::always_inline]] inline std::uint64_t ValueHash(std::uint32_t cls, std::uint64_t bits) {
  const std::uint64_t f = (bits ^ (bits >> 32)) + cls * 0xc2b2ae3d27d4eb4fULL;
  return (((f >> detail::kRunBits) * 0x9e3779b97f4a7c15ULL) & ~detail::kRunMask) | (f & detail::kRunMask);
}

bool IsText(KeyCompare mode) { return mode != KeyCompare::kBinary; }

constexpr std::uint32_t kFreeRef = 0;
constexpr std::uint32_t kDeletedRef = 1;

// The index's copy of an item that is plain: its kind and 64-bit payload, from which
// Plain() rebuilds an equal Variant. Anything else (strings, objects, arrays) is read from
// the entry.
[[gnu::always_inline]] inline std::uint16_t PlainKind(const Variant& v, std::uint64_t& payload) {
  const VbVarType t = v.IsArray() ? VbVarType::vbArray : v.VarType();
  switch (t) {
    case VbVarType::vbEmpty:
    case VbVarType::vbNull:
      payload = 0;
      break;
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
    case VbVarType::vbCurrency:
    case VbVarType::vbError:
      payload = static_cast<std::uint64_t>(v.Int());
      break;
    case VbVarType::vbSingle:
      // Only when the float survives the trip back bit for bit (a NaN may not).
      payload = std::bit_cast<std::uint64_t>(v.Real());
      if (std::bit_cast<std::uint64_t>(static_cast<double>(static_cast<float>(v.Real()))) != payload) {
        return detail::kNoCopy;
      }
      break;
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      payload = std::bit_cast<std::uint64_t>(v.Real());
      break;
    default:
      return detail::kNoCopy;
  }
  return static_cast<std::uint16_t>(t);
}

[[gnu::always_inline]] inline Variant Plain(std::uint16_t kind, std::uint64_t payload) {
  const auto whole = static_cast<std::int64_t>(payload);
  switch (static_cast<VbVarType>(kind)) {
    case VbVarType::vbNull: return Variant::Null();
    case VbVarType::vbInteger: return Variant(static_cast<Integer>(whole));
    case VbVarType::vbLong: return Variant(static_cast<int>(whole));
    case VbVarType::vbByte: return Variant(static_cast<Byte>(whole));
    case VbVarType::vbBoolean: return Variant(VariantBool::FromRaw(static_cast<Integer>(whole)));
    case VbVarType::vbCurrency: return Variant(Currency{whole});
    case VbVarType::vbError: return Variant(ErrorCode{static_cast<std::int32_t>(whole)});
    case VbVarType::vbSingle: return Variant(static_cast<float>(std::bit_cast<double>(payload)));
    case VbVarType::vbDouble: return Variant(std::bit_cast<double>(payload));
    case VbVarType::vbDate: return Variant(Date{std::bit_cast<double>(payload)});
    default: return Variant();
  }
}

}  // namespace

KeyedMap::KeyedMap() { Rebuild(kMinCapacity); }

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
    id.cls = static_cast<std::uint16_t>(KeyClass::kText);
    id.hash = id.bits = HashText(*id.text, IsText(compare_));
    return id;
  }
  const Canon c = Canonical(key);
  id.cls = static_cast<std::uint16_t>(c.cls);
  id.bits = c.bits;
  id.hash = ValueHash(id.cls, id.bits);
  return id;
}

bool KeyedMap::MatchesText(const IndexSlot& slot, const KeyId& id) const {
  const String& stored = entries_[slot.ref - std::size_t{2}].key.Str();
  return IsText(compare_) ? frame::EqualIgnoringCase(stored, *id.text) : stored == *id.text;
}

[[gnu::always_inline]] inline std::size_t KeyedMap::Probe(const KeyId& id, bool& found) const {
  const std::size_t mask = index_.size() - 1;
  std::size_t pos = Home(id.hash);
  std::size_t first_deleted = kNotFound;
  // Linear probing. A slot whose class and bits match holds the key (a string also has to
  // match its text: equal hashes are not proof). At least a quarter of the index is free,
  // so the walk always meets a free slot.
  for (;;) {
    const IndexSlot& s = index_[pos];
    if (s.bits == id.bits && s.cls == id.cls) {
      if (id.text == nullptr || MatchesText(s, id)) {
        found = true;
        return pos;
      }
    } else if (s.ref == kFreeRef) {
      found = false;
      return first_deleted != kNotFound ? first_deleted : pos;
    } else if (s.ref == kDeletedRef && first_deleted == kNotFound) {
      first_deleted = pos;
    }
    pos = (pos + 1) & mask;
  }
}

KeyedMap::Index::Index(std::size_t n)
    : slots_(static_cast<IndexSlot*>(detail::AllocateTable(n * sizeof(IndexSlot), alignof(IndexSlot), true))),
      size_(n) {}

KeyedMap::Index::~Index() {
  if (slots_ != nullptr) detail::FreeTable(slots_, size_ * sizeof(IndexSlot), alignof(IndexSlot));
}

void KeyedMap::Place(std::size_t pos, const KeyId& id, std::size_t entry) {
  IndexSlot& s = index_[pos];
  if (s.ref == kDeletedRef) --tombstones_;
  s.bits = id.bits;
  s.cls = id.cls;
  s.hash = id.hash;
  s.ref = static_cast<std::uint32_t>(entry + 2);
}

void KeyedMap::Unplace(std::size_t pos) {
  index_[pos] = IndexSlot{0, kDeletedRef, kVacant, 0, 0, 0};
  ++tombstones_;
}

void KeyedMap::Rebuild(std::size_t capacity) {
  std::vector<std::uint32_t> renumber;
  if (holes_ != 0) {
    entries_.Compact(removed_, renumber);
    removed_.clear();
    holes_ = 0;
  }
  Index old(capacity);
  std::swap(old, index_);
  shift_ = static_cast<unsigned>(64 - std::countr_zero(capacity));
  tombstones_ = 0;
  const std::size_t mask = capacity - 1;
  // The old slots in their order: homes are the hash's top bits, so they come in nearly
  // ascending order of their new homes too and the writes sweep the new index once, instead
  // of landing at random. Keys are distinct, so placing one needs no comparison.
  for (std::size_t i = 0; i < old.size(); ++i) {
    const IndexSlot& from = old[i];
    if (from.ref < 2) continue;
    std::size_t pos = Home(from.hash);
    while (index_[pos].ref != kFreeRef) pos = (pos + 1) & mask;
    IndexSlot& to = index_[pos];
    to = from;
    if (!renumber.empty()) to.ref = renumber[from.ref - std::size_t{2}] + 2;
  }
}

bool KeyedMap::NeedsRoom() const { return (live_ + tombstones_ + 1) * 4 > index_.size() * 3; }

void KeyedMap::MakeRoom() {
  // Keeps a quarter of the index free or more (deleted marks count as used); a rebuild
  // leaves it at most half full, so rebuilds are spaced out geometrically.
  Rebuild(std::bit_ceil(std::max(kMinCapacity, (live_ + 1) * 2)));
}

template <class Item>
std::size_t KeyedMap::Append(std::size_t pos, const Variant& key, const KeyId& id, Item&& item) {
  const std::size_t e = entries_.size();
  const Slot& entry = entries_.Append(key, std::forward<Item>(item));
  Place(pos, id, e);
  IndexSlot& s = index_[pos];
  s.plain = PlainKind(entry.item, s.payload);
  ++live_;
  return pos;
}

bool KeyedMap::Add(const Variant& key, const Variant& item) {
  const KeyId id = Identify(key);  // raises for an array before anything changes
  // The key or the item may be one of this map's own. Growing moves no entry unless removed
  // ones are compacted on the way, and only then are they copied first.
  if (NeedsRoom()) {
    if (holes_ != 0) {
      const Variant kept_key = key;
      const Variant kept_item = item;
      MakeRoom();
      return Add(kept_key, kept_item);
    }
    MakeRoom();
  }
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (found) return false;
  Append(pos, key, id, item);
  return true;
}

bool KeyedMap::Contains(const Variant& key) const {
  const KeyId id = Identify(key);
  bool found = false;
  Probe(id, found);
  return found;
}

const Variant* KeyedMap::Find(const Variant& key) const {
  const KeyId id = Identify(key);
  bool found = false;
  const std::size_t pos = Probe(id, found);
  return found ? &entries_[EntryAt(pos)].item : nullptr;
}

std::size_t KeyedMap::FindOrInsert(const Variant& key) {
  const KeyId id = Identify(key);
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (found) return pos;
  if (NeedsRoom()) {
    if (holes_ != 0) {
      const Variant kept_key = key;  // may be an item of this map, which compacting moves
      MakeRoom();
      return FindOrInsert(kept_key);
    }
    MakeRoom();
    return FindOrInsert(key);
  }
  return Append(pos, key, id, Variant());
}

Variant KeyedMap::Get(const Variant& key) {
  // The lookup is probed here, inline, and FindOrInsert (which probes once more) runs only
  // for an absent key: going through it for every key made Item of a Long key about a third
  // slower.
  const KeyId id = Identify(key);
  bool found = false;
  std::size_t pos = Probe(id, found);
  if (!found) pos = FindOrInsert(key);
  const IndexSlot& s = index_[pos];
  if (s.plain != detail::kNoCopy) return Plain(s.plain, s.payload);
  return entries_[EntryAt(pos)].item;
}

void KeyedMap::Store(const Variant& key, Variant item) {
  const std::size_t pos = FindOrInsert(key);
  IndexSlot& s = index_[pos];
  Variant& stored = entries_[EntryAt(pos)].item;
  stored = std::move(item);
  s.plain = PlainKind(stored, s.payload);
}

Variant& KeyedMap::FindOrAdd(const Variant& key) {
  const std::size_t pos = FindOrInsert(key);
  index_[pos].plain = detail::kNoCopy;  // the caller may change the item
  return entries_[EntryAt(pos)].item;
}

bool KeyedMap::Remove(const Variant& key) {
  const KeyId id = Identify(key);
  bool found = false;
  const std::size_t pos = Probe(id, found);
  if (!found) return false;
  const std::size_t e = EntryAt(pos);
  if (removed_.size() <= e / 64) removed_.resize(entries_.size() / 64 + 1);
  removed_[e / 64] |= std::uint64_t{1} << (e % 64);
  Slot& slot = entries_[e];
  slot.key = Variant();
  slot.item = Variant();
  Unplace(pos);
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
  const std::size_t e = EntryAt(pos);
  const KeyId nid = Identify(new_key);
  bool taken = false;
  const std::size_t npos = Probe(nid, taken);
  if (taken) {
    if (npos != pos) return false;
    entries_[e].key = new_key;  // the same key, in other letter case or another kind
    return true;
  }
  const IndexSlot moved = index_[pos];
  entries_[e].key = new_key;
  Unplace(pos);
  // Probe again: the slot just freed may come first on the new key's path.
  bool again = false;
  const std::size_t to = Probe(nid, again);
  Place(to, nid, e);
  index_[to].plain = moved.plain;
  index_[to].payload = moved.payload;
  // The move may have used a free slot; restore the free quarter.
  if ((live_ + tombstones_) * 4 > index_.size() * 3) MakeRoom();
  return true;
}

void KeyedMap::Clear() {
  entries_.clear();
  removed_.clear();
  index_ = Index();  // nothing to carry over
  live_ = holes_ = 0;
  Rebuild(kMinCapacity);
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
  if (keys) {
    map.ForEachKey([&](const Variant& key) { cells[i++] = key; });
  } else {
    map.ForEach([&](const Variant&, const Variant& item) { cells[i++] = item; });
  }
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
  return map_.Contains(Key);
}

Variant ScriptingDictionary::Items() const { return Variant(ArrayOf(map_, false)); }

Variant ScriptingDictionary::Keys() const { return Variant(ArrayOf(map_, true)); }

void ScriptingDictionary::Remove(const Variant& Key) {
  if (!map_.Remove(Key)) Raise(kElementNotFound, kMapErrorSource, kElementNotFoundText);
}

void ScriptingDictionary::RemoveAll() { map_.Clear(); }

Variant ScriptingDictionary::Item(const Variant& Key) { return map_.Get(Key); }

void ScriptingDictionary::Item(const Variant& Key, const Variant& newItem) {
  // Evaluate the value first: an object without a default value adds nothing.
  Variant value = newItem.IsObject() ? frame::DefaultValueOf(newItem) : newItem;
  map_.Store(Key, std::move(value));
}

void ScriptingDictionary::SetItem(const Variant& Key, const Variant& newItem) {
  if (!newItem.IsObject()) Raise(err::kObjectRequired);
  map_.Store(Key, newItem);  // a copy first: it may be an item of this map
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
