// clsHuffmanCompression through its members and by name: arrays, strings, errors, events,
// and the file members against the codec core.
#include "narwick/compress/huffman_compression.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "compress/common/fake_file_system_tools.h"
#include "compress/huffman/he3_test_blocks.h"
#include "compress/huffman/huffman_codec.h"
#include "compress/huffman/huffman_messages.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/error.h"
#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/safe_array.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using Bytes = std::vector<std::uint8_t>;
using huffman::test_blocks::ReadFile;
using huffman::test_blocks::Text;
using huffman::test_blocks::WriteFile;

const Bytes kAbabBlock = {0x48, 0x45, 0x33, 0x0D, 0x00, 0x04, 0x00, 0x00, 0x00,
                          0x02, 0x00, 0x61, 0x01, 0x62, 0x01, 0x02, 0x0A};


// Events as a host sees them: progress values (checked to arrive as Integer, dispatch id 1)
// and messages (String, dispatch id 2).
struct Recorder {
  std::vector<Integer> progress;
  std::vector<String> messages;
  void operator()(EventCall& e) {
    ASSERT_EQ(e.args.size(), 1u);
    if (e.name == "FileProgress") {
      EXPECT_EQ(e.dispid, 1);
      EXPECT_EQ(e.args[0].VarType(), VbVarType::vbInteger);
      progress.push_back(CInt(e.args[0]));
    } else {
      EXPECT_EQ(e.name, "ErrorMessage");
      EXPECT_EQ(e.dispid, 2);
      messages.push_back(CStr(e.args[0]));
    }
  }
  std::vector<std::int16_t> Progress() const { return {progress.begin(), progress.end()}; }
};

class HuffmanCompressionTest : public ::testing::Test {
 protected:
  HuffmanCompressionTest() { Listen(object_, events_); }
  static void Listen(Object& object, Recorder& recorder) {
    object.Advise([&recorder](EventCall& e) { recorder(e); });
  }
  clsHuffmanCompression& typed() { return *object_.As<clsHuffmanCompression>(); }

  Object object_ = CreateObject("Narwick.clsHuffmanCompression");
  Recorder events_;
};

// ---- arrays -----------------------------------------------------------------------------

TEST_F(HuffmanCompressionTest, EncodeByteByNameReplacesTheArrayAndRaisesProgress) {
  Variant array = SafeArray::FromBytes(Text("abab"));
  Variant len = 4;
  object_.Call("EncodeByte", {ByRef(array), ByRef(len)});
  EXPECT_EQ(array.Array().ToBytes(), kAbabBlock);
  EXPECT_EQ(array.Array().LBound(), 0);
  EXPECT_EQ(CLng(len), 4);
  EXPECT_EQ(events_.progress, (std::vector<Integer>{7, 12, 100}));

  events_.progress.clear();
  Variant block_len = 17;
  object_.Call("DecodeByte", {ByRef(array), ByRef(block_len)});
  EXPECT_EQ(array.Array().ToBytes(), Text("abab"));
  EXPECT_EQ(events_.progress, (std::vector<Integer>{89, 100}));
}

TEST_F(HuffmanCompressionTest, EncodeByteTakesOnlyByteLenBytesFromIndexZero) {
  SafeArray array = SafeArray::FromBytes(Text("ababXYZ"));
  Long len = 4;
  typed().EncodeByte(array, len);
  EXPECT_EQ(array.ToBytes(), kAbabBlock);
  // Zero bytes give the stored header and no event.
  events_.progress.clear();
  SafeArray other = SafeArray::FromBytes(Text("xyz"));
  Long none = 0;
  typed().EncodeByte(other, none);
  EXPECT_EQ(other.ToBytes(), (Bytes{0x48, 0x45, 0x30, 0x0D}));
  // Decoding the stored form gives an empty array from 0, and no event either.
  Long four = 4;
  typed().DecodeByte(other, four);
  EXPECT_EQ(other.Count(), 0u);
  EXPECT_EQ(other.LBound(), 0);
  EXPECT_TRUE(events_.progress.empty());
  // An array without index 0 is left as it is.
  SafeArray shifted(VbVarType::vbByte, 1, 4);
  const SafeArray before = shifted;
  typed().EncodeByte(shifted, len);
  EXPECT_EQ(shifted, before);
}

TEST_F(HuffmanCompressionTest, DecodeByteRaisesItsOwnErrorsAndKeepsTheArray) {
  Bytes wrong_version = kAbabBlock;
  wrong_version[2] = 0x32;
  Bytes flipped = kAbabBlock;
  flipped[16] = 0x0B;
  const struct {
    Bytes block;
    const char16_t* source;
    const char16_t* description;
  } cases[] = {{wrong_version, u"HuffmanDecode()",
                u"The data either was not compressed with HE3 or is corrupt (identification string "
                u"not found)"},
               {flipped, u"clsHuffman.Decode()",
                u"The data might be corrupted (checksum did not match expected value)"}};
  for (const auto& c : cases) {
    Variant array = SafeArray::FromBytes(c.block);
    Variant len = static_cast<int>(c.block.size());
    try {
      object_.Call("DecodeByte", {ByRef(array), ByRef(len)});
      ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), -2147221504);
      EXPECT_EQ(e.source(), c.source);
      EXPECT_EQ(e.description(), c.description);
    }
    EXPECT_EQ(array.Array().ToBytes(), c.block);
  }
}

// Blocks cut short, a body needing bytes past the array's end and an array without index 0
// raise 9 and leave the array; so does a length field of zero, without raising.
TEST_F(HuffmanCompressionTest, MalformedBlocksRaiseSubscriptOutOfRange) {
  const std::span<const Byte> block(kAbabBlock);
  for (const SafeArray& bad :
       {SafeArray::FromBytes(block.first(2)), SafeArray::FromBytes(block.first(9)),
        SafeArray::FromBytes(block.first(16)), SafeArray(VbVarType::vbByte, 1, 17)}) {
    SafeArray array = bad;
    Long len = 17;
    EXPECT_RUNTIME_ERROR(typed().DecodeByte(array, len), 9);
    EXPECT_EQ(array, bad);
  }
  Bytes zero_length = kAbabBlock;
  zero_length[5] = 0;
  SafeArray array = SafeArray::FromBytes(zero_length);
  Long len = 17;
  typed().DecodeByte(array, len);
  EXPECT_EQ(array.ToBytes(), zero_length);
}

// ---- strings ----------------------------------------------------------------------------

TEST_F(HuffmanCompressionTest, StringsUseWindows1252OneBytePerCharacter) {
  String text = u"abab";
  EXPECT_EQ(typed().EncodeString(text), FromAnsi(kAbabBlock));
  std::mt19937 rng(3);
  String mixed = u"Caf\u00e9 \u20ac5 \u2030 \u0160koda \u201cquoted\u201d \u0081\u008d end";
  for (int i = 0; i < 3000; ++i) mixed += AnsiToChar(static_cast<Byte>(rng() % 256));
  String encoded = object_.Call("EncodeString", {mixed}).Str();
  EXPECT_EQ(object_.Call("DecodeString", {encoded}).Str(), mixed);
  String not_block = u"HE7\rrest";
  EXPECT_RUNTIME_ERROR(typed().DecodeString(not_block), -2147221504);
}

// The string members report progress like the array members, and give back what the
// array would hold: the stored form's payload, or the text itself for a length field of 0.
TEST_F(HuffmanCompressionTest, StringMembersRaiseProgressAndMirrorTheArrayMembers) {
  String text = u"abab";
  String block = typed().EncodeString(text);
  EXPECT_EQ(events_.Progress(), (std::vector<std::int16_t>{7, 12, 100}));
  events_.progress.clear();
  EXPECT_EQ(typed().DecodeString(block), u"abab");
  EXPECT_EQ(events_.Progress(), (std::vector<std::int16_t>{89, 100}));
  String stored = u"HE0\rxyz";
  EXPECT_EQ(typed().DecodeString(stored), u"xyz");
  Bytes zero_length = kAbabBlock;
  zero_length[5] = 0;
  String unchanged = FromAnsi(zero_length);
  EXPECT_EQ(typed().DecodeString(unchanged), unchanged);
}

TEST_F(HuffmanCompressionTest, MemberTableListsSixMembersAndTwoEvents) {
  std::set<std::string> names;
  for (const auto& m : typed().TypeInfo().members()) names.insert(m.name);
  EXPECT_EQ(names, (std::set<std::string>{"EncodeByte", "DecodeByte", "EncodeString",
                                          "DecodeString", "CompressFile", "DecompressFile"}));
  ASSERT_EQ(typed().TypeInfo().events().size(), 2u);
  EXPECT_EQ(typed().TypeInfo().event_interface(), "__clsHuffmanCompression");
}

// ---- files ------------------------------------------------------------------------------

class HuffmanFileTest : public HuffmanCompressionTest {
 protected:
  String Path(const std::string& name) { return folder_.File(name); }
  std::filesystem::path Native(const std::string& name) { return folder_.path() / name; }
  testing::TempFolder folder_;
};

TEST_F(HuffmanFileTest, FilesAndEventsMatchTheCore) {
  std::mt19937 rng(11);
  for (std::size_t n : {0u, 65536u}) {
    Bytes data(n);
    for (auto& b : data)
      b = static_cast<std::uint8_t>("etaoin shrdlu"[rng() % 13] + (rng() % 50 == 0 ? 100 : 0));
    WriteFile(Native("in.bin"), data);
    String in = Path("in.bin"), packed = Path("in.he3"), out = Path("out.bin");
    std::vector<std::int16_t> core;
    const Bytes block = huffman::Encode(data, [&](std::int16_t p) { core.push_back(p); });
    events_.progress.clear();
    ASSERT_EQ(object_.Call("CompressFile", {in, packed}), Variant(true)) << n;
    EXPECT_EQ(ReadFile(Native("in.he3")), block) << n;
    EXPECT_EQ(events_.Progress(), core) << n;
    core.clear();
    huffman::Decode(block, [&](std::int16_t p) { core.push_back(p); });
    events_.progress.clear();
    ASSERT_EQ(typed().DecompressFile(packed, out), True) << n;
    EXPECT_EQ(ReadFile(Native("out.bin")), data) << n;
    EXPECT_EQ(events_.Progress(), core) << n;
    EXPECT_TRUE(events_.messages.empty());
  }
}

// The destination is written without being cut short, so a longer one must go first.
TEST_F(HuffmanFileTest, CompressReplacesAnExistingDestination) {
  WriteFile(Native("in.bin"), Text("abababab"));
  WriteFile(Native("in.he3"), Bytes(1000, 'z'));
  String in = Path("in.bin"), packed = Path("in.he3");
  ASSERT_EQ(typed().CompressFile(in, packed), True);
  EXPECT_EQ(ReadFile(Native("in.he3")), huffman::Encode(Text("abababab")));
}

TEST_F(HuffmanFileTest, MissingSourcesAreReportedWithTheirOwnWording) {
  String missing = Path("nothing.bin"), dest = Path("dest.bin");
  WriteFile(Native("dest.bin"), Text("keep"));
  EXPECT_EQ(typed().CompressFile(missing, dest), False);
  EXPECT_EQ(typed().DecompressFile(missing, dest), False);
  ASSERT_EQ(events_.messages.size(), 2u);
  EXPECT_EQ(events_.messages[0],
            u"The file to be compressed could not be found at '" + missing + u"'");
  EXPECT_EQ(events_.messages[1],
            u"The file to be compressed could not be found in '" + missing + u"'");
  EXPECT_EQ(ReadFile(Native("dest.bin")), Text("keep"));
}

// Decoding fails after the destination was deleted; only the damaged block's walk reports.
TEST_F(HuffmanFileTest, DecodeFailuresReportTheErrorText) {
  Bytes flipped = kAbabBlock;
  flipped[16] = 0x0B;
  const std::pair<Bytes, const char16_t*> cases[] = {
      {Text("HE7\rplain text"), huffman::kIdentificationDescription},
      {flipped, huffman::kChecksumDescription}};
  String in = Path("in.he3"), old = Path("old.bin");
  for (const auto& [block, description] : cases) {
    WriteFile(Native("in.he3"), block);
    WriteFile(Native("old.bin"), Text("old contents"));
    events_.messages.clear();
    EXPECT_EQ(typed().DecompressFile(in, old), False);
    EXPECT_EQ(events_.messages,
              std::vector<String>{u"There was an error while trying to decompress the file: " +
                                  String(description) + u"'"});
    EXPECT_FALSE(std::filesystem::exists(Native("old.bin")));
  }
  EXPECT_EQ(events_.progress, (std::vector<Integer>{89}));
}

// Deletes nothing and reports no fault, as a file held open elsewhere may behave.
class KeepingFileSystemTools final : public FileSystemTools {
 public:
  Double GetDriveFreeSpace(Integer n) override { return real_->GetDriveFreeSpace(n); }
  Integer GetDriveNumber(const String& d) override { return real_->GetDriveNumber(d); }
  String GetDriveName(const String& p) override { return real_->GetDriveName(p); }
  Long GetFileLength(const String& p) override { return real_->GetFileLength(p); }
  VariantBool FolderExists(const String& f) override { return real_->FolderExists(f); }
  VariantBool FileExists(const String& p) override { return real_->FileExists(p); }
  String GetFolderName(const String& p) override { return real_->GetFolderName(p); }
  void DeleteFile(const String& p) override {
    if (!p.ends_with(u"locked.bin")) real_->DeleteFile(p);
  }
  String AddTrailingSeparator(const String& f) override { return real_->AddTrailingSeparator(f); }

 private:
  std::shared_ptr<FileSystemTools> real_ = MakeLocalFileSystemTools();
};

TEST_F(HuffmanFileTest, LockedDestinationIsReportedAndKept) {
  SetFileSystemToolsFactory(
      [] { return std::shared_ptr<FileSystemTools>(std::make_shared<KeepingFileSystemTools>()); });
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  SetFileSystemToolsFactory({});
  Recorder seen;
  Listen(object, seen);
  WriteFile(Native("in.he3"), kAbabBlock);
  WriteFile(Native("locked.bin"), Text("keep me"));
  String in = Path("in.he3"), locked = Path("locked.bin");
  EXPECT_EQ(object.As<clsHuffmanCompression>()->DecompressFile(in, locked), False);
  EXPECT_EQ(seen.messages,
            std::vector<String>{
                u"The file could not be decompressed because the exisiting file could not be "
                u"removed.\r\n\r\nThe most likely cause is that another person still has this "
                u"file open and is currently using the file.  Make sure all other programs using "
                u"this file are also closed.\r\n\r\nThe file is located at: '" +
                locked + u"'"});
  EXPECT_EQ(ReadFile(Native("locked.bin")), Text("keep me"));
}

TEST_F(HuffmanFileTest, FaultsOfTheFileToolsGoThroughTheHandler) {
  compress::testing::ScopedFakeFileSystem fake;
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  Recorder seen;
  Listen(object, seen);
  auto& members = *object.As<clsHuffmanCompression>();
  WriteFile(Native("in.he3"), kAbabBlock);
  WriteFile(Native("held.bin"), Text("held"));
  String in = Path("in.he3"), held = Path("held.bin");
  fake.state->undeletable.insert(held);
  EXPECT_EQ(members.DecompressFile(in, held), False);
  EXPECT_EQ(seen.messages,
            std::vector<String>{
                u"There was an error while trying to decompress the file: Permission denied'"});

  // The space check runs on the source's folder: less room than the source's 100 bytes fails.
  WriteFile(Native("in.bin"), Bytes(100, 'a'));
  fake.state->free_space = 99;
  String source = Path("in.bin"), out = Path("out.he3");
  EXPECT_EQ(members.CompressFile(source, out), False);
  ASSERT_EQ(seen.messages.size(), 2u);
  EXPECT_TRUE(seen.messages[1].starts_with(u"There is not enough disk space on drive '"));
  EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));
  // Equal space passes; a destination in a missing folder is not checked, so opening it fails.
  fake.state->free_space = 100;
  String elsewhere = folder_.File("no-such-folder/out.he3");
  EXPECT_EQ(members.CompressFile(source, elsewhere), False);
  ASSERT_EQ(seen.messages.size(), 3u);
  EXPECT_TRUE(
      seen.messages[2].starts_with(u"There was an error while trying to compress the file: "))
      << ToUtf8(seen.messages[2]);
}

TEST_F(HuffmanFileTest, WithoutFileSystemToolsTheFileMembersFail) {
  SetFileSystemToolsFactory(
      []() -> std::shared_ptr<FileSystemTools> { Raise(err::kCantCreateObject); });
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  SetFileSystemToolsFactory({});
  Recorder seen;
  Listen(object, seen);
  WriteFile(Native("in.bin"), Text("abab"));
  String in = Path("in.bin"), out = Path("out.he3");
  EXPECT_EQ(object.As<clsHuffmanCompression>()->CompressFile(in, out), False);
  EXPECT_EQ(seen.messages,
            std::vector<String>{u"There was an error while trying to compress the file: "
                                u"Object variable or With block variable not set'"});
  // The byte members do not need it.
  EXPECT_EQ(object.Call("EncodeString", {u"abab"}).Str(), FromAnsi(kAbabBlock));
}

}  // namespace
}  // namespace narwick
