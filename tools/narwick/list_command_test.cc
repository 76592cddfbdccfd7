// End-to-end tests of `narwick list`: the golden record file shown in every format, conversion
// both ways back to the same bytes, and bad input or a failed write refused with a message and
// no output.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "testing/test_support.h"
#include "tool_runner.h"
#include "tool_test_folder.h"

namespace narwick::testing {
namespace {

class ListCommandTest : public ToolFolderTest {
 protected:
  const std::string golden_ = (TestDataDir() / "list" / "every_kind.lst").string();

  // A 196-byte record: index 1, the encoded items, zero filler.
  static std::string Record(const std::string& items) {
    std::string record = std::string("\x01\0\0\0", 4) + items;
    return record + std::string(196 - record.size(), '\0');
  }
  // An encoded String item of `length` letters.
  static std::string Text(std::size_t length) {
    return std::string("\x08\0", 2) + static_cast<char>(length & 0xFF) + static_cast<char>(length >> 8) +
           std::string(length, 'a');
  }
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

  // Bytes after the last whole record are named and left out.
  std::ifstream in(golden_, std::ios::binary);
  Write("tail.lst", std::string(std::istreambuf_iterator<char>(in), {}) + "xyz");
  ToolResult tail = RunTool({"list", "show", File("tail.lst")});
  EXPECT_EQ(tail.exit_code, 0);
  EXPECT_EQ(tail.out, table.out);
  EXPECT_NE(tail.err.find("tail.lst: the last 3 bytes are an incomplete record and are ignored"), std::string::npos) << tail.err;

  // Machine formats quote what their syntax needs.
  Write("q.txt", "1~a,\"b\"~back\\slash~tab\there~cr\rx~lf\nx~ctl\x01x~~~~~~\n");
  ToolResult quoted_csv = RunTool({"list", "show", "--format", "csv", File("q.txt")});
  ASSERT_EQ(quoted_csv.exit_code, 0) << quoted_csv.err;
  EXPECT_NE(quoted_csv.out.find("\r\n1,String,\"a,\"\"b\"\"\",String,back\\slash,String,tab\there,String,\"cr\rx\",String,\"lf\nx\","),
            std::string::npos) << quoted_csv.out;
  ToolResult quoted_json = RunTool({"list", "show", "--format", "json", File("q.txt")});
  ASSERT_EQ(quoted_json.exit_code, 0) << quoted_json.err;
  for (const char* value : {"\"a,\\\"b\\\"\"", "\"back\\\\slash\"", "\"tab\\there\"", "\"cr\\rx\"", "\"lf\\nx\"", "\"ctl\\u0001x\""}) {
    EXPECT_NE(quoted_json.out.find(std::string("\"value\": ") + value + "}"), std::string::npos) << value << " in " << quoted_json.out;
  }
}

TEST_F(ListCommandTest, ConvertsToTextAndBackToTheSameRecords) {
  ToolResult to_text = RunTool({"list", "convert", golden_, File("list.txt")});
  ASSERT_EQ(to_text.exit_code, 0) << to_text.err;
  EXPECT_NE(Read("list.txt").find('|'), std::string::npos);
  EXPECT_EQ(RunTool({"list", "show", "--format", "text", golden_}).out, Read("list.txt"));
  ToolResult back = RunTool({"list", "convert", File("list.txt"), File("again.lst")});
  ASSERT_EQ(back.exit_code, 0) << back.err;
  // The text keeps values, not kinds: back in a record file every item is a String with the
  // same text, so the text made from it is the same text again.
  ToolResult show = RunTool({"list", "show", File("again.lst")});
  EXPECT_NE(show.out.find("String    \"100000\""), std::string::npos) << show.out;
  ASSERT_EQ(RunTool({"list", "convert", File("again.lst"), File("again.txt")}).exit_code, 0);
  EXPECT_EQ(Read("again.txt"), Read("list.txt"));
  // "-" reads standard input, records or text alike.
  EXPECT_EQ(RunTool({"list", "show", "-"}, Read("again.lst")).out, show.out);
  ASSERT_EQ(RunTool({"list", "convert", "-", File("piped.lst")}, Read("list.txt")).exit_code, 0);
  EXPECT_EQ(Read("piped.lst"), Read("again.lst"));
}

TEST_F(ListCommandTest, BadInputIsRefusedWithoutOutput) {
  const std::string empty_item(2, '\0');
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"code.lst", std::string(196, '\x7f'), "bad list record file: record 1 (byte 0): item 1 has the unknown type code 32639"},
      {"second.lst", Record(empty_item) + Record(empty_item + std::string("\x08\0\xf4\x01", 4)), "record 2 (byte 196): item 2 runs past the end of the record"},
      {"start.lst", Record(Text(186) + empty_item), "record 1 (byte 0): item 3 starts past the end of the record"},
      {"length.lst", Record(Text(186) + std::string("\x08\0", 2)), "record 1 (byte 0): item 2: text length past the end of the record"},
      {"few.txt", "1~a~b|2~c\n", "bad list text: record 1 has 3 fields; a record needs the index and twelve items"},
      {"index.txt", "1~~~~~~~~~~~~|x~~~~~~~~~~~~", "bad list text: record 2: the index 'x' is not a Long"},
      {"plain.txt", "hello\n", "neither a list record file (196-byte records) nor a list text"},
  };
  for (const auto& c : cases) {
    Write(c.name, c.bytes);
    ToolResult r = RunTool({"list", "convert", File(c.name), File("out.txt")});
    EXPECT_EQ(r.exit_code, 1) << c.name;
    EXPECT_NE(r.err.find(std::string("narwick: ") + File(c.name) + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(Exists("out.txt")) << c.name;
  }
  EXPECT_EQ(RunTool({"list", "show", File("missing.lst")}).exit_code, 1);
}

TEST_F(ListCommandTest, ValuesWithoutATextFormAreShownButNotConverted) {
  // An Error value and a Date far beyond year 9999 (the Double 1e300).
  Write("odd.lst", Record(std::string("\x0a\0\xd0\x07\0\0", 6) + std::string("\x07\0\x9c\x75\0\x88\x3c\xe4\x37\x7e", 10)));
  ToolResult table = RunTool({"list", "show", File("odd.lst")});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  EXPECT_NE(table.out.find("    1  Error     Error 2000\n"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("    2  Date      ?\n"), std::string::npos) << table.out;
  for (std::vector<std::string> args : {std::vector<std::string>{"list", "show", "--format", "text", File("odd.lst")},
                                        {"list", "convert", File("odd.lst"), File("odd.txt")}}) {
    ToolResult r = RunTool(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("odd.lst: node 1 holds a value that has no text form"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(Exists("odd.txt"));
}

TEST_F(ListCommandTest, AFailedWriteSaysWhyAndLeavesNothingBehind) {
  // Twelve texts of 144 letters in all fill a record exactly; one more letter does not fit.
  Write("fits.txt", "1~" + std::string(144, 'x') + std::string(11, '~') + "\n");
  EXPECT_EQ(RunTool({"list", "convert", File("fits.txt"), File("fits.lst")}).exit_code, 0);
  Write("long.txt", "1~a~~~~~~~~~~~|3~" + std::string(145, 'x') + std::string(11, '~') + "\n");
  ToolResult r = RunTool({"list", "convert", File("long.txt"), File("long.lst")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("long.lst: node 3 does not fit in a 196-byte record"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists("long.lst"));

  // A folder in the way of the output, both ways: the folder stays, no temporary file is left.
  std::filesystem::create_directory(File("dir"));
  const std::size_t entries = Entries();
  ToolResult to_records = RunTool({"list", "convert", File("fits.txt"), File("dir")});
  EXPECT_EQ(to_records.exit_code, 1);
  EXPECT_EQ(to_records.err, "narwick: " + File("dir") + ": cannot write the file\n");
  ToolResult to_text = RunTool({"list", "convert", golden_, File("dir")});
  EXPECT_EQ(to_text.exit_code, 1);
  EXPECT_EQ(to_text.err, "narwick: '" + File("dir") + "' is a folder\n");
  EXPECT_TRUE(std::filesystem::is_directory(File("dir")));
  EXPECT_EQ(Entries(), entries);
}

}  // namespace
}  // namespace narwick::testing
