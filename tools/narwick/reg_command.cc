// narwick reg: read and change the registry store, and move keys in and out as .reg files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "output_beside.h"
#include "read_input.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/variant.h"
#include "platform/reg_file.h"
#include "platform/registry_store.h"

namespace narwick::cli::reg_command {
namespace {

using platform::HKey;
using platform::RegStatus;
namespace reg = platform::reg;

struct Options {
  std::string store;  // empty: the default store
  std::string key;
  std::string name;
  std::string data;
  std::string type = "sz";
  std::string file;
  bool recursive = false;
  bool regedit4 = false;
  bool name_given = false;  // `del KEY ""` is the default value, not the key
};

std::unique_ptr<platform::RegistryStore> OpenStore(const Options& o) {
  std::filesystem::path path = o.store.empty() ? platform::DefaultRegistryPath() : std::filesystem::path(o.store);
  try {
    return platform::RegistryStore::Open(path);
  } catch (const std::exception& e) {
    throw Failure(e.what());
  }
}

// Command-line text (UTF-8) as the store's Windows-1252 bytes; refuses what 1252 lacks.
std::string ToStore(const std::string& utf8, const char* what) {
  String text = FromUtf8(utf8);
  std::string out;
  for (char16_t c : text) {
    Byte b = CharToAnsi(c);
    if (b == '?' && c != u'?') {
      throw Failure(std::string(what) + " \"" + utf8 + "\" holds a character that the store's code page (Windows-1252) cannot hold");
    }
    out.push_back(static_cast<char>(b));
  }
  return out;
}

std::string FromStore(std::string_view ansi) {
  return ToUtf8(FromAnsi({reinterpret_cast<const Byte*>(ansi.data()), ansi.size()}));
}

struct KeyPath {
  const platform::RootKey* root;
  std::string path;  // below the root, Windows-1252
};

// "HKEY_CURRENT_USER\Software\X" or "HKCU\Software\X".
KeyPath ParseKey(const std::string& text) {
  std::size_t slash = text.find('\\');
  const platform::RootKey* root = platform::FindRoot(text.substr(0, slash));
  if (root == nullptr) {
    throw Failure("\"" + text + "\" does not start with a root key (HKEY_CURRENT_USER or HKCU, HKEY_LOCAL_MACHINE or HKLM, ...)");
  }
  std::string path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  return {root, ToStore(path, "the key")};
}

std::string KeyText(const KeyPath& key) {
  return std::string(key.root->name) + (key.path.empty() ? "" : "\\" + FromStore(key.path));
}

void Check(RegStatus status, const std::string& what) {
  if (status != reg::kSuccess) throw Failure(what + ": " + platform::RegStatusText(status));
}

std::string TypeName(std::uint32_t type) {
  switch (type) {
    case reg::kNone: return "REG_NONE";
    case reg::kSz: return "REG_SZ";
    case reg::kExpandSz: return "REG_EXPAND_SZ";
    case reg::kBinary: return "REG_BINARY";
    case reg::kDword: return "REG_DWORD";
    case 5: return "REG_DWORD_BIG_ENDIAN";
    case 6: return "REG_LINK";
    case reg::kMultiSz: return "REG_MULTI_SZ";
    case reg::kQword: return "REG_QWORD";
    default: return "REG_TYPE_" + std::to_string(type);
  }
}

// A value as one line of text: strings up to their first zero (a multi-string's parts joined
// by " | " in listings, one per line otherwise), a dword in decimal, anything else as hex.
std::string ValueText(std::uint32_t type, const std::vector<std::uint8_t>& data, bool one_line) {
  std::string bytes(data.begin(), data.end());
  if (type == reg::kSz || type == reg::kExpandSz) return FromStore(bytes.substr(0, bytes.find('\0')));
  if (type == reg::kMultiSz) {
    std::string out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
      std::size_t end = bytes.find('\0', pos);
      if (end == std::string::npos) end = bytes.size();
      if (end == pos) break;
      if (!out.empty()) out += one_line ? " | " : "\n";
      out += FromStore(bytes.substr(pos, end - pos));
      pos = end + 1;
    }
    return out;
  }
  if (type == reg::kDword && data.size() == 4) {
    std::uint32_t v = reg::DwordFromBytes(data.data());
    return std::to_string(static_cast<std::int32_t>(v));
  }
  std::string out;
  char hex[4];
  for (std::uint8_t b : data) {
    std::snprintf(hex, sizeof hex, out.empty() ? "%02x" : " %02x", b);
    out += hex;
  }
  return out;
}

std::vector<std::uint8_t> ParseBinary(const std::string& text) {
  std::vector<std::uint8_t> out;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits.push_back(c);
    } else if (c != ' ' && c != ',' && c != ':' && c != '\t') {
      throw Failure("binary data must be hex digits (separators: space, comma or colon), not \"" + text + "\"");
    }
  }
  if (digits.size() % 2 != 0) throw Failure("binary data needs an even number of hex digits");
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::vector<std::uint8_t> ParseDword(const std::string& text) {
  std::size_t used = 0;
  long long v = 0;
  try {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    v = std::stoll(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    if (hex) used += 2;
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || v < -2147483648LL || v > 4294967295LL) {
    throw Failure("a dword is a number from -2147483648 to 4294967295 (or 0x0 to 0xffffffff), not \"" + text + "\"");
  }
  auto u = static_cast<std::uint32_t>(v);
  return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
          static_cast<std::uint8_t>(u >> 24)};
}

// Opens the key or explains why not.
HKey OpenKey(platform::RegistryStore& store, const KeyPath& key, std::uint32_t sam) {
  HKey handle = 0;
  RegStatus status = store.OpenKeyEx(key.root->handle, key.path, 0, sam, &handle);
  if (status == reg::kFileNotFound) throw Failure("no key " + KeyText(key));
  Check(status, KeyText(key));
  return handle;
}

void Get(const Options& o) {
  auto store = OpenStore(o);
  KeyPath key = ParseKey(o.key);
  std::string name = ToStore(o.name, "the value name");
  HKey handle = OpenKey(*store, key, reg::kQueryValue);
  std::uint32_t type = 0, size = 0;
  RegStatus status = store->QueryValueEx(handle, name, &type, nullptr, &size);
  std::vector<std::uint8_t> data(size);
  if (status == reg::kSuccess) status = store->QueryValueEx(handle, name, &type, data.data(), &size);
  store->CloseKey(handle);
  if (status == reg::kFileNotFound) {
    throw Failure("no value " + (o.name.empty() ? std::string("(default)") : "\"" + o.name + "\"") + " in " + KeyText(key));
  }
  Check(status, KeyText(key));
  data.resize(size);
  std::printf("%s\n", ValueText(type, data, false).c_str());
}

void Set(const Options& o) {
  auto store = OpenStore(o);
  KeyPath key = ParseKey(o.key);
  std::string name = ToStore(o.name, "the value name");
  std::uint32_t type;
  std::vector<std::uint8_t> data;
  if (o.type == "sz") {
    std::string text = ToStore(o.data, "the text");
    type = reg::kSz;
    data.assign(text.begin(), text.end());
    data.push_back(0);  // stored with its terminator, as the class writes text
  } else if (o.type == "binary") {
    type = reg::kBinary;
    data = ParseBinary(o.data);
  } else {
    type = reg::kDword;
    data = ParseDword(o.data);
  }
  HKey handle = 0;
  Check(store->CreateKeyEx(key.root->handle, key.path, 0, reg::kAllAccess, &handle, nullptr), KeyText(key));
  RegStatus status = store->SetValueEx(handle, name, type, data);
  store->CloseKey(handle);
  Check(status, KeyText(key));
}

void Delete(const Options& o) {
  auto store = OpenStore(o);
  KeyPath key = ParseKey(o.key);
  if (o.name_given) {
    std::string name = ToStore(o.name, "the value name");
    HKey handle = OpenKey(*store, key, reg::kAllAccess);
    RegStatus status = store->DeleteValue(handle, name);
    store->CloseKey(handle);
    if (status == reg::kFileNotFound) {
      throw Failure("no value " + (o.name.empty() ? std::string("(default)") : "\"" + o.name + "\"") + " in " + KeyText(key));
    }
    Check(status, KeyText(key));
    return;
  }
  if (key.path.empty()) throw Failure("a root key cannot be deleted");
  store->CloseKey(OpenKey(*store, key, reg::kQueryValue));  // says so when it is missing
  if (o.recursive) {
    platform::RegEdit edit;
    edit.kind = platform::RegEdit::Kind::kDeleteTree;
    edit.root = key.root->handle;
    edit.path = key.path;
    Check(store->ApplyEdits(std::span(&edit, 1)), KeyText(key));
    return;
  }
  RegStatus status = store->DeleteKey(key.root->handle, key.path);
  if (status == reg::kAccessDenied) throw Failure(KeyText(key) + " has subkeys; --recursive deletes them too");
  Check(status, KeyText(key));
}

void List(const Options& o) {
  auto store = OpenStore(o);
  KeyPath key = ParseKey(o.key);
  HKey handle = OpenKey(*store, key, reg::kAllAccess);
  platform::KeyInfo info;
  Check(store->QueryInfoKey(handle, &info), KeyText(key));
  std::vector<char> name(std::max(info.max_sub_key_length, info.max_value_name_length) + 1);
  for (std::uint32_t i = 0; store->EnumKey(handle, i, name) == reg::kSuccess; ++i) {
    std::printf("%s\\\n", FromStore(name.data()).c_str());
  }
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t length = 0, type = 0, size = 0;
    if (store->EnumValue(handle, i, name, &length, &type, nullptr, &size) != reg::kSuccess) break;
    std::vector<std::uint8_t> data(size);
    if (store->EnumValue(handle, i, name, &length, &type, data.data(), &size) != reg::kSuccess) break;
    std::string shown = length == 0 ? std::string("@") : "\"" + FromStore({name.data(), length}) + "\"";
    std::printf("%s\t%s\t%s\n", shown.c_str(), TypeName(type).c_str(), ValueText(type, data, true).c_str());
  }
  store->CloseKey(handle);
}

void WriteOutput(const std::string& file, const std::vector<std::uint8_t>& bytes) {
  if (file == "-") {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return;
  }
  WriteFileBeside(file, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

void Export(const Options& o) {
  auto store = OpenStore(o);
  KeyPath key = ParseKey(o.key);
  std::vector<platform::RegKeyRecord> tree;
  RegStatus status = store->ExportTree(key.root->handle, key.path, &tree);
  if (status == reg::kFileNotFound) throw Failure("no key " + KeyText(key));
  Check(status, KeyText(key));
  try {
    WriteOutput(o.file, platform::WriteRegFile(o.regedit4 ? platform::RegFileFormat::kRegedit4
                                                          : platform::RegFileFormat::kVersion5,
                                               *key.root, tree));
  } catch (const platform::RegFileWriteError& e) {
    throw Failure(e.what());
  }
}

void Import(const Options& o) {
  std::vector<std::uint8_t> bytes = ReadInputFile(o.file, "a .reg file");
  platform::RegFileParse parsed = platform::ParseRegFile(bytes);
  if (parsed.error) {
    throw Failure(o.file + " line " + std::to_string(parsed.error->line) + ": " + parsed.error->message +
                  " (nothing imported)");
  }
  auto store = OpenStore(o);
  std::size_t failed = 0;
  RegStatus status = store->ApplyEdits(parsed.edits, &failed);
  if (status != reg::kSuccess) {
    int line = failed < parsed.edits.size() ? parsed.edits[failed].line : 0;
    throw Failure(o.file + " line " + std::to_string(line) + ": " + platform::RegStatusText(status) +
                  " (nothing imported)");
  }
  std::size_t keys = 0, values = 0;
  for (const auto& edit : parsed.edits) {
    keys += edit.kind == platform::RegEdit::Kind::kCreateKey;
    values += edit.kind == platform::RegEdit::Kind::kSetValue;
  }
  std::printf("imported %zu key%s and %zu value%s\n", keys, keys == 1 ? "" : "s", values, values == 1 ? "" : "s");
}

void Setup(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<Options>();
  auto* cmd = app.add_subcommand(
      "reg", "Read and change the registry store, import and export .reg files\n"
             "(KEY: HKEY_CURRENT_USER\\Software\\X or HKCU\\Software\\X; store: $NARWICK_REGISTRY,\n"
             "else $XDG_DATA_HOME/narwick/registry.db, else ~/.local/share/narwick/registry.db)");
  cmd->require_subcommand(1);
  cmd->add_option("--store", options->store, "the store file to use instead of the default one")->type_name("FILE");
  const std::string key_help = "the key: a root (HKEY_CURRENT_USER or HKCU, ...) and its path, e.g. HKCU\\Software\\X";

  auto run = [&exit_code](void (*action)(const Options&), std::shared_ptr<Options> o) {
    return [&exit_code, action, o] {
      action(*o);
      exit_code = kExitSuccess;
    };
  };

  auto* get = cmd->add_subcommand("get", "Print a value (text, a dword in decimal, other data as hex)");
  get->add_option("KEY", options->key, key_help)->required();
  get->add_option("NAME", options->name, "the value name; left out: the default value");
  get->callback(run(Get, options));

  auto* set = cmd->add_subcommand("set", "Write a value, creating the key when missing");
  set->add_option("KEY", options->key, key_help)->required();
  set->add_option("NAME", options->name, "the value name; \"\" for the default value")->required();
  set->add_option("DATA", options->data, "text, hex bytes (01 02 ff) or a number")->required();
  set->add_option("--type", options->type, "sz (default), binary or dword")
      ->check(CLI::IsMember({"sz", "binary", "dword"}));
  set->callback(run(Set, options));

  auto* del = cmd->add_subcommand("del", "Delete a value, or a key without subkeys (with --recursive, any key)");
  del->add_option("KEY", options->key, key_help)->required();
  del->add_option("NAME", options->name, "the value to delete (\"\" for the default value); left out: the key itself")
      ->each([options](const std::string&) { options->name_given = true; });
  del->add_flag("-r,--recursive", options->recursive, "delete the key with everything below it");
  del->callback(run(Delete, options));

  auto* ls = cmd->add_subcommand("ls", "List a key's subkeys (ending in \\) and values (name, type, data)");
  ls->add_option("KEY", options->key, key_help)->required();
  ls->callback(run(List, options));

  auto* exp = cmd->add_subcommand("export", "Write a key and everything below it as a .reg file");
  exp->add_option("KEY", options->key, key_help)->required();
  exp->add_option("FILE", options->file, "the .reg file, or - for standard output")->required();
  exp->add_flag("--regedit4", options->regedit4,
                "REGEDIT4 in Windows-1252 instead of \"Windows Registry Editor Version 5.00\" in UTF-16");
  exp->callback(run(Export, options));

  auto* imp = cmd->add_subcommand("import", "Apply a .reg file (REGEDIT4 or version 5.00) in one transaction");
  imp->add_option("FILE", options->file, "the .reg file, or - for standard input")->required();
  imp->callback(run(Import, options));
}

}  // namespace
}  // namespace narwick::cli::reg_command

NARWICK_COMMAND(reg, narwick::cli::reg_command::Setup);
