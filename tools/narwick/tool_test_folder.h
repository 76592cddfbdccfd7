// A test fixture for the tool's end-to-end tests: a private folder with short verbs to write,
// read and count its files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "testing/test_support.h"

namespace narwick::testing {

class ToolFolderTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return (folder_.path() / name).string(); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(File(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }
  // How many entries the folder holds (to see that no temporary file was left behind).
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_.path()), {}));
  }

  TempFolder folder_;
};

}  // namespace narwick::testing
