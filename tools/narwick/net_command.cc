// narwick net: the connection state, kind and description as clsNetConnect reports them.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/system/net_connect.h"

namespace narwick::cli::net_command {
namespace {

void Setup(CLI::App& app, int& exit_code) {
  auto* net = app.add_subcommand(
      "net", "Internet connection state: connected, kind flags and description (exit status 0 when connected, 1 when not)");
  static std::vector<std::string> sites;
  net->add_option("--site", sites, "a URL to probe instead of the default test sites (repeatable)");
  net->callback([&exit_code] {
    auto connection = std::make_shared<clsNetConnect>();
    if (!sites.empty()) {
      auto replaced = std::make_shared<Collection>();
      for (const auto& url : sites) replaced->Add(FromUtf8(url));
      connection->KnownTestSites(MakeObject(replaced));
    }
    bool connected = static_cast<bool>(connection->Connected());
    Long mode = connection->ConnectMode();
    String description = connection->ConnectModeDesc();
    std::printf("connected:   %s\nmode:        %d\ndescription: %s\n", connected ? "yes" : "no", mode,
                ToUtf8(description).c_str());
    exit_code = connected ? kExitSuccess : kExitFailure;
  });
}

}  // namespace
}  // namespace narwick::cli::net_command

NARWICK_COMMAND(net, narwick::cli::net_command::Setup);
