// End-to-end tests of `narwick list`: the golden record file shown in every format, conversion
// both ways back to the same bytes, and bad input refused with a message and no output.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/test_support.h"
#include "tool_runner.h"
#include "tool_test_folder.h"

namespace narwick::testing {
namespace {

class ListCommandTest : public ToolFolderTest {
 protected:
  const std::string golden_ = (TestDataDir() / "list" / "every_kind.lst").string();
};

TEST_F(ListCommandTest, ShowsEveryItemKindInEachFormat) {
  ToolResult table = RunTool({"list", "show", golden_});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  EXPECT_NE(table.out.find("record file, 2 records"), std::string::npos);
  for (const char* kind : {"Empty", "Null", "Integer", "Long", "Single", "Double", "Currency", "Date", "String", "Boolean"}) {
    EXPECT_NE(table.out.find(kind), std::string::npos) << kind;
  }
  ToolResult json = RunTool({"list", "show", "--format", "json", golden_});
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_EQ(json.out.front(), '[');
  EXPECT_NE(json.out.find("{\"kind\": \"Long\", \"value\": 100000}"), std::string::npos);
  ToolResult csv = RunTool({"list", "show", "--format", "csv", golden_});
  EXPECT_EQ(csv.exit_code, 0);
  EXPECT_NE(csv.out.find("100000"), std::string::npos);
  EXPECT_EQ(RunTool({"list", "show", "--format", "yaml", golden_}).exit_code, 2);
}

TEST_F(ListCommandTest, ConvertsToTextAndBackToTheSameRecords) {
  ToolResult to_text = RunTool({"list", "convert", golden_, File("list.txt")});
  ASSERT_EQ(to_text.exit_code, 0) << to_text.err;
  EXPECT_NE(Read("list.txt").find('|'), std::string::npos);
  ToolResult back = RunTool({"list", "convert", File("list.txt"), File("again.lst")});
  ASSERT_EQ(back.exit_code, 0) << back.err;
  // The text keeps values, not kinds: back in a record file every item is a String with the
  // same text, so the text made from it is the same text again.
  ToolResult show = RunTool({"list", "show", File("again.lst")});
  EXPECT_NE(show.out.find("String    \"100000\""), std::string::npos) << show.out;
  ASSERT_EQ(RunTool({"list", "convert", File("again.lst"), File("again.txt")}).exit_code, 0);
  EXPECT_EQ(Read("again.txt"), Read("list.txt"));
}

TEST_F(ListCommandTest, BadInputIsRefusedWithoutOutput) {
  std::ofstream(File("bad.lst"), std::ios::binary) << std::string(196, '\x7f');
  ToolResult r = RunTool({"list", "convert", File("bad.lst"), File("out.txt")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("narwick:"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(File("out.txt")));
  EXPECT_EQ(RunTool({"list", "show", File("missing.lst")}).exit_code, 1);
}

}  // namespace
}  // namespace narwick::testing
