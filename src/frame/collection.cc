// The Automation collection, as VBA.Collection behaves.
#include "narwick/frame/collection.h"

#include "member_table.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick {

const frame::ClassInfo& Collection::TypeInfo() const {
  static const frame::ClassInfo info = frame::MemberTable<Collection>("Collection")
      .Method("Add", &Collection::Add, {"Item", frame::Opt("Key"), frame::Opt("Before"), frame::Opt("After")})
      .Method("Count", &Collection::Count)
      .Method("Item", &Collection::Item, {"Index"}).Default()
      .Method("Remove", &Collection::Remove, {"Index"})
      .Build();
  return info;
}

std::size_t Collection::Position(const Variant& index) const {
  if (index.IsString()) {
    String fold = LCase(index.Str());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (!entries_[i].key.empty() && entries_[i].key_fold == fold) return i;
    }
    Raise(err::kInvalidProcedureCall);
  }
  if (!index.HoldsNumber()) Raise(err::kTypeMismatch);
  Long position = CLng(index);
  if (position < 1 || static_cast<std::size_t>(position) > entries_.size()) {
    Raise(err::kSubscriptOutOfRange);
  }
  return static_cast<std::size_t>(position - 1);
}

void Collection::Add(const Variant& Item, const Variant& Key, const Variant& Before,
                     const Variant& After) {
  Entry entry{Item, String(), String()};
  if (!Key.IsMissing()) {
    if (!Key.IsString()) Raise(err::kTypeMismatch);
    entry.key = Key.Str();
    entry.key_fold = LCase(entry.key);
    for (const auto& e : entries_) {
      if (!e.key.empty() && e.key_fold == entry.key_fold) Raise(err::kKeyAlreadyAssociated);
    }
  }
  if (!Before.IsMissing() && !After.IsMissing()) Raise(err::kInvalidProcedureCall);
  std::size_t at = entries_.size();
  if (!Before.IsMissing()) at = Position(Before);
  if (!After.IsMissing()) at = Position(After) + 1;
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
}

Long Collection::Count() const { return static_cast<Long>(entries_.size()); }

Variant Collection::Item(const Variant& Index) const { return entries_[Position(Index)].value; }

void Collection::Remove(const Variant& Index) {
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(Position(Index)));
}

}  // namespace narwick
