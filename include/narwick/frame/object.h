// Objects: counted references to library objects, and late-bound calls by member name.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

#include "narwick/frame/events.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace frame {
class ClassInfo;

// Base of every library class. The object lives while any Object (or shared_ptr) refers to
// it; the destructor is the class's terminate step. Copies are not supported.
class AutomationObject : public std::enable_shared_from_this<AutomationObject> {
 public:
  AutomationObject() = default;
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;
  virtual ~AutomationObject() = default;

  // The class's member table, which drives late-bound dispatch.
  virtual const ClassInfo& TypeInfo() const = 0;
  // The object's connection point, or null for classes that raise no events.
  virtual EventSource* Events() { return nullptr; }
};
}  // namespace frame

// One argument of a late-bound call: a value, or a reference to the caller's Variant that
// the callee may change (ByRef).
class Arg {
 public:
  template <class T>
    requires(!std::same_as<std::remove_cvref_t<T>, Arg> && std::constructible_from<Variant, T &&>)
  Arg(T&& value) : value_(std::forward<T>(value)) {}  // NOLINT: implicit, so {1, u"x"} works

  static Arg Ref(Variant& target) {
    Arg a{Variant()};
    a.ref_ = &target;
    return a;
  }
  Variant* ref() const { return ref_; }
  const Variant& value() const { return ref_ != nullptr ? *ref_ : value_; }

 private:
  Variant value_;
  Variant* ref_ = nullptr;
};

// Passes the caller's variable by reference: the callee's changes reach it.
inline Arg ByRef(Variant& target) { return Arg::Ref(target); }

// A counted reference to a library object (Nothing when empty), driven by member name.
// Names match case-insensitively. Errors: 91 on Nothing, 438 for an unknown member,
// 449 for a missing required argument, 450 for too many, 13 / 6 when an argument cannot
// be coerced to its parameter's type; errors the member raises pass through unchanged.
class Object {
 public:
  Object() = default;  // Nothing
  explicit Object(std::shared_ptr<frame::AutomationObject> target) : target_(std::move(target)) {}

  bool IsNothing() const { return target_ == nullptr; }

  // A method or a property get (as VB does for `x = obj.Name(args)`).
  Variant Call(std::string_view name, std::initializer_list<Arg> args = {}) const;
  Variant Call(std::string_view name, std::span<const Arg> args) const;
  Variant Get(std::string_view name, std::initializer_list<Arg> args = {}) const;
  void Let(std::string_view name, const Variant& value) const;
  void Let(std::string_view name, std::initializer_list<Arg> args, const Variant& value) const;
  void Set(std::string_view name, const Variant& value) const;
  void Set(std::string_view name, std::initializer_list<Arg> args, const Variant& value) const;

  // Subscribes a sink to the object's events; 438 when the class raises none.
  std::uint32_t Advise(EventCallback sink) const;
  void Unadvise(std::uint32_t cookie) const;

  // The class name ("clsQueue"); empty for Nothing.
  std::string_view ClassName() const;
  frame::AutomationObject* get() const { return target_.get(); }
  const std::shared_ptr<frame::AutomationObject>& ptr() const { return target_; }
  // The typed object behind the reference, or null when it is of another class.
  template <class T>
  T* As() const {
    return dynamic_cast<T*>(target_.get());
  }

  friend bool operator==(const Object& a, const Object& b) { return a.target_ == b.target_; }

 private:
  std::shared_ptr<frame::AutomationObject> target_;
};

// Wraps a typed object made with std::make_shared in an Object reference.
template <class T>
  requires std::derived_from<T, frame::AutomationObject>
Object MakeObject(std::shared_ptr<T> typed) {
  return Object(std::static_pointer_cast<frame::AutomationObject>(std::move(typed)));
}

// Creates an object by ProgID ("Narwick.clsOrderedLinkedList", "VBA.Collection"),
// case-insensitively. 429 when no such class is available.
Object CreateObject(std::string_view progid);

}  // namespace narwick
