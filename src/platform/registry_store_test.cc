// The registry store: Windows meanings of the ten calls, the bulk operations, and a random
// sequence of changes checked against a plain model after every step.
#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "testing/test_support.h"

namespace narwick::platform {
namespace {

constexpr HKey kHkcu = 0x80000001u;
constexpr HKey kHklm = 0x80000002u;
constexpr HKey kHkcc = 0x80000005u;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  RegistryStoreTest() : store_(RegistryStore::Open(Path())) {}

  std::filesystem::path Path() const { return folder_.path() / "store" / "registry.db"; }

  HKey Create(HKey root, std::string_view path, std::uint32_t sam = reg::kAllAccess) {
    HKey key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(store_->CreateKeyEx(root, path, 0, sam, &key, &disposition), reg::kSuccess) << path;
    return key;
  }
  HKey Open(HKey root, std::string_view path, std::uint32_t sam = reg::kAllAccess) {
    HKey key = 0;
    EXPECT_EQ(store_->OpenKeyEx(root, path, 0, sam, &key), reg::kSuccess) << path;
    return key;
  }
  std::vector<std::string> SubKeys(HKey key) {
    std::vector<std::string> names;
    char buffer[300];
    for (std::uint32_t i = 0;; ++i) {
      RegStatus s = store_->EnumKey(key, i, buffer);
      if (s == reg::kNoMoreItems) break;
      EXPECT_EQ(s, reg::kSuccess);
      names.emplace_back(buffer);
    }
    return names;
  }
  std::vector<std::string> ValueNames(HKey key) {
    std::vector<std::string> names;
    char buffer[300];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t length = 0;
      RegStatus s = store_->EnumValue(key, i, buffer, &length, nullptr, nullptr, nullptr);
      if (s == reg::kNoMoreItems) break;
      EXPECT_EQ(s, reg::kSuccess);
      EXPECT_EQ(length, std::string(buffer).size());
      names.emplace_back(buffer);
    }
    return names;
  }
  std::optional<RegValue> Read(HKey key, std::string_view name) {
    std::uint32_t type = 0, size = 0;
    if (store_->QueryValueEx(key, name, &type, nullptr, &size) != reg::kSuccess) return std::nullopt;
    std::vector<std::uint8_t> data(size);
    std::uint32_t room = size;
    EXPECT_EQ(store_->QueryValueEx(key, name, &type, data.data(), &room), reg::kSuccess);
    EXPECT_EQ(room, size);
    return RegValue{std::string(name), type, data};
  }

  narwick::testing::TempFolder folder_;
  std::unique_ptr<RegistryStore> store_;
};

TEST_F(RegistryStoreTest, OpensWithWriteAheadLogAndKeepsDataAcrossOpens) {
  HKey key = Create(kHkcu, "Software\\Narwick");
  ASSERT_EQ(store_->SetValueEx(key, "kept", reg::kBinary, Bytes({1, 2, 3})), reg::kSuccess);
  store_->CloseKey(key);
  store_.reset();

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(db);

  store_ = RegistryStore::Open(Path());
  auto value = Read(Open(kHkcu, "SOFTWARE\\narwick"), "KEPT");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->data, Bytes({1, 2, 3}));
}

TEST_F(RegistryStoreTest, OpenReportsFilesThatAreNotStores) {
  auto bogus = folder_.path() / "bogus.db";
  std::ofstream(bogus) << std::string(4096, 'x');
  try {
    RegistryStore::Open(bogus);
    FAIL() << "a file of x's opened as a store";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(bogus.string()), std::string::npos) << e.what();
  }
}

TEST_F(RegistryStoreTest, CreateReportsDispositionAndMakesIntermediateKeys) {
  HKey key = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(store_->CreateKeyEx(kHkcu, "A\\B\\C", 0, reg::kAllAccess, &key, &disposition), reg::kSuccess);
  EXPECT_EQ(disposition, reg::kCreatedNewKey);
  store_->CloseKey(key);
  ASSERT_EQ(store_->CreateKeyEx(kHkcu, "a\\b\\c", 0, reg::kAllAccess, &key, &disposition), reg::kSuccess);
  EXPECT_EQ(disposition, reg::kOpenedExistingKey);
  EXPECT_EQ(SubKeys(Open(kHkcu, "a")), std::vector<std::string>{"B"});  // case as first written
  EXPECT_EQ(SubKeys(kHkcu), std::vector<std::string>{"A"});
}

TEST_F(RegistryStoreTest, OpenFailsForMissingKeysAndBadPaths) {
  Create(kHkcu, "A\\B");
  HKey key = 0;
  EXPECT_EQ(store_->OpenKeyEx(kHkcu, "A\\X", 0, reg::kAllAccess, &key), reg::kFileNotFound);
  EXPECT_EQ(store_->OpenKeyEx(kHkcu, "\\A", 0, reg::kAllAccess, &key), reg::kBadPathname);
  EXPECT_EQ(store_->OpenKeyEx(kHkcu, "A\\\\B", 0, reg::kAllAccess, &key), reg::kBadPathname);
  EXPECT_EQ(store_->OpenKeyEx(kHkcu, "A\\B\\", 0, reg::kAllAccess, &key), reg::kSuccess);
  EXPECT_EQ(store_->OpenKeyEx(kHkcu, std::string("A\0junk", 6), 0, reg::kAllAccess, &key), reg::kSuccess);
  EXPECT_EQ(store_->CreateKeyEx(kHkcu, std::string(256, 'k'), 0, reg::kAllAccess, &key, nullptr),
            reg::kInvalidParameter);
  EXPECT_EQ(store_->CreateKeyEx(kHkcu, std::string(255, 'k'), 0, reg::kAllAccess, &key, nullptr), reg::kSuccess);
  EXPECT_EQ(store_->OpenKeyEx(0x12345678u, "A", 0, reg::kAllAccess, &key), reg::kInvalidHandle);
}

TEST_F(RegistryStoreTest, EveryPredefinedRootIsItsOwnEmptyTree) {
  Create(kHkcu, "Shared");
  for (const auto& root : RootKeys()) {
    if (root.handle == kHkcu) continue;
    EXPECT_TRUE(SubKeys(root.handle).empty()) << root.name;
  }
  Create(kHkcc, "OnlyHere");
  EXPECT_EQ(SubKeys(kHkcc), std::vector<std::string>{"OnlyHere"});
  EXPECT_EQ(SubKeys(kHkcu), std::vector<std::string>{"Shared"});
}

TEST_F(RegistryStoreTest, DeleteKeyRefusesKeysWithSubkeysAndRoots) {
  Create(kHkcu, "A\\B");
  HKey a = Create(kHkcu, "A");
  store_->SetValueEx(a, "v", reg::kDword, Bytes({1, 0, 0, 0}));
  EXPECT_EQ(store_->DeleteKey(kHkcu, "A"), reg::kAccessDenied);
  EXPECT_EQ(store_->DeleteKey(kHkcu, "A\\B"), reg::kSuccess);
  EXPECT_EQ(store_->DeleteKey(kHkcu, "A\\B"), reg::kFileNotFound);
  EXPECT_EQ(store_->DeleteKey(kHkcu, ""), reg::kAccessDenied);
  EXPECT_EQ(store_->DeleteKey(kHkcu, "a"), reg::kSuccess);
  // The handle still open on the deleted key says so.
  EXPECT_EQ(store_->SetValueEx(a, "v", reg::kDword, Bytes({2, 0, 0, 0})), reg::kKeyDeleted);
  // A key made again under the same name starts empty.
  HKey again = Create(kHkcu, "A");
  EXPECT_TRUE(ValueNames(again).empty());
}

TEST_F(RegistryStoreTest, HandlesKeepTheirAccessRights) {
  Create(kHkcu, "K");
  HKey read_only = Open(kHkcu, "K", reg::kQueryValue);
  EXPECT_EQ(store_->SetValueEx(read_only, "v", reg::kSz, Bytes({0})), reg::kAccessDenied);
  EXPECT_EQ(store_->DeleteValue(read_only, "v"), reg::kAccessDenied);
  char buffer[8];
  EXPECT_EQ(store_->EnumKey(read_only, 0, buffer), reg::kAccessDenied);
  KeyInfo info;
  EXPECT_EQ(store_->QueryInfoKey(read_only, &info), reg::kSuccess);
  EXPECT_EQ(store_->CloseKey(read_only), reg::kSuccess);
  EXPECT_EQ(store_->CloseKey(read_only), reg::kInvalidHandle);
  EXPECT_EQ(store_->QueryInfoKey(read_only, &info), reg::kInvalidHandle);
  EXPECT_EQ(store_->CloseKey(kHkcu), reg::kSuccess);  // a predefined root always closes
}

TEST_F(RegistryStoreTest, ValuesKeepTypeAndBytes) {
  HKey key = Create(kHkcu, "Types");
  std::mt19937 rng(7);
  std::vector<RegValue> written;
  for (std::uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 11u, 0x12345678u, 0xFFFFFFFFu}) {
    for (std::size_t size : {0u, 1u, 4u, 1000u}) {
      RegValue v{"t" + std::to_string(type) + "_" + std::to_string(size), type, {}};
      for (std::size_t i = 0; i < size; ++i) v.data.push_back(static_cast<std::uint8_t>(rng()));
      ASSERT_EQ(store_->SetValueEx(key, v.name, v.type, v.data), reg::kSuccess);
      written.push_back(v);
    }
  }
  for (const auto& v : written) {
    EXPECT_EQ(Read(key, v.name), v) << v.name;
  }
  EXPECT_EQ(ValueNames(key).size(), written.size());
}

TEST_F(RegistryStoreTest, QueryValueReportsSizesAndRefusesSmallBuffers) {
  HKey key = Create(kHkcu, "Q");
  store_->SetValueEx(key, "five", reg::kBinary, Bytes({1, 2, 3, 4, 5}));
  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(store_->QueryValueEx(key, "FIVE", &type, nullptr, &size), reg::kSuccess);
  EXPECT_EQ(type, reg::kBinary);
  EXPECT_EQ(size, 5u);
  std::uint8_t small[4] = {9, 9, 9, 9};
  size = 4;
  EXPECT_EQ(store_->QueryValueEx(key, "five", &type, small, &size), reg::kMoreData);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(small[0], 9);  // nothing written when it does not fit
  std::uint8_t large[8] = {};
  size = 8;
  EXPECT_EQ(store_->QueryValueEx(key, "five", &type, large, &size), reg::kSuccess);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(large[4], 5);
  EXPECT_EQ(store_->QueryValueEx(key, "absent", &type, nullptr, &size), reg::kFileNotFound);
}

TEST_F(RegistryStoreTest, QueryInfoKeyReportsCountsAndLongestNames) {
  HKey key = Create(kHkcu, "Info");
  Create(key, "ab");
  Create(key, "abcdef");
  store_->SetValueEx(key, "", reg::kSz, Bytes({'x', 0}));
  store_->SetValueEx(key, "longer name", reg::kBinary, std::vector<std::uint8_t>(300, 1));
  store_->SetValueEx(key, "\xE9t\xE9", reg::kDword, Bytes({1, 2, 3, 4}));  // "été": 3 characters
  KeyInfo info;
  ASSERT_EQ(store_->QueryInfoKey(key, &info), reg::kSuccess);
  EXPECT_EQ(info.sub_keys, 2u);
  EXPECT_EQ(info.max_sub_key_length, 6u);
  EXPECT_EQ(info.values, 3u);
  EXPECT_EQ(info.max_value_name_length, 11u);
  EXPECT_EQ(info.max_value_data_length, 300u);
  EXPECT_GT(info.last_write_time, 116444736000000000ull);
  ASSERT_EQ(store_->QueryInfoKey(Create(key, "ab"), &info), reg::kSuccess);
  EXPECT_EQ(info.sub_keys, 0u);
  EXPECT_EQ(info.max_sub_key_length, 0u);
}

TEST_F(RegistryStoreTest, EnumerationIsByIndexInNameOrderForKeysAndCreationOrderForValues) {
  HKey key = Create(kHkcu, "E");
  for (const char* name : {"delta", "Alpha", "charlie", "BRAVO"}) Create(key, name);
  EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"Alpha", "BRAVO", "charlie", "delta"}));
  char tiny[5];
  EXPECT_EQ(store_->EnumKey(key, 0, tiny), reg::kMoreData);  // "Alpha" needs 6 bytes
  EXPECT_EQ(store_->EnumKey(key, 4, tiny), reg::kNoMoreItems);

  for (const char* name : {"z", "y", "x"}) store_->SetValueEx(key, name, reg::kDword, Bytes({0, 0, 0, 0}));
  store_->SetValueEx(key, "Z", reg::kSz, Bytes({'n', 0}));  // overwrites "z" in place, name kept
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"z", "y", "x"}));
  EXPECT_EQ(Read(key, "z")->type, reg::kSz);

  std::uint32_t type = 0, size = 1, length = 0;
  std::uint8_t data[1];
  char name[4];
  EXPECT_EQ(store_->EnumValue(key, 0, name, &length, &type, data, &size), reg::kMoreData);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(store_->DeleteValue(key, "Y"), reg::kSuccess);
  EXPECT_EQ(store_->DeleteValue(key, "y"), reg::kFileNotFound);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"z", "x"}));
}

TEST_F(RegistryStoreTest, CaseFoldingCoversTheCodePage) {
  HKey key = Create(kHkcu, "\xE9l\xE8ve\x9A\xFF");  // élève, š, ÿ
  store_->CloseKey(key);
  HKey same = Open(kHkcu, "\xC9L\xC8VE\x8A\x9F");  // ÉLÈVE, Š, Ÿ
  EXPECT_EQ(SubKeys(kHkcu), std::vector<std::string>{"\xE9l\xE8ve\x9A\xFF"});
  store_->SetValueEx(same, "\xE6", reg::kSz, Bytes({0}));  // æ
  EXPECT_TRUE(Read(same, "\xC6"));                          // Æ
  EXPECT_FALSE(Read(same, "\xF7"));                         // ÷ has no capital
}

TEST_F(RegistryStoreTest, ApplyEditsIsAllOrNothing) {
  std::vector<RegEdit> edits(3);
  edits[0].kind = RegEdit::Kind::kSetValue;
  edits[0].root = kHklm;
  edits[0].path = "Soft\\Deep";
  edits[0].value = RegValue{"v", reg::kSz, Bytes({'a', 0})};
  edits[1].kind = RegEdit::Kind::kCreateKey;
  edits[1].root = kHklm;
  edits[1].path = "Other";
  edits[2].kind = RegEdit::Kind::kCreateKey;
  edits[2].root = kHklm;
  edits[2].path = "Bad\\\\Path";
  std::size_t failed = 99;
  EXPECT_EQ(store_->ApplyEdits(edits, &failed), reg::kBadPathname);
  EXPECT_EQ(failed, 2u);
  EXPECT_TRUE(SubKeys(kHklm).empty());

  edits.pop_back();
  ASSERT_EQ(store_->ApplyEdits(edits), reg::kSuccess);
  EXPECT_EQ(SubKeys(kHklm), (std::vector<std::string>{"Other", "Soft"}));

  RegEdit remove;
  remove.kind = RegEdit::Kind::kDeleteTree;
  remove.root = kHklm;
  remove.path = "soft";
  RegEdit remove_missing = remove;
  remove_missing.path = "never\\there";
  std::vector<RegEdit> removals{remove, remove_missing};
  ASSERT_EQ(store_->ApplyEdits(removals), reg::kSuccess);
  EXPECT_EQ(SubKeys(kHklm), std::vector<std::string>{"Other"});
  remove.path = "";
  EXPECT_EQ(store_->ApplyEdits(std::span(&remove, 1)), reg::kAccessDenied);
}

TEST_F(RegistryStoreTest, ExportTreeListsKeysDepthFirstInNameOrder) {
  HKey b = Create(kHkcu, "R\\b");
  Create(kHkcu, "R\\a\\z");
  Create(kHkcu, "R\\a\\y");
  store_->SetValueEx(b, "n", reg::kBinary, Bytes({7}));
  std::vector<RegKeyRecord> tree;
  ASSERT_EQ(store_->ExportTree(kHkcu, "r", &tree), reg::kSuccess);
  std::vector<std::string> paths;
  for (const auto& k : tree) paths.push_back(k.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"r", "r\\a", "r\\a\\y", "r\\a\\z", "r\\b"}));
  EXPECT_EQ(tree.back().values, (std::vector<RegValue>{{"n", reg::kBinary, Bytes({7})}}));
  EXPECT_EQ(store_->ExportTree(kHkcu, "missing", &tree), reg::kFileNotFound);
}

// Random changes on a few short names of mixed case, checked against a map after each step.
TEST_F(RegistryStoreTest, RandomChangesMatchAPlainModel) {
  struct ModelKey {
    std::string name;
    std::vector<RegValue> values;
  };
  auto fold = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  std::map<std::string, ModelKey> model;  // folded path -> key; the root is ""
  model[""] = {"", {}};
  const char* names[] = {"a", "A", "b", "B", "c"};
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 rng(seed);
    for (int step = 0; step < 400; ++step) {
      int depth = 1 + static_cast<int>(rng() % 3);
      std::string path;
      for (int d = 0; d < depth; ++d) path += (d ? "\\" : "") + std::string(names[rng() % 5]);
      std::string folded = fold(path);
      std::string parent = folded.rfind('\\') == std::string::npos ? "" : folded.substr(0, folded.rfind('\\'));
      switch (rng() % 4) {
        case 0: {  // create
          HKey key = Create(kHkcu, path);
          store_->CloseKey(key);
          std::string built, shown;
          std::size_t pos = 0;
          while (pos <= path.size()) {
            std::size_t end = std::min(path.find('\\', pos), path.size());
            std::string part = path.substr(pos, end - pos);
            built += (built.empty() ? "" : "\\") + fold(part);
            if (!model.count(built)) model[built] = {part, {}};
            pos = end + 1;
          }
          break;
        }
        case 1: {  // delete
          bool has_children = false;
          for (const auto& [p, k] : model) has_children |= p.size() > folded.size() && p.rfind(folded + "\\", 0) == 0;
          RegStatus expect = !model.count(folded) ? reg::kFileNotFound : has_children ? reg::kAccessDenied : reg::kSuccess;
          ASSERT_EQ(store_->DeleteKey(kHkcu, path), expect) << path;
          if (expect == reg::kSuccess) model.erase(folded);
          break;
        }
        case 2: {  // set a value
          std::string name = names[rng() % 5];
          RegValue v{name, static_cast<std::uint32_t>(rng() % 5), Bytes({static_cast<int>(rng() % 256)})};
          HKey key = Create(kHkcu, path);
          ASSERT_EQ(store_->SetValueEx(key, name, v.type, v.data), reg::kSuccess);
          store_->CloseKey(key);
          // The key (and those above it) now exist; the model learns them as case 0 does.
          std::string built;
          std::size_t pos = 0;
          while (pos <= path.size()) {
            std::size_t end = std::min(path.find('\\', pos), path.size());
            std::string part = path.substr(pos, end - pos);
            built += (built.empty() ? "" : "\\") + fold(part);
            if (!model.count(built)) model[built] = {part, {}};
            pos = end + 1;
          }
          auto& values = model[folded].values;
          auto it = std::find_if(values.begin(), values.end(), [&](const RegValue& x) { return fold(x.name) == fold(name); });
          if (it == values.end()) {
            values.push_back(v);
          } else {
            it->type = v.type;
            it->data = v.data;
          }
          break;
        }
        case 3: {  // delete a value
          std::string name = names[rng() % 5];
          HKey key = 0;
          if (store_->OpenKeyEx(kHkcu, path, 0, reg::kAllAccess, &key) != reg::kSuccess) {
            ASSERT_FALSE(model.count(folded));
            break;
          }
          auto& values = model[folded].values;
          auto it = std::find_if(values.begin(), values.end(), [&](const RegValue& x) { return fold(x.name) == fold(name); });
          ASSERT_EQ(store_->DeleteValue(key, name), it == values.end() ? reg::kFileNotFound : reg::kSuccess);
          if (it != values.end()) values.erase(it);
          store_->CloseKey(key);
          break;
        }
      }
      // The model in export order: depth first, children by folded name.
      std::vector<RegKeyRecord> expected;
      std::vector<std::pair<std::string, std::string>> stack{{"", ""}};
      while (!stack.empty()) {
        auto [f, shown] = stack.back();
        stack.pop_back();
        expected.push_back({shown, model[f].values});
        std::vector<std::pair<std::string, std::string>> kids;
        for (const auto& [p, k] : model) {
          std::string prefix = f.empty() ? "" : f + "\\";
          if (p.size() > prefix.size() && p.rfind(prefix, 0) == 0 && p.find('\\', prefix.size()) == std::string::npos) {
            kids.push_back({p, (shown.empty() ? "" : shown + "\\") + k.name});
          }
        }
        std::sort(kids.begin(), kids.end());
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
      }
      std::vector<RegKeyRecord> actual;
      ASSERT_EQ(store_->ExportTree(kHkcu, "", &actual), reg::kSuccess);
      ASSERT_EQ(actual, expected) << "seed " << seed << " step " << step;
    }
  }
}

TEST(RegistryPathTest, EnvironmentChoosesTheStore) {
  auto saved = [](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  auto registry = saved("NARWICK_REGISTRY"), xdg = saved("XDG_DATA_HOME"), home = saved("HOME");
  setenv("NARWICK_REGISTRY", "/tmp/x/explicit.db", 1);
  EXPECT_EQ(DefaultRegistryPath(), "/tmp/x/explicit.db");
  unsetenv("NARWICK_REGISTRY");
  setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(DefaultRegistryPath(), "/data/home/narwick/registry.db");
  setenv("XDG_DATA_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(DefaultRegistryPath(), "/home/someone/.local/share/narwick/registry.db");
  auto restore = [](const char* name, const std::optional<std::string>& v) {
    if (v) setenv(name, v->c_str(), 1); else unsetenv(name);
  };
  restore("NARWICK_REGISTRY", registry);
  restore("XDG_DATA_HOME", xdg);
  restore("HOME", home);
}

}  // namespace
}  // namespace narwick::platform
