#include "compress/huffman/he3_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "compress/common/buffered_file.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/variant.h"

namespace narwick::huffman {
namespace {

using compress::BufferedReader;
using Chunk = std::span<const std::uint8_t>;

// A block's length field, like a byte array, holds at most 2^31 - 1.
void CheckLength(std::uint64_t length) {
  if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    Raise(err::kOverflow);
  }
}

// Calls `f` with each chunk of the first `length` bytes of `reader`; raises 57 when the
// file ends sooner (it changed since it was measured).
template <class F>
void ForEachChunk(BufferedReader& reader, std::uint64_t length, F&& f) {
  std::uint64_t done = 0;
  while (done < length) {
    Chunk chunk = reader.Next();
    if (chunk.empty()) Raise(err::kDeviceIoError);
    chunk = chunk.first(static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - done)));
    f(chunk);
    done += chunk.size();
  }
}

// Calls `f` with each chunk of bytes [from, to) of `reader`, read at their offsets into a
// buffer of its own; raises 57 when the file ends sooner.
template <class F>
void ForEachChunkAt(const BufferedReader& reader, std::uint64_t from, std::uint64_t to, F&& f) {
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(BufferedReader::kBufferSize);
  while (from < to) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(BufferedReader::kBufferSize, to - from));
    if (reader.ReadAt(from, buffer.get(), want) != want) Raise(err::kDeviceIoError);
    f(Chunk(buffer.get(), want));
    from += want;
  }
}

// Counts the first `length` bytes of `reader` for `encoder`. On a large file a second
// thread reads and counts the upper half meanwhile: reading a file costs about as much as
// counting its bytes, so the pass takes about the time of counting bytes in memory.
// Progress still comes in order, on the caller's thread.
void CountSource(const BufferedReader& reader, std::uint64_t length, Encoder& encoder) {
  const std::uint64_t half = length >= kSplitCountFrom ? length / 2 : length;
  std::future<ByteTally> upper;  // waits for its thread when left by a fault
  if (half < length) {
    upper = std::async(std::launch::async, [&reader, half, length] {
      ByteTally tally;
      ForEachChunkAt(reader, half, length, [&](Chunk chunk) { tally.Add(chunk); });
      return tally;
    });
  }
  ForEachChunkAt(reader, 0, half, [&](Chunk chunk) { encoder.Count(chunk); });
  if (upper.valid()) encoder.AddTally(upper.get(), length - half);
}

// The destination, opened at its first bytes. A fault while opening or writing it is kept
// and raised by Commit, so that it comes after everything the codec reports, as when the
// whole result was written at the end. A destination not committed is removed.
class Destination {
 public:
  explicit Destination(const String& path) : path_(path) {}
  ~Destination() {
    if (committed_ || !created_) return;
    writer_.reset();
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(ToUtf8(path_)), ignored);
  }
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  void Put(Chunk bytes) {
    written_ += bytes.size();
    if (fault_) return;
    try {
      Open();
      writer_->Put(bytes.data(), bytes.size());
    } catch (const RuntimeError&) {
      fault_ = std::current_exception();
    }
  }

  // Room to produce at least `least` bytes in place, then Commit of those written. After a
  // fault the bytes go to a scratch buffer and are only counted.
  std::span<std::uint8_t> Room(std::size_t least) {
    if (!fault_) {
      try {
        Open();
        return writer_->Room(least);
      } catch (const RuntimeError&) {
        fault_ = std::current_exception();
      }
    }
    scratch_.resize(std::max(scratch_.size(), least));
    return scratch_;
  }
  void Commit(std::size_t size) {
    written_ += size;
    if (fault_) return;
    try {
      writer_->Commit(size);
    } catch (const RuntimeError&) {
      fault_ = std::current_exception();
    }
  }

  std::uint64_t written() const { return written_; }

  void Commit() {
    if (!fault_) {
      try {
        Open();
        writer_->Close();
      } catch (const RuntimeError&) {
        fault_ = std::current_exception();
      }
    }
    if (fault_) std::rethrow_exception(fault_);
    committed_ = true;
  }

 private:
  void Open() {
    if (writer_) return;
    writer_.emplace(path_);
    created_ = true;
  }

  String path_;
  std::optional<compress::BufferedWriter> writer_;
  std::vector<std::uint8_t> scratch_;
  std::exception_ptr fault_;
  std::uint64_t written_ = 0;
  bool created_ = false;
  bool committed_ = false;
};

// The block file, held in a window that moves forward.
class FileSource final : public BlockSource {
 public:
  FileSource(BufferedReader& reader, std::size_t window)
      : reader_(reader), buffer_(std::max(window, kHeadWindow)) {}

  std::uint64_t Size() const override { return reader_.Length(); }

  Window First() override {
    begin_ = 0;
    filled_ = 0;
    return Fill();
  }

  Window From(std::uint64_t from) override {
    const auto keep_from = static_cast<std::size_t>(from - begin_);
    std::memmove(buffer_.data(), buffer_.data() + keep_from, filled_ - keep_from);
    filled_ -= keep_from;
    begin_ = from;
    return Fill();
  }

 private:
  Window Fill() {
    const std::uint64_t wanted =
        std::min<std::uint64_t>(buffer_.size() - filled_, Size() - begin_ - filled_);
    const std::size_t got = reader_.Read(buffer_.data() + filled_, static_cast<std::size_t>(wanted));
    if (got != wanted) Raise(err::kDeviceIoError);  // the file shrank
    filled_ += got;
    return {Chunk(buffer_.data(), filled_), begin_, begin_ + filled_ == Size()};
  }

  BufferedReader& reader_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t begin_ = 0;  // block position of buffer_[0]
  std::size_t filled_ = 0;
};

// Output rooms straight in the destination's buffer.
class FileSink final : public DecodeSink {
 public:
  static constexpr std::size_t kLeastRoom = 4096;

  explicit FileSink(Destination& destination) : destination_(destination) {}
  std::span<std::uint8_t> Start(std::uint64_t) override { return destination_.Room(kLeastRoom); }
  std::span<std::uint8_t> Take(Chunk written) override {
    destination_.Commit(written.size());
    return destination_.Room(kLeastRoom);
  }
  void Finish(Chunk written) override { destination_.Commit(written.size()); }

 private:
  Destination& destination_;
};

void CopyFile(const String& source, Destination& destination) {
  BufferedReader reader(source);
  ForEachChunk(reader, reader.Length(), [&](Chunk chunk) { destination.Put(chunk); });
}

}  // namespace

void EncodeFile(const String& source, const String& dest, ProgressFn progress,
                const std::function<void()>& clear_destination) {
  std::uint64_t length = 0;
  std::optional<Encoder> encoder;
  {
    const BufferedReader counting(source);
    length = counting.Length();
    CheckLength(length);
    encoder.emplace(length, progress);
    CountSource(counting, length, *encoder);
  }
  const std::vector<std::uint8_t> head = encoder->Head();
  // Opened before the destination is cleared: a file compressed onto itself is still read
  // whole after its name has gone.
  BufferedReader encoding(source);
  clear_destination();
  Destination destination(dest);
  destination.Put(head);
  if (encoder->stored()) {
    ForEachChunk(encoding, length, [&](Chunk chunk) { destination.Put(chunk); });
  } else {
    // The body is coded in pieces whose room takes at most a quarter of the buffer, straight
    // into the destination's buffer.
    std::size_t piece = BufferedReader::kBufferSize;
    while (piece > 8 && encoder->BodyRoom(piece) > compress::BufferedWriter::kBufferSize / 4) piece /= 2;
    ForEachChunk(encoding, length, [&](Chunk chunk) {
      for (std::size_t at = 0; at < chunk.size(); at += piece) {
        const Chunk part = chunk.subspan(at, std::min(piece, chunk.size() - at));
        destination.Commit(encoder->EncodeBody(part, destination.Room(encoder->BodyRoom(part.size())).data()));
      }
    });
    destination.Commit(encoder->FinishBody(destination.Room(8).data()));
  }
  // Same length, other bytes: the body no longer matches the counted codes.
  if (destination.written() != encoder->block_size()) Raise(err::kDeviceIoError);
  destination.Commit();
}

DecodeStatus DecodeFile(const String& source, const String& dest, ProgressFn progress,
                        std::size_t window) {
  BufferedReader reader(source);
  CheckLength(reader.Length());
  FileSource blocks(reader, window);
  Destination destination(dest);
  FileSink sink(destination);
  const DecodeStatus status =
      Decode(blocks, static_cast<std::int64_t>(reader.Length()), sink, progress);
  if (status == DecodeStatus::kUnchanged) CopyFile(source, destination);
  if (status == DecodeStatus::kOk || status == DecodeStatus::kUnchanged) destination.Commit();
  return status;
}

}  // namespace narwick::huffman
