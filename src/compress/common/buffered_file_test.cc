// The file layer gives the bytes single-byte access would, across buffer and chunk ends.
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
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Read(const std::string& name) {
    std::ifstream in(folder_.path() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  narwick::testing::TempFolder folder_;
  std::mt19937 rng_{4};
};

// Files around the chunk size, read at random offsets and through ranges of random bounds:
// the file's bytes, short only at its end; a range the file does not reach is fault 57.
TEST_F(BufferedFileTest, ReadsAtOffsetsAndRangesGiveTheFile) {
  const std::size_t chunk = RangeReader::kChunkSize;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, chunk - 1, chunk, chunk + 1, 3 * chunk + 17}) {
    const Bytes data = Random(size);
    Write("f", data);
    const InputFile file(folder_.File("f"));
    EXPECT_EQ(file.Length(), size);
    auto slice = [&](std::size_t from, std::size_t to) {
      return Bytes(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(to));
    };
    for (int round = 0; round < 8; ++round) {
      const std::size_t at = rng_() % (size + 1);
      const std::size_t want = rng_() % 2 == 0 ? 1 + rng_() % 100 : 300000;
      Bytes part(want);
      part.resize(file.ReadAt(at, part.data(), want));
      EXPECT_EQ(part, slice(at, std::min(size, at + want))) << "at " << at;

      const std::size_t to = at + rng_() % (size - at + 1);
      RangeReader range(file, at, to);
      Bytes got;
      for (auto piece = range.Next(); !piece.empty(); piece = range.Next()) got.insert(got.end(), piece.begin(), piece.end());
      EXPECT_EQ(got, slice(at, to)) << "range " << at << " to " << to;
    }
    RangeReader past(file, size, size + 1);
    EXPECT_RUNTIME_ERROR(past.Next(), err::kDeviceIoError);
  }
}

// Bytes put and bytes produced in place, in random turns and sizes, land in order while
// another thread writes a later part at its offset; a longer file there is not cut short.
// Written behind or on the caller's thread alike.
TEST_F(BufferedFileTest, PutsRoomsAndWritesAtOffsetsLandInOrder) {
  for (const auto behind : {BufferedWriter::WriteBehind::kWhenLarge, BufferedWriter::WriteBehind::kNever}) {
    SCOPED_TRACE(behind == BufferedWriter::WriteBehind::kNever ? "on the caller's thread" : "behind");
    Write("out", Bytes(2100000, 0xEE));
    const Bytes data = Random(2000000);
    const std::size_t split = 1234567;
    {
      BufferedWriter writer(folder_.File("out"), behind);
      std::thread later([&] {
        for (std::size_t at = split; at < data.size(); at += 100000) {
          writer.WriteAt(at, data.data() + at, std::min<std::size_t>(100000, data.size() - at));
        }
      });
      for (std::size_t at = 0, n = 0; at < split; at += n) {
        // Short runs too (a coder's flag groups take their own path), many thousands of them,
        // so that some end the buffer exactly or straddle its end.
        n = std::min<std::size_t>(split - at, rng_() % 64 != 0 ? 1 + rng_() % 40 : 1 + rng_() % 90000);
        if (rng_() % 2 == 0) {
          writer.Put(data.data() + at, n);
          continue;
        }
        const auto room = writer.Room(n);
        if (room.size() < n) {
          ADD_FAILURE() << "room of " << room.size() << " for " << n;
          break;
        }
        std::copy_n(data.data() + at, n, room.data());
        writer.Commit(n);
      }
      later.join();
      writer.Close();
    }
    Bytes got = Read("out");
    ASSERT_EQ(got.size(), 2100000u);
    EXPECT_TRUE(
        std::all_of(got.begin() + 2000000, got.end(), [](std::uint8_t b) { return b == 0xEE; }));
    got.resize(data.size());
    EXPECT_EQ(got, data);
  }
}

TEST_F(BufferedFileTest, OpenFaultsCarryTheHostNumbers) {
  EXPECT_RUNTIME_ERROR(InputFile(folder_.File("missing")), err::kFileNotFound);
  EXPECT_RUNTIME_ERROR(InputFile(folder_.File("")), err::kPathFileAccessError);
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
