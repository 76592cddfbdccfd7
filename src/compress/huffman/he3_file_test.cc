// The file functions on real files against the in-memory codec, and what they leave behind
// on failure: damaged blocks, a write fault of the second thread, a source that changes.
#include "compress/huffman/he3_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "compress/huffman/he3_format.h"
#include "compress/huffman/he3_test_blocks.h"
#include "compress/huffman/huffman_codec.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick::huffman {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Progress = std::vector<std::int16_t>;
using test_blocks::ReadFile;
using test_blocks::Sample;
using test_blocks::WriteFile;

class He3FileTest : public ::testing::Test {
 protected:
  std::filesystem::path Native(const std::string& name) { return folder_.path() / name; }
  String Path(const std::string& name) { return folder_.File(name); }
  testing::TempFolder folder_;
};

TEST_F(He3FileTest, FilesAroundBufferAndWindowSizesMatchTheCodec) {
  std::mt19937_64 rng(5);
  const std::size_t buffer = 1 << 18;
  const auto split = static_cast<std::size_t>(kSplitCountFrom);
  // The last one takes the stored form (one distinct value) at the two-thread size.
  for (std::size_t n : {std::size_t{0}, buffer - 1, buffer, buffer + 1, 2 * buffer + 7,
                        kHeadWindow * 5 + 3, split + 3, split + 1}) {
    SCOPED_TRACE(n);
    const Bytes input = n == split + 1 ? Bytes(n, 'x') : Sample(n, rng);
    WriteFile(Native("in.bin"), input);
    Progress progress;
    // The destination is opened without cutting it short, so callers clear it first.
    EncodeFile(
        Path("in.bin"), Path("in.he3"), [&](std::int16_t p) { progress.push_back(p); },
        [&] { std::filesystem::remove(Native("in.he3")); });
    Progress whole_progress;
    const Bytes block = Encode(input, [&](std::int16_t p) { whole_progress.push_back(p); });
    const Bytes written = ReadFile(Native("in.he3"));
    ASSERT_EQ(written.size(), block.size());
    ASSERT_TRUE(written == block)
        << "first difference at "
        << std::mismatch(written.begin(), written.end(), block.begin()).first - written.begin();
    EXPECT_EQ(progress, whole_progress);

    progress.clear();
    whole_progress.clear();
    Decode(block, [&](std::int16_t p) { whole_progress.push_back(p); });
    // The smallest window, so that the block is read in several.
    EXPECT_EQ(DecodeFile(
                  Path("in.he3"), Path("out.bin"), [&](std::int16_t p) { progress.push_back(p); },
                  kHeadWindow),
              DecodeStatus::kOk);
    EXPECT_TRUE(ReadFile(Native("out.bin")) == input);
    EXPECT_EQ(progress, whole_progress);
    std::filesystem::remove(Native("out.bin"));
  }
}

TEST_F(He3FileTest, FailedDecodeLeavesNoDestinationAndReportsTheBlockFirst) {
  std::mt19937_64 rng(8);
  const Bytes input = Sample(600'000, rng);
  Bytes block = Encode(input);
  block[block.size() - 3] ^= 0x10;  // found only near the end, after output was written
  WriteFile(Native("bad.he3"), block);
  const DecodeStatus expected = Decode(block).status;
  ASSERT_NE(expected, DecodeStatus::kOk);
  EXPECT_EQ(DecodeFile(Path("bad.he3"), Path("out.bin"), {}), expected);
  EXPECT_FALSE(std::filesystem::exists(Native("out.bin")));
  // A destination that cannot be made does not hide the damage.
  EXPECT_EQ(DecodeFile(Path("bad.he3"), Path("missing/out.bin"), {}), expected);
  // With a good block the destination's own fault is raised, and nothing is left.
  WriteFile(Native("good.he3"), Encode(input));
  EXPECT_RUNTIME_ERROR(DecodeFile(Path("good.he3"), Path("missing/out.bin"), {}),
                       err::kPathNotFound);
  // A length field of zero: the destination is the block as it is.
  block = Encode(input);
  std::fill_n(block.begin() + kLengthOffset, 4, 0);
  WriteFile(Native("zero.he3"), block);
  EXPECT_EQ(DecodeFile(Path("zero.he3"), Path("zero.out"), {}), DecodeStatus::kUnchanged);
  EXPECT_TRUE(ReadFile(Native("zero.out")) == block);
}

TEST_F(He3FileTest, CompressingOntoItselfReadsTheWholeSource) {
  std::mt19937_64 rng(4);
  for (const std::size_t size :
       {std::size_t{700'000}, static_cast<std::size_t>(kSplitCountFrom) + 1}) {
    const Bytes input = Sample(size, rng);
    WriteFile(Native("self.bin"), input);
    EncodeFile(Path("self.bin"), Path("self.bin"), {},
               [&] { std::filesystem::remove(Native("self.bin")); });
    EXPECT_EQ(ReadFile(Native("self.bin")), Encode(input)) << size;
  }
}

// A file size limit makes the writes past it fail with EFBIG, here the upper half's, which
// a second thread writes: the fault still comes out of the call, and nothing is left.
// A write fault leaves what was written before it, as a write of the whole block at the end
// would have.
TEST_F(He3FileTest, WriteFaultOfTheUpperHalfIsRaisedAndLeavesWhatWasWritten) {
  std::mt19937_64 rng(12);
  const Bytes input = Sample(static_cast<std::size_t>(kSplitCountFrom) + 9, rng);
  WriteFile(Native("in.bin"), input);
  const std::size_t block_size = Encode(input).size();
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const rlim_t cap = block_size * 3 / 4;  // past the lower half's end, short of the block's
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < cap)
    GTEST_SKIP() << "file size already limited";
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = before;
  limited.rlim_cur = cap;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool raised_disk_full = false;
  try {
    EncodeFile(Path("in.bin"), Path("out.he3"), {}, [] {});
  } catch (const RuntimeError& error) {
    raised_disk_full = error.number() == err::kDiskFull;
  }
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(raised_disk_full);
  const Bytes written = ReadFile(Native("out.he3"));
  const std::size_t lower_quarter = block_size / 4;  // well inside the lower half's part
  ASSERT_GT(written.size(), lower_quarter);
  EXPECT_LE(written.size(), cap);
  const Bytes block = Encode(input);
  EXPECT_TRUE(std::equal(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(lower_quarter), block.begin()));
}

// The source changed between the count and the coding: cut short; other bytes in either half
// of a small file and of one whose halves are coded at once (a value never counted takes no
// bits, so the body comes out shorter); two values swapped between the halves (the body keeps
// its length, but the lower half's bits end elsewhere than counted).
TEST_F(He3FileTest, SourceChangedBetweenTheTwoReadsFailsWithoutOutput) {
  std::mt19937_64 rng(6);
  for (const std::size_t size :
       {std::size_t{300'000}, static_cast<std::size_t>(kSplitCountFrom) + 5}) {
    const Bytes original = Sample(size, rng);
    std::vector<Bytes> changed;
    for (const std::size_t at : {std::size_t{1000}, size - 60'000}) {
      changed.push_back(original);
      std::fill_n(changed.back().begin() + static_cast<std::ptrdiff_t>(at), 50'000, 0xFF);
    }
    if (size < kSplitCountFrom) {
      changed.emplace_back(original.begin(), original.begin() + 1000);
    } else {
      Bytes swapped = original;
      const auto lower_common = std::find(swapped.begin(), swapped.begin() + 1000, 0);
      const auto upper_rare = std::find(swapped.end() - 100'000, swapped.end(), 20);
      ASSERT_TRUE(lower_common != swapped.begin() + 1000 && upper_rare != swapped.end());
      std::swap(*lower_common, *upper_rare);
      changed.push_back(swapped);
    }
    for (std::size_t k = 0; k < changed.size(); ++k) {
      SCOPED_TRACE(::testing::Message() << size << " bytes, change " << k);
      WriteFile(Native("in.bin"), original);
      EXPECT_RUNTIME_ERROR(EncodeFile(Path("in.bin"), Path("out.he3"), {},
                                      [&] { WriteFile(Native("in.bin"), changed[k]); }),
                           err::kDeviceIoError);
      EXPECT_FALSE(std::filesystem::exists(Native("out.he3")));
    }
  }
}

}  // namespace
}  // namespace narwick::huffman
