// narwick: the command-line tool over the library. Subcommands register themselves
// (see command.h); this file parses, dispatches and turns failures into exit statuses.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/error.h"
#include "narwick/frame/variant.h"

namespace narwick::cli {

namespace {

struct Registered {
  std::string name;
  CommandSetup setup;
};

std::vector<Registered>& Commands() {
  static std::vector<Registered> commands;
  return commands;
}

std::string VersionText() {
  const auto& lib = TypeLibrary();
  return "narwick " + std::string(lib.file_version) + "\n" + "type library " +
         std::string(lib.name) + " " + std::to_string(lib.major_version) + "." +
         std::to_string(lib.minor_version) + " " + std::string(lib.guid) + "\n" +
         ToUtf8(lib.help_string);
}

}  // namespace

bool RegisterCommand(const char* name, CommandSetup setup) {
  Commands().push_back({name, setup});
  return true;
}

}  // namespace narwick::cli

int main(int argc, char** argv) {
  using namespace narwick::cli;
  CLI::App app{
      "narwick: LZ, Huffman and RC4 file jobs, list files, case formatting, registry store,\n"
      "and system queries, over the Narwick utility classes."};
  app.set_version_flag("--version", VersionText());
  app.require_subcommand(1);
  app.fallthrough();

  int exit_code = kExitSuccess;
  auto& commands = Commands();
  std::sort(commands.begin(), commands.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& command : commands) command.setup(app, exit_code);
  // Set after the subcommands, which would otherwise inherit it.
  app.footer("Exit status: 0 success, 1 failure (one message on standard error), 2 usage error.\n"
             "narwick SUBCOMMAND --help explains each subcommand.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  } catch (const Failure& e) {
    std::fprintf(stderr, "narwick: %s\n", e.what());
    return kExitFailure;
  } catch (const narwick::RuntimeError& e) {
    std::fprintf(stderr, "narwick: %s (run-time error %d)\n",
                 narwick::ToUtf8(e.description()).c_str(), e.number());
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "narwick: %s\n", e.what());
    return kExitFailure;
  }
  // Output lost to a full disk must not pass for success; stdio reports it only here.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "narwick: cannot write standard output\n");
    return kExitFailure;
  }
  return exit_code;
}
