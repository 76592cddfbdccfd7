// The buffered file layer gives the bytes single-byte access would, across buffer ends.
#include "compress/common/buffered_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick::compress {
namespace {

using Bytes = std::vector<std::uint8_t>;

class BufferedFileTest : public ::testing::Test {
 protected:
  Bytes Random(std::size_t size) {
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng_());
    return b;
  }
  void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(folder_.path() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Read(const std::string& name) {
    std::ifstream in(folder_.path() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  narwick::testing::TempFolder folder_;
  std::mt19937 rng_{4};
};

TEST_F(BufferedFileTest, ChunksAndReadsGiveTheFileAcrossBufferEnds) {
  for (std::size_t size : {0u, 1u, 262143u, 262144u, 262145u, 700000u}) {
    const Bytes data = Random(size);
    Write("f", data);
    BufferedReader reader(folder_.File("f"));
    EXPECT_EQ(reader.Length(), size);
    Bytes got(std::min<std::size_t>(size, 10));
    got.resize(reader.Read(got.data(), got.size()));
    for (auto chunk = reader.Next(); !chunk.empty(); chunk = reader.Next()) got.insert(got.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(got, data) << size;
  }
}

// Files on both sides of the read-ahead threshold, taken by a random mix of small and large
// reads and whole chunks.
TEST_F(BufferedFileTest, MixedReadsAndChunksGiveTheFileWithAndWithoutReadAhead) {
  const std::size_t threshold = BufferedReader::kReadAheadFrom;
  for (std::size_t size : {threshold - 1, threshold, 3 * BufferedReader::kBufferSize + 17}) {
    const Bytes data = Random(size);
    Write("f", data);
    BufferedReader reader(folder_.File("f"));
    Bytes got;
    for (;;) {
      if (rng_() % 3 == 0) {
        const auto chunk = reader.Next();
        if (chunk.empty()) break;
        got.insert(got.end(), chunk.begin(), chunk.end());
      } else {
        const std::size_t want = rng_() % 2 == 0 ? 1 + rng_() % 5000 : 200000 + rng_() % 400000;
        Bytes part(want);
        part.resize(reader.Read(part.data(), want));
        got.insert(got.end(), part.begin(), part.end());
        if (part.size() < want) break;
      }
    }
    EXPECT_EQ(got, data) << size;
    EXPECT_TRUE(reader.Next().empty());
  }
}

// Reads at offsets, interleaved with sequential ones, neither disturbing the other.
TEST_F(BufferedFileTest, ReadsAtOffsetsLeaveTheSequentialPositionAlone) {
  const Bytes data = Random(3 * BufferedReader::kBufferSize + 5);
  Write("f", data);
  BufferedReader reader(folder_.File("f"));
  Bytes sequential;
  for (auto chunk = reader.Next(); !chunk.empty(); chunk = reader.Next()) {
    sequential.insert(sequential.end(), chunk.begin(), chunk.end());
    const std::size_t at = rng_() % (data.size() + 1);
    const std::size_t want = rng_() % 2 == 0 ? 1 + rng_() % 100 : 300000;
    Bytes part(want);
    part.resize(reader.ReadAt(at, part.data(), want));
    ASSERT_EQ(part.size(), std::min(want, data.size() - at)) << at;
    EXPECT_TRUE(std::equal(part.begin(), part.end(), data.begin() + static_cast<std::ptrdiff_t>(at))) << at;
  }
  EXPECT_EQ(sequential, data);

  const BufferedReader at_offsets(folder_.File("f"), BufferedReader::Access::kAtOffsets);
  Bytes whole(data.size() + 10);
  whole.resize(at_offsets.ReadAt(0, whole.data(), whole.size()));
  EXPECT_EQ(whole, data);
}

TEST_F(BufferedFileTest, WriterKeepsOrderAndDoesNotCutAnExistingFile) {
  Write("out", Bytes(600000, 0xEE));
  const Bytes data = Random(300000);
  {
    BufferedWriter writer(folder_.File("out"));
    std::size_t at = 0;
    while (at < data.size()) {
      const std::size_t n = std::min<std::size_t>(data.size() - at, 1 + rng_() % 70000);
      writer.Put(data.data() + at, n);
      at += n;
    }
    writer.Close();
  }
  const Bytes got = Read("out");
  ASSERT_EQ(got.size(), 600000u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
  EXPECT_EQ(got[300000], 0xEE);
}

// A later part written at its offset from another thread while the buffered part is put:
// both land, neither moves the other.
TEST_F(BufferedFileTest, WritesAtOffsetsLandBesideTheBufferedOnes) {
  const Bytes data = Random(2000000);
  const std::size_t split = 1234567;
  {
    BufferedWriter writer(folder_.File("parts"));
    std::thread later([&] {
      for (std::size_t at = split; at < data.size(); at += 100000) {
        writer.WriteAt(at, data.data() + at, std::min<std::size_t>(100000, data.size() - at));
      }
    });
    for (std::size_t at = 0; at < split; at += 70000) writer.Put(data.data() + at, std::min<std::size_t>(70000, split - at));
    later.join();
    writer.Close();
  }
  EXPECT_EQ(Read("parts"), data);
}

// Bytes put and bytes produced in place, in random turns and sizes, land in order.
TEST_F(BufferedFileTest, RoomsAndPutsInterleaveInOrder) {
  const Bytes data = Random(1500000);
  {
    BufferedWriter writer(folder_.File("mixed"));
    std::size_t at = 0;
    while (at < data.size()) {
      const std::size_t n = std::min<std::size_t>(data.size() - at, 1 + rng_() % 90000);
      if (rng_() % 2 == 0) {
        writer.Put(data.data() + at, n);
      } else {
        const auto room = writer.Room(n);
        ASSERT_GE(room.size(), n);
        std::copy_n(data.data() + at, n, room.data());
        writer.Commit(n);
      }
      at += n;
    }
    writer.Close();
  }
  EXPECT_EQ(Read("mixed"), data);
}

TEST_F(BufferedFileTest, OpenFaultsCarryTheHostNumbers) {
  EXPECT_RUNTIME_ERROR(BufferedReader(folder_.File("missing")), err::kFileNotFound);
  EXPECT_RUNTIME_ERROR(BufferedReader(folder_.File("")), err::kPathFileAccessError);
  EXPECT_RUNTIME_ERROR(BufferedWriter(folder_.File("no/such/out")), err::kPathNotFound);
  EXPECT_RUNTIME_ERROR(BufferedWriter(folder_.File("")), err::kPathFileAccessError);
}

TEST_F(BufferedFileTest, WriteFaultIsDiskFullOnAFullDevice) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  BufferedWriter writer(u"/dev/full");
  const Bytes data(1000, 1);
  writer.Put(data.data(), data.size());
  EXPECT_RUNTIME_ERROR(writer.Close(), err::kDiskFull);

  // Written behind: the fault comes from a later Put or from Close, never not at all.
  BufferedWriter behind(u"/dev/full");
  const Bytes block(70000, 2);
  EXPECT_RUNTIME_ERROR(
      {
        for (int i = 0; i < 20; ++i) behind.Put(block.data(), block.size());
        behind.Close();
      },
      err::kDiskFull);
}

}  // namespace
}  // namespace narwick::compress
