// Helpers shared by the tests of every subsystem.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "narwick/frame/error.h"
#include "narwick/frame/variant.h"

namespace narwick {

// gtest printing of library values.
void PrintTo(const Variant& v, std::ostream* os);
void PrintTo(const String& s, std::ostream* os);

namespace testing {

// A fresh folder under the system temp folder, removed with everything in it at scope end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // The path of a file inside the folder, as a library String.
  String File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// The folder of golden files (testdata/), from NARWICK_TESTDATA or the source tree.
std::filesystem::path TestDataDir();

// How many random cases a long differential test runs: all of them in an ordinary build, a
// quarter under the sanitizers, where the point is memory and undefined-behaviour faults on
// a broad sample rather than more differences (the ordinary build runs every case).
constexpr int Scaled(int cases) {
#ifdef NARWICK_SANITIZED
  return cases / 4 > 0 ? cases / 4 : 1;
#else
  return cases;
#endif
}

}  // namespace testing
}  // namespace narwick

// Expects `statement` to raise run-time error `number`.
#define EXPECT_RUNTIME_ERROR(statement, expected_number)                                       \
  do {                                                                                        \
    try {                                                                                     \
      statement;                                                                              \
      ADD_FAILURE() << "expected run-time error " << (expected_number) << " from " #statement; \
    } catch (const ::narwick::RuntimeError& narwick_error) {                                  \
      EXPECT_EQ(narwick_error.number(), (expected_number))                                    \
          << ::narwick::ToUtf8(narwick_error.description());                                  \
    }                                                                                         \
  } while (0)
