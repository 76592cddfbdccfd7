// End-to-end tests of `narwick reg` on a store in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/test_support.h"
#include "tool_runner.h"

namespace narwick::testing {
namespace {

class RegCommandTest : public ::testing::Test {
 protected:
  std::string Store() const { return (folder_.path() / "registry.db").string(); }
  ToolResult Reg(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"reg", "--store", Store()});
    return RunTool(args, input);
  }
  std::string File(const std::string& name) const { return (folder_.path() / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TempFolder folder_;
};

TEST_F(RegCommandTest, SetGetListAndDelete) {
  ASSERT_EQ(Reg({"set", "HKCU\\Software\\App", "Name", "Caf\u00e9"}).exit_code, 0);
  ASSERT_EQ(Reg({"set", "HKEY_CURRENT_USER\\Software\\App", "Count", "-5", "--type", "dword"}).exit_code, 0);
  ASSERT_EQ(Reg({"set", "HKCU\\Software\\App", "Blob", "01 02 ff", "--type", "binary"}).exit_code, 0);
  ASSERT_EQ(Reg({"set", "HKCU\\Software\\App\\Sub", "", "default"}).exit_code, 0);

  EXPECT_EQ(Reg({"get", "hkcu\\software\\app", "name"}).out, "Caf\u00e9\n");
  EXPECT_EQ(Reg({"get", "HKCU\\Software\\App", "Count"}).out, "-5\n");
  EXPECT_EQ(Reg({"get", "HKCU\\Software\\App", "Blob"}).out, "01 02 ff\n");
  EXPECT_EQ(Reg({"get", "HKCU\\Software\\App\\Sub"}).out, "default\n");
  EXPECT_EQ(Reg({"ls", "HKCU\\Software\\App"}).out,
            "Sub\\\n\"Name\"\tREG_SZ\tCaf\u00e9\n\"Count\"\tREG_DWORD\t-5\n\"Blob\"\tREG_BINARY\t01 02 ff\n");

  ToolResult missing = Reg({"get", "HKCU\\Software\\App", "Nope"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("no value \"Nope\""), std::string::npos) << missing.err;

  ToolResult refused = Reg({"del", "HKCU\\Software\\App"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("has subkeys"), std::string::npos) << refused.err;
  // "" names the default value, as for `set`: only that value goes, the key and the rest stay.
  ASSERT_EQ(Reg({"set", "HKCU\\Software\\Leaf", "", "default"}).exit_code, 0);
  ASSERT_EQ(Reg({"set", "HKCU\\Software\\Leaf", "Other", "kept"}).exit_code, 0);
  EXPECT_EQ(Reg({"del", "HKCU\\Software\\Leaf", ""}).exit_code, 0);
  EXPECT_EQ(Reg({"ls", "HKCU\\Software\\Leaf"}).out, "\"Other\"\tREG_SZ\tkept\n");
  EXPECT_EQ(Reg({"del", "HKCU\\Software\\Leaf", ""}).err,
            "narwick: no value (default) in HKEY_CURRENT_USER\\Software\\Leaf\n");
  ASSERT_EQ(Reg({"del", "HKCU\\Software\\Leaf"}).exit_code, 0);
  EXPECT_EQ(Reg({"del", "HKCU\\Software\\App", "Blob"}).exit_code, 0);
  EXPECT_EQ(Reg({"get", "HKCU\\Software\\App", "Blob"}).exit_code, 1);
  EXPECT_EQ(Reg({"del", "-r", "HKCU\\Software\\App"}).exit_code, 0);
  EXPECT_EQ(Reg({"ls", "HKCU\\Software"}).out, "");

  // Types `set` cannot write: a multi-string's parts, expandable text as text, the rest as hex.
  ASSERT_EQ(Reg({"import", "-"}, "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"m\"=hex(7):61,00,62,63,00,00,00\r\n"
                                 "\"e\"=hex(2):25,50,25,00\r\n\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n\"u\"=hex(1234):ff\r\n")
                .exit_code, 0);
  EXPECT_EQ(Reg({"ls", "HKCU\\T"}).out,
            "\"m\"\tREG_MULTI_SZ\ta | bc\n\"e\"\tREG_EXPAND_SZ\t%P%\n\"q\"\tREG_QWORD\t01 00 00 00 00 00 00 00\n"
            "\"u\"\tREG_TYPE_4660\tff\n");
  EXPECT_EQ(Reg({"get", "HKCU\\T", "m"}).out, "a\nbc\n");
}

TEST_F(RegCommandTest, BadArgumentsAreRefused) {
  const struct {
    const char* data;
    const char* type;
    const char* message;
  } refused[] = {
      {"12x", "dword", "a dword is a number from -2147483648 to 4294967295 (or 0x0 to 0xffffffff), not \"12x\""},
      {"4294967296", "dword", "a dword is a number"},
      {"abc", "dword", "a dword is a number"},
      {"abc", "binary", "binary data needs an even number of hex digits"},
      {"01 zz", "binary", "binary data must be hex digits (separators: space, comma or colon), not \"01 zz\""},
  };
  for (const auto& r : refused) {
    ToolResult result = Reg({"set", "HKCU\\A", "v", r.data, "--type", r.type});
    EXPECT_EQ(result.exit_code, 1) << r.data;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(Reg({"set", "HKCU\\A", "v", "x", "--type", "qword"}).exit_code, 2);
  EXPECT_EQ(Reg({"set", "NOWHERE\\A", "v", "x"}).exit_code, 1);
  ToolResult wide = Reg({"set", "HKCU\\A", "v", "\u4e2d"});
  EXPECT_EQ(wide.exit_code, 1);
  EXPECT_NE(wide.err.find("Windows-1252"), std::string::npos) << wide.err;
  EXPECT_EQ(Reg({"ls", "HKCU"}).out, "");  // nothing was written by the refused calls

  std::ofstream(File("junk.db"), std::ios::binary) << "not a store\n";
  ToolResult junk = RunTool({"reg", "--store", File("junk.db"), "ls", "HKCU"});
  EXPECT_EQ(junk.exit_code, 1);
  EXPECT_NE(junk.err.find("cannot open the registry store " + File("junk.db")), std::string::npos) << junk.err;
}

TEST_F(RegCommandTest, ExportAndImportMoveKeysBetweenStores) {
  ASSERT_EQ(Reg({"set", "HKLM\\Software\\V", "Path", "C:\\Program Files\\"}).exit_code, 0);
  ASSERT_EQ(Reg({"set", "HKLM\\Software\\V\\Deep", "n", "0x1f", "--type", "dword"}).exit_code, 0);
  for (const char* format : {"", "--regedit4"}) {
    std::string file = File(std::string("out") + format + ".reg");
    std::vector<std::string> args = {"export", "HKLM\\Software\\V", file};
    if (*format) args.push_back(format);
    ASSERT_EQ(Reg(args).exit_code, 0);
    std::string text = Read(file);
    args[2] = "-";
    EXPECT_EQ(Reg(args).out, text);
    if (*format) {
      EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
      EXPECT_NE(text.find("\"Path\"=\"C:\\\\Program Files\\\\\""), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.rfind("\xFF\xFEW\0", 0), 0u);
    }
    ToolResult other = RunTool({"reg", "--store", File(std::string("other") + format + ".db"), "import", file});
    ASSERT_EQ(other.exit_code, 0) << other.err;
    EXPECT_EQ(other.out, "imported 2 keys and 2 values\n");
    EXPECT_EQ(RunTool({"reg", "--store", File(std::string("other") + format + ".db"), "get", "HKLM\\Software\\V\\Deep", "n"}).out,
              "31\n");
  }
  // One key alone is counted in the singular.
  ASSERT_EQ(Reg({"export", "HKLM\\Software\\V\\Deep", File("deep.reg")}).exit_code, 0);
  EXPECT_EQ(RunTool({"reg", "--store", File("deep.db"), "import", File("deep.reg")}).out,
            "imported 1 key and 1 value\n");
}

TEST_F(RegCommandTest, ABadFileNamesItsLineAndImportsNothing) {
  std::string file = File("bad.reg");
  std::ofstream(file, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Good]\r\n\"a\"=\"b\"\r\n\"c\"=dword:xyz\r\n";
  ToolResult r = Reg({"import", file});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("line 5"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("nothing imported"), std::string::npos) << r.err;
  EXPECT_EQ(Reg({"ls", "HKCU"}).out, "");
}

TEST_F(RegCommandTest, AFailedExportSaysWhyAndLeavesNothingBehind) {
  ASSERT_EQ(Reg({"set", "HKCU\\X", "two\nlines", "v"}).exit_code, 0);
  ToolResult broken = Reg({"export", "HKCU\\X", File("x.reg")});
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_NE(broken.err.find("has a line break in its name, which a .reg file cannot hold"), std::string::npos) << broken.err;
  EXPECT_FALSE(std::filesystem::exists(File("x.reg")));
  ASSERT_EQ(Reg({"del", "HKCU\\X", "two\nlines"}).exit_code, 0);

  ToolResult no_folder = Reg({"export", "HKCU\\X", File("none/x.reg")});
  EXPECT_EQ(no_folder.exit_code, 1);
  EXPECT_EQ(no_folder.err, "narwick: cannot write " + File("none/x.reg") + ": No such file or directory\n");
  std::filesystem::create_directory(File("dir"));
  const auto entries = std::distance(std::filesystem::directory_iterator(folder_.path()), {});
  ToolResult folder = Reg({"export", "HKCU\\X", File("dir")});
  EXPECT_EQ(folder.exit_code, 1);
  EXPECT_EQ(folder.err, "narwick: '" + File("dir") + "' is a folder\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), entries);
}

TEST_F(RegCommandTest, EnvironmentChoosesTheDefaultStore) {
  std::string path = File("env.db");
  ASSERT_EQ(RunTool({"reg", "set", "HKCU\\E", "v", "1"}, "", {"NARWICK_REGISTRY=" + path}).exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(RunTool({"reg", "get", "HKCU\\E", "v"}, "", {"NARWICK_REGISTRY=" + path}).out, "1\n");
}

}  // namespace
}  // namespace narwick::testing
