// Member tables: lookups by name and kind.
#include "narwick/frame/dispatch.h"

#include <algorithm>

#include "member_table.h"

namespace narwick::frame {

bool NamesEqual(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

ClassInfo::ClassInfo(std::string name, std::vector<MemberInfo> members, std::vector<EventInfo> events)
    : name_(std::move(name)), members_(std::move(members)), events_(std::move(events)) {}

const MemberInfo* ClassInfo::Find(std::string_view name, MemberKind kind) const {
  for (const auto& member : members_) {
    if (member.kind == kind && NamesEqual(member.name, name)) return &member;
  }
  return nullptr;
}

bool ClassInfo::HasName(std::string_view name) const {
  return std::ranges::any_of(members_, [&](const MemberInfo& m) { return NamesEqual(m.name, name); });
}

const MemberInfo* ClassInfo::DefaultGet() const {
  for (const auto& member : members_) {
    if (member.dispid == 0 &&
        (member.kind == MemberKind::kPropertyGet || member.kind == MemberKind::kMethod)) {
      return &member;
    }
  }
  return nullptr;
}

}  // namespace narwick::frame
