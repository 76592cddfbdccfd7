#include "read_input.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "command.h"

namespace narwick::cli {

std::vector<std::uint8_t> ReadInputFile(const std::string& path, const char* kind) {
  const bool from_stdin = path == "-";
  std::ifstream file;
  if (!from_stdin) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw Failure(path + " is a folder, not " + kind);
    file.open(path, std::ios::binary);
    if (!file) throw Failure("cannot open " + path);
  }
  std::istream& in = from_stdin ? std::cin : file;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw Failure(from_stdin ? std::string("cannot read standard input") : "cannot read " + path);
  return bytes;
}

}  // namespace narwick::cli
