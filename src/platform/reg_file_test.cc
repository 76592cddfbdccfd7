// .reg files: round trips of every value type through both formats, files as regedit writes
// them, and hostile files that must be refused with their line and change nothing.
#include "platform/reg_file.h"

#include <gtest/gtest.h>

#include <random>

#include "narwick/frame/variant.h"

namespace narwick::platform {
namespace {


std::vector<std::uint8_t> B(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int x : v) out.push_back(static_cast<std::uint8_t>(x));
  return out;
}

std::vector<std::uint8_t> Utf8(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Utf16(std::u16string_view text) {
  std::vector<std::uint8_t> out{0xFF, 0xFE};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

class RegFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<RegistryStore> NewStore() { return RegistryStore::Open(":memory:"); }

  // Fills `store` under HKCU\T from records whose paths are below T.
  static void Fill(RegistryStore& store, const std::vector<RegKeyRecord>& records) {
    std::vector<RegEdit> edits;
    for (const auto& record : records) {
      RegEdit key;
      key.kind = RegEdit::Kind::kCreateKey;
      key.root = reg::kCurrentUser;
      key.path = record.path;
      edits.push_back(key);
      for (const auto& value : record.values) {
        RegEdit set = key;
        set.kind = RegEdit::Kind::kSetValue;
        set.value = value;
        edits.push_back(set);
      }
    }
    ASSERT_EQ(store.ApplyEdits(edits), reg::kSuccess);
  }

  static std::vector<RegKeyRecord> Export(RegistryStore& store, std::string_view path = "T") {
    std::vector<RegKeyRecord> tree;
    EXPECT_EQ(store.ExportTree(reg::kCurrentUser, path, &tree), reg::kSuccess);
    return tree;
  }

  // Writes the tree in `format`, reads it into a fresh store and returns that store's tree.
  std::vector<RegKeyRecord> RoundTrip(const std::vector<RegKeyRecord>& tree, RegFileFormat format) {
    auto bytes = WriteRegFile(format, *FindRoot(reg::kCurrentUser), tree);
    RegFileParse parsed = ParseRegFile(bytes);
    EXPECT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->message;
    EXPECT_EQ(parsed.format, format);
    auto fresh = NewStore();
    EXPECT_EQ(fresh->ApplyEdits(parsed.edits), reg::kSuccess);
    return Export(*fresh);
  }
};

// Every value type and awkward names and data, then random trees of any bytes but the ones
// names cannot hold: each written in both formats and read back into a fresh store.
TEST_F(RegFileTest, TreesSurviveBothFormats) {
  const std::vector<RegKeyRecord> every_type = {
      {"T",
       {
           {"", reg::kSz, B({'d', 'e', 'f', 0})},
           {"plain", reg::kSz, B({'C', ':', '\\', 'x', '"', 'q', '"', 0})},
           {"cp1252 \x80\xE9\xFF", reg::kSz, B({0x80, 0x81, 0xE9, 0})},
           {"embedded zero", reg::kSz, B({'a', 0, 'b', 0})},
           {"no terminator", reg::kSz, B({'a', 'b'})},
           {"line break", reg::kSz, B({'a', '\r', '\n', 'b', 0})},
           {"empty sz", reg::kSz, {}},
           {"expand", reg::kExpandSz, B({'%', 'P', '%', 0})},
           {"odd expand", reg::kExpandSz, B({'x'})},
           {"multi", reg::kMultiSz, B({'a', 0, 0x9F, 0, 0})},
           {"empty binary", reg::kBinary, {}},
           {"dword", reg::kDword, B({0x78, 0x56, 0x34, 0x12})},
           {"\"quoted\\name\"", reg::kBinary, std::vector<std::uint8_t>(200, 0xAB)},
           {"semi;colon=and]", reg::kDword, B({0, 0, 0, 0x80})},
       }},
      {"T\\Sub ] key", {}},
      {"T\\Sub ] key\\ leading space", {{"v", reg::kSz, B({' ', 0})}}},
      {"T\\\xC9t\xE9", {{"\xE9", reg::kDword, B({1, 0, 0, 0})}}},
  };
  auto check = [&](const std::vector<RegKeyRecord>& records, unsigned seed) {
    auto store = NewStore();
    Fill(*store, records);
    auto tree = Export(*store);
    ASSERT_EQ(tree.size(), records.size());
    EXPECT_EQ(RoundTrip(tree, RegFileFormat::kVersion5), tree) << "seed " << seed;
    EXPECT_EQ(RoundTrip(tree, RegFileFormat::kRegedit4), tree) << "seed " << seed;
  };
  check(every_type, 0);
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    auto random_name = [&](std::size_t max) {
      std::string s;
      std::size_t n = 1 + rng() % max;
      for (std::size_t i = 0; i < n; ++i) {
        char c;
        do {
          c = static_cast<char>(rng() % 256);
        } while (c == 0 || c == '\\' || c == '\r' || c == '\n');
        s.push_back(c);
      }
      return s;
    };
    std::vector<RegKeyRecord> records{{"T", {}}};
    for (int k = 0; k < 6; ++k) {
      RegKeyRecord record{records[rng() % records.size()].path + "\\" + random_name(12), {}};
      for (int v = 0; v < 5; ++v) {
        std::uint32_t type = (rng() % 3 == 0) ? static_cast<std::uint32_t>(rng())
                                              : static_cast<std::uint32_t>(rng() % 12);
        std::vector<std::uint8_t> data(rng() % 40);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        record.values.push_back({v == 0 ? std::string() : random_name(20), type, data});
      }
      records.push_back(record);
    }
    check(records, seed);
  }
}

TEST_F(RegFileTest, WritesTheFormatsAsRegeditDoes) {
  std::vector<RegKeyRecord> tree = {
      {"Soft", {{"", reg::kSz, B({'x', 0})}, {"n", reg::kDword, B({0x1F, 0, 0, 0})}}},
      {"Soft\\Sub", {{"e", reg::kExpandSz, B({'a', 0})}}}};
  auto v4 = WriteRegFile(RegFileFormat::kRegedit4, *FindRoot(reg::kCurrentUser), tree);
  EXPECT_EQ(std::string(v4.begin(), v4.end()),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Soft]\r\n@=\"x\"\r\n\"n\"=dword:0000001f\r\n\r\n"
            "[HKEY_CURRENT_USER\\Soft\\Sub]\r\n\"e\"=hex(2):61,00\r\n\r\n");
  auto v5 = WriteRegFile(RegFileFormat::kVersion5, *FindRoot(reg::kCurrentUser), tree);
  EXPECT_EQ(
      v5,
      Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Soft]\r\n@=\"x\"\r\n"
            u"\"n\"=dword:0000001f\r\n\r\n[HKEY_CURRENT_USER\\Soft\\Sub]\r\n\"e\"=hex(2):61,00,00,"
            u"00\r\n\r\n"));
  // Long hex data wraps with a backslash and goes on indented, as regedit does.
  std::vector<RegKeyRecord> wide = {
      {"W", {{"b", reg::kBinary, std::vector<std::uint8_t>(100, 0x11)}}}};
  auto wrapped = WriteRegFile(RegFileFormat::kRegedit4, *FindRoot(reg::kCurrentUser), wide);
  std::string text(wrapped.begin(), wrapped.end());
  EXPECT_NE(text.find(",\\\r\n  11,"), std::string::npos);
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    EXPECT_LE(end - start, 80u);
  }
}

TEST_F(RegFileTest, ReadsRegeditFilesInEachEncoding) {
  const std::u16string body =
      u"\r\n; a comment\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n"
      u"@=\"default\"\r\n"
      u"\"Path\"=\"C:\\\\Program Files\\\\\"\r\n"
      u"\"Count\"=dword:0000000a\r\n"
      u"  \"Blob\" = hex:01,02,\\\r\n    03\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
      u"\"Gone\"=-\r\n"
      u"\r\n[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n";
  auto check = [](const RegFileParse& parsed) {
    ASSERT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->message;
    ASSERT_EQ(parsed.edits.size(), 8u);
    EXPECT_EQ(parsed.edits[0].kind, RegEdit::Kind::kCreateKey);
    EXPECT_EQ(parsed.edits[0].root, reg::kLocalMachine);
    EXPECT_EQ(parsed.edits[0].path, "Software\\Vendor");
    EXPECT_EQ(parsed.edits[0].line, 3);
    EXPECT_EQ(parsed.edits[1].value,
              (RegValue{"", reg::kSz, B({'d', 'e', 'f', 'a', 'u', 'l', 't', 0})}));
    EXPECT_EQ(parsed.edits[2].value.data, Utf8(std::string_view("C:\\Program Files\\\0", 18)));
    EXPECT_EQ(parsed.edits[3].value, (RegValue{"Count", reg::kDword, B({10, 0, 0, 0})}));
    EXPECT_EQ(parsed.edits[4].value, (RegValue{"Blob", reg::kBinary, B({1, 2, 3})}));
    EXPECT_EQ(parsed.edits[4].line, 7);
    EXPECT_EQ(parsed.edits[6].kind, RegEdit::Kind::kDeleteValue);
    EXPECT_EQ(parsed.edits[6].value.name, "Gone");
    EXPECT_EQ(parsed.edits[7].kind, RegEdit::Kind::kDeleteTree);
    EXPECT_EQ(parsed.edits[7].line, 12);
  };
  std::u16string v5 = u"Windows Registry Editor Version 5.00" + body;
  auto utf16 = ParseRegFile(Utf16(v5));
  check(utf16);
  EXPECT_EQ(utf16.edits[5].value,
            (RegValue{"Multi", reg::kMultiSz, B({'a', 0, 0})}));  // UTF-16 data to 1252

  std::string utf8_text = ToUtf8(v5);
  auto utf8 = ParseRegFile(Utf8(utf8_text));
  check(utf8);
  auto with_bom = Utf8("\xEF\xBB\xBF" + utf8_text);
  check(ParseRegFile(with_bom));

  std::string v4 = "REGEDIT4" + ToUtf8(body);
  auto ansi = ParseRegFile(Utf8(v4));
  check(ansi);
  EXPECT_EQ(ansi.format, RegFileFormat::kRegedit4);
  EXPECT_EQ(ansi.edits[5].value.data, B({'a', 0, 0, 0, 0, 0}));  // REGEDIT4 data is taken as it is
  // REGEDIT4 text is Windows-1252 even where its bytes would read as UTF-8.
  auto latin = ParseRegFile(Utf8("REGEDIT4\n[HKEY_USERS\\\xC3\xA9]\n\"\xE9\"=\"\x80\"\n"));
  ASSERT_FALSE(latin.error);
  EXPECT_EQ(latin.edits[0].path, "\xC3\xA9");
  EXPECT_EQ(latin.edits[1].value, (RegValue{"\xE9", reg::kSz, B({0x80, 0})}));
}

struct Hostile {
  const char* name;
  std::string text;  // UTF-8, given as the file's bytes
  int line;
  const char* message_part;
};

TEST_F(RegFileTest, HostileFilesAreRefusedWithTheirLine) {
  const std::string h = "Windows Registry Editor Version 5.00\r\n";
  const std::string k = h + "[HKEY_CURRENT_USER\\A]\n";  // a header and a key
  std::string long_file = "REGEDIT4\n";
  for (int i = 0; i < 50; ++i) {
    long_file += "[HKEY_CURRENT_USER\\T\\K" + std::to_string(i) + "]\n\"v\"=dword:00000001\n";
  }
  const std::vector<Hostile> cases = {
      {"empty file", "", 1, "first line"},
      {"no header", "[HKEY_CURRENT_USER\\A]\n", 1, "first line"},
      {"wrong header", "Windows Registry Editor Version 6.00\n", 1, "first line"},
      {"unknown root", h + "[HKEY_NOWHERE\\A]\n", 2, "unknown root key"},
      {"unclosed section", h + "[HKEY_CURRENT_USER\\A\n", 2, "must end with ]"},
      {"junk after section", h + "[HKEY_CURRENT_USER\\A] x\n", 2, "must end with ]"},
      {"empty key name", h + "[HKEY_CURRENT_USER\\A\\\\B]\n", 2, "empty name"},
      {"long key name", h + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n", 2,
       "longer than 255"},
      {"delete a root", h + "[-HKEY_CURRENT_USER]\n", 2, "root key cannot be deleted"},
      {"value before key", h + "\"a\"=\"b\"\n", 2, "must follow a [key]"},
      {"value after deletion", h + "[-HKEY_CURRENT_USER\\A]\n\"a\"=\"b\"\n", 3,
       "must follow a [key]"},
      {"garbage line", k + "hello\n", 3, "expected a [key] line"},
      {"unclosed name", k + "\"abc=1\n", 3, "not closed"},
      {"bad escape", k + "\"a\"=\"\\n\"\n", 3, "unknown escape"},
      {"missing equals", k + "\"a\" \"b\"\n", 3, "expected ="},
      {"no data", k + "\"a\"=\n", 3, "no data"},
      {"text after string", k + "\"a\"=\"b\" c\n", 3, "after the quoted string"},
      {"long dword", k + "\"a\"=dword:123456789\n", 3, "1 to 8 hex digits"},
      {"bad dword", k + "\"a\"=dword:12g4\n", 3, "1 to 8 hex digits"},
      {"bad hex", k + "\"a\"=hex:01,zz\n", 3, "hex data"},
      {"three-digit hex", k + "\"a\"=hex:012\n", 3, "hex data"},
      {"bad hex type", k + "\"a\"=hex(x):01\n", 3, "hex(type)"},
      {"long hex type", k + "\"a\"=hex(123456789):01\n", 3, "hex(type)"},
      {"unknown data", k + "\"a\"=qword:1\n", 3, "unknown value data"},
      {"odd utf-16 string data", k + "\"a\"=hex(1):41\n", 3, "odd number"},
      {"char outside 1252 in name", k + "\"\xE4\xB8\xAD\"=\"x\"\n", 3, "U+4E2D"},
      {"char outside 1252 in key", h + "[HKEY_CURRENT_USER\\\xC4\x80]\n", 2, "U+0100"},
      {"char outside 1252 in data", k + "\"a\"=hex(2):00,01,00,00\n", 3, "U+0100"},
      {"invalid utf-8", k + "\"a\"=\"\xC3\"\n", 3, "UTF-8"},
      {"overlong utf-8", k + "\"\xC0\xAF\"=\"a\"\n", 3, "UTF-8"},
      {"char outside the BMP", k + "\"\xF0\x9F\x98\x80\"=\"x\"\n", 3, "U+1F600"},
      {"utf-8 past U+10FFFF", k + "; \xF4\x90\x80\x80\n", 3, "UTF-8"},
      {"overlong 4-byte utf-8", k + "; \xF0\x8F\xBF\xBF\n", 3, "UTF-8"},
      {"continuation into nothing", k + "\"a\"=hex:01,\\\n", 3, "hex data"},
      {"continuation into a key line", k + "\"a\"=hex:01,\\\n[HKEY_CURRENT_USER\\B]\n", 3,
       "hex data"},
      {"fault after 100 good lines", long_file + "\"bad\"=dword:xyz\n", 102, "1 to 8 hex digits"},
  };
  for (const auto& c : cases) {
    RegFileParse parsed = ParseRegFile(Utf8(c.text));
    ASSERT_TRUE(parsed.error) << c.name;
    EXPECT_EQ(parsed.error->line, c.line) << c.name << ": " << parsed.error->message;
    EXPECT_NE(parsed.error->message.find(c.message_part), std::string::npos)
        << c.name << ": " << parsed.error->message;
    EXPECT_TRUE(parsed.edits.empty()) << c.name;
  }
  // UTF-16 ending in half a character.
  auto half = Utf16(u"Windows Registry Editor Version 5.00\r\n");
  half.push_back(0x41);
  EXPECT_TRUE(ParseRegFile(half).error);
}

// Random damage to a good file: refused with a line and no edits, or edits a store accepts.
TEST_F(RegFileTest, MangledFilesNeverBreakTheReader) {
  const std::vector<RegKeyRecord> tree = {
      {"T", {{"a", reg::kSz, B({'x', 0})}, {"b", reg::kBinary, std::vector<std::uint8_t>(90, 7)}}},
      {"T\\S", {{"", reg::kDword, B({1, 2, 3, 4})}}}};
  std::mt19937 rng(99);
  for (RegFileFormat format : {RegFileFormat::kVersion5, RegFileFormat::kRegedit4}) {
    const auto original = WriteRegFile(format, *FindRoot(reg::kCurrentUser), tree);
    for (int round = 0; round < 300; ++round) {
      auto bytes = original;
      int changes = 1 + static_cast<int>(rng() % 4);
      for (int c = 0; c < changes && !bytes.empty(); ++c) {
        std::size_t at = rng() % bytes.size();
        const auto kind = rng() % 3;  // overwrite, cut or insert
        if (kind == 0) {
          bytes[at] = static_cast<std::uint8_t>(rng());
        } else if (kind == 1) {
          bytes.resize(at);
        } else {
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       static_cast<std::uint8_t>(rng()));
        }
      }
      RegFileParse parsed = ParseRegFile(bytes);
      if (parsed.error) {
        EXPECT_GE(parsed.error->line, 1);
        EXPECT_TRUE(parsed.edits.empty());
        continue;
      }
      auto fresh = NewStore();
      EXPECT_EQ(fresh->ApplyEdits(parsed.edits), reg::kSuccess) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace narwick::platform
