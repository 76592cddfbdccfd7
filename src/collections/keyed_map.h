// KeyedMap: the insertion-ordered hash map keyed by Variant that clsDictionary wraps, and
// ScriptingDictionary, its Automation face (the object a host reaches through
// clsDictionary.Dictionary).
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "narwick/frame/dispatch.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick::collections {

// How string keys match: by code unit, or without regard to letter case (database compare
// behaves as text compare).
enum class KeyCompare : Long { kBinary = 0, kText = 1, kDatabase = 2 };

namespace detail {

// Whole-number keys in one aligned run of 2^kRunBits share a home and sit side by side.
inline constexpr unsigned kRunBits = 6;
inline constexpr std::uint64_t kRunMask = (std::uint64_t{1} << kRunBits) - 1;

// An index slot's item kind when it holds no copy of the item.
inline constexpr std::uint16_t kNoCopy = 0xffff;

// Whether bit i is set in a bit set that may be shorter than i.
inline bool IsMarked(const std::vector<std::uint64_t>& bits, std::size_t i) {
  return i / 64 < bits.size() && (bits[i / 64] >> (i % 64) & 1) != 0;
}

// Storage for large tables: blocks of 2 MiB or more are mapped on their own and asked for as
// huge pages, so a big index costs a few page faults and TLB entries rather than one per
// 4 KiB; smaller blocks come from operator new. Large blocks come zeroed (fresh pages), and
// so do small ones when `zeroed` asks for it.
void* AllocateTable(std::size_t bytes, std::size_t align, bool zeroed = false);
void FreeTable(void* p, std::size_t bytes, std::size_t align) noexcept;

template <class T>
struct TableAllocator {
  using value_type = T;
  TableAllocator() = default;
  template <class U>
  TableAllocator(const TableAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateTable(n * sizeof(T), alignof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { FreeTable(p, n * sizeof(T), alignof(T)); }
  template <class U>
  bool operator==(const TableAllocator<U>&) const { return true; }
};

}  // namespace detail

// Keys match as the scripting runtime's dictionary matches them:
//  - numbers by value whatever their kind (2, 2.0, CCur(2) and #1/1/1900# are one key;
//    True is -1); a NaN matches only NaN;
//  - strings by code unit, or case-insensitively under text compare; a string never matches
//    a number ("1" and 1 are two keys);
//  - Empty, Null and Nothing are keys of their own; objects match by identity; Error values
//    by their code;
//  - arrays are refused as keys (13).
// Lookups, adds and removes are O(1) on average: an open-addressed index holds each key's
// identity (and a copy of a plain item), and the entries beside it keep the keys and items
// in insertion order.
class KeyedMap {
 public:
  struct Entry {
    Variant key;
    Variant item;
  };

  KeyedMap();

  std::size_t size() const { return live_; }
  bool empty() const { return live_ == 0; }
  KeyCompare compare_mode() const { return compare_; }
  // 5 when the map holds entries and the mode would change.
  void set_compare_mode(KeyCompare mode);

  // Adds at the end of the order; false (nothing changed) when the key is present.
  bool Add(const Variant& key, const Variant& item);
  // Whether `key` is present; for any key but a string this reads the index alone.
  bool Contains(const Variant& key) const;
  // The item stored under `key`, or null. Items move when removed entries are compacted:
  // the pointer holds until the next add, remove or rename.
  const Variant* Find(const Variant& key) const;
  // A copy of the item stored under `key`, adding the key with an Empty item when absent.
  Variant Get(const Variant& key);
  // Stores `item` under `key`, adding the key at the end when absent.
  void Store(const Variant& key, Variant item);
  // The item stored under `key`, adding the key with an Empty item when it is absent, for
  // the caller to change; valid as long as Find's pointer.
  Variant& FindOrAdd(const Variant& key);
  // False when the key is absent.
  bool Remove(const Variant& key);
  // Gives an entry a new key in place; false when `key` is absent or `new_key` present.
  bool Rename(const Variant& key, const Variant& new_key);
  void Clear();

  // Calls fn(key, item) for every entry in order.
  template <class Fn>
  void ForEach(Fn&& fn) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (Removed(i)) continue;
      const Slot& s = entries_[i];
      fn(s.key, s.item);
    }
  }
  // Calls fn(key) for every entry in order; reads no items.
  template <class Fn>
  void ForEachKey(Fn&& fn) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (!Removed(i)) fn(entries_[i].key);
    }
  }
  // Copies of all entries, in order.
  std::vector<Entry> Entries() const;

 private:
  // What identifies a key, worked out once per operation: its kind class and 64-bit value
  // (for strings: their class and the text's hash, the text itself being compared in the entry).
  struct KeyId {
    const String* text = nullptr;
    std::uint16_t cls = 0;
    std::uint64_t bits = 0;
    std::uint64_t hash = 0;  // gives the home slot (see Home)
  };
  // Class of free and deleted index slots: no key has it, so they never match, and a slot of
  // zero bytes is a free one.
  static constexpr std::uint16_t kVacant = 0;
  // One index slot: the key's whole identity, so that Exists of a number, Empty, Null, an
  // object or an Error reads this slot alone (a string also reads its entry's text), and a
  // copy of the item when it is plain (Empty, Null, a number, a date, a Boolean, an Error),
  // so that Item of such a key reads nothing else either. Slots are plain bytes: growing
  // the index copies 32 bytes a key, and a new index is all zero bytes, as fresh pages come.
  struct alignas(32) IndexSlot {
    std::uint64_t bits;
    std::uint32_t ref;    // 0 free, 1 deleted, else entry + 2
    std::uint16_t cls;    // the key's class
    std::uint16_t plain;  // the item's kind when `payload` copies it, else detail::kNoCopy
    std::uint64_t payload;
    std::uint64_t hash;  // the key's, kept so that growing need not work it out again
  };
  // The index: a power-of-two run of zeroed slots in one block.
  class Index {
   public:
    Index() = default;
    explicit Index(std::size_t n);
    Index(Index&& other) noexcept : slots_(other.slots_), size_(other.size_) {
      other.slots_ = nullptr;
      other.size_ = 0;
    }
    Index& operator=(Index&& other) noexcept {
      Index gone(std::move(*this));
      std::swap(slots_, other.slots_);
      std::swap(size_, other.size_);
      return *this;
    }
    ~Index();
    std::size_t size() const { return size_; }
    IndexSlot& operator[](std::size_t i) { return slots_[i]; }
    const IndexSlot& operator[](std::size_t i) const { return slots_[i]; }

   private:
    IndexSlot* slots_ = nullptr;
    std::size_t size_ = 0;
  };
  struct Slot {
    Slot() = default;
    Slot(const Variant& k, const Variant& v) : key(k), item(v) {}
    Slot(const Variant& k, Variant&& v) : key(k), item(std::move(v)) {}
    Variant key;
    Variant item;
  };

  // Entries in chunks that double in length (64, 128, 256, ... entries), so that growing
  // never moves an entry, a small map stays small, and a large one sits in large blocks.
  class SlotStore {
   public:
    std::size_t size() const { return size_; }
    Slot& operator[](std::size_t i) {
      const Where p = Locate(i);
      return chunks_[p.chunk][p.offset];
    }
    const Slot& operator[](std::size_t i) const {
      const Where p = Locate(i);
      return chunks_[p.chunk][p.offset];
    }
    // Adds an entry at the end.
    template <class Item>
    Slot& Append(const Variant& key, Item&& item) {
      const Where p = Locate(size_);
      if (p.chunk == chunks_.size()) {
        chunks_.emplace_back();
        chunks_.back().reserve(kFirst << p.chunk);  // fixed from now on
      }
      ++size_;
      return chunks_[p.chunk].emplace_back(key, std::forward<Item>(item));
    }
    void clear() {
      chunks_.clear();
      size_ = 0;
    }
    // Moves the entries not marked in `removed` to the front, in order, and drops the
    // rest; renumber[i] is the new number of kept entry i.
    void Compact(const std::vector<std::uint64_t>& removed, std::vector<std::uint32_t>& renumber) {
      renumber.assign(size_, 0);
      std::size_t kept = 0;
      for (std::size_t i = 0; i < size_; ++i) {
        if (detail::IsMarked(removed, i)) continue;
        if (kept != i) (*this)[kept] = std::move((*this)[i]);
        renumber[i] = static_cast<std::uint32_t>(kept++);
      }
      size_ = kept;
      if (kept == 0) {
        chunks_.clear();
        return;
      }
      const Where last = Locate(kept - 1);
      chunks_.resize(last.chunk + 1);
      chunks_.back().resize(last.offset + 1);
    }

   private:
    static constexpr unsigned kFirstBits = 6;
    static constexpr std::size_t kFirst = std::size_t{1} << kFirstBits;
    struct Where {
      std::size_t chunk;
      std::size_t offset;
    };
    // Chunk c holds entries [kFirst * (2^c - 1), kFirst * (2^(c+1) - 1)): offset by kFirst,
    // an entry's number has its chunk in its bit length and its offset below its top bit.
    static Where Locate(std::size_t i) {
      const std::size_t j = i + kFirst;
      const auto width = static_cast<unsigned>(std::bit_width(j));
      return {width - kFirstBits - 1, j ^ (std::size_t{1} << (width - 1))};
    }
    std::vector<std::vector<Slot, detail::TableAllocator<Slot>>> chunks_;
    std::size_t size_ = 0;
  };

  KeyId Identify(const Variant& key) const;
  bool MatchesText(const IndexSlot& slot, const KeyId& id) const;
  // Index slot holding the key, or the slot where it would go (with found = false).
  std::size_t Probe(const KeyId& id, bool& found) const;
  // The hash's top bits, stepped on by its low bits (see ValueHash).
  std::size_t Home(std::uint64_t hash) const {
    return static_cast<std::size_t>((hash >> shift_) + (hash & detail::kRunMask)) & (index_.size() - 1);
  }
  // Adds the entry at index slot `pos`, found free (or deleted) by a Probe for `id`; returns
  // `pos`.
  template <class Item>
  std::size_t Append(std::size_t pos, const Variant& key, const KeyId& id, Item&& item);
  void Place(std::size_t pos, const KeyId& id, std::size_t entry);
  void Unplace(std::size_t pos);
  void Rebuild(std::size_t capacity);  // compacts the entries and re-indexes them
  bool NeedsRoom() const;  // an add could take the index past three quarters used
  void MakeRoom();
  std::size_t EntryAt(std::size_t pos) const { return index_[pos].ref - std::size_t{2}; }
  bool Removed(std::size_t i) const {
    return holes_ != 0 && detail::IsMarked(removed_, i);
  }
  // Finds `key` or adds it with an Empty item; returns its index slot.
  std::size_t FindOrInsert(const Variant& key);

  KeyCompare compare_ = KeyCompare::kBinary;
  SlotStore entries_;  // insertion order; removed entries stay as holes
  Index index_;        // a power of two long
  unsigned shift_ = 0;  // 64 - log2(index_.size())
  std::size_t live_ = 0;
  std::size_t holes_ = 0;       // removed entries still in entries_
  std::vector<std::uint64_t> removed_;  // a bit per entry marking the holes, while there are any
  std::size_t tombstones_ = 0;  // deleted marks in index_
};

// The scripting runtime's dictionary over a KeyedMap, with its member names. Errors as the
// runtime raises them: 457 for Add or a new key already present, 32811 "Element not found"
// for Remove or a renamed key that is absent, 5 for a CompareMode change while the map holds
// entries, 13 for an array as a key. Reading Item of an absent key adds it with an Empty
// item, as the runtime does.
class ScriptingDictionary final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override;

  void Add(const Variant& Key, const Variant& Item);
  Long Count() const;
  VariantBool Exists(const Variant& Key) const;
  Variant Items() const;  // array 0 .. Count - 1
  Variant Keys() const;   // array 0 .. Count - 1
  void Remove(const Variant& Key);
  void RemoveAll();
  Variant Item(const Variant& Key);  // the default member
  // A value assignment: an object is stored as its default value.
  void Item(const Variant& Key, const Variant& newItem);
  // An object reference assignment (Set); 424 for a value that is not an object.
  void SetItem(const Variant& Key, const Variant& newItem);
  void Key(const Variant& Key, const Variant& NewKey);
  Long CompareMode() const;
  void CompareMode(Long Comp);

  KeyedMap& map() { return map_; }
  const KeyedMap& map() const { return map_; }

 private:
  KeyedMap map_;
};

}  // namespace narwick::collections
