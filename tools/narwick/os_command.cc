// narwick os: what clsOS reports for the running system.
#include <cstdio>
#include <string>

#include "command.h"
#include "narwick/frame/variant.h"
#include "narwick/system/os.h"

namespace narwick::cli::os_command {
namespace {

const char* NameText(OPERATING_SYSTEM name) {
  switch (name) {
    case OPERATING_SYSTEM::WINDOWS95: return "WINDOWS95";
    case OPERATING_SYSTEM::WINDOWS98: return "WINDOWS98";
    case OPERATING_SYSTEM::WINDOWSME: return "WINDOWSME";
    case OPERATING_SYSTEM::WINDOWSNT351: return "WINDOWSNT351";
    case OPERATING_SYSTEM::WINDOWSNT400: return "WINDOWSNT400";
    case OPERATING_SYSTEM::WINDOWS2000: return "WINDOWS2000";
    case OPERATING_SYSTEM::WINDOWSXP: return "WINDOWSXP";
    case OPERATING_SYSTEM::WINDOWSSERVER2003: return "WINDOWSSERVER2003";
    case OPERATING_SYSTEM::WINDOWSVISTA: return "WINDOWSVISTA";
    case OPERATING_SYSTEM::WINDOWSSERVER2008: return "WINDOWSSERVER2008";
    case OPERATING_SYSTEM::WINDOWS7: return "WINDOWS7";
    case OPERATING_SYSTEM::UNKNOWN: return "UNKNOWN";
  }
  return "UNKNOWN";
}

void Setup(CLI::App& app, int& exit_code) {
  auto* os = app.add_subcommand(
      "os", "The operating-system version as clsOS reports it (on Linux, from the kernel release)");
  os->callback([&exit_code] {
    clsOS info;
    const OPERATING_SYSTEM name = info.Name();
    std::printf("Name:                   %s (%d)\n", NameText(name), static_cast<int>(name));
    std::printf("Major:                  %d\n", info.Major());
    std::printf("Minor:                  %d\n", info.Minor());
    std::printf("Build:                  %d\n", info.Build());
    std::printf("ServicePack:            \"%s\"\n", ToUtf8(info.ServicePack()).c_str());
    std::printf("ServicePackMajor:       %d\n", info.ServicePackMajor());
    std::printf("ServicePackMinor:       %d\n", info.ServicePackMinor());
    std::printf("isServicePackInstalled: %s\n", info.isServicePackInstalled() ? "True" : "False");
    exit_code = kExitSuccess;
  });
}

}  // namespace
}  // namespace narwick::cli::os_command

NARWICK_COMMAND(os, narwick::cli::os_command::Setup);
