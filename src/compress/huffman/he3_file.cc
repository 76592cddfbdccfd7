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

using compress::InputFile;
using compress::RangeReader;
using Chunk = std::span<const std::uint8_t>;

// A block's length field, like a byte array, holds at most 2^31 - 1.
void CheckLength(std::uint64_t length) {
  if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    Raise(err::kOverflow);
  }
}

// Calls `f` with each chunk of bytes [from, to) of `reader`, read at their offsets (the
// halves of a large file are read on two threads at once).
template <class F>
void ForEachChunkAt(const InputFile& reader, std::uint64_t from, std::uint64_t to, F&& f) {
  RangeReader range(reader, from, to);
  for (Chunk chunk = range.Next(); !chunk.empty(); chunk = range.Next()) f(chunk);
}

// The upper half of a large source, counted apart.
struct UpperHalf {
  std::uint64_t from = 0;
  ByteTally tally;
};

// Counts the first `length` bytes of `reader` for `encoder`. On a large file a second
// thread reads and counts the upper half meanwhile: reading a file costs about as much as
// counting its bytes, so the pass takes about the time of counting bytes in memory.
// Progress still comes in order, on the caller's thread.
std::optional<UpperHalf> CountSource(const InputFile& reader, std::uint64_t length, Encoder& encoder) {
  if (length < kSplitCountFrom) {
    ForEachChunkAt(reader, 0, length, [&](Chunk chunk) { encoder.Count(chunk); });
    return std::nullopt;
  }
  const std::uint64_t half = length / 2;
  std::future<ByteTally> upper = std::async(std::launch::async, [&reader, half, length] {
    ByteTally tally;
    ForEachChunkAt(reader, half, length, [&](Chunk chunk) { tally.Add(chunk); });
    return tally;
  });  // on a fault below, waits for its thread
  ForEachChunkAt(reader, 0, half, [&](Chunk chunk) { encoder.Count(chunk); });
  UpperHalf result{half, upper.get()};
  encoder.AddTally(result.tally, length - half);
  return result;
}

// The body of the upper half, coded apart and written at its place in the destination, all
// but its first byte, which it shares with the lower half's last bits.
struct UpperBody {
  std::uint8_t first_byte = 0;
  std::uint64_t rest = 0;    // bytes after the shared one
  std::exception_ptr fault;  // a write fault, for the destination to raise at the end
};

// Codes bytes [from, to) of `reader`, whose body starts after `bits_before` bits, into the
// destination file after offset `shared_at` through `writer` (none after a fault). After a
// write fault it goes on coding, so that the size still comes out.
UpperBody EncodeUpperHalf(const InputFile& reader, std::uint64_t from, std::uint64_t to, const Encoder& encoder,
                          std::uint64_t bits_before, std::uint64_t shared_at, const compress::BufferedWriter* writer) {
  UpperBody body;
  bool took_first = false;
  BodyPart part(encoder, bits_before);
  std::vector<std::uint8_t> room(encoder.BodyRoom(RangeReader::kChunkSize));
  const auto emit = [&](std::size_t size) {
    const std::uint8_t* data = room.data();
    if (size > 0 && !took_first) {
      body.first_byte = *data++;
      --size;
      took_first = true;
    }
    if (writer != nullptr && size > 0) {
      try {
        writer->WriteAt(shared_at + 1 + body.rest, data, size);
      } catch (const RuntimeError&) {
        body.fault = std::current_exception();
        writer = nullptr;
      }
    }
    body.rest += size;
  };
  ForEachChunkAt(reader, from, to, [&](Chunk chunk) { emit(part.Encode(chunk, room.data())); });
  emit(part.Finish(room.data()));
  return body;
}

// The destination, opened at its first bytes. A fault while opening or writing it is kept
// and raised by Commit, so that it comes after everything the codec reports, as when the
// whole result was written at the end. A destination that fails that way keeps what was
// written before the fault, as a write at the end would have; one left when the codec fails
// is removed, since a write at the end would never have begun.
class Destination {
 public:
  explicit Destination(const String& path,
                       compress::BufferedWriter::WriteBehind behind = compress::BufferedWriter::WriteBehind::kWhenLarge)
      : path_(path), behind_(behind) {}
  ~Destination() {
    if (reached_commit_ || !created_) return;
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

  // The writer for bytes another thread writes at their offsets; none after a fault.
  const compress::BufferedWriter* WriterForParts() const { return fault_ ? nullptr : &*writer_; }
  // Bytes written by another thread, and its fault if it had one.
  void AddPart(std::uint64_t size, std::exception_ptr fault) {
    written_ += size;
    if (!fault_) fault_ = std::move(fault);
  }

  void Commit() {
    if (!fault_) {
      try {
        Open();
        writer_->Close();
      } catch (const RuntimeError&) {
        fault_ = std::current_exception();
      }
    }
    reached_commit_ = true;
    if (fault_) std::rethrow_exception(fault_);
  }

 private:
  void Open() {
    if (writer_) return;
    writer_.emplace(path_, behind_);
    created_ = true;
  }

  String path_;
  compress::BufferedWriter::WriteBehind behind_;
  std::optional<compress::BufferedWriter> writer_;
  std::vector<std::uint8_t> scratch_;
  std::exception_ptr fault_;
  std::uint64_t written_ = 0;
  bool created_ = false;
  bool reached_commit_ = false;  // the codec finished: the file stays, whole or cut short
};

// The block file, held in a window that moves forward and read straight into it (reading
// through a chunk buffer would cost a second copy).
class FileSource final : public BlockSource {
 public:
  FileSource(const InputFile& reader, std::size_t window)
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
    const std::size_t got = reader_.ReadAt(begin_ + filled_, buffer_.data() + filled_, static_cast<std::size_t>(wanted));
    if (got != wanted) Raise(err::kDeviceIoError);  // the file shrank
    filled_ += got;
    return {Chunk(buffer_.data(), filled_), begin_, begin_ + filled_ == Size()};
  }

  const InputFile& reader_;
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
  const InputFile reader(source);
  ForEachChunkAt(reader, 0, reader.Length(), [&](Chunk chunk) { destination.Put(chunk); });
}

}  // namespace

void EncodeFile(const String& source, const String& dest, ProgressFn progress,
                const std::function<void()>& clear_destination) {
  std::uint64_t length = 0;
  std::optional<Encoder> encoder;
  std::optional<UpperHalf> upper;
  {
    const InputFile counting(source);
    length = counting.Length();
    CheckLength(length);
    encoder.emplace(length, progress);
    upper = CountSource(counting, length, *encoder);
  }
  const std::vector<std::uint8_t> head = encoder->Head();
  // Opened before the destination is cleared: a file compressed onto itself is still read
  // whole after its name has gone.
  const InputFile encoding(source);
  clear_destination();
  // Halves coded on two threads leave no processor for a write-behind thread.
  Destination destination(dest, upper ? compress::BufferedWriter::WriteBehind::kNever
                                      : compress::BufferedWriter::WriteBehind::kWhenLarge);
  destination.Put(head);
  bool misplaced = false;
  if (encoder->stored()) {
    ForEachChunkAt(encoding, 0, length, [&](Chunk chunk) { destination.Put(chunk); });
  } else {
    // The body is coded in pieces whose room takes at most a quarter of the buffer, straight
    // into the destination's buffer.
    std::size_t piece = RangeReader::kChunkSize;
    while (piece > 8 && encoder->BodyRoom(piece) > compress::BufferedWriter::kBufferSize / 4) piece /= 2;
    const auto code = [&](Chunk chunk) {
      for (std::size_t at = 0; at < chunk.size(); at += piece) {
        const Chunk part = chunk.subspan(at, std::min(piece, chunk.size() - at));
        destination.Commit(encoder->EncodeBody(part, destination.Room(encoder->BodyRoom(part.size())).data()));
      }
    };
    if (!upper) {
      ForEachChunkAt(encoding, 0, length, code);
    } else {
      // A second thread codes the upper half meanwhile, where its bits fall in the block.
      const std::uint64_t bits_before = encoder->BodyBitsBefore(upper->tally);
      const std::uint64_t shared_at = head.size() + bits_before / 8;
      std::future<UpperBody> upper_body = std::async(std::launch::async, [&, writer = destination.WriterForParts()] {
        return EncodeUpperHalf(encoding, upper->from, length, *encoder, bits_before, shared_at, writer);
      });  // on a fault below, waits for its thread
      ForEachChunkAt(encoding, 0, upper->from, code);
      // The lower half changed since it was counted: its bits end elsewhere.
      misplaced = destination.written() != shared_at || encoder->pending_bits() != bits_before % 8;
      UpperBody body = upper_body.get();
      encoder->JoinPart(length - upper->from, body.first_byte, destination.Room(1).data());
      destination.Commit(1);
      destination.AddPart(body.rest, std::move(body.fault));
    }
    destination.Commit(encoder->FinishBody(destination.Room(8).data()));
  }
  // Other bytes than counted: the body's length no longer matches the counted codes.
  if (misplaced || destination.written() != encoder->block_size()) Raise(err::kDeviceIoError);
  destination.Commit();
}

DecodeStatus DecodeFile(const String& source, const String& dest, ProgressFn progress,
                        std::size_t window) {
  const InputFile reader(source);
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
