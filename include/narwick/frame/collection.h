// Collection: the Automation collection (1-based positions, optional string keys).
#pragma once

#include <string>
#include <vector>

#include "narwick/frame/dispatch.h"
#include "narwick/frame/object.h"
#include "narwick/frame/variant.h"

namespace narwick {

// Keys compare without regard to case. Errors as VB raises them: 457 for a key in use,
// 5 for an unknown key, 9 for a position outside 1..Count, 13 for an index of another kind.
class Collection final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override;

  void Add(const Variant& Item, const Variant& Key = Missing, const Variant& Before = Missing,
           const Variant& After = Missing);
  Long Count() const;
  Variant Item(const Variant& Index) const;  // the default member
  void Remove(const Variant& Index);

 private:
  struct Entry {
    Variant value;
    String key;      // as given
    String key_fold;  // case-folded, for lookups; empty when the item has no key
  };
  std::size_t Position(const Variant& index) const;  // 0-based, raising as above

  std::vector<Entry> entries_;
};

}  // namespace narwick
