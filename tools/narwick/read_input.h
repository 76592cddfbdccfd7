// Whole input files for the subcommands that parse them in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace narwick::cli {

// The bytes of `path`, or of standard input when it is "-". Throws Failure for a folder
// (naming `kind`, what the file should have been) and for a file that cannot be read.
std::vector<std::uint8_t> ReadInputFile(const std::string& path, const char* kind);

}  // namespace narwick::cli
