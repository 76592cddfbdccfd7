// CheckDestination on real temporary folders, with fakes for what root cannot be refused
// (read-only folders, failing probes) and for the drive's free space.
#include "compress/common/destination_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "compress/common/destination_messages.h"
#include "compress/common/fake_file_system_tools.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/variant.h"
#include "testing/test_support.h"

namespace narwick::compress {
namespace {

class FailingProbe final : public ProbeFileSystem {
 public:
  std::unique_ptr<ProbeTextStream> CreateTextFile(const String&, bool) override {
    Raise(err::kPermissionDenied);
  }
};

class DestinationCheckTest : public ::testing::Test {
 protected:
  bool Check(const std::string& name, Long bytes, const DestinationServices& services) {
    return CheckDestination(tools_, MissingFileTools::kMake, folder_.File(name), bytes,
                            [this](const String& m) { messages_.push_back(m); }, services);
  }
  bool Check(const std::string& name, Long bytes) { return Check(name, bytes, DefaultDestinationServices()); }
  DestinationServices WithAttributes(std::uint32_t attributes) {
    DestinationServices s = DefaultDestinationServices();
    s.folder_attributes = [attributes](const String&) { return attributes; };
    s.make_probe_file_system = [this]() -> std::unique_ptr<ProbeFileSystem> {
      ++probes_made_;
      return DefaultDestinationServices().make_probe_file_system();
    };
    return s;
  }

  testing::ScopedFakeFileSystem fake_;
  narwick::testing::TempFolder folder_;
  std::shared_ptr<FileSystemTools> tools_;
  std::vector<String> messages_;
  int probes_made_ = 0;
};

TEST_F(DestinationCheckTest, WritableFolderPassesAndLeavesNoProbe) {
  EXPECT_TRUE(Check("out.bin", 100));
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "test.tmp"));
  EXPECT_NE(tools_, nullptr);  // made on first use
}

TEST_F(DestinationCheckTest, ExistingProbeFileIsDeleted) {
  std::ofstream(folder_.path() / "test.tmp") << "someone's file";
  EXPECT_TRUE(Check("out.bin", 1));
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "test.tmp"));
}

TEST_F(DestinationCheckTest, SpaceTestAllowsEqualAndRefusesMore) {
  fake_.state->free_space = 1000;
  EXPECT_TRUE(Check("out.bin", 1000));
  EXPECT_FALSE(Check("out.bin", 1001));
  ASSERT_EQ(messages_.size(), 1u);
  const String drive = MakeLocalFileSystemTools()->GetDriveName(folder_.File("out.bin"));
  EXPECT_EQ(messages_[0], u"There is not enough disk space on drive '" + drive + u"' to perform this operation.");
}

TEST_F(DestinationCheckTest, MissingFolderNamesTheFolderAndMakesNoProbe) {
  const String path = folder_.File("absent/out.bin");
  EXPECT_FALSE(CheckDestination(tools_, MissingFileTools::kMake, path, 1,
                                [this](const String& m) { messages_.push_back(m); }, WithAttributes(0x10)));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"The folder '" + folder_.File("absent") +
                              u"' does not exist.  Make sure the folder exists before backing up or restoring a file");
  EXPECT_EQ(probes_made_, 0);
}

TEST_F(DestinationCheckTest, AFileInPlaceOfTheFolderIsNoFolder) {
  std::ofstream(folder_.path() / "plain") << "x";
  EXPECT_FALSE(Check("plain/out.bin", 1));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].rfind(u"The folder '", 0), 0u);
}

TEST_F(DestinationCheckTest, FolderWithoutDirectoryBitIsRefusedSilently) {
  EXPECT_FALSE(Check("out.bin", 1, WithAttributes(0x20)));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(probes_made_, 0);
}

TEST_F(DestinationCheckTest, ReadOnlyFolderIsRefusedWithoutAProbe) {
  EXPECT_FALSE(Check("out.bin", 1, WithAttributes(0x11)));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"You do not have the proper permission to create a new file in this location.");
  EXPECT_EQ(probes_made_, 0);
  // Unreadable attributes are all bits set: read-only, so refused the same way.
  messages_.clear();
  EXPECT_FALSE(Check("out.bin", 1, WithAttributes(kInvalidAttributes)));
  EXPECT_EQ(messages_, std::vector<String>{kReadOnlyFolderMessage});
}

TEST_F(DestinationCheckTest, FolderWhereFilesCannotBeCreatedFailsTheProbe) {
  DestinationServices s = DefaultDestinationServices();
  s.make_probe_file_system = [] { return std::make_unique<FailingProbe>(); };
  EXPECT_FALSE(Check("out.bin", 1, s));
  EXPECT_EQ(messages_, std::vector<String>{u"You do not have permission to create a new file in this location."});
  messages_.clear();
  s.make_probe_file_system = []() -> std::unique_ptr<ProbeFileSystem> { Raise(err::kCantCreateObject); };
  EXPECT_FALSE(Check("out.bin", 1, s));
  EXPECT_EQ(messages_, std::vector<String>{kProbeFailedMessage});
}

TEST_F(DestinationCheckTest, RealReadOnlyFolderWhenNotRoot) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
  std::filesystem::create_directory(folder_.path() / "ro");
  std::filesystem::permissions(folder_.path() / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(Check("ro/out.bin", 1));
  EXPECT_EQ(messages_, std::vector<String>{kReadOnlyFolderMessage});
  std::filesystem::permissions(folder_.path() / "ro", std::filesystem::perms::owner_all);
}

TEST_F(DestinationCheckTest, HuffmanTwinWithoutFileToolsMakesNone) {
  std::shared_ptr<FileSystemTools> none;
  std::vector<String> got;
  auto sink = [&](const String& m) { got.push_back(m); };
  // Every call fails and leaves zero: no free space, so any byte is too many.
  EXPECT_FALSE(CheckDestination(none, MissingFileTools::kLeaveEmpty, folder_.File("x"), 1, sink));
  EXPECT_EQ(got, std::vector<String>{NoSpaceMessage(u"")});
  EXPECT_EQ(none, nullptr);
  got.clear();
  EXPECT_FALSE(CheckDestination(none, MissingFileTools::kLeaveEmpty, folder_.File("x"), 0, sink));
  EXPECT_EQ(got, std::vector<String>{NoFolderMessage(u"")});
}

TEST_F(DestinationCheckTest, FailingFileToolsAreIgnored) {
  fake_.state->fail_everything = true;
  EXPECT_FALSE(Check("out.bin", 5));
  EXPECT_EQ(messages_, std::vector<String>{NoSpaceMessage(u"")});
}

}  // namespace
}  // namespace narwick::compress
