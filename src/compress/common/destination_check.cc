#include "compress/common/destination_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "compress/common/destination_messages.h"
#include "frame/file_writing.h"
#include "frame/trap.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/variant.h"

namespace narwick::compress {

namespace {

// The text stream of the probe: lines end in CR LF, as the scripting runtime writes them.
class PosixTextStream final : public ProbeTextStream {
 public:
  explicit PosixTextStream(int fd) : fd_(fd) {}
  ~PosixTextStream() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void WriteLine(const String& text) override {
    if (fd_ < 0) Raise(err::kBadFileNameOrNumber);
    const std::string line = ToUtf8(text) + "\r\n";
    if (const int error = frame::WriteAll(fd_, line.data(), line.size())) {
      Raise(error == ENOSPC ? err::kDiskFull : err::kDeviceIoError);
    }
  }
  void Close() override {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Raise(err::kDeviceIoError);
  }

 private:
  int fd_;
};

class PosixProbeFileSystem final : public ProbeFileSystem {
 public:
  std::unique_ptr<ProbeTextStream> CreateTextFile(const String& path, bool overwrite) override {
    const std::string name = ToUtf8(path);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) {
      switch (errno) {
        case EEXIST: Raise(err::kFileAlreadyExists);
        case ENOENT:
        case ENOTDIR: Raise(err::kPathNotFound);
        case EACCES:
        case EPERM:
        case EROFS: Raise(err::kPermissionDenied);
        default: Raise(err::kPathFileAccessError);
      }
    }
    return std::make_unique<PosixTextStream>(fd);
  }
};

// Directory bit from stat(2); the read-only bit when the process may not create files in
// the folder (access(2) with W_OK), which is what the Windows bit stands for to a writer.
std::uint32_t PosixFolderAttributes(const String& folder) {
  const std::string name = ToUtf8(folder);
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return kInvalidAttributes;
  std::uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kAttributeDirectory;
  if (::access(name.c_str(), W_OK) != 0) attributes |= kAttributeReadOnly;
  return attributes;
}

}  // namespace

DestinationServices DefaultDestinationServices() {
  return {PosixFolderAttributes, [] { return std::make_unique<PosixProbeFileSystem>(); }};
}

// Every statement runs with faults ignored: a failing call leaves its target at the zero
// value it was given (0, False, the empty string) and the routine goes on.
bool CheckDestination(std::shared_ptr<FileSystemTools>& file_tools, MissingFileTools missing,
                      const String& destination_path, Long required_bytes,
                      const ErrorMessageFn& error_message, const DestinationServices& services) {
  auto tools = [&]() -> FileSystemTools& {
    if (!file_tools && missing == MissingFileTools::kMake) file_tools = CreateFileSystemTools();
    if (!file_tools) Raise(err::kObjectVariableNotSet);
    return *file_tools;
  };
  auto report = [&](const String& message) { trap::Skip([&] { error_message(message); }); };

  String drive;
  Integer drive_number = 0;
  Double free_space = 0;
  trap::Skip([&] { drive = tools().GetDriveName(destination_path); });
  trap::Skip([&] { drive_number = tools().GetDriveNumber(drive); });
  trap::Skip([&] { free_space = tools().GetDriveFreeSpace(drive_number); });
  if (static_cast<Double>(required_bytes) > free_space) {
    report(NoSpaceMessage(drive));
    return false;
  }

  unsigned probe_flags = 0;  // 1: writable folder, probe tried; 2: the probe file appeared
  String folder;
  bool folder_exists = false;
  trap::Skip([&] { folder = tools().GetFolderName(destination_path); });
  trap::Skip([&] { folder_exists = static_cast<bool>(tools().FolderExists(folder)); });
  if (!folder_exists) {
    report(NoFolderMessage(folder));
    return false;
  }

  std::uint32_t attributes = 0;
  trap::Skip([&] { attributes = services.folder_attributes(folder); });
  if ((attributes & kAttributeDirectory) == 0) return false;  // refused without a message

  if ((attributes & kAttributeReadOnly) == 0) {
    probe_flags += 1;
    String probe_path;
    trap::Skip([&] { probe_path = tools().AddTrailingSeparator(folder) + kProbeFileName; });
    bool exists = false;
    trap::Skip([&] { exists = static_cast<bool>(tools().FileExists(probe_path)); });
    if (exists) trap::Skip([&] { tools().DeleteFile(probe_path); });

    bool fault = false;  // the pending fault after making the object and the file
    std::unique_ptr<ProbeFileSystem> scripting;
    std::unique_ptr<ProbeTextStream> stream;
    auto attempt = [&](auto&& body) {
      try {
        body();
      } catch (const RuntimeError&) {
        fault = true;
      } catch (const std::bad_alloc&) {
        fault = true;
      }
    };
    attempt([&] { scripting = services.make_probe_file_system(); });
    attempt([&] {
      if (!scripting) Raise(err::kObjectVariableNotSet);
      stream = scripting->CreateTextFile(probe_path, true);
    });
    if (!fault) {
      trap::Skip([&] { stream->WriteLine(kProbeText); });
      trap::Skip([&] { stream->Close(); });
    }
    stream.reset();
    scripting.reset();

    exists = false;
    trap::Skip([&] { exists = static_cast<bool>(tools().FileExists(probe_path)); });
    if (exists) {
      probe_flags += 2;
      trap::Skip([&] { tools().DeleteFile(probe_path); });
    }
  }

  if ((probe_flags & 1) == 0) {
    report(kReadOnlyFolderMessage);
    return false;
  }
  if ((probe_flags & 2) == 0) {
    report(kProbeFailedMessage);
    return false;
  }
  return true;
}

}  // namespace narwick::compress
