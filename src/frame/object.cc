// Late-bound calls: resolve a member by name and kind, lay out the argument slots, invoke.
#include "narwick/frame/object.h"

#include <vector>

#include "default_value.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick {

namespace {

using frame::MemberInfo;
using frame::MemberKind;

// Finds the member for a call of the given kind; a method or a property get both answer
// a plain call, as VB asks for either when it reads `obj.Name(args)`.
const MemberInfo& Resolve(const frame::ClassInfo& info, std::string_view name, MemberKind kind) {
  const MemberInfo* member = nullptr;
  if (kind == MemberKind::kMethod || kind == MemberKind::kPropertyGet) {
    member = info.Find(name, kind);
    if (member == nullptr) {
      member = info.Find(name, kind == MemberKind::kMethod ? MemberKind::kPropertyGet : MemberKind::kMethod);
    }
  } else {
    member = info.Find(name, kind);
  }
  if (member != nullptr) return *member;
  if (info.HasName(name) && kind != MemberKind::kMethod && kind != MemberKind::kPropertyGet) {
    Raise(err::kPropertyLetNotDefined);
  }
  Raise(err::kObjectDoesntSupportMember);
}

Variant Invoke(frame::AutomationObject* target, std::string_view name, MemberKind kind,
               std::span<const Arg> args, const Variant* assigned) {
  if (target == nullptr) Raise(err::kObjectVariableNotSet);
  const MemberInfo& member = Resolve(target->TypeInfo(), name, kind);

  const std::size_t given = args.size() + (assigned != nullptr ? 1 : 0);
  if (given > member.params.size()) Raise(err::kWrongNumberOfArguments);

  // One slot per declared parameter: the caller's own Variant for ByRef arguments, a copy
  // for values, Missing for those left out. The assigned value of a let/set is the last.
  std::vector<Variant> copies;
  copies.reserve(member.params.size());
  std::vector<Variant*> slots(member.params.size());
  for (std::size_t i = 0; i < member.params.size(); ++i) {
    if (i < args.size() && args[i].ref() != nullptr) {
      slots[i] = args[i].ref();
    } else if (i < args.size()) {
      slots[i] = &copies.emplace_back(args[i].value());
    } else if (assigned != nullptr && i + 1 == member.params.size()) {
      slots[i] = &copies.emplace_back(*assigned);
    } else {
      slots[i] = &copies.emplace_back(Missing);
    }
  }
  if (assigned != nullptr && args.size() + 1 != member.params.size()) {
    Raise(err::kWrongNumberOfArguments);
  }
  return member.invoke(*target, slots);
}

}  // namespace

Variant Object::Call(std::string_view name, std::initializer_list<Arg> args) const {
  return Call(name, std::span<const Arg>(args.begin(), args.size()));
}

Variant Object::Call(std::string_view name, std::span<const Arg> args) const {
  return Invoke(target_.get(), name, MemberKind::kMethod, args, nullptr);
}

Variant Object::Get(std::string_view name, std::initializer_list<Arg> args) const {
  return Invoke(target_.get(), name, MemberKind::kPropertyGet,
                std::span<const Arg>(args.begin(), args.size()), nullptr);
}

void Object::Let(std::string_view name, const Variant& value) const { Let(name, {}, value); }

void Object::Let(std::string_view name, std::initializer_list<Arg> args, const Variant& value) const {
  Invoke(target_.get(), name, MemberKind::kPropertyLet,
         std::span<const Arg>(args.begin(), args.size()), &value);
}

void Object::Set(std::string_view name, const Variant& value) const { Set(name, {}, value); }

void Object::Set(std::string_view name, std::initializer_list<Arg> args, const Variant& value) const {
  if (!value.IsObject()) Raise(err::kObjectRequired);
  Invoke(target_.get(), name, MemberKind::kPropertySet,
         std::span<const Arg>(args.begin(), args.size()), &value);
}

std::uint32_t Object::Advise(EventCallback sink) const {
  if (target_ == nullptr) Raise(err::kObjectVariableNotSet);
  frame::EventSource* events = target_->Events();
  if (events == nullptr) Raise(err::kObjectDoesntSupportMember);
  return events->Advise(std::move(sink));
}

void Object::Unadvise(std::uint32_t cookie) const {
  if (target_ == nullptr) Raise(err::kObjectVariableNotSet);
  if (frame::EventSource* events = target_->Events()) events->Unadvise(cookie);
}

std::string_view Object::ClassName() const {
  return target_ == nullptr ? std::string_view() : std::string_view(target_->TypeInfo().name());
}

namespace frame {

Variant DefaultValueOf(const Variant& object_value) {
  Object object = object_value.Obj();
  if (object.IsNothing()) Raise(err::kObjectVariableNotSet);
  const MemberInfo* member = object.get()->TypeInfo().DefaultGet();
  if (member == nullptr) Raise(err::kObjectDoesntSupportMember);
  std::vector<Variant> missing(member->params.size(), Missing);
  std::vector<Variant*> slots;
  for (auto& m : missing) slots.push_back(&m);
  return member->invoke(*object.get(), slots);
}

}  // namespace frame

}  // namespace narwick
