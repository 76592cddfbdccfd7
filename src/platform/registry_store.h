// The registry on Linux: an SQLite store behind the ten ANSI registry calls that clsRegistry
// makes, with their Windows meanings and status codes, plus the bulk operations that .reg
// import and export need. Names and string data are Windows-1252 bytes, as the ANSI calls
// see them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace narwick::platform {

// A key handle: one of the predefined roots (0x80000000 and up) or a handle the store opened.
using HKey = std::uint32_t;
// A registry call's result: 0 on success, otherwise a Windows error code.
using RegStatus = std::int32_t;

namespace reg {

// The predefined roots the classes and the tests name.
inline constexpr HKey kClassesRoot = 0x80000000u;
inline constexpr HKey kCurrentUser = 0x80000001u;
inline constexpr HKey kLocalMachine = 0x80000002u;
inline constexpr HKey kUsers = 0x80000003u;
inline constexpr HKey kCurrentConfig = 0x80000005u;

// Status codes the store returns.
inline constexpr RegStatus kSuccess = 0;
inline constexpr RegStatus kFileNotFound = 2;       // no such key or value
inline constexpr RegStatus kAccessDenied = 5;       // key has subkeys, root deleted, right missing
inline constexpr RegStatus kInvalidHandle = 6;
inline constexpr RegStatus kInvalidParameter = 87;  // name too long
inline constexpr RegStatus kBadPathname = 161;      // empty component in a key path
inline constexpr RegStatus kBusy = 170;             // another process held the store too long
inline constexpr RegStatus kMoreData = 234;         // buffer too small
inline constexpr RegStatus kNoMoreItems = 259;      // enumeration index past the end
inline constexpr RegStatus kRegistryIoFailed = 1016;
inline constexpr RegStatus kKeyDeleted = 1018;      // the handle's key was deleted meanwhile

// Value types.
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;

// Access rights.
inline constexpr std::uint32_t kQueryValue = 0x01;
inline constexpr std::uint32_t kSetValue = 0x02;
inline constexpr std::uint32_t kCreateSubKey = 0x04;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x08;
inline constexpr std::uint32_t kNotify = 0x10;
inline constexpr std::uint32_t kCreateLink = 0x20;
inline constexpr std::uint32_t kAllAccess = 0x3F;

// Dispositions of CreateKeyEx.
inline constexpr std::uint32_t kCreatedNewKey = 1;
inline constexpr std::uint32_t kOpenedExistingKey = 2;

// A REG_DWORD's four bytes, least significant first.
inline std::uint32_t DwordFromBytes(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Limits, in characters (= bytes here).
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

}  // namespace reg

// The predefined roots: the four the class names, and the others a root value may be.
struct RootKey {
  HKey handle;
  std::string_view name;   // "HKEY_CURRENT_USER"
  std::string_view abbrev; // "HKCU", or empty
};
std::span<const RootKey> RootKeys();
// The root for a handle value, or null when the value is not a predefined one.
const RootKey* FindRoot(HKey handle);
// The root of that name or abbreviation (ASCII case-insensitive), or null.
const RootKey* FindRoot(std::string_view name);

// What QueryInfoKey reports. Lengths are in characters without the terminator.
struct KeyInfo {
  std::uint32_t sub_keys = 0;
  std::uint32_t max_sub_key_length = 0;
  std::uint32_t max_class_length = 0;
  std::uint32_t values = 0;
  std::uint32_t max_value_name_length = 0;
  std::uint32_t max_value_data_length = 0;
  std::uint32_t security_descriptor_length = 0;
  std::uint64_t last_write_time = 0;  // FILETIME: 100 ns units since 1601
};

// The ten registry calls. Names are Windows-1252 bytes; as the C calls do, a name ends at its
// first zero byte. Every call is atomic with respect to other processes using the store.
class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // Opens `sub_key` under `key`, creating it and any missing keys above it. An empty
  // `sub_key` opens `key` itself.
  virtual RegStatus CreateKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                                std::uint32_t sam, HKey* result, std::uint32_t* disposition) = 0;
  virtual RegStatus OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                              std::uint32_t sam, HKey* result) = 0;
  virtual RegStatus CloseKey(HKey key) = 0;
  // Deletes a key that has no subkeys, with its values; kAccessDenied when it has subkeys.
  virtual RegStatus DeleteKey(HKey key, std::string_view sub_key) = 0;
  virtual RegStatus DeleteValue(HKey key, std::string_view value_name) = 0;
  virtual RegStatus QueryInfoKey(HKey key, KeyInfo* info) = 0;
  // Writes subkey `index` (in name order) with its terminator into `name`; kMoreData when it
  // does not fit, kNoMoreItems past the last.
  virtual RegStatus EnumKey(HKey key, std::uint32_t index, std::span<char> name) = 0;
  // Value `index` (in creation order): the name with its terminator into `name`, its length
  // without the terminator into *name_length; type and data when asked for (*data_size in:
  // the room in `data`, out: the size of the data).
  virtual RegStatus EnumValue(HKey key, std::uint32_t index, std::span<char> name,
                              std::uint32_t* name_length, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* data_size) = 0;
  // Type and data of a value. With `data` null only type and *size are reported; otherwise
  // *size is the room in `data` and becomes the size of the data (kMoreData when it does not
  // fit, the data then not written).
  virtual RegStatus QueryValueEx(HKey key, std::string_view value_name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) = 0;
  virtual RegStatus SetValueEx(HKey key, std::string_view value_name, std::uint32_t type,
                               std::span<const std::uint8_t> data) = 0;
};

// One value with its type and bytes.
struct RegValue {
  std::string name;  // Windows-1252; empty for the default value
  std::uint32_t type = reg::kNone;
  std::vector<std::uint8_t> data;
  friend bool operator==(const RegValue&, const RegValue&) = default;
};

// One key of an exported tree, its path below the root ("" for the root itself).
struct RegKeyRecord {
  std::string path;
  std::vector<RegValue> values;  // in creation order
  friend bool operator==(const RegKeyRecord&, const RegKeyRecord&) = default;
};

// One change of a batch.
struct RegEdit {
  enum class Kind : std::uint8_t { kCreateKey, kDeleteTree, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  HKey root = 0;
  std::string path;  // below the root
  RegValue value;    // kSetValue: all of it; kDeleteValue: its name
  int line = 0;      // where the edit came from, for messages
};

// The SQLite store.
class RegistryStore final : public RegistryApi {
 public:
  // Opens (creating it with its schema when missing) the store at `path`; ":memory:" gives a
  // private in-memory store. Throws std::runtime_error with a message when it cannot.
  static std::unique_ptr<RegistryStore> Open(const std::filesystem::path& path);
  ~RegistryStore() override;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  RegStatus CreateKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                        std::uint32_t sam, HKey* result, std::uint32_t* disposition) override;
  RegStatus OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                      std::uint32_t sam, HKey* result) override;
  RegStatus CloseKey(HKey key) override;
  RegStatus DeleteKey(HKey key, std::string_view sub_key) override;
  RegStatus DeleteValue(HKey key, std::string_view value_name) override;
  RegStatus QueryInfoKey(HKey key, KeyInfo* info) override;
  RegStatus EnumKey(HKey key, std::uint32_t index, std::span<char> name) override;
  RegStatus EnumValue(HKey key, std::uint32_t index, std::span<char> name,
                      std::uint32_t* name_length, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* data_size) override;
  RegStatus QueryValueEx(HKey key, std::string_view value_name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
  RegStatus SetValueEx(HKey key, std::string_view value_name, std::uint32_t type,
                       std::span<const std::uint8_t> data) override;

  // The key `path` below `root` and everything beneath it, keys in depth-first order with
  // subkeys in name order. kFileNotFound when the key does not exist.
  RegStatus ExportTree(HKey root, std::string_view path, std::vector<RegKeyRecord>* out);
  // Applies all edits in one transaction: all of them or, on the first failure, none; then
  // *failed (when given) is that edit's index. Deleting a missing tree or value is no failure.
  RegStatus ApplyEdits(std::span<const RegEdit> edits, std::size_t* failed = nullptr);

  // The store's last SQLite message, for diagnostics.
  std::string last_error() const;

 private:
  struct Impl;
  explicit RegistryStore(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Where the store lives: $NARWICK_REGISTRY, else $XDG_DATA_HOME/narwick/registry.db, else
// ~/.local/share/narwick/registry.db.
std::filesystem::path DefaultRegistryPath();

// The registry the classes use: the one installed with SetRegistry, else the store at
// DefaultRegistryPath(), opened on first use (while it cannot be opened, every call fails).
std::shared_ptr<RegistryApi> CurrentRegistry();
// Installs `registry` for CurrentRegistry (tests use a temporary store); null restores the
// default store.
void SetRegistry(std::shared_ptr<RegistryApi> registry);

// A short English text for a status code, for the command-line tool.
std::string RegStatusText(RegStatus status);

}  // namespace narwick::platform
