// MemberTable: the declarative member list of a class, from which late-bound dispatch is
// generated. Parameter kinds come from the C++ signature; names, optionality and defaults
// from the list given with each member:
//
//   static const frame::ClassInfo info = frame::MemberTable<clsQueue>("clsQueue")
//       .Method("Enqueue", &clsQueue::Enqueue, {"varItem"})
//       .Get<Long()>("Size", &clsQueue::Size)
//       .Let<void(Long)>("Size", &clsQueue::Size, {"lngSize"})
//       .Build();
//
// A C++ parameter that is a non-const reference is by reference: the caller's variable gets
// the changed value back. Scalars are coerced with the VB conversions (13 / 6 on failure).
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "narwick/frame/convert.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"

namespace narwick::frame {

// One entry of a member's parameter list: a name, optionally with optional / default.
struct ParamSpec {
  ParamSpec(const char* param_name) : name(param_name) {}  // NOLINT: required parameter
  std::string name;
  bool optional = false;
  std::optional<Variant> default_value;
};

// An optional parameter, with or without a default value.
inline ParamSpec Opt(const char* name) {
  ParamSpec p(name);
  p.optional = true;
  return p;
}
inline ParamSpec Opt(const char* name, Variant default_value) {
  ParamSpec p(name);
  p.optional = true;
  p.default_value = std::move(default_value);
  return p;
}

namespace detail {

// Conversions between a parameter's C++ type and Variant.
template <class T>
struct ValueTraits;

#define NARWICK_VALUE_TRAITS(Type, Kind, FromExpr, ToExpr)        \
  template <>                                                     \
  struct ValueTraits<Type> {                                      \
    static constexpr VbVarType kType = VbVarType::Kind;           \
    static Type From(const Variant& v) { return FromExpr; }       \
    static Variant To(const Type& x) { return ToExpr; }           \
  };
NARWICK_VALUE_TRAITS(Long, vbLong, CLng(v), Variant::FromLong(x))
NARWICK_VALUE_TRAITS(Integer, vbInteger, CInt(v), Variant(x))
NARWICK_VALUE_TRAITS(Byte, vbByte, CByte(v), Variant(x))
NARWICK_VALUE_TRAITS(Single, vbSingle, CSng(v), Variant(x))
NARWICK_VALUE_TRAITS(Double, vbDouble, CDbl(v), Variant(x))
NARWICK_VALUE_TRAITS(VariantBool, vbBoolean, CBool(v), Variant(x))
NARWICK_VALUE_TRAITS(String, vbString, CStr(v), Variant(x))
NARWICK_VALUE_TRAITS(Currency, vbCurrency, CCur(v), Variant(x))
NARWICK_VALUE_TRAITS(Date, vbDate, Date{CDate(v)}, Variant(x))
#undef NARWICK_VALUE_TRAITS

// Enumerations cross the boundary as Long, as a type library declares them.
template <class T>
  requires std::is_enum_v<T>
struct ValueTraits<T> {
  static constexpr VbVarType kType = VbVarType::vbLong;
  static T From(const Variant& v) { return static_cast<T>(CLng(v)); }
  static Variant To(const T& x) { return Variant::FromLong(static_cast<Long>(x)); }
};

template <>
struct ValueTraits<Variant> {
  static constexpr VbVarType kType = VbVarType::vbVariant;
  static Variant To(const Variant& x) { return x; }
};
template <>
struct ValueTraits<Object> {
  static constexpr VbVarType kType = VbVarType::vbObject;
  static Object From(const Variant& v) {
    if (v.IsObject()) return v.Obj();
    if (v.IsEmpty()) return Object();
    Raise(err::kTypeMismatch);
  }
  static Variant To(const Object& x) { return Variant(x); }
};
template <>
struct ValueTraits<SafeArray> {
  static constexpr VbVarType kType = VbVarType::vbArray;
  static Variant To(const SafeArray& x) { return Variant(x); }
};

template <class T>
constexpr VbVarType KindOf() {
  using P = std::remove_cvref_t<T>;
  if constexpr (std::is_void_v<P>) {
    return VbVarType::vbEmpty;
  } else if constexpr (std::is_base_of_v<AutomationObject, P>) {
    return VbVarType::vbObject;
  } else {
    return ValueTraits<P>::kType;
  }
}

template <class Param>
constexpr bool kIsOut =
    std::is_lvalue_reference_v<Param> && !std::is_const_v<std::remove_reference_t<Param>>;

// Holds one argument converted to its parameter's C++ type for the duration of a call,
// and writes a by-reference scalar back to the caller's Variant afterwards.
template <class Param>
class ArgHolder {
  using P = std::remove_cvref_t<Param>;

 public:
  ArgHolder(Variant* slot, const ParamInfo& info) : slot_(slot) {
    const bool missing = slot->IsMissing();
    if (missing && !info.optional) Raise(err::kArgumentNotOptional);
    if constexpr (std::is_same_v<P, Variant>) {
      if (missing && info.default_value) local_ = *info.default_value;
    } else if constexpr (std::is_same_v<P, SafeArray>) {
      if (missing) {
        local_ = Variant(SafeArray());
      } else if (!slot->IsArray()) {
        Raise(err::kTypeMismatch);
      }
    } else if constexpr (std::is_base_of_v<AutomationObject, P>) {
      if (missing || !slot->IsObject()) Raise(err::kTypeMismatch);
      if (slot->Obj().IsNothing()) Raise(err::kObjectVariableNotSet);
      typed_ = slot->Obj().template As<P>();
      if (typed_ == nullptr) Raise(err::kTypeMismatch);
    } else {
      if (missing) {
        value_ = info.default_value ? ValueTraits<P>::From(*info.default_value) : P{};
      } else {
        value_ = ValueTraits<P>::From(*slot);
      }
    }
  }

  Param get() {
    if constexpr (std::is_same_v<P, Variant>) {
      return Target();
    } else if constexpr (std::is_same_v<P, SafeArray>) {
      return Target().Array();
    } else if constexpr (std::is_base_of_v<AutomationObject, P>) {
      return *typed_;
    } else {
      return static_cast<Param>(value_);
    }
  }

  void WriteBack() {
    if constexpr (kIsOut<Param> && !std::is_same_v<P, Variant> && !std::is_same_v<P, SafeArray> &&
                  !std::is_base_of_v<AutomationObject, P>) {
      *slot_ = ValueTraits<P>::To(value_);
    }
  }

 private:
  Variant& Target() { return local_ ? *local_ : *slot_; }

  Variant* slot_;                // the caller's Variant (by reference) or the call's copy
  std::optional<Variant> local_;  // a default value standing in for a left-out argument
  P* typed_ = nullptr;
  std::conditional_t<std::is_same_v<P, Variant> || std::is_same_v<P, SafeArray> ||
                         std::is_base_of_v<AutomationObject, P>,
                     std::monostate, P>
      value_{};
};

template <class R>
Variant ResultToVariant(R&& result) {
  using P = std::remove_cvref_t<R>;
  if constexpr (std::is_same_v<P, Variant>) {
    return std::forward<R>(result);
  } else if constexpr (requires { typename P::element_type; }) {  // shared_ptr<clsX>
    return Variant(MakeObject(std::forward<R>(result)));
  } else {
    return ValueTraits<P>::To(result);
  }
}

template <class Sig>
struct SignatureTraits;
template <class R, class... Ps>
struct SignatureTraits<R(Ps...)> {
  using Result = R;
  static constexpr std::size_t kArity = sizeof...(Ps);
  using Params = std::tuple<Ps...>;
};
template <class R, class... Ps>
struct SignatureTraits<R(Ps...) const> : SignatureTraits<R(Ps...)> {};

template <class C, class Fn, class R, class... Ps, std::size_t... I>
Variant InvokeWith(C& self, Fn fn, std::span<Variant* const> slots,
                   const std::vector<ParamInfo>& params, std::index_sequence<I...>) {
  (void)slots;  // members without parameters use neither
  (void)params;
  // Holders are built left to right (braced init), as Automation coerces arguments in order.
  std::tuple<ArgHolder<Ps>...> holders{ArgHolder<Ps>(slots[I], params[I])...};
  if constexpr (std::is_void_v<R>) {
    (self.*fn)(std::get<I>(holders).get()...);
    (std::get<I>(holders).WriteBack(), ...);
    return Variant();
  } else {
    Variant result = ResultToVariant((self.*fn)(std::get<I>(holders).get()...));
    (std::get<I>(holders).WriteBack(), ...);
    return result;
  }
}

template <class Sig>
struct StripConst {
  using type = Sig;
};
template <class R, class... Ps>
struct StripConst<R(Ps...) const> {
  using type = R(Ps...);
};

template <class C, class Sig>
Invoker MakeInvoker(Sig C::*fn, std::vector<ParamInfo> params) {
  return [fn, params = std::move(params)](AutomationObject& self,
                                          std::span<Variant* const> slots) -> Variant {
    return [&]<class R, class... Ps>(std::type_identity<R(Ps...)>) {
      return InvokeWith<C, Sig C::*, R, Ps...>(static_cast<C&>(self), fn, slots, params,
                                               std::index_sequence_for<Ps...>{});
    }(std::type_identity<typename StripConst<Sig>::type>{});
  };
}

template <class Sig>
std::vector<ParamInfo> DescribeParams(std::initializer_list<ParamSpec> declared) {
  using Plain = typename StripConst<Sig>::type;
  std::vector<ParamInfo> params;
  [&]<class R, class... Ps>(std::type_identity<R(Ps...)>) {
    if (declared.size() != sizeof...(Ps)) {
      throw std::logic_error("member table: parameter names do not match the signature");
    }
    auto entry = declared.begin();
    ((params.push_back(ParamInfo{entry->name, KindOf<Ps>(), kIsOut<Ps>, entry->optional,
                                 entry->default_value}),
      ++entry),
     ...);
  }(std::type_identity<Plain>{});
  return params;
}

}  // namespace detail

template <class C>
class MemberTable {
 public:
  explicit MemberTable(std::string class_name) : class_name_(std::move(class_name)) {}

  template <class Sig>
  MemberTable& Method(std::string name, Sig C::*fn, std::initializer_list<ParamSpec> params = {}) {
    return Add(std::move(name), MemberKind::kMethod, fn, params);
  }
  template <class Sig>
  MemberTable& Get(std::string name, Sig C::*fn, std::initializer_list<ParamSpec> params = {}) {
    return Add(std::move(name), MemberKind::kPropertyGet, fn, params);
  }
  template <class Sig>
  MemberTable& Let(std::string name, Sig C::*fn, std::initializer_list<ParamSpec> params) {
    return Add(std::move(name), MemberKind::kPropertyLet, fn, params);
  }
  template <class Sig>
  MemberTable& Set(std::string name, Sig C::*fn, std::initializer_list<ParamSpec> params) {
    return Add(std::move(name), MemberKind::kPropertySet, fn, params);
  }
  // Marks the name of the member added last as the default member (dispatch id 0).
  MemberTable& Default() {
    default_name_ = members_.back().name;
    return *this;
  }
  // An event of the class's outgoing interface; every event parameter is by reference.
  MemberTable& Event(std::string name, Long dispid,
                     std::initializer_list<std::pair<const char*, VbVarType>> params) {
    EventInfo event{std::move(name), dispid, {}};
    for (const auto& [param_name, kind] : params) {
      event.params.push_back(ParamInfo{param_name, kind, true, false, std::nullopt});
    }
    events_.push_back(std::move(event));
    return *this;
  }

  ClassInfo Build() {
    // Dispatch ids: one per distinct name, in table order, as a type library numbers them.
    std::vector<std::string> names;
    for (auto& member : members_) {
      std::size_t ordinal = 0;
      while (ordinal < names.size() && !SameName(names[ordinal], member.name)) ++ordinal;
      if (ordinal == names.size()) names.push_back(member.name);
      member.dispid = (!default_name_.empty() && SameName(member.name, default_name_))
                          ? 0
                          : static_cast<Long>(0x60030000 + ordinal);
    }
    return ClassInfo(class_name_, std::move(members_), std::move(events_));
  }

 private:
  template <class Sig>
  MemberTable& Add(std::string name, MemberKind kind, Sig C::*fn,
                   std::initializer_list<ParamSpec> declared) {
    using Plain = typename detail::StripConst<Sig>::type;
    MemberInfo member;
    member.name = std::move(name);
    member.kind = kind;
    member.params = detail::DescribeParams<Sig>(declared);
    member.result = detail::KindOf<typename detail::SignatureTraits<Plain>::Result>();
    member.invoke = detail::MakeInvoker<C, Sig>(fn, member.params);
    members_.push_back(std::move(member));
    return *this;
  }

  static bool SameName(const std::string& a, const std::string& b);

  std::string class_name_;
  std::string default_name_;
  std::vector<MemberInfo> members_;
  std::vector<EventInfo> events_;
};

// ASCII case-insensitive name equality, as Automation matches member names.
bool NamesEqual(std::string_view a, std::string_view b);

template <class C>
bool MemberTable<C>::SameName(const std::string& a, const std::string& b) {
  return NamesEqual(a, b);
}

}  // namespace narwick::frame
