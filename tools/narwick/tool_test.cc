// End-to-end tests of the tool's frame: help, version, usage errors, lost output, the class
// listing, and the window and network subcommands (no display and a local address only).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/test_support.h"
#include "tool_runner.h"

namespace narwick::testing {
namespace {

TEST(ToolTest, HelpListsSubcommandsAndSucceeds) {
  ToolResult r = RunTool({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("classes"), std::string::npos);
  EXPECT_NE(r.out.find("window"), std::string::npos);
}

TEST(ToolTest, VersionShowsTheTypeLibraryIdentity) {
  ToolResult r = RunTool({"--version"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("5.0.0.457"), std::string::npos);
  EXPECT_NE(r.out.find("Narwick 2.0"), std::string::npos);
  EXPECT_NE(r.out.find("Corvane\u00ae Utilities Control 5.0"), std::string::npos);
}

TEST(ToolTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunTool({}).exit_code, 2);
  EXPECT_EQ(RunTool({"no-such-command"}).exit_code, 2);
  EXPECT_EQ(RunTool({"window", "opacity"}).exit_code, 2);
  EXPECT_EQ(RunTool({"window", "opacity", "0x10", "999"}, "", {"DISPLAY=:9999"}).exit_code, 2);
}

TEST(ToolTest, ClassesListsAllThirteenWithTheirGuids) {
  ToolResult r = RunTool({"classes"});
  EXPECT_EQ(r.exit_code, 0);
  int lines = 0;
  for (char c : r.out) lines += c == '\n';
  EXPECT_EQ(lines, 13);
  EXPECT_NE(r.out.find("Narwick.clsNetConnect          {2EC77B88-F943-4BAA-A150-6F72F2956729}"), std::string::npos);

  ToolResult members = RunTool({"classes", "--members"});
  EXPECT_EQ(members.exit_code, 0);
  for (const char* line : {"\n    get    CompareMode()\n    let    CompareMode(lngCompareMode)\n",
                           "\n    set    KnownTestSites(NewVal)\n",
                           "\n    method getLinkedListFromString(linkListString, [emptyListFirst])\n",
                           "\n    method printArray(ByRef sortedArray)\n",
                           "\n    event  FileProgress (dispid 1)\n"}) {
    EXPECT_NE(members.out.find(line), std::string::npos) << line;
  }
}

TEST(ToolTest, OutputLostToAFullDiskIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempFolder folder;
  const std::string err = (folder.path() / "err").string();
  const int status = std::system(("'" NARWICK_TOOL_PATH "' classes >/dev/full 2>'" + err + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::ifstream in(err);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "narwick: cannot write standard output\n");
}

// The file jobs refuse a folder as their output, by the name given ("DIR/." too, where a
// rename would only say that the folder is busy), and put nothing in it.
TEST(ToolTest, AFolderIsNoOutputFile) {
  TempFolder folder;
  const std::string out = (folder.path() / "out").string();
  std::filesystem::create_directory(out);
  const std::string in = (folder.path() / "in.txt").string();
  std::ofstream(in) << "some text";
  const std::string key = (folder.path() / "key").string();
  std::ofstream(key) << "k";
  for (const std::string& target : {out, out + "/."}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"lz", "compress", in, target},
                                                  {"huffman", "compress", in, target},
                                                  {"rc4", "encrypt", in, target, "--key-file", key}}) {
      ToolResult r = RunTool(args);
      EXPECT_EQ(r.exit_code, 1) << args[0];
      EXPECT_EQ(r.err, "narwick: '" + target + "' is a folder\n") << args[0];
      EXPECT_TRUE(std::filesystem::is_empty(out)) << args[0];
    }
  }
}

TEST(ToolTest, WindowWithoutADisplayFailsWithAMessage) {
  ToolResult r = RunTool({"window", "opaque", "0x400001"}, "", {"DISPLAY=:9999"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("window system could not be reached"), std::string::npos);
  EXPECT_EQ(RunTool({"window", "status", "not-an-id"}).exit_code, 1);
  // Not "opaque" with success: a script could not tell that from a real answer.
  ToolResult status = RunTool({"window", "status", "0x400001"}, "", {"DISPLAY=:9999"});
  EXPECT_EQ(status.exit_code, 1);
  EXPECT_EQ(status.out, "");
  EXPECT_NE(status.err.find("window system could not be reached"), std::string::npos) << status.err;
}

TEST(ToolTest, NetWithAnUnreachableLocalSiteReportsItsState) {
  // Port 1 on loopback: nothing listens, and nothing leaves the machine.
  ToolResult r = RunTool({"net", "--site", "http://127.0.0.1:1/"});
  EXPECT_NE(r.out.find("connected:"), std::string::npos);
  EXPECT_NE(r.out.find("description:"), std::string::npos);
  EXPECT_EQ(r.exit_code, r.out.find("connected:   yes") != std::string::npos ? 0 : 1);
}

}  // namespace
}  // namespace narwick::testing
