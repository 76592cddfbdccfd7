// clsRegistry on a temporary store: the reading and writing rules per type, the enumeration
// output rules, name write-back through the code page, keys always closed, late-bound calls.
#include "narwick/system/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

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

// Passes every call to the store, counting keys opened and not yet closed, and can make
// QueryInfoKey miscount the entries (a key changed between the calls) or fail, and reading
// a value's data fail.
class CountingRegistry final : public platform::RegistryApi {
 public:
  explicit CountingRegistry(std::shared_ptr<platform::RegistryStore> store)
      : store_(std::move(store)) {}
  int open_keys = 0;
  int report_delta = 0;  // added to the entry counts QueryInfoKey reports
  bool info_fails = false;
  bool read_fails = false;

  RegStatus CreateKeyEx(HKey key, std::string_view sub, std::uint32_t options, std::uint32_t sam,
                        HKey* result, std::uint32_t* disposition) override {
    return Counted(store_->CreateKeyEx(key, sub, options, sam, result, disposition));
  }
  RegStatus OpenKeyEx(HKey key, std::string_view sub, std::uint32_t options, std::uint32_t sam,
                      HKey* result) override {
    return Counted(store_->OpenKeyEx(key, sub, options, sam, result));
  }
  RegStatus CloseKey(HKey key) override {
    RegStatus s = store_->CloseKey(key);
    if (s == reg::kSuccess && key < 0x80000000u) --open_keys;
    return s;
  }
  RegStatus DeleteKey(HKey key, std::string_view sub) override {
    return store_->DeleteKey(key, sub);
  }
  RegStatus DeleteValue(HKey key, std::string_view name) override {
    return store_->DeleteValue(key, name);
  }
  RegStatus QueryInfoKey(HKey key, platform::KeyInfo* info) override {
    if (info_fails) return reg::kRegistryIoFailed;
    RegStatus s = store_->QueryInfoKey(key, info);
    if (s == reg::kSuccess) {
      info->sub_keys += report_delta;
      info->values += report_delta;
    }
    return s;
  }
  RegStatus EnumKey(HKey key, std::uint32_t index, std::span<char> name) override {
    return store_->EnumKey(key, index, name);
  }
  RegStatus EnumValue(HKey key, std::uint32_t index, std::span<char> name, std::uint32_t* length,
                      std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override {
    return store_->EnumValue(key, index, name, length, type, data, size);
  }
  RegStatus QueryValueEx(HKey key, std::string_view name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* size) override {
    if (read_fails && data != nullptr) return reg::kRegistryIoFailed;
    return store_->QueryValueEx(key, name, type, data, size);
  }
  RegStatus SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                       std::span<const std::uint8_t> data) override {
    return store_->SetValueEx(key, name, type, data);
  }

 private:
  RegStatus Counted(RegStatus s) {
    if (s == reg::kSuccess) ++open_keys;
    return s;
  }
  std::shared_ptr<platform::RegistryStore> store_;
};

std::string Ansi(StringView text) {
  auto bytes = ToAnsi(text);
  return {bytes.begin(), bytes.end()};
}

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest()
      : store_(platform::RegistryStore::Open(":memory:")),
        counting_(std::make_shared<CountingRegistry>(store_)),
        registry_(counting_) {}
  ~RegistryTest() override { EXPECT_EQ(counting_->open_keys, 0) << "a member left a key open"; }

  // The stored value under HKCU, or nullopt; read past the class, straight from the store.
  std::optional<platform::RegValue> Stored(StringView key, StringView name) {
    std::vector<platform::RegKeyRecord> tree;
    if (store_->ExportTree(reg::kCurrentUser, Ansi(key), &tree) != reg::kSuccess) return std::nullopt;
    for (const auto& value : tree.front().values) {
      if (value.name == Ansi(name)) return value;
    }
    return std::nullopt;
  }
  bool KeyExists(StringView key) {
    return store_->ExportTree(reg::kCurrentUser, Ansi(key), nullptr) == reg::kSuccess;
  }
  void Put(StringView key, StringView name, std::uint32_t type, std::vector<std::uint8_t> data) {
    platform::RegEdit edit;
    edit.kind = platform::RegEdit::Kind::kSetValue;
    edit.root = reg::kCurrentUser;
    edit.path = Ansi(key);
    edit.value = {Ansi(name), type, std::move(data)};
    ASSERT_EQ(store_->ApplyEdits(std::span(&edit, 1)), reg::kSuccess);
  }
  void Set(String key, String value, const Variant& data, EnumRegistryValueType type) {
    registry_.RegistrySetKeyValue(kHkcu, key, value, data, type);
  }
  Variant Get(String key, String value) { return registry_.RegistryGetKeyValue(kHkcu, key, value); }

  std::shared_ptr<platform::RegistryStore> store_;
  std::shared_ptr<CountingRegistry> counting_;
  clsRegistry registry_;
};

std::vector<std::uint8_t> B(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int x : v) out.push_back(static_cast<std::uint8_t>(x));
  return out;
}

using Type = EnumRegistryValueType;

// What each type writes and what reading it back gives.
TEST_F(RegistryTest, WrittenValuesAreStoredAndReadBackByType) {
  struct Case {
    const char* name;
    Variant data;
    Type type;  // its number is the stored type's
    std::vector<std::uint8_t> stored;
    Variant read;
  };
  const Variant bytes(SafeArray::FromBytes(B({9, 8, 7, 6}), 0));
  const Case cases[] = {
      {"text", u"abc", Type::rrkRegSZ, B({'a', 'b', 'c', 0}), u"abc"},
      {"code page", u"\u20AC\u00E9\u0100", Type::rrkRegSZ, B({0x80, 0xE9, '?', 0}),
       u"\u20AC\u00E9?"},
      {"CStr", 2.5, Type::rrkRegSZ, B({'2', '.', '5', 0}), u"2.5"},
      // The whole string goes over; reading stops at the first zero.
      {"zero", String(u"ab\0cd", 5), Type::rrkRegSZ, B({'a', 'b', 0, 'c', 'd', 0}), u"ab"},
      {"dword", -2, Type::rrkRegDWord, B({0xFE, 0xFF, 0xFF, 0xFF}), -2},
      {"CLng", u"4660", Type::rrkRegDWord, B({0x34, 0x12, 0, 0}), 0x1234},
      {"bytes", bytes, Type::rrkregbinary, B({9, 8, 7, 6}), bytes},
      // A String gives its raw 16-bit characters, low byte first.
      {"string bytes", u"A\u20AC", Type::rrkregbinary, B({0x41, 0, 0xAC, 0x20}),
       Variant(SafeArray::FromBytes(B({0x41, 0, 0xAC, 0x20}), 0))},
  };
  for (const Case& c : cases) {
    const String name = FromUtf8(c.name);
    Set(u"App", name, c.data, c.type);
    const auto type = static_cast<std::uint32_t>(c.type);
    EXPECT_EQ(Stored(u"App", name), (platform::RegValue{c.name, type, c.stored})) << c.name;
    const Variant read = Get(u"App", name);
    EXPECT_EQ(read.VarType(), c.read.VarType()) << c.name;
    if (c.read.IsArray()) {
      ASSERT_TRUE(read.IsArray()) << c.name;
      EXPECT_EQ(read.Array(), c.read.Array()) << c.name;  // a zero-based Byte array
    } else {
      EXPECT_EQ(read, c.read) << c.name;
    }
  }
}

// Values stored by someone else, as the class reads them.
TEST_F(RegistryTest, StoredValuesOfEveryShapeRead) {
  struct Case {
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    Variant expected;
  };
  const Case cases[] = {
      {"expand", reg::kExpandSz, B({'%', 'P', '%', 0}), Variant(u"%P%")},  // not expanded
      {"multi", reg::kMultiSz, B({'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0}), Variant(u"one")},
      {"no zero", reg::kSz, B({'x', 'y'}), Variant(u"xy")},
      {"empty text", reg::kSz, {}, Variant(u"")},
      {"qword", reg::kQword, B({0x41, 0x42, 0, 0, 0, 0, 0, 0}), Variant(u"AB")},
      {"short dword", reg::kDword, B({0x34, 0x12}), Variant(0x1234)},       // the low bytes
      {"long dword", reg::kDword, B({1, 2, 3, 4, 5, 6, 7, 8}), Variant()},  // unreadable
  };
  for (const Case& c : cases) {
    Put(u"T", FromUtf8(c.name), c.type, c.data);
    Variant got = Get(u"T", FromUtf8(c.name));
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(got.VarType(), c.expected.VarType()) << c.name;
  }
  Put(u"T", u"empty binary", reg::kBinary, {});
  Variant empty = Get(u"T", u"empty binary");
  ASSERT_TRUE(empty.IsArray());
  EXPECT_EQ(empty.Array(), SafeArray(VbVarType::vbByte, 0, -1));
  // The size is known but the data cannot be read: Empty, whatever the type.
  Put(u"T", u"bytes", reg::kBinary, B({1, 2}));
  counting_->read_fails = true;
  for (const char16_t* name : {u"bytes", u"no zero", u"short dword"}) {
    EXPECT_TRUE(Get(u"T", name).IsEmpty()) << ToUtf8(name);
  }
  counting_->read_fails = false;
  EXPECT_TRUE(Get(u"Nowhere", u"v").IsEmpty());
  EXPECT_TRUE(Get(u"T", u"other").IsEmpty());
  EXPECT_TRUE(Get(u"T", u"").IsEmpty());  // no default value set
}

// The key is made first; data that does not convert then ends the member with the key open
// (the member's fault handler does not close it), and other types write nothing.
TEST_F(RegistryTest, UnconvertibleDataWritesNothingButTheKeyRemains) {
  const std::pair<Variant, Type> cases[] = {
      {5, Type::rrkregbinary},  // a number is no byte array
      {Variant(SafeArray::FromBytes(B({1, 2}), 1)), Type::rrkregbinary},
      {u"", Type::rrkregbinary},  // an empty array has no element 0
      {Variant(SafeArray::FromValues(VbVarType::vbVariant, 0, {1, 2})), Type::rrkregbinary},
      {u"not a number", Type::rrkRegDWord},
      {1e12, Type::rrkRegDWord},  // overflow
      {Variant::Null(), Type::rrkRegSZ},
      {u"x", static_cast<Type>(2)},  // no fault: the key is closed
  };
  int n = 0;
  for (const auto& [data, type] : cases) {
    const String key = u"K" + FromUtf8(std::to_string(++n));
    Set(key, u"v", data, type);
    EXPECT_TRUE(KeyExists(key)) << n;
    EXPECT_FALSE(Stored(key, u"v")) << n;
  }
  EXPECT_EQ(counting_->open_keys, 7);
  counting_->open_keys = 0;
}

// --- names ---

TEST_F(RegistryTest, NamesAreWrittenBackAsTheyWentThroughTheCodePage) {
  String key = u"Caf\u00E9\\\u0100bc";
  String value = u"\u4E2D";
  registry_.RegistrySetKeyValue(kHkcu, key, value, 1, Type::rrkRegDWord);
  EXPECT_EQ(key, u"Caf\u00E9\\?bc");
  EXPECT_EQ(value, u"?");
  EXPECT_EQ(Stored(u"Caf\u00E9\\?bc", u"?")->data, B({1, 0, 0, 0}));

  // A member that never gets as far as the value call leaves the value name alone.
  String missing_key = u"None\u0100";
  String untouched = u"\u0100";
  EXPECT_TRUE(registry_.RegistryGetKeyValue(kHkcu, missing_key, untouched).IsEmpty());
  EXPECT_EQ(missing_key, u"None?");
  EXPECT_EQ(untouched, u"\u0100");

  // A name ends at a zero character, but the caller's string comes back whole.
  String zero = String(u"Z\0tail", 6);
  registry_.RegistryCreateNewKey(kHkcu, zero);
  EXPECT_EQ(zero, String(u"Z\0tail", 6));
  EXPECT_TRUE(KeyExists(u"Z"));
}

// --- keys ---

TEST_F(RegistryTest, CreateAndDeleteKeysAndValues) {
  String name = u"A\\B", parent = u"A";
  registry_.RegistryCreateNewKey(kHkcu, name);
  registry_.RegistryCreateNewKey(kHkcu, name);  // existing: opened and closed
  EXPECT_TRUE(KeyExists(u"A\\B"));
  registry_.RegistryDeleteKey(kHkcu, parent);  // has a subkey: stays, nothing reported
  EXPECT_TRUE(KeyExists(u"A"));
  registry_.RegistryDeleteKey(kHkcu, name);
  EXPECT_FALSE(KeyExists(u"A\\B"));

  Put(u"A", u"a", reg::kSz, B({0}));
  Put(u"A", u"b", reg::kSz, B({0}));
  String value = u"a", missing = u"Missing";
  registry_.RegistryDeleteValue(kHkcu, parent, value);
  EXPECT_FALSE(Stored(u"A", u"a"));
  EXPECT_TRUE(Stored(u"A", u"b"));
  registry_.RegistryDeleteValue(kHkcu, missing, value);
}

// Any predefined root value opens its own tree; any other value does nothing.
TEST_F(RegistryTest, RootValuesPassUnchanged) {
  const auto config = static_cast<EnumRegistryRootKeys>(static_cast<Long>(0x80000005u));
  const auto bogus = static_cast<EnumRegistryRootKeys>(5);
  String key = u"Cfg", value = u"v";
  registry_.RegistrySetKeyValue(config, key, value, 7, Type::rrkRegDWord);
  EXPECT_FALSE(KeyExists(u"Cfg"));
  EXPECT_EQ(registry_.RegistryGetKeyValue(config, key, value), Variant(7));
  registry_.RegistrySetKeyValue(bogus, key, value, 7, Type::rrkRegDWord);
  EXPECT_TRUE(registry_.RegistryGetKeyValue(bogus, key, value).IsEmpty());
  // The four named roots are the predefined handles themselves.
  using R = EnumRegistryRootKeys;
  const std::pair<R, HKey> named[] = {{R::rrkHKeyClassesRoot, 0x80000000u},
                                      {R::rrkHKeyCurrentUser, 0x80000001u},
                                      {R::rrkHKeyLocalMachine, 0x80000002u},
                                      {R::rrkHKeyUsers, 0x80000003u}};
  for (const auto& [root, handle] : named) {
    String name = u"Named" + FromUtf8(std::to_string(handle));
    registry_.RegistryCreateNewKey(root, name);
    EXPECT_EQ(store_->ExportTree(handle, Ansi(name), nullptr), reg::kSuccess) << handle;
  }
}

// --- enumerations ---

// An entry added after the count was taken (here: a count one short) lands past the array's
// end: the member then ends with the array as filled, no count set and the key left open.
TEST_F(RegistryTest, EnumerationsFillAZeroBasedArrayAndTheCount) {
  for (auto k : {u"P\\zeta", u"P\\Alpha", u"P\\mid\\deeper"}) {
    String name = k;
    registry_.RegistryCreateNewKey(kHkcu, name);
  }
  Put(u"P", u"second", reg::kDword, B({0, 0, 0, 0}));
  Put(u"P", u"", reg::kSz, B({'d', 0}));
  Put(u"P", u"\u00FCber", reg::kBinary, B({1}));
  String key = u"P";
  SafeArray names(VbVarType::vbString, 5, 5);
  Long count = -1;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"Alpha", u"mid", u"zeta"}));
  count = -1;
  registry_.RegistryEnumerateValues(kHkcu, key, names, count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"second", u"", u"\u00FCber"}));

  // A count one too many (an entry deleted meanwhile): the last slot stays "", the count is n.
  counting_->report_delta = 1;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"Alpha", u"mid", u"zeta", u""}));

  counting_->report_delta = -1;
  count = -7;
  registry_.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, -7);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"Alpha", u"mid"}));
  registry_.RegistryEnumerateValues(kHkcu, key, names, count);
  EXPECT_EQ(count, -7);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"second", u""}));
  counting_->open_keys = 0;
}

// No entries: only the count (0) is set. A key that cannot be opened or queried: neither
// output, and the key is closed again.
TEST_F(RegistryTest, EnumeratingNothingLeavesTheArray) {
  using Enumerate = void (clsRegistry::*)(EnumRegistryRootKeys, String&, SafeArray&, Long&);
  String leaf = u"Leaf", absent = u"Absent";
  registry_.RegistryCreateNewKey(kHkcu, leaf);
  const SafeArray before = SafeArray::FromValues(VbVarType::vbString, 1, {u"keep"});
  SafeArray names = before;
  for (Enumerate member :
       {&clsRegistry::RegistryEnumerateSubKeys, &clsRegistry::RegistryEnumerateValues}) {
    Long count = -1;
    (registry_.*member)(kHkcu, leaf, names, count);
    EXPECT_EQ(count, 0);
    count = 42;
    (registry_.*member)(kHkcu, absent, names, count);
    EXPECT_EQ(count, 42);
    EXPECT_EQ(names, before);
    counting_->info_fails = true;
    (registry_.*member)(kHkcu, leaf, names, count);
    counting_->info_fails = false;
    EXPECT_EQ(count, 42);
  }
}

// --- late-bound ---

class RegistryDispatchTest : public RegistryTest {
 protected:
  RegistryDispatchTest() { platform::SetRegistry(counting_); }
  ~RegistryDispatchTest() override { platform::SetRegistry(nullptr); }
};

// Every member by name on the process's registry, names passed by reference written back.
TEST_F(RegistryDispatchTest, EveryMemberIsCallableByNameWithByReferenceNames) {
  Object reg = CreateObject("Narwick.clsRegistry");
  EXPECT_EQ(reg.get()->TypeInfo().members().size(), 7u);
  const Variant root = static_cast<Long>(EnumRegistryRootKeys::rrkHKeyCurrentUser);
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
  key = u"Late\\\u0100";
  reg.Call("RegistryEnumerateValues", {root, ByRef(key), ByRef(values), ByRef(count)});
  EXPECT_EQ(key, Variant(u"Late\\?"));
  EXPECT_EQ(values.Array(), SafeArray::FromValues(VbVarType::vbString, 0, {u"n?me"}));
  key = u"Late\\\u0100";
  value = u"n\u0101me";
  reg.Call("RegistryDeleteValue", {root, ByRef(key), ByRef(value)});
  EXPECT_EQ(key, Variant(u"Late\\?"));
  EXPECT_EQ(value, Variant(u"n?me"));
  EXPECT_TRUE(reg.Call("RegistryGetKeyValue", {root, ByRef(key), ByRef(value)}).IsEmpty());
  key = u"Late\\\u0100";
  reg.Call("RegistryDeleteKey", {root, ByRef(key)});
  EXPECT_EQ(key, Variant(u"Late\\?"));
  EXPECT_FALSE(KeyExists(u"Late\\?"));
}

// While the default store cannot be opened every call fails, so every member does nothing.
TEST(RegistryDefaultStoreTest, AStoreThatCannotOpenLeavesEveryOutputAlone) {
  narwick::testing::TempFolder folder;
  std::ofstream(folder.path() / "blocker") << "a file where the store's folder would go";
  const auto path = folder.path() / "blocker" / "registry.db";
  const char* saved = std::getenv("NARWICK_REGISTRY");
  const std::optional<std::string> saved_value =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("NARWICK_REGISTRY", path.c_str(), 1);
  try {
    platform::RegistryStore::Open(path);
    ADD_FAILURE() << "opened a store below a file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot create the folder"), std::string::npos)
        << e.what();
  }
  clsRegistry reg;
  String key = u"K", value = u"v";
  reg.RegistrySetKeyValue(kHkcu, key, value, 1, Type::rrkRegDWord);
  EXPECT_TRUE(reg.RegistryGetKeyValue(kHkcu, key, value).IsEmpty());
  SafeArray names = SafeArray::FromValues(VbVarType::vbString, 0, {u"keep"});
  Long count = 9;
  reg.RegistryEnumerateSubKeys(kHkcu, key, names, count);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(names, SafeArray::FromValues(VbVarType::vbString, 0, {u"keep"}));
  EXPECT_FALSE(std::filesystem::exists(path));
  if (saved_value) {
    setenv("NARWICK_REGISTRY", saved_value->c_str(), 1);
  } else {
    unsetenv("NARWICK_REGISTRY");
  }
}

}  // namespace
}  // namespace narwick
