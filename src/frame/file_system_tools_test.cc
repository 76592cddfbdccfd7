// The local file-system component on real temporary folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "narwick/frame/error_numbers.h"
#include "narwick/frame/file_system_tools.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

class FileSystemToolsTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_.path() / name, std::ios::binary) << bytes;
  }
  testing::TempFolder folder_;
  std::shared_ptr<FileSystemTools> tools_ = MakeLocalFileSystemTools();
};

TEST_F(FileSystemToolsTest, FilesAndFolders) {
  Write("a.bin", "12345");
  EXPECT_TRUE(tools_->FileExists(folder_.File("a.bin")));
  EXPECT_FALSE(tools_->FileExists(folder_.File("missing")));
  EXPECT_FALSE(tools_->FileExists(folder_.File("")));  // the folder itself is no file
  EXPECT_TRUE(tools_->FolderExists(folder_.File("")));
  EXPECT_FALSE(tools_->FolderExists(folder_.File("a.bin")));
  EXPECT_EQ(tools_->GetFileLength(folder_.File("a.bin")), 5);
  EXPECT_RUNTIME_ERROR(tools_->GetFileLength(folder_.File("missing")), err::kFileNotFound);
  EXPECT_RUNTIME_ERROR(tools_->GetFileLength(folder_.File("a.bin/x")), err::kPathNotFound);
  EXPECT_RUNTIME_ERROR(tools_->GetFileLength(folder_.File("")), err::kPathFileAccessError);
  EXPECT_EQ(tools_->GetFolderName(folder_.File("a.bin")), FromUtf8(folder_.path().string()));
  EXPECT_EQ(tools_->AddTrailingSeparator(u"/tmp"), u"/tmp/");
  EXPECT_EQ(tools_->AddTrailingSeparator(u"/tmp/"), u"/tmp/");
}

TEST_F(FileSystemToolsTest, DeleteFileIsQuietOnlyForAbsentFiles) {
  Write("a.bin", "x");
  tools_->DeleteFile(folder_.File("a.bin"));
  EXPECT_FALSE(tools_->FileExists(folder_.File("a.bin")));
  tools_->DeleteFile(folder_.File("a.bin"));
  // A folder in the file's place cannot be removed as a file (root could remove a file from a
  // read-only folder, so this is the fault every user sees).
  std::filesystem::create_directory(folder_.path() / "sub");
  EXPECT_RUNTIME_ERROR(tools_->DeleteFile(folder_.File("sub")), err::kPathFileAccessError);
  EXPECT_TRUE(tools_->FolderExists(folder_.File("sub")));
  // Nor is a pipe (or a device such as /dev/null) removed; a link is, and not what it names.
  ASSERT_EQ(::mkfifo((folder_.path() / "pipe").c_str(), 0600), 0);
  EXPECT_RUNTIME_ERROR(tools_->DeleteFile(folder_.File("pipe")), err::kPathFileAccessError);
  EXPECT_TRUE(std::filesystem::is_fifo(folder_.path() / "pipe"));
  std::filesystem::create_symlink("pipe", folder_.path() / "link");
  tools_->DeleteFile(folder_.File("link"));
  EXPECT_FALSE(std::filesystem::is_symlink(folder_.path() / "link"));
  EXPECT_TRUE(std::filesystem::is_fifo(folder_.path() / "pipe"));
}

TEST_F(FileSystemToolsTest, DriveOfAPathAndItsFreeSpace) {
  String drive = tools_->GetDriveName(folder_.File("a.bin"));
  ASSERT_FALSE(drive.empty());
  EXPECT_EQ(drive.front(), u'/');
  Integer number = tools_->GetDriveNumber(drive);
  EXPECT_GE(number, 0);
  EXPECT_GT(tools_->GetDriveFreeSpace(number), 0.0);
  EXPECT_RUNTIME_ERROR(tools_->GetDriveNumber(u"/no/such/mount"), err::kDeviceUnavailable);
  EXPECT_RUNTIME_ERROR(tools_->GetDriveFreeSpace(-1), err::kDeviceUnavailable);
  // A path below a mount point is on it; a name that only begins like the mount point is not.
  EXPECT_EQ(tools_->GetDriveName(u"/proc/self/status"), u"/proc");
  EXPECT_EQ(tools_->GetDriveName(u"/procx/y"), u"/");
}

TEST_F(FileSystemToolsTest, FactoryCanBeReplacedAndRestored) {
  auto fake = MakeLocalFileSystemTools();
  SetFileSystemToolsFactory([&] { return fake; });
  EXPECT_EQ(CreateFileSystemTools(), fake);
  SetFileSystemToolsFactory(nullptr);
  EXPECT_NE(CreateFileSystemTools(), fake);
}

}  // namespace
}  // namespace narwick
