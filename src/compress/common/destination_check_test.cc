// CheckDestination on real temporary folders, with fakes for what root cannot be refused
// (read-only folders, failing probes) and for the drive's free space.
#include "compress/common/destination_check.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

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

// Answers as if the file were made, but none appears.
class VanishingProbe final : public ProbeFileSystem {
  struct NoStream final : ProbeTextStream {
    void WriteLine(const String&) override {}
    void Close() override {}
  };

 public:
  std::unique_ptr<ProbeTextStream> CreateTextFile(const String&, bool) override {
    return std::make_unique<NoStream>();
  }
};

class DestinationCheckTest : public ::testing::Test {
 protected:
  bool Check(const std::string& name, Long bytes, const DestinationServices& services) {
    return CheckDestination(
        tools_, MissingFileTools::kMake, folder_.File(name), bytes,
        [this](const String& m) { messages_.push_back(m); }, services);
  }
  bool Check(const std::string& name, Long bytes) {
    return Check(name, bytes, DefaultDestinationServices());
  }
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

// A probe file already there is someone's old one: deleted, and the new one too. The space
// test allows as many bytes as are free.
TEST_F(DestinationCheckTest, WritableFolderPassesAndLeavesNoProbe) {
  std::ofstream(folder_.path() / "test.tmp") << "someone's file";
  fake_.state->free_space = 1000;
  EXPECT_TRUE(Check("out.bin", 1000));
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "test.tmp"));
  EXPECT_NE(tools_, nullptr);  // made on first use
  EXPECT_FALSE(Check("out.bin", 1001));
  const String drive = MakeLocalFileSystemTools()->GetDriveName(folder_.File("out.bin"));
  EXPECT_EQ(messages_, std::vector<String>{u"There is not enough disk space on drive '" + drive +
                                           u"' to perform this operation."});
}

// A missing folder, or a file in its place, is named; no probe is made.
TEST_F(DestinationCheckTest, MissingFolderNamesTheFolderAndMakesNoProbe) {
  EXPECT_FALSE(Check("absent/out.bin", 1, WithAttributes(0x10)));
  EXPECT_EQ(messages_, std::vector<String>{
                           u"The folder '" + folder_.File("absent") +
                           u"' does not exist.  Make sure the folder exists before backing up or "
                           u"restoring a file"});
  EXPECT_EQ(probes_made_, 0);
  std::ofstream(folder_.path() / "plain") << "x";
  EXPECT_FALSE(Check("plain/out.bin", 1));
  EXPECT_EQ(messages_.back(), NoFolderMessage(folder_.File("plain")));
}

// Attributes without the directory bit refuse silently; read-only ones (unreadable ones are
// all bits set) refuse without a probe; a probe that cannot be made or written fails.
TEST_F(DestinationCheckTest, FoldersThatCannotTakeAFileAreRefused) {
  DestinationServices failing_probe = DefaultDestinationServices();
  failing_probe.make_probe_file_system = [] { return std::make_unique<FailingProbe>(); };
  DestinationServices vanishing_probe = DefaultDestinationServices();
  vanishing_probe.make_probe_file_system = [] { return std::make_unique<VanishingProbe>(); };
  DestinationServices no_probe = DefaultDestinationServices();
  no_probe.make_probe_file_system = []() -> std::unique_ptr<ProbeFileSystem> {
    Raise(err::kCantCreateObject);
  };
  const struct {
    const char* what;
    DestinationServices services;
    std::vector<String> messages;
  } cases[] = {
      {"no directory bit", WithAttributes(0x20), {}},
      {"read-only",
       WithAttributes(0x11),
       {u"You do not have the proper permission to create a new file in this location."}},
      {"unreadable attributes", WithAttributes(kInvalidAttributes), {kReadOnlyFolderMessage}},
      {"probe fails",
       failing_probe,
       {u"You do not have permission to create a new file in this location."}},
      {"no probe object", no_probe, {kProbeFailedMessage}},
      {"probe file absent afterwards", vanishing_probe, {kProbeFailedMessage}},
  };
  for (const auto& c : cases) {
    messages_.clear();
    EXPECT_FALSE(Check("out.bin", 1, c.services)) << c.what;
    EXPECT_EQ(messages_, c.messages) << c.what;
  }
  EXPECT_EQ(probes_made_, 0);  // counted only by the attribute cases
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

// The folder's real permissions, read through the platform: only a user other than root is
// kept out of a folder without write permission.
TEST_F(DestinationCheckTest, RealReadOnlyFolderWhenNotRoot) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
  std::filesystem::create_directory(folder_.path() / "ro");
  std::filesystem::permissions(folder_.path() / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(Check("ro/out.bin", 1));
  EXPECT_EQ(messages_, std::vector<String>{kReadOnlyFolderMessage});
  std::filesystem::permissions(folder_.path() / "ro", std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace narwick::compress
