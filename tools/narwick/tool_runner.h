// Runs the built narwick tool as a user would, for end-to-end tests of its subcommands.
#pragma once

#include <string>
#include <vector>

namespace narwick::testing {

struct ToolResult {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `narwick args...` with `input` on standard input (not a terminal) and `env` entries
// ("NAME=value") added to the environment.
ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "",
                   const std::vector<std::string>& env = {});

}  // namespace narwick::testing
