// clsRegistry: create and delete keys, delete values, list subkeys and value names, and read
// and write text, raw-byte and 32-bit values in the registry (on Linux, the registry store).
#pragma once

#include <memory>

#include "narwick/frame/dispatch.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace platform {
class RegistryApi;
}

enum class EnumRegistryRootKeys : Long {
  rrkHKeyClassesRoot = static_cast<Long>(0x80000000u),
  rrkHKeyCurrentUser = static_cast<Long>(0x80000001u),
  rrkHKeyLocalMachine = static_cast<Long>(0x80000002u),
  rrkHKeyUsers = static_cast<Long>(0x80000003u),
};

enum class EnumRegistryValueType : Long {
  rrkRegSZ = 1,
  rrkregbinary = 3,
  rrkRegDWord = 4,
};

// Every member leaves at once on any failure and reports nothing. Names and string data go
// to the registry in Windows-1252; after each registry call that takes them, `strKeyName` and
// `strValueName` are written back as they went (a character outside the code page comes back
// as '?'). A root value other than the four enumerated ones opens that predefined root.
class clsRegistry final : public frame::AutomationObject {
 public:
  clsRegistry();
  // Works on `registry` instead of the process's registry store (tests use a temporary store).
  explicit clsRegistry(std::shared_ptr<platform::RegistryApi> registry);
  ~clsRegistry() override;
  const frame::ClassInfo& TypeInfo() const override;

  /// Creates the key (and any missing keys above it); an existing key is left as it is.
  void RegistryCreateNewKey(EnumRegistryRootKeys eRootKey, String& strKeyName);
  /// Deletes the key and its values; a key that has subkeys stays.
  void RegistryDeleteKey(EnumRegistryRootKeys eRootKey, String& strKeyName);
  /// Deletes one value of the key.
  void RegistryDeleteValue(EnumRegistryRootKeys eRootKey, String& strKeyName, String& strValueName);
  /// Fills `astrKeys` (0 .. n - 1) with the subkey names and sets `lngKeyCount` to n. With no
  /// subkeys only `lngKeyCount` (0) is set; when the key cannot be read neither changes.
  void RegistryEnumerateSubKeys(EnumRegistryRootKeys eRootKey, String& strKeyName, SafeArray& astrKeys,
                                Long& lngKeyCount);
  /// The same for the names of the key's values.
  void RegistryEnumerateValues(EnumRegistryRootKeys eRootKey, String& strKeyName, SafeArray& astrValues,
                               Long& lngValueCount);
  /// A REG_BINARY value as a Byte array (0-based), a REG_DWORD as a Long, anything else as a
  /// String up to its first zero character; Empty when the key or value cannot be read.
  Variant RegistryGetKeyValue(EnumRegistryRootKeys eRootKey, String& strKeyName, String& strValueName);
  /// Creates the key when missing, then writes `varData` as the given type: rrkRegSZ as text
  /// with a terminating zero, rrkregbinary from a 0-based Byte array or a String's raw
  /// 16-bit characters, rrkRegDWord as a Long. Any other type writes nothing.
  void RegistrySetKeyValue(EnumRegistryRootKeys eRootKey, String& strKeyName, String& strValueName,
                           const Variant& varData, EnumRegistryValueType eDataType);

 private:
  std::shared_ptr<platform::RegistryApi> Registry();

  std::shared_ptr<platform::RegistryApi> registry_;  // null: the process's registry store
};

}  // namespace narwick
