// Member tables: what late-bound dispatch knows of a class (names, kinds, parameters).
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick::frame {

// The invoke kinds, with the values of the Automation DISPATCH_ flags.
enum class MemberKind : std::uint8_t {
  kMethod = 1,
  kPropertyGet = 2,
  kPropertyLet = 4,
  kPropertySet = 8,
};

struct ParamInfo {
  std::string name;
  VbVarType type = VbVarType::vbVariant;  // declared type; vbArray | element for arrays
  bool by_ref = false;                    // the member may change the caller's variable
  bool optional = false;
  std::optional<Variant> default_value;
};

// Invokes a member: one slot per declared parameter, each pointing at the caller's Variant
// (by reference) or a copy (by value); a slot holding Missing stands for a left-out argument.
using Invoker = std::function<Variant(AutomationObject&, std::span<Variant* const>)>;

struct MemberInfo {
  std::string name;
  MemberKind kind = MemberKind::kMethod;
  Long dispid = 0;
  std::vector<ParamInfo> params;  // for property let / set the last one is the value
  VbVarType result = VbVarType::vbEmpty;  // vbEmpty: no result
  Invoker invoke;
};

struct EventInfo {
  std::string name;
  Long dispid = 0;
  std::vector<ParamInfo> params;
};

class ClassInfo {
 public:
  ClassInfo(std::string name, std::vector<MemberInfo> members, std::vector<EventInfo> events = {});

  const std::string& name() const { return name_; }
  std::string default_interface() const { return "_" + name_; }
  std::string event_interface() const { return events_.empty() ? std::string() : "__" + name_; }
  std::span<const MemberInfo> members() const { return members_; }
  std::span<const EventInfo> events() const { return events_; }

  // The member of that name (case-insensitive) and kind, or null.
  const MemberInfo* Find(std::string_view name, MemberKind kind) const;
  bool HasName(std::string_view name) const;
  // The default member (dispatch id 0) read as a property, or null.
  const MemberInfo* DefaultGet() const;

 private:
  std::string name_;
  std::vector<MemberInfo> members_;
  std::vector<EventInfo> events_;
};

}  // namespace narwick::frame
