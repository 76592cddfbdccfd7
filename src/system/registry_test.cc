// clsRegistry on a temporary store: the reading and writing rules per type, the enumeration
// output rules, name write-back through the code page, keys always closed, late-bound calls,
// and two processes writing one store at once.
#include "narwick/system/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "narwick/frame/class_table.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/object.h"
#include "platform/registry_store.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using platform::HKey;
using platform::RegStatus;
namespace reg = platform::reg;

constexpr auto kHkcu = EnumRegistryRootKeys::rrkHKeyCurrentUser;
constexpr HKey kHkcuHandle = 0x80000001u;

// Passes every call to the store, counting keys opened and not yet closed, and can make
// QueryInfoKey report one entry fewer than there are (a key changed between the calls).
class CountingRegistry final : public platform::RegistryApi {
 public:
  explicit CountingRegistry(std::shared_ptr<platform::RegistryStore> store) : store_(std::move(store)) {}
  int open_keys = 0;
  bool under_report = false;

  RegStatus CreateKeyEx(HKey key, std::string_view sub, std::uint32_t options, std::uint32_t sam, HKey* result,
                        std::uint32_t* disposition) override {
    RegStatus s = store_->CreateKeyEx(key, sub, options, sam, result, disposition);
    if (s == reg::kSuccess) ++open_keys;
    return s;
  }
  RegStatus OpenKeyEx(HKey key, std::string_view sub, std::uint32_t options, std::uint32_t sam, HKey* result) override {
    RegStatus s = store_->OpenKeyEx(key, sub, options, sam, result);
    if (s == reg::kSuccess) ++open_keys;
    return s;
  }
  RegStatus CloseKey(HKey key) override {
    RegStatus s = store_->CloseKey(key);
    if (s == reg::kSuccess && key < 0x80000000u) --open_keys;
    return s;
  }
  RegStatus DeleteKey(HKey key, std::string_view sub) override { return store_->DeleteKey(key, sub); }
  RegStatus DeleteValue(HKey key, std::string_view name) override { return store_->DeleteValue(key, name); }
  RegStatus QueryInfoKey(HKey key, platform::KeyInfo* info) override {
    RegStatus s = store_->QueryInfoKey(key, info);
    if (under_report && s == reg::kSuccess) {
      --info->sub_keys;
      --info->values;
    }
    return s;
  }
  RegStatus EnumKey(HKey key, std::uint32_t index, std::span<char> name) override {
    return store_->EnumKey(key, index, name);
  }
  RegStatus EnumValue(HKey key, std::uint32_t index, std::span<char> name, std::uint32_t* length, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* size) override {
    return store_->EnumValue(key, index, name, length, type, data, size);
  }
  RegStatus QueryValueEx(HKey key, std::string_view name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* size) override {
    return store_->QueryValueEx(key, name, type, data, size);
  }
  RegStatus SetValueEx(HKey key, std::string_view name, std::uint32_t type, std::span<const std::uint8_t> data) override {
    return store_->SetValueEx(key, name, type, data);
  }

 private:
  std::shared_ptr<platform::RegistryStore> store_;
};

std::string Ansi(StringView text) {
  auto bytes = ToAnsi(text);
  return {bytes.begin(), bytes.end()};
}

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest()
      : store_(platform::RegistryStore::Open(folder_.path() / "registry.db")),
        counting_(std::make_shared<CountingRegistry>(store_)),
        registry_(counting_) {}

  ~RegistryTest() override { EXPECT_EQ(counting_->open_keys, 0) << "a member left a key open"; }

  // The stored type and bytes of a value, or nullopt.
  std::optional<platform::RegValue> Stored(StringView key_name, StringView value_name) {
    HKey key = 0;
    if (store_->OpenKeyEx(kHkcuHandle, Ansi(key_name), 0, reg::kAllAccess, &key) != reg::kSuccess) return std::nullopt;
    std::uint32_t type = 0, size = 0;
    std::optional<platform::RegValue> out;
    if (store_->QueryValueEx(key, Ansi(value_name), &type, nullptr, &size) == reg::kSuccess) {
      std::vector<std::uint8_t> data(size);
      store_->QueryValueEx(key, Ansi(value_name), &type, data.data(), &size);
      out = platform::RegValue{Ansi(value_name), type, data};
    }
    store_->CloseKey(key);
    return out;
  }
  bool KeyExists(StringView key_name) {
    HKey key = 0;
    if (store_->OpenKeyEx(kHkcuHandle, Ansi(key_name), 0, reg::kAllAccess, &key) != reg::kSuccess) return false;
    store_->CloseKey(key);
    return true;
  }
  void Put(StringView key_name, StringView value_name, std::uint32_t type, std::vector<std::uint8_t> data) {
    HKey key = 0;
    ASSERT_EQ(store_->CreateKeyEx(kHkcuHandle, Ansi(key_name), 0, reg::kAllAccess, &key, nullptr), reg::kSuccess);
    ASSERT_EQ(store_->SetValueEx(key, Ansi(value_name), type, data), reg::kSuccess);
    store_->CloseKey(key);
  }
  void Set(String key, String value, const Variant& data, EnumRegistryValueType type) {
    registry_.RegistrySetKeyValue(kHkcu, key, value, data, type);
  }
  Variant Get(String key, String value) { return registry_.RegistryGetKeyValue(kHkcu, key, value); }

  narwick::testing::TempFolder folder_;
  std::shared_ptr<platform::RegistryStore> store_;
  std::shared_ptr<CountingRegistry> counting_;
  clsRegistry registry_;
};

std::vector<std::uint8_t> B(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int x : v) out.push_back(static_cast<std::uint8_t>(x));
  return out;
}

// --- writing and reading by type ---

TEST_F(RegistryTest, TextIsStoredWithOneZeroAndReadBackWithout) {
  Set(u"App", u"Name", u"abc", EnumRegistryValueType::rrkRegSZ);
  EXPECT_EQ(Stored(u"App", u"Name"), (platform::RegValue{"Name", reg::kSz, B({'a', 'b', 'c', 0})}));
  EXPECT_EQ(Get(u"App", u"Name"), Variant(u"abc"));
  // Text goes through the code page; a number converts with CStr.
  Set(u"App", u"Euro", u"\u20AC\u00E9\u0100", EnumRegistryValueType::rrkRegSZ);
  EXPECT_EQ(Stored(u"App", u"Euro")->data, B({0x80, 0xE9, '?', 0}));
  EXPECT_EQ(Get(u"App", u"Euro"), Variant(u"\u20AC\u00E9?"));
  Set(u"App", u"Num", 2.5, EnumRegistryValueType::rrkRegSZ);
  EXPECT_EQ(Get(u"App", u"Num"), Variant(u"2.5"));
  // The whole string goes over; reading stops at the first zero.
  Set(u"App", u"Cut", String(u"ab\0cd", 5), EnumRegistryValueType::rrkRegSZ);
  EXPECT_EQ(Stored(u"App", u"Cut")->data, B({'a', 'b', 0, 'c', 'd', 0}));
  EXPECT_EQ(Get(u"App", u"Cut"), Variant(u"ab"));
}

TEST_F(RegistryTest, DwordIsFourBytesLeastSignificantFirstAndComesBackAsLong) {
  Set(u"App", u"D", -2, EnumRegistryValueType::rrkRegDWord);
  EXPECT_EQ(Stored(u"App", u"D")->data, B({0xFE, 0xFF, 0xFF, 0xFF}));
  Variant v = Get(u"App", u"D");
  EXPECT_EQ(v.VarType(), VbVarType::vbLong);
  EXPECT_EQ(v, Variant(-2));
  Set(u"App", u"E", u"4660", EnumRegistryValueType::rrkRegDWord);
  EXPECT_EQ(Get(u"App", u"E"), Variant(0x1234));
  // Stored by someone else with fewer bytes: the low bytes; with more: unreadable, Empty.
  Put(u"App", u"Short", reg::kDword, B({0x34, 0x12}));
  EXPECT_EQ(Get(u"App", u"Short"), Variant(0x1234));
  Put(u"App", u"Long", reg::kDword, B({1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE(Get(u"App", u"Long").IsEmpty());
}

TEST_F(RegistryTest, BinaryComesBackAsZeroBasedByteArray) {
  Set(u"App", u"Bin", Variant(SafeArray::FromBytes(B({9, 8, 7, 6}), 0)), EnumRegistryValueType::rrkregbinary);
  EXPECT_EQ(Stored(u"App", u"Bin"), (platform::RegValue{"Bin", reg::kBinary, B({9, 8, 7, 6})}));
  Variant v = Get(u"App", u"Bin");
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v.Array().ElementType(), VbVarType::vbByte);
  EXPECT_EQ(v.Array().LBound(), 0);
  EXPECT_EQ(v.Array().UBound(), 3);
  EXPECT_EQ(v.Array().ToBytes(), B({9, 8, 7, 6}));
  // A String gives its raw 16-bit characters, low byte first.
  Set(u"App", u"Str", u"A\u20AC", EnumRegistryValueType::rrkregbinary);
  EXPECT_EQ(Stored(u"App", u"Str")->data, B({0x41, 0x00, 0xAC, 0x20}));
  // An empty binary value reads as an empty byte array.
  Put(u"App", u"Nothing", reg::kBinary, {});
  Variant empty = Get(u"App", u"Nothing");
  ASSERT_TRUE(empty.IsArray());
  EXPECT_EQ(empty.Array().Count(), 0u);
}

TEST_F(RegistryTest, UnconvertibleDataWritesNothingButTheKeyRemains) {
  Set(u"K1", u"v", 5, EnumRegistryValueType::rrkregbinary);  // a number is no byte array
  EXPECT_TRUE(KeyExists(u"K1"));
  EXPECT_FALSE(Stored(u"K1", u"v"));
  Set(u"K2", u"v", Variant(SafeArray::FromBytes(B({1, 2}), 1)), EnumRegistryValueType::rrkregbinary);
  EXPECT_FALSE(Stored(u"K2", u"v"));
  Set(u"K3", u"v", u"", EnumRegistryValueType::rrkregbinary);  // an empty array has no element 0
  EXPECT_FALSE(Stored(u"K3", u"v"));
  Set(u"K4", u"v", u"not a number", EnumRegistryValueType::rrkRegDWord);
  EXPECT_FALSE(Stored(u"K4", u"v"));
  Set(u"K5", u"v", Variant::Null(), EnumRegistryValueType::rrkRegSZ);
  EXPECT_FALSE(Stored(u"K5", u"v"));
  Set(u"K6", u"v", 1e12, EnumRegistryValueType::rrkRegDWord);  // overflow
  EXPECT_FALSE(Stored(u"K6", u"v"));
  // A value of a Variant array of bytes is a type mismatch too.
  Set(u"K7", u"v", Variant(SafeArray::FromValues(VbVarType::vbVariant, 0, {1, 2})), EnumRegistryValueType::rrkregbinary);
  EXPECT_FALSE(Stored(u"K7", u"v"));
  for (auto name : {u"K2", u"K3", u"K4", u"K5", u"K6", u"K7"}) EXPECT_TRUE(KeyExists(name)) << ToUtf8(name);
  // A fault ends the member before it closes the key it created.
  EXPECT_EQ(counting_->open_keys, 7);
  counting_->open_keys = 0;
}

TEST_F(RegistryTest, OtherTypesCreateTheKeyAndWriteNoValue) {
  Set(u"Typed", u"v", u"x", static_cast<EnumRegistryValueType>(2));
  EXPECT_TRUE(KeyExists(u"Typed"));
  EXPECT_FALSE(Stored(u"Typed", u"v"));
}

TEST_F(RegistryTest, OtherStoredTypesReadAsTheirFirstText) {
  Put(u"T", u"Expand", reg::kExpandSz, B({'%', 'P', '%', 0}));
  EXPECT_EQ(Get(u"T", u"Expand"), Variant(u"%P%"));  // not expanded
  Put(u"T", u"Multi", reg::kMultiSz, B({'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0}));
  EXPECT_EQ(Get(u"T", u"Multi"), Variant(u"one"));
  Put(u"T", u"NoZero", reg::kSz, B({'x', 'y'}));
  EXPECT_EQ(Get(u"T", u"NoZero"), Variant(u"xy"));
  Put(u"T", u"Empty", reg::kSz, {});
  Variant empty = Get(u"T", u"Empty");
  EXPECT_EQ(empty.VarType(), VbVarType::vbString);
  EXPECT_EQ(empty, Variant(u""));
  Put(u"T", u"Q", reg::kQword, B({0x41, 0x42, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Get(u"T", u"Q"), Variant(u"AB"));
}

TEST_F(RegistryTest, MissingKeysAndValuesReadAsEmpty) {
  EXPECT_TRUE(Get(u"Nowhere", u"v").IsEmpty());
  Put(u"Here", u"v", reg::kSz, B({'x', 0}));
  EXPECT_TRUE(Get(u"Here", u"other").IsEmpty());
  EXPECT_EQ(Get(u"HERE", u"V"), Variant(u"x"));  // names ignore case
  EXPECT_EQ(Get(u"Here", u""), Variant());       // no default value set
}

// --- names ---

TEST_F(RegistryTest, NamesAreWrittenBackAsTheyWentThroughTheCodePage) {
  String key = u"Caf\u00E9\\\u0100bc";
  String value = u"\u4E2D";
  registry_.RegistrySetKeyValue(kHkcu, key, value, 1, EnumRegistryValueType::rrkRegDWord);
  EXPECT_EQ(key, u"Caf\u00E9\\?bc");
  EXPECT_EQ(value, u"?");
  EXPECT_EQ(Stored(u"Caf\u00E9\\?bc", u"?")->data, B({1, 0, 0, 0}));

  // A member that never gets as far as the value call leaves the value name alone.
  String missing_key = u"None\u0100";
  String untouched = u"\u0100";
  EXPECT_TRUE(registry_.RegistryGetKeyValue(kHkcu, missing_key, untouched).IsEmpty());
  EXPECT_EQ(missing_key, u"None?");
  EXPECT_EQ(untouched, u"\u0100");
}

TEST_F(RegistryTest, NamesEndAtAZeroCharacterButComeBackWhole) {
  String key = String(u"Z\0tail", 6);
  registry_.RegistryCreateNewKey(kHkcu, key);
  EXPECT_EQ(key, String(u"Z\0tail", 6));
  EXPECT_TRUE(KeyExists(u"Z"));
}

// --- keys ---

TEST_F(RegistryTest, CreateAndDeleteKeys) {
  String name = u"A\\B\\C";
  registry_.RegistryCreateNewKey(kHkcu, name);
  EXPECT_TRUE(KeyExists(u"A\\B\\C"));
  registry_.RegistryCreateNewKey(kHkcu, name);  // existing: opened and closed
  String parent = u"A\\B";
  registry_.RegistryDeleteKey(kHkcu, parent);  // has a subkey: stays, nothing reported
  EXPECT_TRUE(KeyExists(u"A\\B"));
  registry_.RegistryDeleteKey(kHkcu, name);
  EXPECT_FALSE(KeyExists(u"A\\B\\C"));
  registry_.RegistryDeleteKey(kHkcu, parent);
  EXPECT_FALSE(KeyExists(u"A\\B"));
  String bad = u"\\Lead";
  registry_.RegistryCreateNewKey(kHkcu, bad);
  EXPECT_FALSE(KeyExists(u"Lead"));
}

TEST_F(RegistryTest, DeleteValueRemovesOneValue) {
  Put(u"K", u"a", reg::kSz, B({0}));
  Put(u"K", u"b", reg::kSz, B({0}));
  String key = u"K", value = u"A";
  registry_.RegistryDeleteValue(kHkcu, key, value);
  EXPECT_FALSE(Stored(u"K", u"a"));
  EXPECT_TRUE(Stored(u"K", u"b"));
  String missing = u"Missing";
  registry_.RegistryDeleteValue(kHkcu, missing, value);
}

TEST_F(RegistryTest, RootValuesOpenTheirOwnTrees) {
  String key = u"Cfg";
  String value = u"v";
  registry_.RegistrySetKeyValue(static_cast<EnumRegistryRootKeys>(static_cast<Long>(0x80000005u)), key, value, 7,
                                EnumRegistryValueType::rrkRegDWord);
  EXPECT_FALSE(KeyExists(u"Cfg"));
  EXPECT_EQ(registry_.RegistryGetKeyValue(static_cast<EnumRegistryRootKeys>(static_cast<Long>(0x80000005u)), key, value), Variant(7));
  EXPECT_TRUE(registry_.RegistryGetKeyValue(EnumRegistryRootKeys::rrkHKeyLocalMachine, key, value).IsEmpty());
  // Not a predefined root: nothing happens.
  registry_.RegistrySetKeyValue(static_cast<EnumRegistryRootKeys>(5), key, value, 7, EnumRegistryValueType::rrkRegDWord);
  EXPECT_TRUE(registry_.RegistryGetKeyValue(static_cast<EnumRegistryRootKeys>(5), key, value).IsEmpty());
}

// --- enumerations ---

TEST_F(RegistryTest, EnumerateSubKeysFillsAZeroBasedArrayInNameOrder) {
  for (auto k : {u"P\\zeta", u"P\\Alpha", u"P\\mid\\deeper"}) {
    String name = k;
    registry_.RegistryCreateNewKey(kHkcu, name);
  }
  String key = u"P";
  SafeArray names(VbVarType::vbString, 5, 5);
  Long count = -1;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"Alpha", u"mid", u"zeta"}));
}

TEST_F(RegistryTest, EnumerateWithoutEntriesSetsOnlyTheCount) {
  String key = u"Leaf";
  registry_.RegistryCreateNewKey(kHkcu, key);
  const SafeArray before = SafeArray::FromValues(VbVarType::vbString, 1, {u"keep"});
  SafeArray names = before;
  Long count = -1;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(names, before);
  count = -1;
  registry_.RegistryEnumerateValues(kHkcu, key, names, count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(names, before);
}

TEST_F(RegistryTest, EnumerateMissingKeyChangesNeitherOutput) {
  String key = u"Absent";
  const SafeArray before = SafeArray::FromValues(VbVarType::vbString, 0, {u"keep"});
  SafeArray names = before;
  Long count = 42;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  registry_.RegistryEnumerateValues(kHkcu, key, names, count);
  EXPECT_EQ(count, 42);
  EXPECT_EQ(names, before);
}

TEST_F(RegistryTest, EnumerateValuesListsNamesInCreationOrder) {
  Put(u"V", u"second", reg::kDword, B({0, 0, 0, 0}));
  Put(u"V", u"", reg::kSz, B({'d', 0}));
  Put(u"V", u"\u00FCber", reg::kBinary, B({1}));
  String key = u"V";
  SafeArray names;
  Long count = 0;
  registry_.RegistryEnumerateValues(kHkcu, key, names, count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"second", u"", u"\u00FCber"}));
}

TEST_F(RegistryTest, AnEntryBeyondTheReportedCountStopsWithoutACount) {
  for (auto k : {u"S\\a", u"S\\b", u"S\\c"}) {
    String name = k;
    registry_.RegistryCreateNewKey(kHkcu, name);
  }
  Put(u"S", u"x", reg::kSz, B({0}));
  Put(u"S", u"y", reg::kSz, B({0}));
  counting_->under_report = true;
  String key = u"S";
  SafeArray names;
  Long count = -7;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, -7);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"a", u"b"}));
  registry_.RegistryEnumerateValues(kHkcu, key, names, count);
  EXPECT_EQ(count, -7);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"x"}));
  // The fault leaves the key open, as the member's handler does; close it for the fixture.
  counting_->open_keys = 0;
}

// --- late-bound ---

class RegistryDispatchTest : public RegistryTest {
 protected:
  RegistryDispatchTest() { platform::SetRegistry(counting_); }
  ~RegistryDispatchTest() override { platform::SetRegistry(nullptr); }
};

TEST_F(RegistryDispatchTest, EveryMemberIsCallableByNameWithByReferenceNames) {
  Object reg = CreateObject("Narwick.clsRegistry");
  const Variant root = static_cast<Long>(EnumRegistryRootKeys::rrkHKeyCurrentUser);
  std::map<std::string, bool> called;
  for (const auto& member : reg.get()->TypeInfo().members()) called[member.name] = false;

  Variant key = u"Late\\\u0100";
  Variant value = u"n\u0101me";
  reg.Call("RegistryCreateNewKey", {root, ByRef(key)});
  EXPECT_EQ(key, Variant(u"Late\\?"));
  key = u"Late\\\u0100";
  reg.Call("RegistrySetKeyValue", {root, ByRef(key), ByRef(value), 77, 4});
  EXPECT_EQ(value, Variant(u"n?me"));
  EXPECT_EQ(reg.Call("RegistryGetKeyValue", {root, ByRef(key), ByRef(value)}), Variant(77));

  Variant parent = u"Late";
  Variant keys = SafeArray();
  Variant count = 0;
  reg.Call("RegistryEnumerateSubKeys", {root, ByRef(parent), ByRef(keys), ByRef(count)});
  EXPECT_EQ(count, Variant(1));
  EXPECT_EQ(keys.Array(), SafeArray::FromValues(VbVarType::vbString, 0, {u"?"}));
  Variant values = SafeArray();
  reg.Call("RegistryEnumerateValues", {root, ByRef(key), ByRef(values), ByRef(count)});
  EXPECT_EQ(values.Array(), SafeArray::FromValues(VbVarType::vbString, 0, {u"n?me"}));
  reg.Call("RegistryDeleteValue", {root, ByRef(key), ByRef(value)});
  EXPECT_TRUE(reg.Call("RegistryGetKeyValue", {root, ByRef(key), ByRef(value)}).IsEmpty());
  reg.Call("RegistryDeleteKey", {root, ByRef(key)});
  EXPECT_FALSE(KeyExists(u"Late\\?"));
  for (auto name : {"RegistryCreateNewKey", "RegistrySetKeyValue", "RegistryGetKeyValue", "RegistryEnumerateSubKeys",
                    "RegistryEnumerateValues", "RegistryDeleteValue", "RegistryDeleteKey"}) {
    ASSERT_TRUE(called.count(name)) << name;
    called[name] = true;
  }
  for (const auto& [name, was_called] : called) EXPECT_TRUE(was_called) << name << " not exercised";
}

// --- the default store ---

// While the default store cannot be opened every call fails, so every member does nothing.
TEST(RegistryDefaultStoreTest, AStoreThatCannotOpenLeavesEveryOutputAlone) {
  narwick::testing::TempFolder folder;
  std::ofstream(folder.path() / "blocker") << "a file where the store's folder would go";
  const auto path = folder.path() / "blocker" / "registry.db";
  const char* saved = std::getenv("NARWICK_REGISTRY");
  const std::string saved_value = saved ? saved : "";
  setenv("NARWICK_REGISTRY", path.c_str(), 1);
  try {
    platform::RegistryStore::Open(path);
    ADD_FAILURE() << "opened a store below a file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot create the folder"), std::string::npos) << e.what();
  }
  clsRegistry reg;
  String key = u"K", value = u"v";
  reg.RegistrySetKeyValue(kHkcu, key, value, 1, EnumRegistryValueType::rrkRegDWord);
  EXPECT_TRUE(reg.RegistryGetKeyValue(kHkcu, key, value).IsEmpty());
  SafeArray names = SafeArray::FromValues(VbVarType::vbString, 0, {u"keep"});
  Long count = 9;
  reg.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"keep"}));
  EXPECT_FALSE(std::filesystem::exists(path));
  if (saved) {
    setenv("NARWICK_REGISTRY", saved_value.c_str(), 1);
  } else {
    unsetenv("NARWICK_REGISTRY");
  }
}

// --- two processes ---

// Each child writes its own values and shared keys through the class on its own connection;
// afterwards every value of both must be there with its data.
TEST(RegistryConcurrencyTest, TwoProcessesWritingOneStoreLoseNothing) {
  narwick::testing::TempFolder folder;
  const auto path = folder.path() / "shared.db";
  platform::RegistryStore::Open(path);  // schema in place before the race
  constexpr int kWriters = 2;
  constexpr int kValues = 250;
  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      try {
        clsRegistry reg(std::shared_ptr<platform::RegistryApi>(platform::RegistryStore::Open(path)));
        for (int i = 0; i < kValues; ++i) {
          String key = u"Shared\\Sub" + FromUtf8(std::to_string(i % 10));
          String name = FromUtf8("w" + std::to_string(w) + "_" + std::to_string(i));
          reg.RegistrySetKeyValue(kHkcu, key, name, w * 100000 + i, EnumRegistryValueType::rrkRegDWord);
          String text_name = name + u"_text";
          reg.RegistrySetKeyValue(kHkcu, key, text_name, name, EnumRegistryValueType::rrkRegSZ);
        }
      } catch (...) {
        failures = 1;
      }
      _exit(failures);
    }
    children[w] = pid;
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  clsRegistry reg(std::shared_ptr<platform::RegistryApi>(platform::RegistryStore::Open(path)));
  int checked = 0;
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      String key = u"Shared\\Sub" + FromUtf8(std::to_string(i % 10));
      String name = FromUtf8("w" + std::to_string(w) + "_" + std::to_string(i));
      EXPECT_EQ(reg.RegistryGetKeyValue(kHkcu, key, name), Variant(w * 100000 + i)) << ToUtf8(name);
      String text_name = name + u"_text";
      EXPECT_EQ(reg.RegistryGetKeyValue(kHkcu, key, text_name), Variant(name)) << ToUtf8(name);
      checked += 2;
    }
  }
  String shared = u"Shared";
  SafeArray subkeys;
  Long count = 0;
  reg.RegistryEnumerateSubKeys(kHkcu, shared, subkeys, count);
  EXPECT_EQ(count, 10);
  EXPECT_EQ(checked, kWriters * kValues * 2);
}

}  // namespace
}  // namespace narwick
