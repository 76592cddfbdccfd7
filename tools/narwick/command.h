// Subcommands of the narwick tool register themselves: one file per subcommand, each with
// NARWICK_COMMAND(name, setup), listed in this folder's CMakeLists.txt. Each file keeps its
// code in a namespace of its own, narwick::cli::<name>_command: the tool's files are compiled
// a few at a time as one, where two files' private helpers of the same name would collide.
#pragma once

#include <CLI/CLI.hpp>

#include <stdexcept>
#include <string>

namespace narwick::cli {

// Exit statuses scripts can rely on.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Adds the subcommand to `app`. Its callback stores its exit status in `exit_code`.
using CommandSetup = void (*)(CLI::App& app, int& exit_code);

bool RegisterCommand(const char* name, CommandSetup setup);

// A failure the tool reports as "narwick: <message>" with exit status 1.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace narwick::cli

#define NARWICK_COMMAND(name, setup) \
  [[maybe_unused]] static const bool narwick_command_##name = ::narwick::cli::RegisterCommand(#name, setup)
