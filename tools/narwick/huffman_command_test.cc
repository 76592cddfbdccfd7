// End-to-end tests of `narwick huffman`: exit statuses, messages, no partial output on
// failure, silence when standard error is not a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "testing/test_support.h"
#include "tool_runner.h"
#include "tool_test_folder.h"

namespace narwick::testing {
namespace {

class HuffmanCommandTest : public ToolFolderTest {
 protected:
  static std::string Sample(std::size_t size) {
    std::mt19937 rng(8);
    std::string s;
    while (s.size() < size) s += "entry " + std::to_string(rng() % 900) + ", ";
    s.resize(size);
    return s;
  }
};

TEST_F(HuffmanCommandTest, CompressAndDecompressRoundTripSilently) {
  const std::string data = Sample(50000);
  Write("in.txt", data);
  ToolResult c = RunTool({"huffman", "compress", File("in.txt"), File("in.he3")});
  EXPECT_EQ(c.exit_code, 0) << c.err;
  EXPECT_EQ(c.err, "");  // no progress bar: standard error is not a terminal
  EXPECT_EQ(Read("in.he3").substr(0, 4), "HE3\r");
  ToolResult d = RunTool({"huffman", "decompress", "--quiet", File("in.he3"), File("back.txt")});
  EXPECT_EQ(d.exit_code, 0) << d.err;
  EXPECT_EQ(Read("back.txt"), data);
  EXPECT_EQ(Entries(), 3u);  // no temporary files left behind

  ToolResult info = RunTool({"huffman", "info", File("in.he3")});
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_NE(info.out.find("format:          HE3 Huffman block"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("stored length:   50000 bytes"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("checksum:        0x"), std::string::npos) << info.out;
}

// Bare file names, run in their folder: the class checks the source's folder, which a bare
// name does not give.
TEST_F(HuffmanCommandTest, BareFileNamesInTheCurrentFolderWork) {
  const std::string data = Sample(20000);
  Write("plain.txt", data);
  const std::string here = folder_.path().string();
  ToolResult c = RunTool({"huffman", "compress", "plain.txt", "plain.he3"}, "", {}, here);
  EXPECT_EQ(c.exit_code, 0) << c.err;
  ToolResult d = RunTool({"huffman", "decompress", "plain.he3", "back.txt"}, "", {}, here);
  EXPECT_EQ(d.exit_code, 0) << d.err;
  EXPECT_EQ(Read("back.txt"), data);
  ToolResult missing = RunTool({"huffman", "compress", "nothing.txt", "x.he3"}, "", {}, here);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "narwick: The file to be compressed could not be found at 'nothing.txt'\n");
}

TEST_F(HuffmanCommandTest, MissingInputFailsWithTheClassMessage) {
  ToolResult r = RunTool({"huffman", "compress", File("nothing"), File("out.he3")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "narwick: The file to be compressed could not be found at '" + File("nothing") + "'\n");
  EXPECT_EQ(Entries(), 0u);
}

TEST_F(HuffmanCommandTest, BadBlockLeavesTheExistingTargetAndNoPartialFile) {
  Write("bad.he3", "HE3\r garbage that is not a block");
  Write("target.txt", "precious");
  ToolResult r = RunTool({"huffman", "decompress", File("bad.he3"), File("target.txt")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.rfind("narwick: There was an error while trying to decompress the file: ", 0), 0u) << r.err;
  EXPECT_EQ(Read("target.txt"), "precious");
  EXPECT_EQ(Entries(), 2u);
}

TEST_F(HuffmanCommandTest, StoredFormAndUsageErrors) {
  Write("same.bin", std::string(3000, 'x'));
  ASSERT_EQ(RunTool({"huffman", "compress", "-q", File("same.bin"), File("same.he3")}).exit_code, 0);
  EXPECT_EQ(Read("same.he3"), "HE0\r" + std::string(3000, 'x'));
  ToolResult info = RunTool({"huffman", "info", File("same.he3")});
  EXPECT_NE(info.out.find("HE0 stored form"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("stored length:   3000 bytes"), std::string::npos) << info.out;
  ToolResult not_a_block = RunTool({"huffman", "info", File("same.bin")});
  EXPECT_EQ(not_a_block.exit_code, 1);
  EXPECT_EQ(not_a_block.out, "");  // no description begun for what is not a block
  // The class checks its source's folder; the destination's is checked here and named.
  ToolResult no_folder = RunTool({"huffman", "compress", File("same.bin"), File("absent/out.he3")});
  EXPECT_EQ(no_folder.exit_code, 1);
  EXPECT_NE(no_folder.err.find("the folder '" + File("absent") + "'"), std::string::npos) << no_folder.err;
  EXPECT_EQ(RunTool({"huffman", "compress", File("same.bin")}).exit_code, 2);
}

}  // namespace
}  // namespace narwick::testing
