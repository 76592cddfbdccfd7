// .reg text files: "Windows Registry Editor Version 5.00" (UTF-16LE with a byte-order mark
// when written; UTF-8 or UTF-16 read) and REGEDIT4 (Windows-1252), read into a batch of edits
// for the registry store and written from an exported tree.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/registry_store.h"

namespace narwick::platform {

enum class RegFileFormat : std::uint8_t { kRegedit4, kVersion5 };

inline constexpr std::string_view kRegedit4Header = "REGEDIT4";
inline constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";

struct RegFileError {
  int line = 0;  // 1-based
  std::string message;
};

struct RegFileParse {
  RegFileFormat format = RegFileFormat::kVersion5;
  std::vector<RegEdit> edits;         // in file order; empty when `error` is set
  std::optional<RegFileError> error;  // the first fault of the file
};

// Reads a whole .reg file. Sections "[KEY]" create keys, "[-KEY]" delete trees, value lines
// set ("name"="text", dword:, hex:, hex(N):) or delete ("name"=-) values. Text must be
// representable in Windows-1252, the store's code page; anything else is an error, never a
// silent substitution.
RegFileParse ParseRegFile(std::span<const std::uint8_t> bytes);

// Thrown by WriteRegFile for data that a .reg file cannot carry (a line break in a name).
class RegFileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The .reg text of `keys` (as RegistryStore::ExportTree gives them) below `root`: UTF-16LE
// with a byte-order mark for version 5, Windows-1252 for REGEDIT4, CRLF line ends.
std::vector<std::uint8_t> WriteRegFile(RegFileFormat format, const RootKey& root,
                                       std::span<const RegKeyRecord> keys);

}  // namespace narwick::platform
