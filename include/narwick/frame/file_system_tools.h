// FileSystemTools: the file-system component four classes hold for path and drive questions.
#pragma once

#include <functional>
#include <memory>

#include "narwick/frame/types.h"

namespace narwick {

// Faults surface as run-time errors with the standard numbers (53, 70, 75, 76, ...).
class FileSystemTools {
 public:
  virtual ~FileSystemTools() = default;

  virtual Double GetDriveFreeSpace(Integer drive_number) = 0;  // bytes available to the caller
  virtual Integer GetDriveNumber(const String& drive_name) = 0;
  virtual String GetDriveName(const String& path) = 0;  // the mount point holding the path
  virtual Long GetFileLength(const String& path) = 0;
  virtual VariantBool FolderExists(const String& folder) = 0;
  virtual VariantBool FileExists(const String& path) = 0;
  virtual String GetFolderName(const String& path) = 0;
  virtual void DeleteFile(const String& path) = 0;  // no fault when the file is absent
  virtual String AddTrailingSeparator(const String& folder) = 0;
};

// The real component on std::filesystem and statvfs: the drive of a path is the mount point
// holding it, its number that mount's place in the mount table.
std::shared_ptr<FileSystemTools> MakeLocalFileSystemTools();

// How classes make their component. Tests install a factory for fakes; an empty function
// restores the real one.
using FileSystemToolsFactory = std::function<std::shared_ptr<FileSystemTools>()>;
void SetFileSystemToolsFactory(FileSystemToolsFactory factory);
std::shared_ptr<FileSystemTools> CreateFileSystemTools();

}  // namespace narwick
