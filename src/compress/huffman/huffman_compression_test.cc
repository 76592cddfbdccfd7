// clsHuffmanCompression through its members and by name: arrays, strings, errors, events,
// and the file members against the codec core.
#include "narwick/compress/huffman_compression.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "compress/common/fake_file_system_tools.h"
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

const Bytes kAbabBlock = {0x48, 0x45, 0x33, 0x0D, 0x00, 0x04, 0x00, 0x00, 0x00,
                          0x02, 0x00, 0x61, 0x01, 0x62, 0x01, 0x02, 0x0A};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

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
};

class HuffmanCompressionTest : public ::testing::Test {
 protected:
  HuffmanCompressionTest() {
    object_.Advise([this](EventCall& e) { events_(e); });
  }
  clsHuffmanCompression& typed() { return *object_.As<clsHuffmanCompression>(); }

  std::vector<std::int16_t> CoreEncodeProgress(const Bytes& input) {
    std::vector<std::int16_t> seen;
    huffman::Encode(input, [&](std::int16_t p) { seen.push_back(p); });
    return seen;
  }

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

TEST_F(HuffmanCompressionTest, EncodeByteTakesOnlyByteLenBytes) {
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
  EXPECT_TRUE(events_.progress.empty());
}

TEST_F(HuffmanCompressionTest, EncodeByteLeavesAnArrayWithoutIndexZero) {
  SafeArray array(VbVarType::vbByte, 1, 4);
  const SafeArray before = array;
  Long len = 4;
  typed().EncodeByte(array, len);
  EXPECT_EQ(array, before);
}

TEST_F(HuffmanCompressionTest, DecodeByteRaisesItsOwnErrorsAndKeepsTheArray) {
  struct Case {
    Bytes block;
    const char16_t* source;
    const char16_t* description;
  };
  Bytes wrong_version = kAbabBlock;
  wrong_version[2] = 0x32;
  Bytes flipped = kAbabBlock;
  flipped[16] = 0x0B;
  for (const Case& c : {Case{wrong_version, huffman::kIdentificationSource, huffman::kIdentificationDescription},
                        Case{Text("no header here"), huffman::kIdentificationSource, huffman::kIdentificationDescription},
                        Case{flipped, huffman::kChecksumSource, huffman::kChecksumDescription}}) {
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

TEST_F(HuffmanCompressionTest, MalformedBlocksRaiseSubscriptOutOfRange) {
  for (std::size_t cut : {2u, 9u}) {
    SafeArray array = SafeArray::FromBytes(Bytes(kAbabBlock.begin(), kAbabBlock.begin() + static_cast<std::ptrdiff_t>(cut)));
    const SafeArray before = array;
    Long len = static_cast<Long>(cut);
    EXPECT_RUNTIME_ERROR(typed().DecodeByte(array, len), 9);
    EXPECT_EQ(array, before);
  }
  // The body needs bytes past the array's end.
  SafeArray array = SafeArray::FromBytes(Bytes(kAbabBlock.begin(), kAbabBlock.end() - 1));
  Long len = 17;
  EXPECT_RUNTIME_ERROR(typed().DecodeByte(array, len), 9);
  SafeArray shifted(VbVarType::vbByte, 1, 17);
  EXPECT_RUNTIME_ERROR(typed().DecodeByte(shifted, len), 9);
}

TEST_F(HuffmanCompressionTest, LengthFieldZeroLeavesTheArray) {
  Bytes block = kAbabBlock;
  block[5] = 0;
  SafeArray array = SafeArray::FromBytes(block);
  Long len = 17;
  typed().DecodeByte(array, len);
  EXPECT_EQ(array.ToBytes(), block);
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

// ---- files ------------------------------------------------------------------------------

Bytes ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& p, const Bytes& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class HuffmanFileTest : public HuffmanCompressionTest {
 protected:
  String Path(const std::string& name) { return folder_.File(name); }
  std::filesystem::path Native(const std::string& name) { return folder_.path() / name; }
  testing::TempFolder folder_;
};

TEST_F(HuffmanFileTest, FilesMatchTheCoreAroundBufferSizes) {
  std::mt19937 rng(11);
  for (std::size_t n : {1u, 4095u, 4096u, 4097u, 8192u, 10000u, 12289u, 65536u}) {
    Bytes data(n);
    for (auto& b : data) b = static_cast<std::uint8_t>("etaoin shrdlu"[rng() % 13] + (rng() % 50 == 0 ? 100 : 0));
    WriteFile(Native("in.bin"), data);
    events_.progress.clear();
    String in = Path("in.bin"), packed = Path("in.he3"), out = Path("out.bin");
    ASSERT_EQ(object_.Call("CompressFile", {in, packed}), Variant(true)) << n;
    EXPECT_EQ(ReadFile(Native("in.he3")), huffman::Encode(data)) << n;
    EXPECT_EQ(std::vector<std::int16_t>(events_.progress.begin(), events_.progress.end()), CoreEncodeProgress(data)) << n;
    events_.progress.clear();
    ASSERT_EQ(typed().DecompressFile(packed, out), True) << n;
    EXPECT_EQ(ReadFile(Native("out.bin")), data) << n;
    std::vector<std::int16_t> core_decode;
    huffman::Decode(huffman::Encode(data), [&](std::int16_t p) { core_decode.push_back(p); });
    EXPECT_EQ(std::vector<std::int16_t>(events_.progress.begin(), events_.progress.end()), core_decode) << n;
    EXPECT_TRUE(events_.messages.empty());
  }
}

TEST_F(HuffmanFileTest, RepeatedByteAndEmptyFilesUseTheStoredForm) {
  WriteFile(Native("same.bin"), Bytes(5000, 'q'));
  String same = Path("same.bin"), packed = Path("same.he3"), back = Path("same.out");
  ASSERT_EQ(typed().CompressFile(same, packed), True);
  Bytes expected(4 + 5000, 'q');
  std::copy_n(Bytes{0x48, 0x45, 0x30, 0x0D}.begin(), 4, expected.begin());
  EXPECT_EQ(ReadFile(Native("same.he3")), expected);

  WriteFile(Native("empty.bin"), {});
  String empty = Path("empty.bin"), empty_packed = Path("empty.he3"), empty_back = Path("empty.out");
  ASSERT_EQ(typed().CompressFile(empty, empty_packed), True);
  EXPECT_EQ(ReadFile(Native("empty.he3")), (Bytes{0x48, 0x45, 0x30, 0x0D}));
  ASSERT_EQ(typed().DecompressFile(empty_packed, empty_back), True);
  EXPECT_TRUE(ReadFile(Native("empty.out")).empty());
}

TEST_F(HuffmanFileTest, CompressReplacesAnExistingDestination) {
  WriteFile(Native("in.bin"), Text("abababab"));
  WriteFile(Native("in.he3"), Bytes(1000, 'z'));
  String in = Path("in.bin"), packed = Path("in.he3");
  ASSERT_EQ(typed().CompressFile(in, packed), True);
  EXPECT_EQ(ReadFile(Native("in.he3")), huffman::Encode(Text("abababab")));
}

TEST_F(HuffmanFileTest, MissingSourcesAreReportedWithTheirOwnWording) {
  String missing = Path("nothing.bin"), dest = Path("dest.bin");
  EXPECT_EQ(typed().CompressFile(missing, dest), False);
  EXPECT_EQ(typed().DecompressFile(missing, dest), False);
  ASSERT_EQ(events_.messages.size(), 2u);
  EXPECT_EQ(events_.messages[0], u"The file to be compressed could not be found at '" + missing + u"'");
  EXPECT_EQ(events_.messages[1], u"The file to be compressed could not be found in '" + missing + u"'");
  EXPECT_FALSE(std::filesystem::exists(Native("dest.bin")));
}

TEST_F(HuffmanFileTest, NonBlockSourceFailsAfterTheDestinationIsDeleted) {
  WriteFile(Native("text.txt"), Text("HE7\rplain text"));
  WriteFile(Native("old.bin"), Text("old contents"));
  String text = Path("text.txt"), old = Path("old.bin");
  EXPECT_EQ(typed().DecompressFile(text, old), False);
  ASSERT_EQ(events_.messages.size(), 1u);
  EXPECT_EQ(events_.messages[0],
            String(u"There was an error while trying to decompress the file: ") +
                huffman::kIdentificationDescription + u"'");
  EXPECT_FALSE(std::filesystem::exists(Native("old.bin")));
}

TEST_F(HuffmanFileTest, DamagedBlockReportsTheChecksumText) {
  Bytes block = kAbabBlock;
  block[16] = 0x0B;
  WriteFile(Native("bad.he3"), block);
  String bad = Path("bad.he3"), out = Path("out.bin");
  EXPECT_EQ(typed().DecompressFile(bad, out), False);
  ASSERT_EQ(events_.messages.size(), 1u);
  EXPECT_EQ(events_.messages[0], String(huffman::kDecompressFailed) + huffman::kChecksumDescription + u"'");
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
    if (p.ends_with(u"locked.bin")) return;
    real_->DeleteFile(p);
  }
  String AddTrailingSeparator(const String& f) override { return real_->AddTrailingSeparator(f); }

 private:
  std::shared_ptr<FileSystemTools> real_ = MakeLocalFileSystemTools();
};

TEST_F(HuffmanFileTest, LockedDestinationIsReportedAndKept) {
  SetFileSystemToolsFactory([] { return std::shared_ptr<FileSystemTools>(std::make_shared<KeepingFileSystemTools>()); });
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  SetFileSystemToolsFactory({});
  Recorder seen;
  object.Advise([&](EventCall& e) { seen(e); });
  WriteFile(Native("in.he3"), kAbabBlock);
  WriteFile(Native("locked.bin"), Text("keep me"));
  String in = Path("in.he3"), locked = Path("locked.bin");
  EXPECT_EQ(object.As<clsHuffmanCompression>()->DecompressFile(in, locked), False);
  ASSERT_EQ(seen.messages.size(), 1u);
  EXPECT_EQ(seen.messages[0],
            u"The file could not be decompressed because the exisiting file could not be removed.\r\n\r\n"
            u"The most likely cause is that another person still has this file open and is currently using "
            u"the file.  Make sure all other programs using this file are also closed.\r\n\r\n"
            u"The file is located at: '" + locked + u"'");
  EXPECT_EQ(ReadFile(Native("locked.bin")), Text("keep me"));
}

TEST_F(HuffmanFileTest, DeleteFaultGoesThroughTheHandler) {
  compress::testing::ScopedFakeFileSystem fake;
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  Recorder seen;
  object.Advise([&](EventCall& e) { seen(e); });
  WriteFile(Native("in.he3"), kAbabBlock);
  WriteFile(Native("held.bin"), Text("held"));
  String in = Path("in.he3"), held = Path("held.bin");
  fake.state->undeletable.insert(held);
  EXPECT_EQ(object.As<clsHuffmanCompression>()->DecompressFile(in, held), False);
  ASSERT_EQ(seen.messages.size(), 1u);
  EXPECT_EQ(seen.messages[0], u"There was an error while trying to decompress the file: Permission denied'");
}

TEST_F(HuffmanFileTest, DestinationCheckRunsOnTheSourceFolder) {
  compress::testing::ScopedFakeFileSystem fake;
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  Recorder seen;
  object.Advise([&](EventCall& e) { seen(e); });
  WriteFile(Native("in.bin"), Bytes(100, 'a'));
  fake.state->free_space = 99;  // less than the source's 100 bytes
  String in = Path("in.bin"), out = Path("out.he3");
  EXPECT_EQ(object.As<clsHuffmanCompression>()->CompressFile(in, out), False);
  ASSERT_EQ(seen.messages.size(), 1u);
  EXPECT_TRUE(seen.messages[0].starts_with(u"There is not enough disk space on drive '"));
  EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));
  // Equal space passes; a destination in a missing folder is not checked (the source's is).
  fake.state->free_space = 100;
  String elsewhere = folder_.File("no-such-folder/out.he3");
  EXPECT_EQ(object.As<clsHuffmanCompression>()->CompressFile(in, elsewhere), False);
  ASSERT_EQ(seen.messages.size(), 2u);
  EXPECT_TRUE(seen.messages[1].starts_with(u"There was an error while trying to compress the file: ")) << ToUtf8(seen.messages[1]);
}

TEST_F(HuffmanFileTest, WithoutFileSystemToolsTheFileMembersFail) {
  SetFileSystemToolsFactory([]() -> std::shared_ptr<FileSystemTools> { Raise(err::kCantCreateObject); });
  Object object = CreateObject("Narwick.clsHuffmanCompression");
  SetFileSystemToolsFactory({});
  Recorder seen;
  object.Advise([&](EventCall& e) { seen(e); });
  WriteFile(Native("in.bin"), Text("abab"));
  String in = Path("in.bin"), out = Path("out.he3");
  EXPECT_EQ(object.As<clsHuffmanCompression>()->CompressFile(in, out), False);
  ASSERT_EQ(seen.messages.size(), 1u);
  EXPECT_EQ(seen.messages[0],
            u"There was an error while trying to compress the file: Object variable or With block variable not set'");
  // The byte members do not need it.
  EXPECT_EQ(object.Call("EncodeString", {u"abab"}).Str(), FromAnsi(kAbabBlock));
}

TEST_F(HuffmanCompressionTest, MemberTableListsSixMembersAndTwoEvents) {
  std::set<std::string> names;
  for (const auto& m : typed().TypeInfo().members()) names.insert(m.name);
  EXPECT_EQ(names, (std::set<std::string>{"EncodeByte", "DecodeByte", "EncodeString", "DecodeString",
                                          "CompressFile", "DecompressFile"}));
  ASSERT_EQ(typed().TypeInfo().events().size(), 2u);
  EXPECT_EQ(typed().TypeInfo().event_interface(), "__clsHuffmanCompression");
}

}  // namespace
}  // namespace narwick
