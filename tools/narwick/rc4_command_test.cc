// End-to-end tests of `narwick rc4` and `narwick os`: key sources, round trips, exit
// statuses, no partial output, --delete-source.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "testing/test_support.h"
#include "tool_runner.h"
#include "tool_test_folder.h"

namespace narwick::testing {
namespace {

namespace fs = std::filesystem;

class Rc4CommandTest : public ToolFolderTest {
 protected:
  void SetUp() override { Write("key.txt", "Key\n"); }

  static std::string Random(std::size_t size) {
    std::mt19937 rng(6229);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
  }
  ToolResult Rc4(const std::string& verb, const std::string& in, const std::string& out,
                 std::vector<std::string> extra = {"--key-file"}, const std::vector<std::string>& env = {}) {
    std::vector<std::string> args = {"rc4", verb, File(in), File(out)};
    if (extra.size() == 1 && extra[0] == "--key-file") extra.push_back(File("key.txt"));
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(args, "", env);
  }

};

TEST_F(Rc4CommandTest, PublishedVectorWithTheKeyFromAFile) {
  Write("p.txt", "Plaintext");
  ToolResult r = Rc4("encrypt", "p.txt", "p.enc");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // "Key" without the file's line end.
  EXPECT_EQ(Read("p.enc"), "\xBB\xF3\x16\xE8\xD9\x40\xAF\x0A\xD3");
  EXPECT_EQ(Read("p.txt"), "Plaintext");  // kept without --delete-source
}

TEST_F(Rc4CommandTest, RoundTripWithTheKeyFromTheEnvironment) {
  const std::string data = Random(300000);
  Write("plain.bin", data);
  ASSERT_EQ(Rc4("encrypt", "plain.bin", "c.bin").exit_code, 0);
  EXPECT_EQ(Read("c.bin").size(), data.size());
  EXPECT_NE(Read("c.bin"), data);
  ToolResult r = Rc4("decrypt", "c.bin", "back.bin", {"--key-env", "NARWICK_TEST_KEY"}, {"NARWICK_TEST_KEY=Key"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Read("back.bin"), data);
  EXPECT_EQ(Entries(), 4u);  // key, plain, cipher, back: no temporary files left
}

TEST_F(Rc4CommandTest, ReplacesALongerOutputAndWorksInPlace) {
  const std::string data = Random(5000);
  Write("plain.bin", data);
  ASSERT_EQ(Rc4("encrypt", "plain.bin", "c.bin").exit_code, 0);
  Write("long.bin", std::string(90000, 'x'));
  EXPECT_EQ(Rc4("decrypt", "c.bin", "long.bin").exit_code, 0);
  EXPECT_EQ(Read("long.bin"), data);
  fs::copy_file(File("c.bin"), File("same.bin"));
  EXPECT_EQ(Rc4("decrypt", "same.bin", "same.bin").exit_code, 0);
  EXPECT_EQ(Read("same.bin"), data);
}

TEST_F(Rc4CommandTest, DeleteSourceRemovesTheInputAfterSuccess) {
  Write("del.bin", "some data");
  ToolResult r = Rc4("encrypt", "del.bin", "del.enc", {"--key-file", File("key.txt"), "--delete-source"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(Exists("del.bin"));
  EXPECT_EQ(Read("del.enc").size(), 9u);
  // Not when the input is the output.
  Write("same.bin", "other data");
  r = Rc4("encrypt", "same.bin", "same.bin", {"--key-file", File("key.txt"), "--delete-source"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Read("same.bin").size(), 10u);
}

TEST_F(Rc4CommandTest, FailuresLeaveNoOutput) {
  Write("c.bin", "cipher");
  fs::create_directory(File("adir"));
  const std::size_t before = Entries();
  ToolResult r = Rc4("decrypt", "absent.bin", "out.bin");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("absent.bin"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists("absent.bin"));  // the class would have created it
  EXPECT_EQ(Rc4("decrypt", "c.bin", "out.bin", {"--key-file", File("nokey.txt")}).exit_code, 1);
  ToolResult folder_key = Rc4("decrypt", "c.bin", "out.bin", {"--key-file", File("adir")});
  EXPECT_EQ(folder_key.exit_code, 1);
  EXPECT_EQ(folder_key.err, "narwick: the key file " + File("adir") + " is a folder\n");
  EXPECT_EQ(Rc4("decrypt", "c.bin", "no/such/out.bin").exit_code, 1);
  EXPECT_EQ(Rc4("decrypt", "adir", "out.bin").exit_code, 1);
  EXPECT_EQ(Entries(), before);
}

TEST_F(Rc4CommandTest, KeyProblemsAreUsageErrors) {
  Write("c.bin", "cipher");
  Write("empty.key", "");
  const std::size_t before = Entries();
  // Standard input is not a terminal, so there is no prompt to fall back on.
  ToolResult r = Rc4("decrypt", "c.bin", "out.bin", {});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("--key-file"), std::string::npos) << r.err;
  EXPECT_EQ(Rc4("decrypt", "c.bin", "out.bin", {"--key-env", "NARWICK_NO_SUCH_KEY_VARIABLE"}).exit_code, 2);
  EXPECT_EQ(Rc4("decrypt", "c.bin", "out.bin", {"--key-file", File("empty.key")}).exit_code, 2);
  EXPECT_EQ(Rc4("decrypt", "c.bin", "out.bin", {"--key-file", File("key.txt"), "--key-env", "HOME"}).exit_code, 2);
  EXPECT_EQ(RunTool({"rc4", "encrypt"}).exit_code, 2);
  EXPECT_EQ(RunTool({"rc4", "decrypt", File("c.bin"), File("out.bin"), "--delete-source"}).exit_code, 2);
  EXPECT_EQ(Entries(), before);
}

// Key bytes that are not UTF-8 are Windows-1252: 0xE9 and the UTF-8 "é" are one key.
TEST_F(Rc4CommandTest, KeyTextIsUtf8ElseWindows1252) {
  Write("p.txt", "Plaintext");
  Write("latin.key", "\xE9");
  Write("utf8.key", "\xC3\xA9");
  ASSERT_EQ(Rc4("encrypt", "p.txt", "a.enc", {"--key-file", File("latin.key")}).exit_code, 0);
  ASSERT_EQ(Rc4("encrypt", "p.txt", "b.enc", {"--key-file", File("utf8.key")}).exit_code, 0);
  EXPECT_EQ(Read("a.enc"), Read("b.enc"));
  ASSERT_EQ(Rc4("encrypt", "p.txt", "c.enc").exit_code, 0);
  EXPECT_NE(Read("a.enc"), Read("c.enc"));
}

TEST(OsCommandTest, PrintsEveryPropertyWithTheKernelNumbers) {
  ToolResult r = RunTool({"os"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* name : {"Name:", "Major:", "Minor:", "Build:", "ServicePack:", "ServicePackMajor:",
                           "ServicePackMinor:", "isServicePackInstalled:"}) {
    EXPECT_NE(("\n" + r.out).find(std::string("\n") + name), std::string::npos) << name << " in " << r.out;
  }
  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  const std::string release = names.release;
  const std::string major = release.substr(0, release.find('.'));
  EXPECT_NE(r.out.find("Major:                  " + major + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ServicePack:            \"\""), std::string::npos) << r.out;
}

}  // namespace
}  // namespace narwick::testing
