// The registry store on SQLite.
//
// Schema: one row per key (roots included, as children of the pseudo-parent 0) and one row
// per value. Names are kept as written (UTF-8 of their Windows-1252 bytes, so the file reads
// well in the sqlite3 shell) beside a folded upper-case form that lookups and the unique
// indexes use: names are case-insensitive and case-preserving. Every public call is one
// transaction; writers take the write lock up front (BEGIN IMMEDIATE) so two processes queue
// on the busy timeout instead of failing on a lock upgrade. Ids are never reused
// (AUTOINCREMENT), so a handle to a deleted key can tell that it was deleted.
#include "platform/registry_store.h"

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "narwick/frame/codepage.h"
#include "narwick/frame/variant.h"

namespace narwick::platform {

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;
constexpr const char* kWrittenByNewer = "it was written by a newer version of narwick";

constexpr RootKey kRoots[] = {
    {reg::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {reg::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {reg::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {reg::kUsers, "HKEY_USERS", "HKU"},
    {0x80000004u, "HKEY_PERFORMANCE_DATA", ""},
    {reg::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
    {0x80000006u, "HKEY_DYN_DATA", ""},
    {0x80000050u, "HKEY_PERFORMANCE_TEXT", ""},
    {0x80000060u, "HKEY_PERFORMANCE_NLSTEXT", ""},
};

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// A name as the C calls see it: up to its first zero byte.
std::string_view CName(std::string_view name) { return name.substr(0, name.find('\0')); }

// Upper case within Windows-1252, one byte for one byte.
Byte FoldByte(Byte b) {
  if (b >= 'a' && b <= 'z') return static_cast<Byte>(b - 32);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<Byte>(b - 32);
  switch (b) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: return b;
  }
}

std::span<const Byte> AsBytes(std::string_view s) {
  return {reinterpret_cast<const Byte*>(s.data()), s.size()};
}

std::string StoredText(std::string_view ansi) { return ToUtf8(FromAnsi(AsBytes(ansi))); }

std::string FoldedText(std::string_view ansi) {
  std::vector<Byte> folded(ansi.size());
  for (std::size_t i = 0; i < ansi.size(); ++i) folded[i] = FoldByte(static_cast<Byte>(ansi[i]));
  return ToUtf8(FromAnsi(folded));
}

std::string AnsiFromStored(std::string_view utf8) {
  std::vector<Byte> bytes = ToAnsi(FromUtf8(utf8));
  return std::string(bytes.begin(), bytes.end());
}

std::uint64_t NowFileTime() {
  using namespace std::chrono;
  auto since_unix = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  constexpr std::uint64_t kUnixEpochIn1601 = 116444736000000000ull;
  return kUnixEpochIn1601 + static_cast<std::uint64_t>(since_unix / 100);
}

// An SQLite failure inside a transaction; the public call turns it into a status.
struct SqlFailure {
  int code;
};

RegStatus StatusFor(int sqlite_code) {
  int primary = sqlite_code & 0xFF;
  return (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) ? reg::kBusy : reg::kRegistryIoFailed;
}

// Copies a name with its terminating zero into the caller's buffer; false when it does not fit
// (the enumerations then answer ERROR_MORE_DATA, as Windows does).
bool CopyName(const std::string& found, std::span<char> name) {
  if (found.size() + 1 > name.size()) return false;
  std::memcpy(name.data(), found.data(), found.size());
  name[found.size()] = '\0';
  return true;
}

}  // namespace

std::span<const RootKey> RootKeys() { return kRoots; }

const RootKey* FindRoot(HKey handle) {
  for (const auto& root : kRoots) {
    if (root.handle == handle) return &root;
  }
  return nullptr;
}

const RootKey* FindRoot(std::string_view name) {
  for (const auto& root : kRoots) {
    if (AsciiEqualNoCase(root.name, name) || (!root.abbrev.empty() && AsciiEqualNoCase(root.abbrev, name))) {
      return &root;
    }
  }
  return nullptr;
}

struct RegistryStore::Impl {
  struct Handle {
    std::int64_t key_id;
    std::uint32_t sam;
  };

  sqlite3* db = nullptr;
  std::mutex mutex;
  std::unordered_map<std::string, sqlite3_stmt*> statements;
  std::map<HKey, std::int64_t> root_ids;
  std::map<HKey, Handle> handles;
  HKey next_handle = 1;
  std::string last_error;

  ~Impl() {
    for (auto& [sql, stmt] : statements) sqlite3_finalize(stmt);
    if (db != nullptr) sqlite3_close_v2(db);
  }

  [[noreturn]] void Fail(int code) {
    last_error = sqlite3_errmsg(db);
    throw SqlFailure{code};
  }

  void Exec(const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
  }

  // A cached prepared statement, reset when the scope ends.
  class Stmt {
   public:
    Stmt(Impl& impl, const std::string& sql) : impl_(impl) {
      auto it = impl.statements.find(sql);
      if (it == impl.statements.end()) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v3(impl.db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) impl.Fail(rc);
        it = impl.statements.emplace(sql, stmt).first;
      }
      stmt_ = it->second;
    }
    ~Stmt() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& Bind(int i, std::int64_t v) {
      Check(sqlite3_bind_int64(stmt_, i, v));
      return *this;
    }
    Stmt& BindText(int i, const std::string& text) {
      Check(sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
      return *this;
    }
    Stmt& BindBlob(int i, std::span<const std::uint8_t> bytes) {
      static const std::uint8_t kNothing = 0;  // a null pointer would bind NULL, not an empty blob
      const void* p = bytes.empty() ? &kNothing : bytes.data();
      Check(sqlite3_bind_blob64(stmt_, i, p, bytes.size(), SQLITE_TRANSIENT));
      return *this;
    }
    bool Step() {
      int rc = sqlite3_step(stmt_);
      if (rc == SQLITE_ROW) return true;
      if (rc == SQLITE_DONE) return false;
      impl_.Fail(rc);
    }
    void Run() { Step(); }
    std::int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
    std::string Text(int col) {
      const auto* p = sqlite3_column_text(stmt_, col);
      int n = sqlite3_column_bytes(stmt_, col);
      return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
    }
    std::vector<std::uint8_t> Blob(int col) {
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, col));
      int n = sqlite3_column_bytes(stmt_, col);
      return p == nullptr ? std::vector<std::uint8_t>() : std::vector<std::uint8_t>(p, p + n);
    }

   private:
    void Check(int rc) {
      if (rc != SQLITE_OK) impl_.Fail(rc);
    }
    Impl& impl_;
    sqlite3_stmt* stmt_;
  };

  // Runs `body` in one transaction, committed when it returns kSuccess and rolled back
  // otherwise, so a call that fails half-way changes nothing.
  template <class Body>
  RegStatus Transact(bool write, Body&& body) {
    try {
      Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    } catch (const SqlFailure& failure) {
      return StatusFor(failure.code);
    }
    RegStatus status;
    try {
      status = body();
      if (status == reg::kSuccess) {
        Exec("COMMIT");
        return status;
      }
    } catch (const SqlFailure& failure) {
      status = StatusFor(failure.code);
    }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return status;
  }

  bool KeyExists(std::int64_t id) {
    Stmt s(*this, "SELECT 1 FROM keys WHERE id = ?");
    s.Bind(1, id);
    return s.Step();
  }

  // The key a handle stands for, checking the access it was opened with.
  RegStatus Resolve(HKey key, std::uint32_t needed, std::int64_t* id, bool* is_root = nullptr) {
    if (auto root = root_ids.find(key); root != root_ids.end()) {
      *id = root->second;
      if (is_root != nullptr) *is_root = true;
      return reg::kSuccess;
    }
    auto it = handles.find(key);
    if (it == handles.end()) return reg::kInvalidHandle;
    if ((it->second.sam & needed) != needed) return reg::kAccessDenied;
    if (!KeyExists(it->second.key_id)) return reg::kKeyDeleted;
    *id = it->second.key_id;
    if (is_root != nullptr) *is_root = false;
    return reg::kSuccess;
  }

  std::optional<std::int64_t> Child(std::int64_t parent, const std::string& folded) {
    Stmt s(*this, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
    s.Bind(1, parent).BindText(2, folded);
    if (!s.Step()) return std::nullopt;
    return s.Int(0);
  }

  void Touch(std::int64_t id) {
    Stmt s(*this, "UPDATE keys SET written = ? WHERE id = ?");
    s.Bind(1, static_cast<std::int64_t>(NowFileTime())).Bind(2, id);
    s.Run();
  }

  // Follows `path` (components separated by single backslashes; one trailing backslash is
  // allowed) from `start`, creating missing keys when `create` is set.
  RegStatus Walk(std::int64_t start, std::string_view path, bool create, std::int64_t* id,
                 bool* created = nullptr) {
    path = CName(path);
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    std::int64_t current = start;
    bool made = false;
    std::size_t pos = 0;
    while (!path.empty() && pos <= path.size()) {
      std::size_t end = path.find('\\', pos);
      if (end == std::string_view::npos) end = path.size();
      std::string_view part = path.substr(pos, end - pos);
      if (part.empty()) return reg::kBadPathname;
      if (part.size() > reg::kMaxKeyNameLength) return reg::kInvalidParameter;
      std::string folded = FoldedText(part);
      auto child = Child(current, folded);
      if (child) {
        current = *child;
        made = false;
      } else if (!create) {
        return reg::kFileNotFound;
      } else {
        Stmt s(*this, "INSERT INTO keys(parent, name, fold, written) VALUES(?, ?, ?, ?)");
        s.Bind(1, current).BindText(2, StoredText(part)).BindText(3, folded);
        s.Bind(4, static_cast<std::int64_t>(NowFileTime()));
        s.Run();
        current = sqlite3_last_insert_rowid(db);
        made = true;
      }
      pos = end + 1;
    }
    *id = current;
    if (created != nullptr) *created = made;
    return reg::kSuccess;
  }

  bool HasSubKeys(std::int64_t id) {
    Stmt s(*this, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    s.Bind(1, id);
    return s.Step();
  }

  void DeleteOneKey(std::int64_t id) {
    Stmt v(*this, "DELETE FROM vals WHERE key = ?");
    v.Bind(1, id);
    v.Run();
    Stmt k(*this, "DELETE FROM keys WHERE id = ?");
    k.Bind(1, id);
    k.Run();
  }

  void DeleteSubtree(std::int64_t id) {
    static const std::string kTree =
        "WITH RECURSIVE t(id) AS (SELECT ? UNION ALL SELECT keys.id FROM keys JOIN t ON keys.parent = t.id) ";
    Stmt v(*this, kTree + "DELETE FROM vals WHERE key IN t");
    v.Bind(1, id);
    v.Run();
    Stmt k(*this, kTree + "DELETE FROM keys WHERE id IN t");
    k.Bind(1, id);
    k.Run();
  }

  void SetValue(std::int64_t key_id, std::string_view name, std::uint32_t type,
                std::span<const std::uint8_t> data) {
    Stmt s(*this,
           "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
           "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.Bind(1, key_id).BindText(2, StoredText(name)).BindText(3, FoldedText(name));
    s.Bind(4, static_cast<std::int64_t>(type)).BindBlob(5, data);
    s.Run();
    Touch(key_id);
  }

  bool DeleteValueRow(std::int64_t key_id, std::string_view name) {
    Stmt s(*this, "DELETE FROM vals WHERE key = ? AND fold = ?");
    s.Bind(1, key_id).BindText(2, FoldedText(name));
    s.Run();
    bool deleted = sqlite3_changes(db) > 0;
    if (deleted) Touch(key_id);
    return deleted;
  }

  HKey NewHandle(std::int64_t key_id, std::uint32_t sam) {
    // Opened handles stay below the predefined range; skip numbers still in use after a wrap.
    while (next_handle == 0 || next_handle >= 0x80000000u || handles.count(next_handle) != 0) {
      next_handle = next_handle >= 0x80000000u ? 1 : next_handle + 1;
    }
    HKey h = next_handle++;
    handles[h] = Handle{key_id, sam};
    return h;
  }

  int SchemaVersion() {
    Stmt s(*this, "PRAGMA user_version");
    return s.Step() ? static_cast<int>(s.Int(0)) : 0;
  }

  // Creates the tables of a new store and finds the roots. Returns why the store cannot be
  // used, or nothing.
  std::string CreateSchema() {
    Exec("BEGIN IMMEDIATE");
    try {
      const int version = SchemaVersion();
      if (version > kSchemaVersion) {  // upgraded by another process since Open looked
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return kWrittenByNewer;
      }
      if (version == 0) {
        Exec(
            "CREATE TABLE keys("
            "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
            "  parent INTEGER NOT NULL,"  // 0 for the roots
            "  name TEXT NOT NULL,"
            "  fold TEXT NOT NULL,"
            "  written INTEGER NOT NULL DEFAULT 0);"
            "CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);"
            "CREATE TABLE vals("
            "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
            "  key INTEGER NOT NULL,"
            "  name TEXT NOT NULL,"
            "  fold TEXT NOT NULL,"
            "  type INTEGER NOT NULL,"
            "  data BLOB NOT NULL);"
            "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);");
        for (const auto& root : kRoots) {
          Stmt s(*this, "INSERT INTO keys(parent, name, fold) VALUES(0, ?, ?)");
          s.BindText(1, std::string(root.name)).BindText(2, std::string(root.name));
          s.Run();
        }
        Exec("PRAGMA user_version = 1");
      }
      Exec("COMMIT");
    } catch (const SqlFailure&) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    Stmt s(*this, "SELECT id, name FROM keys WHERE parent = 0");
    while (s.Step()) {
      if (const RootKey* root = FindRoot(s.Text(1))) root_ids[root->handle] = s.Int(0);
    }
    if (root_ids.size() != std::size(kRoots)) return "it lacks its root keys";
    return {};
  }
};

RegistryStore::RegistryStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegistryStore::~RegistryStore() = default;

std::unique_ptr<RegistryStore> RegistryStore::Open(const std::filesystem::path& path) {
  const bool in_memory = path == ":memory:";
  if (!in_memory && path.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
      throw std::runtime_error("cannot create the folder of the registry store " +
                               path.parent_path().string() + ": " + ec.message());
    }
  }
  // A device or pipe named as the store would only get a journal made beside it (in /dev).
  std::error_code kind_error;
  const std::filesystem::file_status kind = std::filesystem::status(path, kind_error);
  if (!in_memory && std::filesystem::exists(kind) && !std::filesystem::is_regular_file(kind)) {
    throw std::runtime_error("cannot open the registry store " + path.string() + ": it is not a regular file");
  }
  auto impl = std::make_unique<Impl>();
  int rc = sqlite3_open_v2(path.c_str(), &impl->db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto fail = [&](const std::string& what) {
    std::string message = "cannot open the registry store " + path.string() + ": " + what;
    throw std::runtime_error(message);
  };
  if (rc != SQLITE_OK) fail(impl->db != nullptr ? sqlite3_errmsg(impl->db) : sqlite3_errstr(rc));
  sqlite3_extended_result_codes(impl->db, 1);
  sqlite3_busy_timeout(impl->db, kBusyTimeoutMs);
  try {
    // Refused before anything in it changes, its journal mode included.
    if (impl->SchemaVersion() > kSchemaVersion) fail(kWrittenByNewer);
    if (!in_memory) {
      Impl::Stmt wal(*impl, "PRAGMA journal_mode = WAL");
      if (!wal.Step() || wal.Text(0) != "wal") fail("the store cannot use write-ahead logging");
    }
    // With WAL a commit that is not yet synced may be lost in a power cut, never corrupted.
    impl->Exec("PRAGMA synchronous = NORMAL");
    if (const std::string why = impl->CreateSchema(); !why.empty()) fail(why);
  } catch (const SqlFailure&) {
    fail(impl->last_error);
  }
  return std::unique_ptr<RegistryStore>(new RegistryStore(std::move(impl)));
}

std::string RegistryStore::last_error() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->last_error;
}

RegStatus RegistryStore::CreateKeyEx(HKey key, std::string_view sub_key, std::uint32_t /*options*/,
                                     std::uint32_t sam, HKey* result, std::uint32_t* disposition) {
  std::lock_guard lock(impl_->mutex);
  std::int64_t id = 0;
  bool created = false;
  RegStatus status = impl_->Transact(true, [&] {
    std::int64_t parent = 0;
    RegStatus s = impl_->Resolve(key, 0, &parent);
    if (s != reg::kSuccess) return s;
    return impl_->Walk(parent, sub_key, true, &id, &created);
  });
  if (status != reg::kSuccess) return status;
  if (result != nullptr) *result = impl_->NewHandle(id, sam);
  if (disposition != nullptr) *disposition = created ? reg::kCreatedNewKey : reg::kOpenedExistingKey;
  return status;
}

RegStatus RegistryStore::OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t /*options*/,
                                   std::uint32_t sam, HKey* result) {
  std::lock_guard lock(impl_->mutex);
  std::int64_t id = 0;
  RegStatus status = impl_->Transact(false, [&] {
    std::int64_t parent = 0;
    RegStatus s = impl_->Resolve(key, 0, &parent);
    if (s != reg::kSuccess) return s;
    return impl_->Walk(parent, sub_key, false, &id);
  });
  if (status == reg::kSuccess && result != nullptr) *result = impl_->NewHandle(id, sam);
  return status;
}

RegStatus RegistryStore::CloseKey(HKey key) {
  std::lock_guard lock(impl_->mutex);
  if (FindRoot(key) != nullptr) return reg::kSuccess;
  return impl_->handles.erase(key) != 0 ? reg::kSuccess : reg::kInvalidHandle;
}

RegStatus RegistryStore::DeleteKey(HKey key, std::string_view sub_key) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Transact(true, [&] {
    std::int64_t parent = 0;
    bool is_root = false;
    RegStatus s = impl_->Resolve(key, 0, &parent, &is_root);
    if (s != reg::kSuccess) return s;
    std::int64_t id = 0;
    s = impl_->Walk(parent, sub_key, false, &id);
    if (s != reg::kSuccess) return s;
    if (id == parent && is_root) return reg::kAccessDenied;  // a root cannot be deleted
    if (impl_->HasSubKeys(id)) return reg::kAccessDenied;
    impl_->DeleteOneKey(id);
    return reg::kSuccess;
  });
}

RegStatus RegistryStore::DeleteValue(HKey key, std::string_view value_name) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Transact(true, [&] {
    std::int64_t id = 0;
    RegStatus s = impl_->Resolve(key, reg::kSetValue, &id);
    if (s != reg::kSuccess) return s;
    return impl_->DeleteValueRow(id, CName(value_name)) ? reg::kSuccess : reg::kFileNotFound;
  });
}

RegStatus RegistryStore::QueryInfoKey(HKey key, KeyInfo* info) {
  std::lock_guard lock(impl_->mutex);
  KeyInfo found;
  RegStatus status = impl_->Transact(false, [&] {
    std::int64_t id = 0;
    RegStatus s = impl_->Resolve(key, reg::kQueryValue, &id);
    if (s != reg::kSuccess) return s;
    {
      // length() of TEXT counts characters; each Windows-1252 character is one of them.
      Impl::Stmt q(*impl_, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?");
      q.Bind(1, id);
      q.Step();
      found.sub_keys = static_cast<std::uint32_t>(q.Int(0));
      found.max_sub_key_length = static_cast<std::uint32_t>(q.Int(1));
    }
    {
      Impl::Stmt q(*impl_,
                   "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) "
                   "FROM vals WHERE key = ?");
      q.Bind(1, id);
      q.Step();
      found.values = static_cast<std::uint32_t>(q.Int(0));
      found.max_value_name_length = static_cast<std::uint32_t>(q.Int(1));
      found.max_value_data_length = static_cast<std::uint32_t>(q.Int(2));
    }
    Impl::Stmt w(*impl_, "SELECT written FROM keys WHERE id = ?");
    w.Bind(1, id);
    if (w.Step()) found.last_write_time = static_cast<std::uint64_t>(w.Int(0));
    return reg::kSuccess;
  });
  if (status == reg::kSuccess && info != nullptr) *info = found;
  return status;
}

RegStatus RegistryStore::EnumKey(HKey key, std::uint32_t index, std::span<char> name) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Transact(false, [&] {
    std::int64_t id = 0;
    RegStatus s = impl_->Resolve(key, reg::kEnumerateSubKeys, &id);
    if (s != reg::kSuccess) return s;
    Impl::Stmt q(*impl_, "SELECT name FROM keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
    q.Bind(1, id).Bind(2, index);
    if (!q.Step()) return reg::kNoMoreItems;
    std::string found = AnsiFromStored(q.Text(0));
    if (!CopyName(found, name)) return reg::kMoreData;
    return reg::kSuccess;
  });
}

RegStatus RegistryStore::EnumValue(HKey key, std::uint32_t index, std::span<char> name,
                                   std::uint32_t* name_length, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* data_size) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Transact(false, [&] {
    std::int64_t id = 0;
    RegStatus s = impl_->Resolve(key, reg::kQueryValue, &id);
    if (s != reg::kSuccess) return s;
    Impl::Stmt q(*impl_, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
    q.Bind(1, id).Bind(2, index);
    if (!q.Step()) return reg::kNoMoreItems;
    std::string found = AnsiFromStored(q.Text(0));
    if (!CopyName(found, name)) return reg::kMoreData;
    if (name_length != nullptr) *name_length = static_cast<std::uint32_t>(found.size());
    if (type != nullptr) *type = static_cast<std::uint32_t>(q.Int(1));
    if (data_size != nullptr) {
      std::vector<std::uint8_t> bytes = q.Blob(2);
      std::uint32_t room = *data_size;
      *data_size = static_cast<std::uint32_t>(bytes.size());
      if (data != nullptr) {
        if (bytes.size() > room) return reg::kMoreData;
        std::copy(bytes.begin(), bytes.end(), data);
      }
    }
    return reg::kSuccess;
  });
}

RegStatus RegistryStore::QueryValueEx(HKey key, std::string_view value_name, std::uint32_t* type,
                                      std::uint8_t* data, std::uint32_t* size) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Transact(false, [&] {
    std::int64_t id = 0;
    RegStatus s = impl_->Resolve(key, reg::kQueryValue, &id);
    if (s != reg::kSuccess) return s;
    Impl::Stmt q(*impl_, "SELECT type, data FROM vals WHERE key = ? AND fold = ?");
    q.Bind(1, id).BindText(2, FoldedText(CName(value_name)));
    if (!q.Step()) return reg::kFileNotFound;
    if (type != nullptr) *type = static_cast<std::uint32_t>(q.Int(0));
    if (size == nullptr) return data == nullptr ? reg::kSuccess : reg::kInvalidParameter;
    std::vector<std::uint8_t> bytes = q.Blob(1);
    std::uint32_t room = *size;
    *size = static_cast<std::uint32_t>(bytes.size());
    if (data != nullptr) {
      if (bytes.size() > room) return reg::kMoreData;
      std::copy(bytes.begin(), bytes.end(), data);
    }
    return reg::kSuccess;
  });
}

RegStatus RegistryStore::SetValueEx(HKey key, std::string_view value_name, std::uint32_t type,
                                    std::span<const std::uint8_t> data) {
  std::lock_guard lock(impl_->mutex);
  value_name = CName(value_name);
  if (value_name.size() > reg::kMaxValueNameLength) return reg::kInvalidParameter;
  return impl_->Transact(true, [&] {
    std::int64_t id = 0;
    RegStatus s = impl_->Resolve(key, reg::kSetValue, &id);
    if (s != reg::kSuccess) return s;
    impl_->SetValue(id, value_name, type, data);
    return reg::kSuccess;
  });
}

RegStatus RegistryStore::ExportTree(HKey root, std::string_view path, std::vector<RegKeyRecord>* out) {
  std::lock_guard lock(impl_->mutex);
  std::vector<RegKeyRecord> records;
  RegStatus status = impl_->Transact(false, [&] {
    std::int64_t start = 0;
    RegStatus s = impl_->Resolve(root, 0, &start);
    if (s != reg::kSuccess) return s;
    s = impl_->Walk(start, path, false, &start);
    if (s != reg::kSuccess) return s;
    std::string base(CName(path));
    if (!base.empty() && base.back() == '\\') base.pop_back();
    // Depth-first with an explicit stack: a deep tree must not exhaust the call stack.
    std::vector<std::pair<std::int64_t, std::string>> stack{{start, base}};
    while (!stack.empty()) {
      auto [id, key_path] = std::move(stack.back());
      stack.pop_back();
      RegKeyRecord record;
      record.path = key_path;
      {
        Impl::Stmt q(*impl_, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY id");
        q.Bind(1, id);
        while (q.Step()) {
          record.values.push_back(
              RegValue{AnsiFromStored(q.Text(0)), static_cast<std::uint32_t>(q.Int(1)), q.Blob(2)});
        }
      }
      records.push_back(std::move(record));
      std::vector<std::pair<std::int64_t, std::string>> children;
      Impl::Stmt q(*impl_, "SELECT id, name FROM keys WHERE parent = ? ORDER BY fold");
      q.Bind(1, id);
      while (q.Step()) {
        std::string name = AnsiFromStored(q.Text(1));
        children.emplace_back(q.Int(0), key_path.empty() ? name : key_path + "\\" + name);
      }
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(std::move(*it));
    }
    return reg::kSuccess;
  });
  if (status == reg::kSuccess && out != nullptr) *out = std::move(records);
  return status;
}

RegStatus RegistryStore::ApplyEdits(std::span<const RegEdit> edits, std::size_t* failed) {
  std::lock_guard lock(impl_->mutex);
  std::size_t at = 0;
  RegStatus status = impl_->Transact(true, [&] {
    for (at = 0; at < edits.size(); ++at) {
      const RegEdit& edit = edits[at];
      if (FindRoot(edit.root) == nullptr) return reg::kInvalidHandle;
      std::int64_t root = impl_->root_ids.at(edit.root);
      std::int64_t id = 0;
      RegStatus s = reg::kSuccess;
      switch (edit.kind) {
        case RegEdit::Kind::kCreateKey:
          s = impl_->Walk(root, edit.path, true, &id);
          break;
        case RegEdit::Kind::kDeleteTree:
          s = impl_->Walk(root, edit.path, false, &id);
          if (s == reg::kFileNotFound) {
            s = reg::kSuccess;
          } else if (s == reg::kSuccess) {
            if (id == root) return reg::kAccessDenied;
            impl_->DeleteSubtree(id);
          }
          break;
        case RegEdit::Kind::kSetValue: {
          std::string_view name = CName(edit.value.name);
          if (name.size() > reg::kMaxValueNameLength) return reg::kInvalidParameter;
          s = impl_->Walk(root, edit.path, true, &id);
          if (s == reg::kSuccess) impl_->SetValue(id, name, edit.value.type, edit.value.data);
          break;
        }
        case RegEdit::Kind::kDeleteValue:
          s = impl_->Walk(root, edit.path, false, &id);
          if (s == reg::kFileNotFound) {
            s = reg::kSuccess;
          } else if (s == reg::kSuccess) {
            impl_->DeleteValueRow(id, CName(edit.value.name));
          }
          break;
      }
      if (s != reg::kSuccess) return s;
    }
    return reg::kSuccess;
  });
  if (status != reg::kSuccess && failed != nullptr) *failed = at;
  return status;
}

std::filesystem::path DefaultRegistryPath() {
  if (const char* explicit_path = std::getenv("NARWICK_REGISTRY"); explicit_path && *explicit_path) {
    return explicit_path;
  }
  std::filesystem::path data_home;
  // A relative XDG_DATA_HOME is invalid and to be ignored.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    data_home = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string home_dir = (home && *home) ? home : "";
    if (home_dir.empty()) {
      if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) home_dir = pw->pw_dir;
    }
    data_home = std::filesystem::path(home_dir) / ".local" / "share";
  }
  return data_home / "narwick" / "registry.db";
}

namespace {

// Stands in while the default store cannot be opened: every call fails as an I/O failure.
class UnavailableRegistry final : public RegistryApi {
 public:
  RegStatus CreateKeyEx(HKey, std::string_view, std::uint32_t, std::uint32_t, HKey*, std::uint32_t*) override {
    return reg::kRegistryIoFailed;
  }
  RegStatus OpenKeyEx(HKey, std::string_view, std::uint32_t, std::uint32_t, HKey*) override {
    return reg::kRegistryIoFailed;
  }
  RegStatus CloseKey(HKey) override { return reg::kInvalidHandle; }
  RegStatus DeleteKey(HKey, std::string_view) override { return reg::kRegistryIoFailed; }
  RegStatus DeleteValue(HKey, std::string_view) override { return reg::kRegistryIoFailed; }
  RegStatus QueryInfoKey(HKey, KeyInfo*) override { return reg::kRegistryIoFailed; }
  RegStatus EnumKey(HKey, std::uint32_t, std::span<char>) override { return reg::kRegistryIoFailed; }
  RegStatus EnumValue(HKey, std::uint32_t, std::span<char>, std::uint32_t*, std::uint32_t*, std::uint8_t*,
                      std::uint32_t*) override {
    return reg::kRegistryIoFailed;
  }
  RegStatus QueryValueEx(HKey, std::string_view, std::uint32_t*, std::uint8_t*, std::uint32_t*) override {
    return reg::kRegistryIoFailed;
  }
  RegStatus SetValueEx(HKey, std::string_view, std::uint32_t, std::span<const std::uint8_t>) override {
    return reg::kRegistryIoFailed;
  }
};

struct RegistrySlot {
  std::mutex mutex;
  std::shared_ptr<RegistryApi> installed;
  std::shared_ptr<RegistryApi> default_store;
};

RegistrySlot& Slot() {
  static RegistrySlot slot;
  return slot;
}

}  // namespace

std::shared_ptr<RegistryApi> CurrentRegistry() {
  auto& slot = Slot();
  std::lock_guard lock(slot.mutex);
  if (slot.installed) return slot.installed;
  if (!slot.default_store) {
    try {
      slot.default_store = RegistryStore::Open(DefaultRegistryPath());
    } catch (const std::exception&) {
      // Not kept: the next call tries again (the folder may become writable).
      return std::make_shared<UnavailableRegistry>();
    }
  }
  return slot.default_store;
}

void SetRegistry(std::shared_ptr<RegistryApi> registry) {
  auto& slot = Slot();
  std::lock_guard lock(slot.mutex);
  slot.installed = std::move(registry);
}

std::string RegStatusText(RegStatus status) {
  switch (status) {
    case reg::kSuccess: return "success";
    case reg::kFileNotFound: return "not found";
    case reg::kAccessDenied: return "access denied (a key with subkeys or a root key cannot be deleted)";
    case reg::kInvalidHandle: return "invalid key handle";
    case reg::kInvalidParameter: return "name too long";
    case reg::kBadPathname: return "bad key path (empty name between backslashes)";
    case reg::kBusy: return "the registry store is busy (another process holds it)";
    case reg::kMoreData: return "buffer too small";
    case reg::kNoMoreItems: return "no more items";
    case reg::kRegistryIoFailed: return "the registry store could not be read or written";
    case reg::kKeyDeleted: return "the key was deleted";
    default: return "registry error " + std::to_string(status);
  }
}

}  // namespace narwick::platform
