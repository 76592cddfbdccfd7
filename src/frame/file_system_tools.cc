// The file-system component on std::filesystem and statvfs.
#include "narwick/frame/file_system_tools.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace {

namespace fs = std::filesystem;

fs::path ToPath(const String& path) { return fs::path(ToUtf8(path)); }

// Mount points from the kernel's table, in table order. A drive number is a place in it.
std::vector<std::string> MountPoints() {
  std::vector<std::string> mounts;
  std::ifstream table("/proc/self/mounts");
  std::string device, mount_point, rest;
  while (table >> device >> mount_point) {
    std::getline(table, rest);
    // The table escapes blanks and other bytes as \ooo.
    std::string decoded;
    for (std::size_t i = 0; i < mount_point.size(); ++i) {
      if (mount_point[i] == '\\' && i + 3 < mount_point.size()) {
        decoded.push_back(static_cast<char>(std::stoi(mount_point.substr(i + 1, 3), nullptr, 8)));
        i += 3;
      } else {
        decoded.push_back(mount_point[i]);
      }
    }
    mounts.push_back(decoded);
  }
  if (mounts.empty()) mounts.emplace_back("/");
  return mounts;
}

// The mount point holding `path`: the longest mount point that is a prefix of its absolute,
// normalised form (the path itself need not exist).
std::string MountOf(const fs::path& path) {
  std::error_code ec;
  fs::path absolute = fs::weakly_canonical(fs::absolute(path, ec), ec);
  std::string text = absolute.string();
  std::string best = "/";
  for (const auto& mount : MountPoints()) {
    bool prefix = text == mount || mount == "/" ||
                  (text.size() > mount.size() && text.compare(0, mount.size(), mount) == 0 &&
                   text[mount.size()] == '/');
    if (prefix && mount.size() >= best.size()) best = mount;
  }
  return best;
}

[[noreturn]] void RaiseFor(const std::error_code& ec) {
  switch (static_cast<std::errc>(ec.value())) {
    case std::errc::no_such_file_or_directory: Raise(err::kFileNotFound);
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
    case std::errc::read_only_file_system: Raise(err::kPermissionDenied);
    case std::errc::not_a_directory: Raise(err::kPathNotFound);
    case std::errc::no_space_on_device: Raise(err::kDiskFull);
    default: Raise(err::kPathFileAccessError);
  }
}

class LocalFileSystemTools final : public FileSystemTools {
 public:
  Double GetDriveFreeSpace(Integer drive_number) override {
    auto mounts = MountPoints();
    if (drive_number < 0 || static_cast<std::size_t>(drive_number) >= mounts.size()) {
      Raise(err::kDeviceUnavailable);
    }
    struct statvfs info {};
    if (statvfs(mounts[static_cast<std::size_t>(drive_number)].c_str(), &info) != 0) {
      Raise(err::kDeviceUnavailable);
    }
    return static_cast<Double>(info.f_bavail) * static_cast<Double>(info.f_frsize);
  }

  Integer GetDriveNumber(const String& drive_name) override {
    auto mounts = MountPoints();
    std::string name = ToUtf8(drive_name);
    // The last entry wins: later mounts on the same point hide earlier ones.
    for (std::size_t i = mounts.size(); i-- > 0;) {
      if (mounts[i] == name) {
        return i > static_cast<std::size_t>(std::numeric_limits<Integer>::max()) ? Integer{0}
                                                                                : static_cast<Integer>(i);
      }
    }
    Raise(err::kDeviceUnavailable);
  }

  String GetDriveName(const String& path) override { return FromUtf8(MountOf(ToPath(path))); }

  Long GetFileLength(const String& path) override {
    std::error_code ec;
    auto size = fs::file_size(ToPath(path), ec);
    if (ec) RaiseFor(ec);
    if (size > static_cast<std::uintmax_t>(std::numeric_limits<Long>::max())) Raise(err::kOverflow);
    return static_cast<Long>(size);
  }

  VariantBool FolderExists(const String& folder) override {
    std::error_code ec;
    return fs::is_directory(ToPath(folder), ec);
  }

  VariantBool FileExists(const String& path) override {
    std::error_code ec;
    auto status = fs::status(ToPath(path), ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
  }

  String GetFolderName(const String& path) override {
    return FromUtf8(ToPath(path).parent_path().string());
  }

  void DeleteFile(const String& path) override {
    std::error_code ec;
    fs::path p = ToPath(path);
    const fs::file_status status = fs::symlink_status(p, ec);
    if (!fs::exists(status)) return;
    if (fs::is_directory(p, ec)) Raise(err::kPathFileAccessError);
    // A device, pipe or socket in a file's place is not removed: the callers delete a
    // destination before writing it, and removing /dev/null as root would break the machine.
    if (!fs::is_regular_file(status) && !fs::is_symlink(status)) Raise(err::kPathFileAccessError);
    if (!fs::remove(p, ec) && ec) RaiseFor(ec);
  }

  String AddTrailingSeparator(const String& folder) override {
    if (!folder.empty() && folder.back() == u'/') return folder;
    return folder + u'/';
  }
};

FileSystemToolsFactory& Factory() {
  static FileSystemToolsFactory factory;
  return factory;
}

}  // namespace

std::shared_ptr<FileSystemTools> MakeLocalFileSystemTools() {
  return std::make_shared<LocalFileSystemTools>();
}

void SetFileSystemToolsFactory(FileSystemToolsFactory factory) { Factory() = std::move(factory); }

std::shared_ptr<FileSystemTools> CreateFileSystemTools() {
  return Factory() ? Factory()() : MakeLocalFileSystemTools();
}

}  // namespace narwick
