// clsLZCompression file members on real temporary files: the same bytes as the codec core,
// the progress events, every message, and the decisions on damaged containers.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compress/common/fake_file_system_tools.h"
#include "compress/lz/lz_messages.h"
#include "compress/lz/lz_reference_test_model.h"
#include "narwick/compress/lz_compression.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/host.h"
#include "narwick/frame/variant.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

class LzFileTest : public ::testing::Test {
 protected:
  LzFileTest() {
    SetMessagePumpHook([this] {
      ++pumps_;
      events_.push_back(u"pump");
    });
    lz_ = std::make_shared<clsLZCompression>();
    lz_->Events()->Advise([this](EventCall& e) {
      if (e.dispid == 1) {
        progress_.push_back(CSng(e.args[0]));
        events_.push_back(u"progress");
        if (on_progress_) on_progress_();
      } else {
        messages_.push_back(CStr(e.args[0]));
        events_.push_back(u"message");
      }
    });
  }
  ~LzFileTest() override { SetMessagePumpHook({}); }

  void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(folder_.path() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Read(const std::string& name) {
    std::ifstream in(folder_.path() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(folder_.path() / name); }
  String Path(const std::string& name) { return folder_.File(name); }

  bool Compress(const std::string& in, const std::string& out) {
    String a = Path(in), b = Path(out);
    return static_cast<bool>(lz_->LZFileCompress(a, b));
  }
  bool Decompress(const std::string& in, const std::string& out) {
    String a = Path(in), b = Path(out);
    return static_cast<bool>(lz_->LZFileDecompress(a, b));
  }

  // The file container the core defines for `data`.
  static Bytes Container(const Bytes& data, std::vector<std::uint64_t>* progress = nullptr) {
    lz::reference::Model model;
    auto encoded = model.Encode(data.data(), data.size());
    const auto n = static_cast<std::uint32_t>(data.size());
    Bytes out(10 + encoded.body.size());
    const std::uint8_t header[10] = {0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31, static_cast<std::uint8_t>(n),
                                     static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
                                     static_cast<std::uint8_t>(n >> 24)};
    std::copy(std::begin(header), std::end(header), out.begin());
    std::copy(encoded.body.begin(), encoded.body.end(), out.begin() + 10);
    if (progress) *progress = encoded.progress;
    return out;
  }

  compress::testing::ScopedFakeFileSystem fake_;  // before the object, which makes fileTools
  testing::TempFolder folder_;
  std::shared_ptr<clsLZCompression> lz_;
  std::vector<float> progress_;
  std::vector<String> messages_;
  std::vector<String> events_;
  std::function<void()> on_progress_;
  int pumps_ = 0;
};

// The events a file compression raises for the core's progress points: each as a percentage
// of the length, then the closing 100.
std::vector<float> ExpectedEvents(const std::vector<std::uint64_t>& points, std::size_t size) {
  std::vector<float> events;
  for (auto p : points) events.push_back(static_cast<float>(static_cast<double>(p) / static_cast<double>(size) * 100.0));
  events.push_back(100.0f);
  return events;
}

Bytes Sample(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) {
    out[i] = i > 20 && rng() % 3 ? out[i - 1 - rng() % 20] : static_cast<std::uint8_t>('a' + rng() % 26);
  }
  return out;
}

TEST_F(LzFileTest, SameBytesAsTheCoreAcrossSizesNear4096Multiples) {
  for (std::size_t size : {0u, 1u, 17u, 4095u, 4096u, 4097u, 8191u, 8192u, 8193u, 12288u, 70001u}) {
    const Bytes data = Sample(size, static_cast<unsigned>(size));
    Write("in.bin", data);
    ASSERT_TRUE(Compress("in.bin", "out.qvx")) << size;
    ASSERT_EQ(Read("out.qvx"), Container(data)) << size;
    ASSERT_TRUE(Decompress("out.qvx", "back.bin")) << size;
    ASSERT_EQ(Read("back.bin"), data) << size;
  }
  EXPECT_TRUE(messages_.empty());
}

// Files this long are coded in parts on several threads (where there are several): the
// same container and the same events, also when the last event repeats (a length on a
// multiple of 4096).
TEST_F(LzFileTest, LargeFilesGiveTheCoresBytesAndEvents) {
  for (std::size_t size : {std::size_t{1} << 21, (std::size_t{3} << 19) + 777}) {
    const Bytes data = Sample(size, 11);
    Write("in", data);
    std::vector<std::uint64_t> points;
    const Bytes want = Container(data, &points);
    progress_.clear();
    ASSERT_TRUE(Compress("in", "out")) << size;
    ASSERT_EQ(Read("out"), want) << size;
    EXPECT_EQ(progress_, ExpectedEvents(points, size)) << size;
  }
}

TEST_F(LzFileTest, EmptyFileGivesHeaderAndOneFlagByte) {
  Write("empty", {});
  ASSERT_TRUE(Compress("empty", "out"));
  EXPECT_EQ(Read("out"), (Bytes{0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31, 0, 0, 0, 0, 0x00}));
  EXPECT_EQ(progress_, std::vector<float>{100.0f});
  ASSERT_TRUE(Decompress("out", "back"));
  EXPECT_TRUE(Exists("back"));
  EXPECT_TRUE(Read("back").empty());
}

TEST_F(LzFileTest, ProgressEventsFor8192And10000Bytes) {
  for (std::size_t size : {8192u, 10000u}) {
    const Bytes data = Sample(size, 5);
    Write("in", data);
    std::vector<std::uint64_t> points;
    Container(data, &points);
    progress_.clear();
    ASSERT_TRUE(Compress("in", "out"));
    const std::vector<float> want = ExpectedEvents(points, size);
    EXPECT_EQ(progress_, want) << size;
    EXPECT_EQ(std::count(progress_.begin(), progress_.end(), 100.0f), size == 8192 ? std::count(want.begin(), want.end(), 100.0f) : 1);
    if (size == 10000) {
      EXPECT_EQ(progress_.front(), 40.96f);
      EXPECT_NE(std::find(progress_.begin(), progress_.end(), 81.92f), progress_.end());
    } else {
      EXPECT_EQ(progress_.front(), 50.0f);
    }
    progress_.clear();
    ASSERT_TRUE(Decompress("out", "back"));
    const Bytes packed = Read("out");
    lz::reference::Model model;
    const auto decoded = model.Decode(packed.data() + 10, packed.size() - 10, size, size);
    EXPECT_EQ(progress_, ExpectedEvents(decoded.progress, size)) << size;
  }
  EXPECT_EQ(pumps_, 8);  // two per LZFile member
}

TEST_F(LzFileTest, NonContainerRestoresToAnEmptyFileWithoutEvents) {
  Write("plain.txt", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
  Write("old", Bytes(50, 'x'));
  EXPECT_TRUE(Decompress("plain.txt", "old"));
  EXPECT_TRUE(Read("old").empty());
  EXPECT_TRUE(progress_.empty());
  EXPECT_TRUE(messages_.empty());
  Write("short", {0x51, 0x56});
  EXPECT_TRUE(Decompress("short", "out"));
  EXPECT_TRUE(Read("out").empty());
}

TEST_F(LzFileTest, MissingInputIsReportedWithTheCompressText) {
  EXPECT_FALSE(Decompress("nowhere", "out"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"The file to be compressed could not be found in '" + Path("nowhere") + u"'");
  EXPECT_FALSE(Exists("out"));
  EXPECT_EQ(events_, (std::vector<String>{u"pump", u"pump", u"message"}));
  EXPECT_FALSE(Compress("nowhere", "out"));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1], messages_[0]);
}

TEST_F(LzFileTest, WorkersReportFaultsAndAnswerTrue) {
  EXPECT_TRUE(static_cast<bool>(lz_->CompressFile(Path("missing"), Path("out"))));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"There was an error while trying to compress the file: File not found'");
  EXPECT_TRUE(static_cast<bool>(lz_->DecompressFile(Path("missing"), Path("out"))));
  EXPECT_EQ(messages_[1], u"There was an error while trying to decompress the file: File not found'");
}

// The container's length is taken when the source is opened: a source that gets shorter
// while it is read is a fault, not a short body under a longer length.
TEST_F(LzFileTest, SourceThatShrinksWhileCompressedIsAFault) {
  Write("in", Sample(400000, 2));
  on_progress_ = [&] {
    if (progress_.size() == 1) std::filesystem::resize_file(folder_.path() / "in", 1000);
  };
  EXPECT_FALSE(Compress("in", "out"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"There was an error while trying to compress the file: Device I/O error'");
}

// A file size limit makes the writes past it fail with EFBIG while the parts of a large file
// are being coded on other threads: the fault is reported, and the call returns.
TEST_F(LzFileTest, WriteFaultDuringASplitCompressionIsReported) {
  const Bytes data = Sample(std::size_t{3} << 20, 13);
  Write("in", data);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const rlim_t cap = Container(data).size() / 2;
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < cap) GTEST_SKIP() << "file size already limited";
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = before;
  limited.rlim_cur = cap;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool done = Compress("in", "out");
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(done);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"There was an error while trying to compress the file: Disk full'");
}

TEST_F(LzFileTest, LockedTargetIsReportedThenTheOpenFault) {
  Write("in", Sample(3000, 1));
  std::filesystem::create_directory(folder_.path() / "target");  // cannot be deleted or opened
  EXPECT_FALSE(Compress("in", "target"));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], lz::CompressTargetLockedMessage(Path("target")));
  EXPECT_EQ(messages_[1], u"There was an error while trying to compress the file: Path/File access error'");
  EXPECT_TRUE(progress_.empty());
}

TEST_F(LzFileTest, UndeletableTargetIsReportedAndTheWorkGoesOn) {
  Write("in", Sample(3000, 1));
  Write("out", Bytes(5000, 'z'));  // longer than the result: not cut short, as opened
  fake_.state->undeletable.insert(Path("out"));
  EXPECT_TRUE(Compress("in", "out"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], lz::CompressTargetLockedMessage(Path("out")));
  const Bytes want = Container(Sample(3000, 1));
  const Bytes got = Read("out");
  ASSERT_EQ(got.size(), 5000u);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
  messages_.clear();
  fake_.state->undeletable.insert(Path("back"));
  Write("back", {});
  EXPECT_TRUE(Decompress("out", "back"));
  EXPECT_EQ(messages_[0], lz::DecompressTargetLockedMessage(Path("back")));
}

TEST_F(LzFileTest, TruncatedContainerIsAFault) {
  Write("in", Sample(20000, 9));
  ASSERT_TRUE(Compress("in", "full"));
  Bytes cut = Read("full");
  cut.resize(cut.size() / 2);
  Write("cut", cut);
  EXPECT_FALSE(Decompress("cut", "back"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"There was an error while trying to decompress the file: Input past end of file'");
}

TEST_F(LzFileTest, RefusedDestinationTouchesNothing) {
  Write("in", Sample(3000, 1));
  fake_.state->free_space = 2999;
  EXPECT_FALSE(Compress("in", "out"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].rfind(u"There is not enough disk space on drive '", 0), 0u);
  EXPECT_FALSE(Exists("out"));
  fake_.state->free_space = 3000;  // equal passes
  EXPECT_TRUE(Compress("in", "out"));
  EXPECT_FALSE(Compress("in", "no/such/folder/out"));
  EXPECT_EQ(messages_.back().rfind(u"The folder '", 0), 0u);
  // Restoring asks for as many bytes as the container holds, not as it restores.
  const auto packed = static_cast<double>(Read("out").size());
  ASSERT_LT(packed, 3000.0);
  fake_.state->free_space = packed - 1;
  EXPECT_FALSE(Decompress("out", "back"));
  EXPECT_FALSE(Exists("back"));
  EXPECT_EQ(messages_.back().rfind(u"There is not enough disk space on drive '", 0), 0u);
  fake_.state->free_space = packed;
  EXPECT_TRUE(Decompress("out", "back"));
}

TEST_F(LzFileTest, FileToolsAreReleasedAfterEachCallAndMadeAgain) {
  Write("in", Sample(100, 1));
  const int made = fake_.state->made;  // the one made with the object
  ASSERT_TRUE(Compress("in", "out"));
  EXPECT_EQ(fake_.state->made, made);
  ASSERT_TRUE(Compress("in", "out"));
  ASSERT_TRUE(Decompress("out", "back"));
  EXPECT_EQ(fake_.state->made, made + 2);
}

TEST_F(LzFileTest, FailingFileToolsGiveTheFaultMessage) {
  Write("in", Sample(100, 1));
  fake_.state->fail_everything = true;
  EXPECT_FALSE(Compress("in", "out"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], u"There was an error while trying to compress the file: Invalid procedure call or argument'");
  EXPECT_FALSE(Decompress("in", "out"));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1], u"There was an error while trying to decompress the file: Invalid procedure call or argument'");
}

}  // namespace
}  // namespace narwick
