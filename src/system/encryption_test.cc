// clsEncryption: text through code page 1252, the file members, failure values, dispatch.
#include "narwick/system/encryption.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "narwick/frame/codepage.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/file_system_tools.h"
#include "system/rc4.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes data(n);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  return data;
}

// What the cipher must produce: the data XOR the keystream of the key's code-page bytes.
Bytes Enciphered(const String& key, Bytes data) {
  rc4::Cipher cipher(ToAnsi(key));
  cipher.Apply(data);
  return data;
}

// Every character of the code page, once each.
String AllCodePageCharacters() {
  String text;
  for (int b = 0; b < 256; ++b) text.push_back(AnsiToChar(static_cast<Byte>(b)));
  return text;
}

class EncryptionTest : public ::testing::Test {
 protected:
  fs::path Path(const std::string& name) const { return folder_.path() / name; }
  String Name(const std::string& name) const { return folder_.File(name); }

  testing::TempFolder folder_;
  clsEncryption enc_;
};

TEST_F(EncryptionTest, EncryptGivesTheRc4BytesAsCodePageCharacters) {
  // "Key" / "Plaintext" enciphers to BB F3 16 E8 D9 40 AF 0A D3.
  const Byte expected[] = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
  EXPECT_EQ(enc_.Encrypt(u"Key", u"Plaintext"), FromAnsi(expected));
  EXPECT_EQ(enc_.Decrypt(u"Key", u"Plaintext"), FromAnsi(expected));
}

// Random texts and keys over the whole code page (NUL included) against the core on their
// bytes; one object for all rounds, so a schedule left over from the last call shows.
TEST_F(EncryptionTest, MatchesTheCoreOnEveryCodePageCharacter) {
  const std::uint32_t seed = 1252;
  std::mt19937 rng(seed);
  const String all = AllCodePageCharacters();
  auto model = [](const String& key, const String& text) {
    return FromAnsi(Enciphered(key, ToAnsi(text)));
  };
  for (int round = 0; round < 50; ++round) {
    String text = all;
    std::shuffle(text.begin(), text.end(), rng);
    text.resize(1 + rng() % text.size());
    String key;
    for (std::size_t k = 1 + rng() % 40; k > 0; --k) key.push_back(all[rng() % all.size()]);
    const String cipher = enc_.Encrypt(key, text);
    EXPECT_EQ(cipher, model(key, text)) << "seed " << seed << " round " << round;
    EXPECT_EQ(enc_.Decrypt(key, cipher), text) << "seed " << seed << " round " << round;
  }
  EXPECT_EQ(enc_.Encrypt(all, all), model(all, all));
}

TEST_F(EncryptionTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  const String outside = u"A\u0100\u4E2D\u2603Z";  // Ā, a CJK character, a snowman
  EXPECT_EQ(enc_.Encrypt(u"k", outside), enc_.Encrypt(u"k", u"A???Z"));
  EXPECT_EQ(enc_.Decrypt(u"k", enc_.Encrypt(u"k", outside)), u"A???Z");
  EXPECT_EQ(enc_.Encrypt(u"\u4E2D\u2603", u"text"), enc_.Encrypt(u"??", u"text"));
  // Characters that the page does hold above 0x7F keep their own byte: the euro sign is 0x80.
  const Byte euro[] = {0x80};
  EXPECT_EQ(enc_.Encrypt(u"\u20AC", u"text"), enc_.Encrypt(FromAnsi(euro), u"text"));
  EXPECT_NE(enc_.Encrypt(u"\u20AC", u"text"), enc_.Encrypt(u"?", u"text"));
}

TEST_F(EncryptionTest, EmptyKeyOrEmptyTextGivesEmptyString) {
  EXPECT_EQ(enc_.Encrypt(u"", u"some text"), u"");
  EXPECT_EQ(enc_.Decrypt(u"", u"some text"), u"");
  EXPECT_EQ(enc_.Encrypt(u"key", u""), u"");
  EXPECT_EQ(enc_.Decrypt(u"key", u""), u"");
}

// The enciphered file is the bare keystream XOR of the source, nothing added, and the
// key's characters go through the code page as for text.
TEST_F(EncryptionTest, EncryptFileWritesTheCipherAndDeletesTheSource) {
  const Bytes plain = RandomBytes(300001, 11);  // crosses several buffer blocks
  WriteAll(Path("plain.bin"), plain);
  enc_.encryptKey(u"file key \u00E9");

  EXPECT_EQ(enc_.encryptFile(Name("plain.bin"), Name("cipher.bin")).raw(), 0);
  EXPECT_FALSE(fs::exists(Path("plain.bin")));
  EXPECT_EQ(ReadAll(Path("cipher.bin")), Enciphered(u"file key \u00E9", plain));

  EXPECT_EQ(enc_.DecryptFile(Name("cipher.bin"), Name("back.bin")).raw(), 0);
  EXPECT_TRUE(fs::exists(Path("cipher.bin")));
  EXPECT_EQ(ReadAll(Path("back.bin")), plain);
}

TEST_F(EncryptionTest, EmptyKeyTouchesNoFile) {
  WriteAll(Path("plain.bin"), Bytes{1, 2, 3});
  EXPECT_EQ(enc_.encryptFile(Name("plain.bin"), Name("cipher.bin")).raw(), -1);
  EXPECT_EQ(enc_.DecryptFile(Name("plain.bin"), Name("cipher.bin")).raw(), -1);
  EXPECT_EQ(ReadAll(Path("plain.bin")), (Bytes{1, 2, 3}));
  EXPECT_FALSE(fs::exists(Path("cipher.bin")));
  EXPECT_EQ(enc_.DecryptFile(Name("missing.bin"), Name("cipher.bin")).raw(), -1);
  EXPECT_FALSE(fs::exists(Path("missing.bin")));
}

TEST_F(EncryptionTest, MissingSourceIsCreatedEmpty) {
  enc_.encryptKey(u"k");
  // encryptFile creates the source while opening it, writes an empty result, then deletes it.
  EXPECT_FALSE(enc_.encryptFile(Name("absent.bin"), Name("out.bin")));
  EXPECT_FALSE(fs::exists(Path("absent.bin")));
  ASSERT_TRUE(fs::exists(Path("out.bin")));
  EXPECT_EQ(fs::file_size(Path("out.bin")), 0u);
  // DecryptFile keeps the source it created.
  EXPECT_FALSE(enc_.DecryptFile(Name("absent2.bin"), Name("out2.bin")));
  ASSERT_TRUE(fs::exists(Path("absent2.bin")));
  EXPECT_EQ(fs::file_size(Path("absent2.bin")), 0u);
  EXPECT_EQ(fs::file_size(Path("out2.bin")), 0u);
}

TEST_F(EncryptionTest, LongerExistingDestinationIsCutToTheResult) {
  WriteAll(Path("dest.bin"), Bytes(5000, 'X'));
  const Bytes plain = RandomBytes(123, 3);
  WriteAll(Path("plain.bin"), plain);
  enc_.encryptKey(u"k");
  EXPECT_FALSE(enc_.DecryptFile(Name("plain.bin"), Name("dest.bin")));
  EXPECT_EQ(ReadAll(Path("dest.bin")), Enciphered(u"k", plain));
  WriteAll(Path("empty.bin"), Bytes{});
  EXPECT_FALSE(enc_.DecryptFile(Name("empty.bin"), Name("dest.bin")));
  EXPECT_EQ(fs::file_size(Path("dest.bin")), 0u);
}

TEST_F(EncryptionTest, SamePathOnBothSidesEnciphersInPlace) {
  const Bytes plain = RandomBytes(700000, 5);
  WriteAll(Path("data.bin"), plain);
  enc_.encryptKey(u"in place");
  EXPECT_FALSE(enc_.DecryptFile(Name("data.bin"), Name("data.bin")));
  EXPECT_EQ(ReadAll(Path("data.bin")), Enciphered(u"in place", plain));
}

// A destination that cannot be written gives True and leaves the source where it was. Root
// may write any file whatever its mode, so the mode case runs only for other users; a
// kernel table no one may write stands in for it.
TEST_F(EncryptionTest, UnwritableDestinationGivesTrueAndKeepsTheSource) {
  const Bytes plain = RandomBytes(100, 9);
  WriteAll(Path("plain.bin"), plain);
  enc_.encryptKey(u"k");
  fs::create_directory(Path("a folder"));
  WriteAll(Path("locked.bin"), Bytes(10, 'L'));
  fs::permissions(Path("locked.bin"), fs::perms::owner_read | fs::perms::others_read);
  std::vector<String> destinations = {Name("a folder"), Name("no such folder/out.bin")};
  if (fs::exists("/proc/sys/kernel/osrelease"))
    destinations.push_back(u"/proc/sys/kernel/osrelease");
  if (geteuid() != 0) destinations.push_back(Name("locked.bin"));
  for (const String& destination : destinations) {
    EXPECT_EQ(enc_.encryptFile(Name("plain.bin"), destination).raw(), -1) << ToUtf8(destination);
    EXPECT_EQ(ReadAll(Path("plain.bin")), plain) << ToUtf8(destination);
  }
  EXPECT_EQ(ReadAll(Path("locked.bin")), Bytes(10, 'L'));
}

// A source that is no regular file stops the work before anything is written: a folder
// cannot be opened (so no destination is made), and a pipe has no length to read.
TEST_F(EncryptionTest, SourceThatIsNoRegularFileGivesTrueAndLeavesTheDestination) {
  enc_.encryptKey(u"k");
  fs::create_directory(Path("a folder"));
  ASSERT_EQ(mkfifo(Path("a pipe").c_str(), 0600), 0);
  WriteAll(Path("dest.bin"), Bytes{1, 2, 3});
  EXPECT_EQ(enc_.encryptFile(Name("a folder"), Name("new.bin")).raw(), -1);
  EXPECT_FALSE(fs::exists(Path("new.bin")));
  EXPECT_EQ(enc_.encryptFile(Name("a pipe"), Name("dest.bin")).raw(), -1);
  EXPECT_EQ(ReadAll(Path("dest.bin")), (Bytes{1, 2, 3}));
  EXPECT_TRUE(fs::exists(Path("a folder")) && fs::exists(Path("a pipe")));
}

// A FileSystemTools whose DeleteFile fails, as when the source cannot be removed.
class FailingDelete final : public FileSystemTools {
 public:
  Double GetDriveFreeSpace(Integer) override { return 0; }
  Integer GetDriveNumber(const String&) override { return 0; }
  String GetDriveName(const String&) override { return String(); }
  Long GetFileLength(const String&) override { return 0; }
  VariantBool FolderExists(const String&) override { return false; }
  VariantBool FileExists(const String&) override { return false; }
  String GetFolderName(const String&) override { return String(); }
  void DeleteFile(const String&) override { Raise(err::kPermissionDenied); }
  String AddTrailingSeparator(const String& folder) override { return folder; }
};

TEST_F(EncryptionTest, FailedDeleteOfTheSourceGivesTrue) {
  SetFileSystemToolsFactory([] { return std::make_shared<FailingDelete>(); });
  clsEncryption enc;
  WriteAll(Path("plain.bin"), Bytes{1, 2, 3});
  enc.encryptKey(u"k");
  const VariantBool result = enc.encryptFile(Name("plain.bin"), Name("cipher.bin"));
  SetFileSystemToolsFactory(nullptr);
  EXPECT_EQ(result.raw(), -1);
  EXPECT_EQ(ReadAll(Path("cipher.bin")), Enciphered(u"k", Bytes{1, 2, 3}));
  EXPECT_TRUE(fs::exists(Path("plain.bin")));
}

// Every member by name, with the text arguments passed by reference and left unchanged.
TEST_F(EncryptionTest, EveryMemberByName) {
  Object enc = CreateObject("Narwick.clsEncryption");
  EXPECT_EQ(enc.get()->TypeInfo().members().size(), 8u);
  EXPECT_EQ(enc.Get("encryptText"), Variant(u""));
  enc.Let("encryptKey", u"Key");  // the file members below need it
  enc.Let("encryptText", u"stored");
  EXPECT_EQ(enc.Get("encryptKey"), Variant(u"Key"));
  EXPECT_EQ(enc.Get("encryptText"), Variant(u"stored"));
  for (const char* name : {"Encrypt", "Decrypt"}) {
    Variant key = u"Key", text = u"Plaintext";
    EXPECT_EQ(enc.Call(name, {ByRef(key), ByRef(text)}),
              Variant(clsEncryption().Encrypt(u"Key", u"Plaintext")));
    EXPECT_EQ(key, Variant(u"Key"));
    EXPECT_EQ(text, Variant(u"Plaintext"));
  }
  WriteAll(Path("a.bin"), Bytes{'a', 'b', 'c'});
  const Variant result = enc.Call("DecryptFile", {Name("a.bin"), Name("b.bin")});
  EXPECT_EQ(result.VarType(), VbVarType::vbBoolean);
  EXPECT_EQ(result.Int(), 0);
  EXPECT_EQ(enc.Call("encryptFile", {Name("missing folder/x"), Name("c.bin")}).Int(), -1);
  EXPECT_EQ(enc.Call("encrypt", {u"Key", u""}), Variant(u""));  // names match in any case
  // Text takes its key from the argument alone, never from encryptKey.
  EXPECT_EQ(enc.Call("Decrypt", {u"", u"Plaintext"}), Variant(u""));
}

}  // namespace
}  // namespace narwick
