// Runs the built narwick tool as a user would, for end-to-end tests of its subcommands.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace narwick::testing {

struct ToolResult {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `narwick args...` with `input` on standard input (not a terminal), `env` entries
// ("NAME=value") added to the environment, in folder `cwd` when one is given.
ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "",
                   const std::vector<std::string>& env = {}, const std::string& cwd = "");

// Starts `narwick args...` without waiting (standard streams on /dev/null), for tests that
// signal it; the caller waits for it.
pid_t StartTool(const std::vector<std::string>& args);

}  // namespace narwick::testing
