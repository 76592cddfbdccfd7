// CheckDestination: can a destination path take a file of a given size? Shared by both
// compressors (each class passes its own FileSystemTools field and ErrorMessage raiser).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/types.h"

namespace narwick::compress {

// Stand-in for the text stream "Scripting.FileSystemObject".CreateTextFile returns.
// Every call may raise a RuntimeError, which the check ignores.
class ProbeTextStream {
 public:
  virtual ~ProbeTextStream() = default;
  virtual void WriteLine(const String& text) = 0;
  virtual void Close() = 0;
};

// Stand-in for the scripting object "Scripting.FileSystemObject" (only what the probe uses).
class ProbeFileSystem {
 public:
  virtual ~ProbeFileSystem() = default;
  // Creates (overwrite = true: replaces) a text file; raises RuntimeError when it cannot.
  virtual std::unique_ptr<ProbeTextStream> CreateTextFile(const String& path, bool overwrite) = 0;
};

// Folder attribute bits as the Windows call reports them.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// The platform services the check needs beyond FileSystemTools; tests swap in fakes.
struct DestinationServices {
  // Attribute bits of a folder (kInvalidAttributes when it cannot be read).
  std::function<std::uint32_t(const String& folder)> folder_attributes;
  // Makes the "Scripting.FileSystemObject" stand-in; may raise RuntimeError 429.
  std::function<std::unique_ptr<ProbeFileSystem>()> make_probe_file_system;
};

// The real services: stat(2)/access(2) for the attributes (a folder the process cannot write
// into counts as read-only), std::ofstream for the probe.
DestinationServices DefaultDestinationServices();

// What to do when the class's FileSystemTools field is empty.
enum class MissingFileTools {
  kMake,        // clsLZCompression: make one (it stays in the field)
  kLeaveEmpty,  // clsHuffmanCompression: every call through it then fails and is ignored
};

using ErrorMessageFn = std::function<void(const String& message)>;

// True when `destination_path` (a full file path) can take `required_bytes`: enough free
// space on its drive, an existing folder, and a "test.tmp" probe file that can be created
// (and is removed again). Every failing call inside is ignored. Each refusal raises one
// message through `error_message`, except a folder lacking the directory bit (silent).
// Never throws.
bool CheckDestination(std::shared_ptr<FileSystemTools>& file_tools, MissingFileTools missing,
                      const String& destination_path, Long required_bytes,
                      const ErrorMessageFn& error_message,
                      const DestinationServices& services = DefaultDestinationServices());

}  // namespace narwick::compress
