// A FileSystemTools for tests of the compressors: the real component underneath, with a
// settable free space, paths whose deletion fails, and a count of objects made.
#pragma once

#include <memory>
#include <set>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/file_system_tools.h"

namespace narwick::compress::testing {

struct FakeFileSystemState {
  double free_space = 1e15;
  std::set<String> undeletable;  // DeleteFile raises 70 for these
  bool fail_everything = false;  // every call raises 5
  int made = 0;                  // objects made through the factory
  std::vector<String> calls;     // names of the calls, in order
};

class FakeFileSystemTools final : public FileSystemTools {
 public:
  explicit FakeFileSystemTools(std::shared_ptr<FakeFileSystemState> state)
      : state_(std::move(state)), real_(MakeLocalFileSystemTools()) {}

  Double GetDriveFreeSpace(Integer drive_number) override {
    Note(u"GetDriveFreeSpace");
    real_->GetDriveFreeSpace(drive_number);
    return state_->free_space;
  }
  Integer GetDriveNumber(const String& drive_name) override {
    Note(u"GetDriveNumber");
    return real_->GetDriveNumber(drive_name);
  }
  String GetDriveName(const String& path) override {
    Note(u"GetDriveName");
    return real_->GetDriveName(path);
  }
  Long GetFileLength(const String& path) override {
    Note(u"GetFileLength");
    return real_->GetFileLength(path);
  }
  VariantBool FolderExists(const String& folder) override {
    Note(u"FolderExists");
    return real_->FolderExists(folder);
  }
  VariantBool FileExists(const String& path) override {
    Note(u"FileExists");
    return real_->FileExists(path);
  }
  String GetFolderName(const String& path) override {
    Note(u"GetFolderName");
    return real_->GetFolderName(path);
  }
  void DeleteFile(const String& path) override {
    Note(u"DeleteFile");
    if (state_->undeletable.count(path) != 0) Raise(err::kPermissionDenied);
    real_->DeleteFile(path);
  }
  String AddTrailingSeparator(const String& folder) override {
    Note(u"AddTrailingSeparator");
    return real_->AddTrailingSeparator(folder);
  }

 private:
  void Note(const char16_t* name) {
    state_->calls.emplace_back(name);
    if (state_->fail_everything) Raise(err::kInvalidProcedureCall);
  }
  std::shared_ptr<FakeFileSystemState> state_;
  std::shared_ptr<FileSystemTools> real_;
};

// Installs the fake as the factory of FileSystemTools for the scope's lifetime.
class ScopedFakeFileSystem {
 public:
  ScopedFakeFileSystem() : state(std::make_shared<FakeFileSystemState>()) {
    auto shared = state;
    SetFileSystemToolsFactory([shared]() -> std::shared_ptr<FileSystemTools> {
      ++shared->made;
      return std::make_shared<FakeFileSystemTools>(shared);
    });
  }
  ~ScopedFakeFileSystem() { SetFileSystemToolsFactory({}); }
  ScopedFakeFileSystem(const ScopedFakeFileSystem&) = delete;
  ScopedFakeFileSystem& operator=(const ScopedFakeFileSystem&) = delete;

  std::shared_ptr<FakeFileSystemState> state;
};

}  // namespace narwick::compress::testing
