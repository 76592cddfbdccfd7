// clsRegistry: each member opens the key it needs, makes one or two registry calls, closes
// the key and returns. Nothing is reported: a failed call leaves the outputs as they were.
#include "narwick/system/registry.h"

#include <array>
#include <utility>
#include <vector>

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "platform/registry_store.h"

namespace narwick {

namespace {

using platform::HKey;
using platform::RegStatus;
namespace reg = platform::reg;

// A void member that leaves on the first failure: its whole body is the one statement.
template <class Body>
void LeaveOnFailure(Body&& body) {
  trap::Skip(std::forward<Body>(body));
}

// The root value goes to the registry unchanged, so any predefined root works.
HKey RootHandle(EnumRegistryRootKeys root) {
  return static_cast<HKey>(static_cast<std::uint32_t>(static_cast<Long>(root)));
}

// A name as a registry call receives it: its Windows-1252 bytes. After the call the caller's
// string holds what went over (FromAnsi of these bytes), as a by-reference String argument
// of an ANSI call does.
class AnsiArg {
 public:
  explicit AnsiArg(String& name) : name_(name) {
    std::vector<Byte> bytes = ToAnsi(name);
    bytes_.assign(bytes.begin(), bytes.end());
  }
  const std::string& bytes() const { return bytes_; }
  void WriteBack() { name_ = FromAnsi({reinterpret_cast<const Byte*>(bytes_.data()), bytes_.size()}); }

 private:
  String& name_;
  std::string bytes_;
};

// Text of a name buffer up to its first zero.
String BufferText(const std::vector<char>& buffer) {
  String text = FromAnsi({reinterpret_cast<const Byte*>(buffer.data()), buffer.size()});
  return text.substr(0, text.find(u'\0'));
}

// The two enumerate members: opens the key, takes the number of names from the key's
// information (`count_of`, which may also size a buffer), and fills `names` with the name
// buffers `name_at` gives (none: the registry says no more). Nothing is set when the key
// cannot be opened or queried; a count under 1 sets only the count. The loop runs until the
// registry says no more, so a name added since the query lands one past the array's end:
// error 9 ends the member with the array as filled and no count set.
template <class CountOf, class NameAt>
void EnumerateNames(platform::RegistryApi& registry, HKey root, String& key_name_arg, SafeArray& names, Long& count_out,
                    CountOf count_of, NameAt name_at) {
  AnsiArg key_name(key_name_arg);
  HKey key = 0;
  const RegStatus status = registry.OpenKeyEx(root, key_name.bytes(), 0, reg::kAllAccess, &key);
  key_name.WriteBack();
  if (status != reg::kSuccess) return;
  platform::KeyInfo info;
  if (registry.QueryInfoKey(key, &info) != reg::kSuccess) {
    registry.CloseKey(key);
    return;
  }
  const Long count = static_cast<Long>(count_of(info));
  if (count < 1) {
    count_out = count;
    registry.CloseKey(key);
    return;
  }
  names = SafeArray(VbVarType::vbString, 0, count - 1);
  for (Long index = 0;; ++index) {
    const std::vector<char>* name = name_at(key, static_cast<std::uint32_t>(index), info);
    if (name == nullptr) {
      count_out = count;
      registry.CloseKey(key);
      return;
    }
    names(index) = Variant(BufferText(*name));
  }
}

// varData as the bytes of a REG_BINARY value: a Byte array as it is, a String as its raw
// 16-bit characters, low byte first. The data goes over as element 0 and the count, so an
// array that lacks element 0 (empty, or starting elsewhere) is error 9, like a String that
// makes an empty array; anything else is a type mismatch.
std::vector<Byte> BinaryData(const Variant& data) {
  std::vector<Byte> bytes;
  if (data.VarType() == VbVarType::vbString) {
    for (char16_t c : data.Str()) {
      bytes.push_back(static_cast<Byte>(c & 0xFF));
      bytes.push_back(static_cast<Byte>(c >> 8));
    }
  } else if (data.IsArray() && data.Array().ElementType() == VbVarType::vbByte) {
    const SafeArray& array = data.Array();
    if (array.Dims() != 1 || array.LBound() != 0) Raise(err::kSubscriptOutOfRange);
    bytes = array.ToBytes();
  } else {
    Raise(err::kTypeMismatch);
  }
  if (bytes.empty()) Raise(err::kSubscriptOutOfRange);
  return bytes;
}

}  // namespace

clsRegistry::clsRegistry() = default;
clsRegistry::clsRegistry(std::shared_ptr<platform::RegistryApi> registry) : registry_(std::move(registry)) {}
clsRegistry::~clsRegistry() = default;

std::shared_ptr<platform::RegistryApi> clsRegistry::Registry() {
  return registry_ ? registry_ : platform::CurrentRegistry();
}

const frame::ClassInfo& clsRegistry::TypeInfo() const {
  static const frame::ClassInfo info =
      frame::MemberTable<clsRegistry>("clsRegistry")
          .Method("RegistryCreateNewKey", &clsRegistry::RegistryCreateNewKey, {"eRootKey", "strKeyName"})
          .Method("RegistryDeleteKey", &clsRegistry::RegistryDeleteKey, {"eRootKey", "strKeyName"})
          .Method("RegistryDeleteValue", &clsRegistry::RegistryDeleteValue,
                  {"eRootKey", "strKeyName", "strValueName"})
          .Method("RegistryEnumerateSubKeys", &clsRegistry::RegistryEnumerateSubKeys,
                  {"eRootKey", "strKeyName", "astrKeys", "lngKeyCount"})
          .Method("RegistryEnumerateValues", &clsRegistry::RegistryEnumerateValues,
                  {"eRootKey", "strKeyName", "astrValues", "lngValueCount"})
          .Method("RegistryGetKeyValue", &clsRegistry::RegistryGetKeyValue,
                  {"eRootKey", "strKeyName", "strValueName"})
          .Method("RegistrySetKeyValue", &clsRegistry::RegistrySetKeyValue,
                  {"eRootKey", "strKeyName", "strValueName", "varData", "eDataType"})
          .Build();
  return info;
}

void clsRegistry::RegistryCreateNewKey(EnumRegistryRootKeys eRootKey, String& strKeyName) {
  LeaveOnFailure([&] {
    auto registry = Registry();
    AnsiArg key_name(strKeyName);
    HKey key = 0;
    std::uint32_t disposition = 0;
    RegStatus status =
        registry->CreateKeyEx(RootHandle(eRootKey), key_name.bytes(), 0, reg::kAllAccess, &key, &disposition);
    key_name.WriteBack();
    if (status == reg::kSuccess) registry->CloseKey(key);
  });
}

void clsRegistry::RegistryDeleteKey(EnumRegistryRootKeys eRootKey, String& strKeyName) {
  LeaveOnFailure([&] {
    auto registry = Registry();
    AnsiArg key_name(strKeyName);
    registry->DeleteKey(RootHandle(eRootKey), key_name.bytes());  // a key with subkeys stays
    key_name.WriteBack();
  });
}

void clsRegistry::RegistryDeleteValue(EnumRegistryRootKeys eRootKey, String& strKeyName, String& strValueName) {
  LeaveOnFailure([&] {
    auto registry = Registry();
    AnsiArg key_name(strKeyName);
    HKey key = 0;
    RegStatus status = registry->OpenKeyEx(RootHandle(eRootKey), key_name.bytes(), 0, reg::kAllAccess, &key);
    key_name.WriteBack();
    if (status != reg::kSuccess) return;
    AnsiArg value_name(strValueName);
    registry->DeleteValue(key, value_name.bytes());
    value_name.WriteBack();
    // The key is closed here; left open, every call would hold one more handle.
    registry->CloseKey(key);
  });
}

void clsRegistry::RegistryEnumerateSubKeys(EnumRegistryRootKeys eRootKey, String& strKeyName, SafeArray& astrKeys,
                                           Long& lngKeyCount) {
  LeaveOnFailure([&] {
    auto registry = Registry();
    std::vector<char> buffer;
    EnumerateNames(
        *registry, RootHandle(eRootKey), strKeyName, astrKeys, lngKeyCount,
        [&](const platform::KeyInfo& info) {
          buffer.resize(info.max_sub_key_length + 1);
          return info.sub_keys;
        },
        [&](HKey key, std::uint32_t index, const platform::KeyInfo&) -> const std::vector<char>* {
          return registry->EnumKey(key, index, buffer) == reg::kSuccess ? &buffer : nullptr;
        });
  });
}

void clsRegistry::RegistryEnumerateValues(EnumRegistryRootKeys eRootKey, String& strKeyName, SafeArray& astrValues,
                                          Long& lngValueCount) {
  LeaveOnFailure([&] {
    auto registry = Registry();
    std::vector<char> buffer;
    EnumerateNames(
        *registry, RootHandle(eRootKey), strKeyName, astrValues, lngValueCount,
        [](const platform::KeyInfo& info) { return info.values; },
        [&](HKey key, std::uint32_t index, const platform::KeyInfo& info) -> const std::vector<char>* {
          // Name only: no type, no data. The buffer is made afresh for each call.
          buffer.assign(info.max_value_name_length + 1, '\0');
          std::uint32_t name_length = 0;
          return registry->EnumValue(key, index, buffer, &name_length, nullptr, nullptr, nullptr) == reg::kSuccess
                     ? &buffer
                     : nullptr;
        });
  });
}

Variant clsRegistry::RegistryGetKeyValue(EnumRegistryRootKeys eRootKey, String& strKeyName, String& strValueName) {
  Variant result;
  return trap::LeaveWithCurrent(result, [&] {
    auto registry = Registry();
    AnsiArg key_name(strKeyName);
    HKey key = 0;
    RegStatus status = registry->OpenKeyEx(RootHandle(eRootKey), key_name.bytes(), 0, reg::kQueryValue, &key);
    key_name.WriteBack();
    if (status != reg::kSuccess) return;
    AnsiArg value_name(strValueName);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    status = registry->QueryValueEx(key, value_name.bytes(), &type, nullptr, &size);
    value_name.WriteBack();
    if (status != reg::kSuccess) {
      registry->CloseKey(key);
      return;
    }
    switch (type) {
      case reg::kBinary:
        if (size > 0) {
          std::vector<Byte> bytes(size);
          std::uint32_t room = size;
          status = registry->QueryValueEx(key, value_name.bytes(), &type, bytes.data(), &room);
          value_name.WriteBack();
          if (status == reg::kSuccess) result = Variant(SafeArray::FromBytes(bytes, 0));
        } else {
          result = Variant(SafeArray(VbVarType::vbByte, 0, -1));
        }
        break;
      case reg::kDword: {
        // Four bytes are asked for whatever the stored size: a shorter value fills the low bytes.
        std::array<Byte, 4> bytes{};
        std::uint32_t room = 4;
        status = registry->QueryValueEx(key, value_name.bytes(), &type, bytes.data(), &room);
        value_name.WriteBack();
        if (status == reg::kSuccess) {
          std::uint32_t v = reg::DwordFromBytes(bytes.data());
          result = Variant::FromLong(static_cast<Long>(v));
        }
        break;
      }
      default:
        // Text of any type, unexpanded; a multi-string gives its first string.
        if (size > 0) {
          std::vector<Byte> bytes(size);
          std::uint32_t room = size;
          status = registry->QueryValueEx(key, value_name.bytes(), &type, bytes.data(), &room);
          value_name.WriteBack();
          if (status == reg::kSuccess) {
            String text = FromAnsi(bytes);
            result = Variant(text.substr(0, text.find(u'\0')));
          }
        } else {
          result = Variant(String());
        }
        break;
    }
    registry->CloseKey(key);
  });
}

void clsRegistry::RegistrySetKeyValue(EnumRegistryRootKeys eRootKey, String& strKeyName, String& strValueName,
                                      const Variant& varData, EnumRegistryValueType eDataType) {
  LeaveOnFailure([&] {
    auto registry = Registry();
    AnsiArg key_name(strKeyName);
    HKey key = 0;
    std::uint32_t disposition = 0;
    // The result is not tested: on failure the value calls below fail on the null handle.
    registry->CreateKeyEx(RootHandle(eRootKey), key_name.bytes(), 0, reg::kAllAccess, &key, &disposition);
    key_name.WriteBack();
    switch (eDataType) {
      case EnumRegistryValueType::rrkRegSZ: {
        String text = CStr(varData);
        text.push_back(u'\0');
        std::vector<Byte> bytes = ToAnsi(text);
        AnsiArg value_name(strValueName);
        registry->SetValueEx(key, value_name.bytes(), reg::kSz, bytes);
        value_name.WriteBack();
        break;
      }
      case EnumRegistryValueType::rrkregbinary: {
        std::vector<Byte> bytes = BinaryData(varData);
        AnsiArg value_name(strValueName);
        registry->SetValueEx(key, value_name.bytes(), reg::kBinary, bytes);
        value_name.WriteBack();
        break;
      }
      case EnumRegistryValueType::rrkRegDWord: {
        const auto v = static_cast<std::uint32_t>(CLng(varData));
        const std::array<Byte, 4> bytes = {static_cast<Byte>(v), static_cast<Byte>(v >> 8),
                                           static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 24)};
        AnsiArg value_name(strValueName);
        registry->SetValueEx(key, value_name.bytes(), reg::kDword, bytes);
        value_name.WriteBack();
        break;
      }
      default:
        break;  // no other type is written
    }
    registry->CloseKey(key);
  });
}

NARWICK_REGISTER_CLASS(clsRegistry);

}  // namespace narwick
