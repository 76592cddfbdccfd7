// End-to-end tests of `narwick case`: arguments, standard input, modes and list flags.
#include <gtest/gtest.h>

#include "tool_runner.h"

namespace narwick::testing {
namespace {

TEST(CaseCommandTest, FormatsEachArgumentOnItsOwnLine) {
  ToolResult r = RunTool({"case", "john smith cpa", "toronto, on"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "John Smith CPA \nToronto, ON \n");
}

TEST(CaseCommandTest, FormatsEachLineOfStandardInput) {
  ToolResult r = RunTool({"case", "--lower"}, "JOHN SMITH CPA\r\nNEW YORK NY\n\nCPA");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "john smith CPA\nnew york NY\n\nCPA\n");
}

TEST(CaseCommandTest, ListFlags) {
  EXPECT_EQ(RunTool({"case", "rr #3 main st nw"}).out, "rr #3 Main st nw \n");
  EXPECT_EQ(RunTool({"case", "--no-misc", "rr #3 main st nw"}).out, "RR #3 Main st NW \n");
  EXPECT_EQ(RunTool({"case", "--no-misc", "--no-address", "rr #3 main st nw"}).out,
            "rr #3 Main st nw \n");
  EXPECT_EQ(RunTool({"case", "--no-us", "new york ny"}).out, "New York ny \n");
  EXPECT_EQ(RunTool({"case", "--no-canada", "toronto, on"}).out, "Toronto, on \n");
  EXPECT_EQ(RunTool({"case", "--upper", "\xC3\xA9mile cpa"}).out, "\xC3\x89MILE CPA\n");
  EXPECT_EQ(RunTool({"case", "\xC3\xA9mile"}).out, "\xC3\xA9Mile \n");
}

TEST(CaseCommandTest, UpperAndLowerExcludeEachOther) {
  ToolResult r = RunTool({"case", "--upper", "--lower", "x"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(r.out.empty());
}

}  // namespace
}  // namespace narwick::testing
