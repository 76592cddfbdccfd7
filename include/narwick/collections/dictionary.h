// clsDictionary: a keyed store of Variant items over an insertion-ordered map, with
// case-insensitive searches, sorting by key or item, and move-to-top.
#pragma once

#include <memory>

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace collections {
class ScriptingDictionary;
}

// How Exists matches keys.
enum class EnumCompareModes : Long {
  dicBinary = 1,  // the map's exact lookup: strings by character code
  dicText = 2,    // a case-insensitive scan of the keys (text-equal)
};

// Every member except the two CompareMode accessors traps its run-time errors: it stops at
// the first failure and returns what its result held by then (0, False, Empty, Nothing or
// ""), raising nothing. Keys match as the scripting runtime's dictionary matches them:
// numbers by value whatever their kind, strings by character code, objects by identity.
// Reading Item or Key, or editItem, with an absent key adds the key with an Empty item.
class clsDictionary final : public frame::AutomationObject {
 public:
  clsDictionary();
  ~clsDictionary() override;

  const frame::ClassInfo& TypeInfo() const override;

  /// The stored compare mode (dicBinary after creation). Not trapped.
  EnumCompareModes CompareMode() const;
  /// Stores any value unchanged. Not trapped.
  void CompareMode(EnumCompareModes lngCompareMode);
  /// Number of entries; 0 on failure.
  Long Count();
  /// The map itself (changes through it change this object); Nothing on failure.
  Object Dictionary();
  /// The item of `varKey` (adding it with an Empty item when absent); Empty on failure.
  Variant Item(const Variant& varKey);
  /// All items, array 0 .. Count - 1 in entry order; Empty on failure.
  Variant items();
  /// The "Key" property of the object stored under `varKey`, read late-bound; Empty when
  /// the item is not an object with such a member.
  Variant Key(const Variant& varKey);
  /// All keys, array 0 .. Count - 1 in entry order; Empty on failure.
  Variant Keys();
  /// Adds at the end of the order; a key already present changes nothing.
  void Add(const Variant& varKey, const Variant& varItem);
  /// Assigns the value of `newItem` (an object gives its default value) to `varKey`.
  void editItem(const Variant& varKey, const Variant& newItem);
  /// Key of the first entry whose item is text-equal to `varItem`; "" when none.
  Variant getKeyFromItemName(const Variant& varItem);
  /// Item of the first entry whose key is text-equal to `varKey`; "" when none.
  Variant getItemFromKey(const Variant& varKey);
  /// Whether the key is present: exact under dicBinary, text-equal under dicText, False
  /// for any other compare mode.
  VariantBool Exists(const Variant& varKey);
  /// Removes the entry of `varKey`; an absent key changes nothing.
  void Remove(const Variant& varKey);
  void RemoveAll();
  /// Exchange sort of all entries by key (`fKey` True) or by item. Positions are 16-bit:
  /// 32,768 rows get one pass, more rows none; the entries always go back complete.
  void SortDictionary(VariantBool fKey);
  /// Moves the first entry whose key is text-equal to `varKey` to the front; the others
  /// keep their order. No match changes nothing.
  void MovetoTop(const Variant& varKey);

 private:
  std::shared_ptr<collections::ScriptingDictionary> map_;  // the map; shared with hosts
  EnumCompareModes compare_mode_ = EnumCompareModes::dicBinary;  // compareMode
};

}  // namespace narwick
