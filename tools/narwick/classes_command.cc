// narwick classes: the creatable classes with their ProgIDs, GUIDs and members.
#include <cstdio>
#include <string>

#include "command.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/object.h"

namespace narwick::cli::classes_command {
namespace {

const char* KindName(frame::MemberKind kind) {
  switch (kind) {
    case frame::MemberKind::kMethod: return "method";
    case frame::MemberKind::kPropertyGet: return "get";
    case frame::MemberKind::kPropertyLet: return "let";
    case frame::MemberKind::kPropertySet: return "set";
  }
  return "?";
}

void Setup(CLI::App& app, int& exit_code) {
  auto* cmd = app.add_subcommand("classes", "List the creatable classes; with --members, their members");
  static bool show_members = false;
  cmd->add_flag("--members", show_members, "also list each available class's members and events");
  cmd->callback([&exit_code] {
    for (const auto& record : ClassTable()) {
      bool available = IsClassAvailable(record.progid);
      std::printf("%-30s %s%s\n", std::string(record.progid).c_str(),
                  std::string(record.clsid).c_str(), available ? "" : "  (not available)");
      if (!show_members || !available) continue;
      Object object = CreateObject(record.progid);
      const auto& info = object.get()->TypeInfo();
      for (const auto& member : info.members()) {
        std::string params;
        for (const auto& p : member.params) {
          if (!params.empty()) params += ", ";
          // Appended piece by piece: GCC 12 at -O3 wrongly reports "[" + std::string(...) as
          // an overlapping copy.
          if (p.optional) params += '[';
          if (p.by_ref) params += "ByRef ";
          params += p.name;
          if (p.optional) params += ']';
        }
        std::printf("    %-6s %s(%s)\n", KindName(member.kind), member.name.c_str(), params.c_str());
      }
      for (const auto& event : info.events()) {
        std::printf("    event  %s (dispid %d)\n", event.name.c_str(), event.dispid);
      }
    }
    exit_code = kExitSuccess;
  });
}

}  // namespace
}  // namespace narwick::cli::classes_command

NARWICK_COMMAND(classes, narwick::cli::classes_command::Setup);
