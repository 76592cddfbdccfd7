// End-to-end tests of `narwick lz`: exit statuses, messages, no partial output on failure,
// silence when standard error is not a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "testing/test_support.h"
#include "tool_runner.h"
#include "tool_test_folder.h"

namespace narwick::testing {
namespace {

class LzCommandTest : public ToolFolderTest {
 protected:
  static std::string Sample(std::size_t size) {
    std::mt19937 rng(8);
    std::string s;
    while (s.size() < size) s += "record " + std::to_string(rng() % 500) + ";\n";
    s.resize(size);
    return s;
  }
};

TEST_F(LzCommandTest, CompressAndDecompressRoundTripSilently) {
  const std::string data = Sample(100000);
  Write("in.txt", data);
  ToolResult c = RunTool({"lz", "compress", File("in.txt"), File("in.qvx")});
  EXPECT_EQ(c.exit_code, 0) << c.err;
  EXPECT_EQ(c.err, "");  // no progress bar: standard error is not a terminal
  EXPECT_EQ(Read("in.qvx").substr(0, 6), "QVXLZ1");
  ToolResult d = RunTool({"lz", "decompress", File("in.qvx"), File("back.txt")});
  EXPECT_EQ(d.exit_code, 0) << d.err;
  EXPECT_EQ(Read("back.txt"), data);
  EXPECT_EQ(Entries(), 3u);  // no temporary files left behind

  ToolResult info = RunTool({"lz", "info", File("in.qvx")});
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_NE(info.out.find("stored length:   100000 bytes"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("complete"), std::string::npos);

  // A name that is not UTF-8 (Latin-1 "café") names the same files on the way through.
  Write("caf\xE9.txt", data);
  EXPECT_EQ(RunTool({"lz", "compress", File("caf\xE9.txt"), File("caf\xE9.qvx")}).exit_code, 0);
  EXPECT_EQ(RunTool({"lz", "decompress", File("caf\xE9.qvx"), File("caf\xE9.out")}).exit_code, 0);
  EXPECT_EQ(Read("caf\xE9.out"), data);
}

TEST_F(LzCommandTest, MissingInputFailsWithTheClassMessage) {
  ToolResult r = RunTool({"lz", "compress", File("nothing"), File("out.qvx")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("The file to be compressed could not be found in '"), std::string::npos) << r.err;
  EXPECT_EQ(Entries(), 0u);
}

TEST_F(LzCommandTest, TruncatedContainerLeavesTheTargetAsItWas) {
  Write("in.txt", Sample(50000));
  ASSERT_EQ(RunTool({"lz", "compress", "-q", File("in.txt"), File("in.qvx")}).exit_code, 0);
  const std::string full = Read("in.qvx");
  Write("cut.qvx", full.substr(0, full.size() / 2));
  Write("target.txt", "precious");
  ToolResult r = RunTool({"lz", "decompress", File("cut.qvx"), File("target.txt")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Input past end of file"), std::string::npos) << r.err;
  EXPECT_EQ(Read("target.txt"), "precious");
  EXPECT_EQ(Entries(), 4u);

  ToolResult info = RunTool({"lz", "info", File("cut.qvx")});
  EXPECT_EQ(info.exit_code, 1);
  EXPECT_NE(info.out.find("truncated"), std::string::npos);
  EXPECT_NE(info.err.find("is truncated"), std::string::npos) << info.err;  // a failure says so
}

TEST_F(LzCommandTest, NonContainerIsRefused) {
  Write("plain.txt", "just some text");
  ToolResult r = RunTool({"lz", "decompress", File("plain.txt"), File("out.txt")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("not an LZ file container"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(File("out.txt")));
  EXPECT_EQ(RunTool({"lz", "info", File("plain.txt")}).exit_code, 1);
}

TEST_F(LzCommandTest, TheInputIsNeverItsOwnOutput) {
  Write("in.txt", Sample(5000));
  ASSERT_EQ(RunTool({"lz", "compress", File("in.txt"), File("in.qvx")}).exit_code, 0);
  const std::string container = Read("in.qvx");
  for (const auto& [mode, input] : {std::pair{"compress", "in.txt"}, std::pair{"decompress", "in.qvx"}}) {
    std::filesystem::create_symlink(File(input), File("link"));
    for (const char* output : {input, "link"}) {
      ToolResult r = RunTool({"lz", mode, File(input), File(output)});
      EXPECT_EQ(r.exit_code, 1) << mode << " " << output;
      EXPECT_NE(r.err.find("is the input file itself"), std::string::npos) << r.err;
    }
    std::filesystem::remove(File("link"));
  }
  EXPECT_EQ(Read("in.txt"), Sample(5000));
  EXPECT_EQ(Read("in.qvx"), container);
  EXPECT_EQ(Entries(), 2u);
}

TEST_F(LzCommandTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunTool({"lz", "compress", File("only-one")}).exit_code, 2);
  EXPECT_EQ(RunTool({"lz"}).exit_code, 2);
}

TEST_F(LzCommandTest, MissingFolderIsTheDestinationMessage) {
  Write("in.txt", Sample(1000));
  ToolResult r = RunTool({"lz", "compress", File("in.txt"), File("absent/out.qvx")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("does not exist.  Make sure the folder exists"), std::string::npos) << r.err;
}

// Ctrl-C, SIGTERM or SIGHUP in the middle of a job ends it as the signal does, and takes the
// file in the making with it; the target it was to replace stays as it was.
TEST_F(LzCommandTest, AnInterruptedJobLeavesNoPartialOutput) {
  std::string noise(48 << 20, '\0');  // long enough to be caught at work
  std::mt19937_64 rng(3);
  for (std::size_t i = 0; i + 8 <= noise.size(); i += 8) {
    const std::uint64_t word = rng();
    std::memcpy(noise.data() + i, &word, 8);
  }
  Write("in.bin", noise);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    Write("out.qvx", "old");
    const pid_t pid = StartTool({"lz", "compress", "--quiet", File("in.bin"), File("out.qvx")});
    // Signalled once its output exists beside the target (not at the folder check's probe
    // file, which comes and goes before).
    const auto in_the_making = [&] {
      for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
        if (entry.path().filename().string().starts_with(".out.qvx.narwick-")) return true;
      }
      return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!in_the_making() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(in_the_making()) << "no file in the making for signal " << signal_number;
    kill(pid, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal_number;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(Entries(), 2u) << "signal " << signal_number;
    EXPECT_EQ(Read("out.qvx"), "old");
  }
}

// The target is the file a link names, and the link stays; a pipe (or a device) is written
// into, never replaced by a plain file, and refused as an input.
TEST_F(LzCommandTest, OutputFollowsLinksAndGoesIntoPipes) {
  namespace fs = std::filesystem;
  Write("in.txt", Sample(20000));
  ASSERT_EQ(RunTool({"lz", "compress", File("in.txt"), File("plain.qvx")}).exit_code, 0);
  const std::string packed = Read("plain.qvx");

  Write("real.qvx", "old");
  fs::permissions(File("real.qvx"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.qvx", File("link.qvx"));
  fs::create_symlink("made.qvx", File("dangling.qvx"));
  for (const char* link : {"link.qvx", "dangling.qvx"}) {
    ToolResult r = RunTool({"lz", "compress", File("in.txt"), File(link)});
    EXPECT_EQ(r.exit_code, 0) << link << ": " << r.err;
    EXPECT_TRUE(fs::is_symlink(File(link))) << link;
    EXPECT_EQ(Read(link), packed) << link;
  }
  EXPECT_EQ(fs::status(File("real.qvx")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // A name as long as a name can be still leaves room for the file in the making.
  const std::string longest(255, 'n');
  ToolResult long_name = RunTool({"lz", "compress", File("in.txt"), File(longest)});
  EXPECT_EQ(long_name.exit_code, 0) << long_name.err;
  EXPECT_EQ(Read(longest), packed);

  fs::create_symlink("loop2", File("loop1"));
  fs::create_symlink("loop1", File("loop2"));
  ToolResult loop = RunTool({"lz", "compress", File("in.txt"), File("loop1")});
  EXPECT_EQ(loop.exit_code, 1);
  EXPECT_NE(loop.err.find("Too many levels of symbolic links"), std::string::npos) << loop.err;

  ASSERT_EQ(mkfifo(File("pipe").c_str(), 0600), 0);
  // A pipe cannot be an input: the job must know the length first.
  ToolResult from_pipe = RunTool({"lz", "compress", File("pipe"), File("from-pipe.qvx")});
  EXPECT_EQ(from_pipe.exit_code, 1);
  EXPECT_NE(from_pipe.err.find("is not a regular file"), std::string::npos) << from_pipe.err;
  EXPECT_FALSE(Exists("from-pipe.qvx"));
  // Opened for reading and writing, so that neither end waits for the other, and the reader
  // gives up after a quiet while instead of hanging if the pipe was replaced.
  const int pipe_fd = open(File("pipe").c_str(), O_RDWR);
  ASSERT_GE(pipe_fd, 0);
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    pollfd ready{pipe_fd, POLLIN, 0};
    while (received.size() < packed.size() && poll(&ready, 1, 10000) > 0) {
      const ssize_t got = read(pipe_fd, buffer, sizeof buffer);
      if (got <= 0) break;
      received.append(buffer, static_cast<std::size_t>(got));
    }
  });
  ToolResult piped = RunTool({"lz", "compress", File("in.txt"), File("pipe")});
  reader.join();
  close(pipe_fd);
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(received, packed);
  EXPECT_TRUE(fs::is_fifo(File("pipe")));
}

}  // namespace
}  // namespace narwick::testing
