// The registry store: Windows meanings of the ten calls, the bulk operations, and a random
// sequence of changes checked against a plain model after every step.
#include "platform/registry_store.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "testing/test_support.h"

namespace narwick::platform {
namespace {


std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  RegistryStoreTest() : store_(RegistryStore::Open(Path())) {}

  std::filesystem::path Path() const { return folder_.path() / "store" / "registry.db"; }

  HKey Create(HKey root, std::string_view path) {
    HKey key = 0;
    EXPECT_EQ(store_->CreateKeyEx(root, path, 0, reg::kAllAccess, &key, nullptr), reg::kSuccess)
        << path;
    return key;
  }
  HKey Open(HKey root, std::string_view path, std::uint32_t sam = reg::kAllAccess) {
    HKey key = 0;
    EXPECT_EQ(store_->OpenKeyEx(root, path, 0, sam, &key), reg::kSuccess) << path;
    return key;
  }
  // Names by index until kNoMoreItems: subkeys, or value names with their reported length.
  std::vector<std::string> Names(HKey key, bool values) {
    std::vector<std::string> names;
    char buffer[300];
    for (std::uint32_t i = 0;; ++i) {
      std::uint32_t length = 0;
      RegStatus s = values ? store_->EnumValue(key, i, buffer, &length, nullptr, nullptr, nullptr)
                           : store_->EnumKey(key, i, buffer);
      if (s == reg::kNoMoreItems) return names;
      EXPECT_EQ(s, reg::kSuccess);
      names.emplace_back(buffer);
      EXPECT_TRUE(!values || length == names.back().size()) << names.back();
    }
  }
  std::vector<std::string> SubKeys(HKey key) { return Names(key, false); }
  std::vector<std::string> ValueNames(HKey key) { return Names(key, true); }
  std::optional<RegValue> Read(HKey key, std::string_view name) {
    std::uint32_t type = 0, size = 0;
    if (store_->QueryValueEx(key, name, &type, nullptr, &size) != reg::kSuccess)
      return std::nullopt;
    std::vector<std::uint8_t> data(size);
    std::uint32_t room = size;
    EXPECT_EQ(store_->QueryValueEx(key, name, &type, data.data(), &room), reg::kSuccess);
    EXPECT_EQ(room, size);
    return RegValue{std::string(name), type, data};
  }

  narwick::testing::TempFolder folder_;
  std::unique_ptr<RegistryStore> store_;
};

// The journal mode of the store at `path`, as a connection of its own sees it.
std::string JournalMode(const std::filesystem::path& path) {
  sqlite3* db = nullptr;
  sqlite3_stmt* stmt = nullptr;
  std::string mode;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
    mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return mode;
}

// Write-ahead logging, so that readers in other processes never wait for a writer.
TEST_F(RegistryStoreTest, OpensWithWriteAheadLog) { EXPECT_EQ(JournalMode(Path()), "wal"); }

// Refusals name the file; a store of a newer version is left as it was.
TEST_F(RegistryStoreTest, OpenRefusesFilesThatAreNotStoresOfThisVersion) {
  const auto bogus = folder_.path() / "bogus.db";
  std::ofstream(bogus) << std::string(4096, 'x');
  const auto newer = folder_.path() / "newer.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 2", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  for (const auto& [path, why] : {std::pair{bogus, ""}, std::pair{newer, ": it was written by a newer version"}}) {
    try {
      RegistryStore::Open(path);
      ADD_FAILURE() << path << " opened as a store";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path.string() + why), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(JournalMode(newer), "delete");

  // Nor is a pipe (or a device) opened: nothing is made beside it.
  const auto pipe = folder_.path() / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  try {
    RegistryStore::Open(pipe);
    ADD_FAILURE() << "a pipe opened as a store";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(pipe.string() + ": it is not a regular file"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "pipe-journal"));
}

// Another connection holding the write lock makes a writer busy, not failed. In a shared
// cache the conflict is reported at once; between processes it comes after the busy timeout.
TEST_F(RegistryStoreTest, AHeldWriteLockMakesWritesBusy) {
  ASSERT_EQ(sqlite3_enable_shared_cache(1), SQLITE_OK);
  store_ = RegistryStore::Open(Path());
  sqlite3* other = nullptr;
  int rc = sqlite3_open(Path().c_str(), &other);
  sqlite3_enable_shared_cache(0);
  ASSERT_EQ(rc, SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  HKey key = 0;
  EXPECT_EQ(store_->CreateKeyEx(reg::kCurrentUser, "K", 0, reg::kAllAccess, &key, nullptr), reg::kBusy);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  EXPECT_EQ(store_->CreateKeyEx(reg::kCurrentUser, "K", 0, reg::kAllAccess, &key, nullptr), reg::kSuccess);
  sqlite3_close(other);
}

// Intermediate keys, case kept as first written and case-blind lookup are the model test's;
// here the statuses and dispositions it does not see.
TEST_F(RegistryStoreTest, KeyPathsAndDispositions) {
  HKey key = 0;
  std::uint32_t disposition = 0;
  auto create = [&](std::string_view path) {
    return store_->CreateKeyEx(reg::kCurrentUser, path, 0, reg::kAllAccess, &key, &disposition);
  };
  auto open = [&](std::string_view path) {
    return store_->OpenKeyEx(reg::kCurrentUser, path, 0, reg::kAllAccess, &key);
  };
  ASSERT_EQ(create("A\\B"), reg::kSuccess);
  EXPECT_EQ(disposition, reg::kCreatedNewKey);
  ASSERT_EQ(create("a\\b"), reg::kSuccess);
  EXPECT_EQ(disposition, reg::kOpenedExistingKey);
  EXPECT_EQ(open("A\\X"), reg::kFileNotFound);
  EXPECT_EQ(open("\\A"), reg::kBadPathname);
  EXPECT_EQ(open("A\\\\B"), reg::kBadPathname);
  EXPECT_EQ(open("A\\B\\"), reg::kSuccess);
  EXPECT_EQ(open(std::string("A\0junk", 6)), reg::kSuccess);
  EXPECT_EQ(create(std::string(256, 'k')), reg::kInvalidParameter);
  EXPECT_EQ(create(std::string(255, 'k')), reg::kSuccess);
  EXPECT_EQ(store_->OpenKeyEx(0x12345678u, "A", 0, reg::kAllAccess, &key), reg::kInvalidHandle);
}

TEST_F(RegistryStoreTest, EveryPredefinedRootIsItsOwnEmptyTree) {
  Create(reg::kCurrentUser, "Shared");
  Create(reg::kCurrentConfig, "OnlyHere");
  for (const auto& root : RootKeys()) {
    std::vector<std::string> expected;
    if (root.handle == reg::kCurrentUser) expected = {"Shared"};
    if (root.handle == reg::kCurrentConfig) expected = {"OnlyHere"};
    EXPECT_EQ(SubKeys(root.handle), expected) << root.name;
  }
}

TEST_F(RegistryStoreTest, DeleteKeyRefusesRootsAndDeletedKeysStayDeleted) {
  HKey a = Create(reg::kCurrentUser, "A");
  store_->SetValueEx(a, "v", reg::kDword, Bytes({1, 0, 0, 0}));
  EXPECT_EQ(store_->DeleteKey(reg::kCurrentUser, ""), reg::kAccessDenied);
  EXPECT_EQ(store_->DeleteKey(reg::kCurrentUser, "a"), reg::kSuccess);
  // The handle still open on the deleted key says so.
  EXPECT_EQ(store_->SetValueEx(a, "v", reg::kDword, Bytes({2, 0, 0, 0})), reg::kKeyDeleted);
  // A key made again under the same name starts empty.
  EXPECT_TRUE(ValueNames(Create(reg::kCurrentUser, "A")).empty());
}

TEST_F(RegistryStoreTest, HandlesKeepTheirAccessRights) {
  Create(reg::kCurrentUser, "K");
  HKey read_only = Open(reg::kCurrentUser, "K", reg::kQueryValue);
  EXPECT_EQ(store_->SetValueEx(read_only, "v", reg::kSz, Bytes({0})), reg::kAccessDenied);
  EXPECT_EQ(store_->DeleteValue(read_only, "v"), reg::kAccessDenied);
  char buffer[8];
  EXPECT_EQ(store_->EnumKey(read_only, 0, buffer), reg::kAccessDenied);
  KeyInfo info;
  EXPECT_EQ(store_->QueryInfoKey(read_only, &info), reg::kSuccess);
  EXPECT_EQ(store_->CloseKey(read_only), reg::kSuccess);
  EXPECT_EQ(store_->CloseKey(read_only), reg::kInvalidHandle);
  EXPECT_EQ(store_->QueryInfoKey(read_only, &info), reg::kInvalidHandle);
  EXPECT_EQ(store_->CloseKey(reg::kCurrentUser), reg::kSuccess);  // a predefined root always closes
}

TEST_F(RegistryStoreTest, QueryValueReportsSizesAndRefusesSmallBuffers) {
  HKey key = Create(reg::kCurrentUser, "Q");
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
  HKey key = Create(reg::kCurrentUser, "Info");
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
  HKey key = Create(reg::kCurrentUser, "E");
  for (const char* name : {"delta", "Alpha", "charlie", "BRAVO"}) Create(key, name);
  EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"Alpha", "BRAVO", "charlie", "delta"}));
  char tiny[5];
  EXPECT_EQ(store_->EnumKey(key, 0, tiny), reg::kMoreData);  // "Alpha" needs 6 bytes
  EXPECT_EQ(store_->EnumKey(key, 4, tiny), reg::kNoMoreItems);

  for (const char* name : {"z", "y", "x"}) {
    store_->SetValueEx(key, name, reg::kDword, Bytes({0, 0, 0, 0}));
  }
  store_->SetValueEx(key, "Z", reg::kSz, Bytes({'n', 0}));  // overwrites "z" in place, name kept
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"z", "y", "x"}));
  std::uint32_t type = 0, size = 1, length = 0;
  std::uint8_t data[1];
  char name[4];
  EXPECT_EQ(store_->EnumValue(key, 0, name, &length, &type, data, &size), reg::kMoreData);
  EXPECT_EQ(size, 2u);
}

TEST_F(RegistryStoreTest, CaseFoldingCoversTheCodePage) {
  HKey key = Create(reg::kCurrentUser, "\xE9l\xE8ve\x9A\xFF");  // élève, š, ÿ
  store_->CloseKey(key);
  HKey same = Open(reg::kCurrentUser, "\xC9L\xC8VE\x8A\x9F");  // ÉLÈVE, Š, Ÿ
  EXPECT_EQ(SubKeys(reg::kCurrentUser), std::vector<std::string>{"\xE9l\xE8ve\x9A\xFF"});
  store_->SetValueEx(same, "\xE6", reg::kSz, Bytes({0}));  // æ
  EXPECT_TRUE(Read(same, "\xC6"));                         // Æ
  EXPECT_FALSE(Read(same, "\xF7"));                        // ÷ has no capital
}

RegEdit Edit(RegEdit::Kind kind, std::string path, RegValue value = {}) {
  RegEdit edit;
  edit.kind = kind;
  edit.root = reg::kLocalMachine;
  edit.path = std::move(path);
  edit.value = std::move(value);
  return edit;
}

TEST_F(RegistryStoreTest, ApplyEditsIsAllOrNothing) {
  using Kind = RegEdit::Kind;
  std::vector<RegEdit> edits = {
      Edit(Kind::kSetValue, "Soft\\Deep", {"v", reg::kSz, Bytes({'a', 0})}),
      Edit(Kind::kCreateKey, "Other"),
      Edit(Kind::kCreateKey, "Bad\\\\Path"),
  };
  std::size_t failed = 99;
  EXPECT_EQ(store_->ApplyEdits(edits, &failed), reg::kBadPathname);
  EXPECT_EQ(failed, 2u);
  EXPECT_TRUE(SubKeys(reg::kLocalMachine).empty());

  edits.pop_back();
  ASSERT_EQ(store_->ApplyEdits(edits), reg::kSuccess);
  EXPECT_EQ(SubKeys(reg::kLocalMachine), (std::vector<std::string>{"Other", "Soft"}));

  // Missing trees and values are no failure.
  const std::vector<RegEdit> removals = {Edit(Kind::kDeleteValue, "Soft\\Deep", {"V", 0, {}}),
                                         Edit(Kind::kDeleteValue, "None", {"v", 0, {}}),
                                         Edit(Kind::kDeleteTree, "soft"),
                                         Edit(Kind::kDeleteTree, "never\\there")};
  ASSERT_EQ(store_->ApplyEdits(removals), reg::kSuccess);
  EXPECT_EQ(SubKeys(reg::kLocalMachine), std::vector<std::string>{"Other"});
  const RegEdit root = Edit(Kind::kDeleteTree, "");
  EXPECT_EQ(store_->ApplyEdits(std::span(&root, 1)), reg::kAccessDenied);
}

// Export order is the model test's; here a path given in other case and a missing one.
TEST_F(RegistryStoreTest, ExportTreeNamesKeysBelowThePathAsGiven) {
  HKey b = Create(reg::kCurrentUser, "R\\b");
  Create(reg::kCurrentUser, "R\\a");
  store_->SetValueEx(b, "n", reg::kBinary, Bytes({7}));
  std::vector<RegKeyRecord> tree;
  ASSERT_EQ(store_->ExportTree(reg::kCurrentUser, "r", &tree), reg::kSuccess);
  EXPECT_EQ(tree, (std::vector<RegKeyRecord>{
                      {"r", {}}, {"r\\a", {}}, {"r\\b", {{"n", reg::kBinary, Bytes({7})}}}}));
  EXPECT_EQ(store_->ExportTree(reg::kCurrentUser, "missing", &tree), reg::kFileNotFound);
}

// Two processes write their own values under shared keys at once, each on its own
// connection: no call may fail, and every value of both must be there afterwards.
TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWriters = 2, kValues = 500;
  auto key_of = [](int i) { return "Shared\\Sub" + std::to_string(i % 10); };
  auto name_of = [](int w, int i) { return std::to_string(w) + "_" + std::to_string(i); };
  store_.reset();  // no connection open across fork
  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    children[w] = fork();
    ASSERT_GE(children[w], 0);
    if (children[w] != 0) continue;
    int failures = 0;
    auto store = RegistryStore::Open(Path());
    for (int i = 0; i < kValues; ++i) {
      HKey key = 0;
      failures += store->CreateKeyEx(reg::kCurrentUser, key_of(i), 0, reg::kAllAccess, &key, nullptr) != 0;
      failures += store->SetValueEx(key, name_of(w, i), reg::kDword, Bytes({w, i, i >> 8, 0})) != 0;
      store->CloseKey(key);
    }
    _exit(failures == 0 ? 0 : 1);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  store_ = RegistryStore::Open(Path());
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      auto value = Read(Open(reg::kCurrentUser, key_of(i)), name_of(w, i));
      ASSERT_TRUE(value) << name_of(w, i);
      EXPECT_EQ(value->data, Bytes({w, i, i >> 8, 0})) << name_of(w, i);
    }
  }
}

// Random changes on a few short names of mixed case, checked against a map after each step:
// the whole tree (names as first written, values in creation order) and every status.
TEST_F(RegistryStoreTest, RandomChangesMatchAPlainModel) {
  struct ModelKey {
    std::string path;  // as first written
    std::vector<RegValue> values;
  };
  auto fold = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  std::map<std::string, ModelKey> model;  // folded path -> key; the root is ""
  model[""] = {"", {}};
  // A created key and those above it exist from then on, named as first written.
  auto learn = [&](const std::string& path) {
    std::string built, shown;
    for (std::size_t pos = 0; pos <= path.size();) {
      std::size_t end = std::min(path.find('\\', pos), path.size());
      std::string part = path.substr(pos, end - pos);
      built += (built.empty() ? "" : "\\") + fold(part);
      if (!model.count(built)) model[built] = {shown + part, {}};
      shown = model[built].path + "\\";
      pos = end + 1;
    }
  };
  auto find_value = [&](std::vector<RegValue>& values, const std::string& name) {
    return std::find_if(values.begin(), values.end(),
                        [&](const RegValue& x) { return fold(x.name) == fold(name); });
  };
  const char* names[] = {"a", "A", "b", "B", "c"};
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 rng(seed);
    for (int step = 0; step < 400; ++step) {
      int depth = 1 + static_cast<int>(rng() % 3);
      std::string path;
      for (int d = 0; d < depth; ++d) path += (d ? "\\" : "") + std::string(names[rng() % 5]);
      std::string folded = fold(path);
      std::string name = names[rng() % 5];
      switch (rng() % 4) {
        case 0:  // create
          store_->CloseKey(Create(reg::kCurrentUser, path));
          learn(path);
          break;
        case 1: {  // delete
          bool has_children = false;
          for (const auto& [p, k] : model) has_children |= p.rfind(folded + "\\", 0) == 0;
          RegStatus expect = !model.count(folded) ? reg::kFileNotFound
                             : has_children       ? reg::kAccessDenied
                                                  : reg::kSuccess;
          ASSERT_EQ(store_->DeleteKey(reg::kCurrentUser, path), expect) << path;
          if (expect == reg::kSuccess) model.erase(folded);
          break;
        }
        case 2: {  // set a value
          // Any type number, and any length from none to past a page.
          RegValue v{name, static_cast<std::uint32_t>(rng() % 4 ? rng() % 12 : rng()), {}};
          v.data.resize(rng() % 4 ? rng() % 8 : rng() % 5000);
          for (auto& b : v.data) b = static_cast<std::uint8_t>(rng());
          HKey key = Create(reg::kCurrentUser, path);
          ASSERT_EQ(store_->SetValueEx(key, name, v.type, v.data), reg::kSuccess);
          store_->CloseKey(key);
          learn(path);
          auto& values = model[folded].values;
          auto it = find_value(values, name);
          if (it == values.end()) {
            values.push_back(v);
          } else {
            it->type = v.type;
            it->data = v.data;
          }
          break;
        }
        case 3: {  // delete a value
          HKey key = 0;
          if (store_->OpenKeyEx(reg::kCurrentUser, path, 0, reg::kAllAccess, &key) != reg::kSuccess) {
            ASSERT_FALSE(model.count(folded));
            break;
          }
          auto& values = model[folded].values;
          auto it = find_value(values, name);
          ASSERT_EQ(store_->DeleteValue(key, name),
                    it == values.end() ? reg::kFileNotFound : reg::kSuccess);
          if (it != values.end()) values.erase(it);
          store_->CloseKey(key);
          break;
        }
      }
      // With one-letter names the map's order is the export's: depth first, by folded name.
      std::vector<RegKeyRecord> expected;
      for (const auto& [folded_path, key] : model) expected.push_back({key.path, key.values});
      std::vector<RegKeyRecord> actual;
      ASSERT_EQ(store_->ExportTree(reg::kCurrentUser, "", &actual), reg::kSuccess);
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
    v ? setenv(name, v->c_str(), 1) : unsetenv(name);
  };
  restore("NARWICK_REGISTRY", registry);
  restore("XDG_DATA_HOME", xdg);
  restore("HOME", home);
}

}  // namespace
}  // namespace narwick::platform
