// File reading and writing for the compressors' file members: inputs read at offsets (by
// as many threads as code them), outputs written through a large buffer, the same bytes as
// single-byte access. Faults are RuntimeErrors with the host's numbers: 53 file not found,
// 76 path not found, 75 path/file access error, 61 disk full, 57 device I/O error.
//
// On large outputs the writes run on a background thread, one buffer behind the caller
// (write-behind), so that copying to the file system overlaps the codec's work, unless the
// job asks otherwise. A write fault may then surface at the next Put or at Close rather than
// at the Put whose bytes failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "compress/common/short_copy.h"
#include "narwick/frame/types.h"

namespace narwick::compress {

class IoWorker;

// An input file opened for reading only, read at offsets with pread: several threads may
// read one file at once. Nothing is read ahead: on two processors a read-ahead thread beside
// the coder and the writer's thread took more from the coder than it saved.
class InputFile {
 public:
  explicit InputFile(const String& path);  // raises 53, 76 or 75
  ~InputFile();                            // closes
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to `size` bytes from `offset` into `out`, fewer only at the end of the file; raises 57.
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const;
  std::uint64_t Length() const { return length_; }
  void Close();

 private:
  int fd_ = -1;
  std::uint64_t length_ = 0;
};

// Bytes [from, to) of a file, read at their offsets into a buffer of its own a chunk at a
// time (a codec byte source: Next is empty at `to`). Raises 57 when the file ends sooner:
// it changed since it was measured. Several may read one file at once, on several threads.
class RangeReader {
 public:
  static constexpr std::size_t kChunkSize = 1 << 18;

  RangeReader(const InputFile& file, std::uint64_t from, std::uint64_t to);
  std::span<const std::uint8_t> Next();

 private:
  const InputFile* file_;
  std::uint64_t at_;
  std::uint64_t to_;
  std::unique_ptr<std::uint8_t[]> buffer_;
};

// An output file opened for reading and writing at its start: created when absent, not cut
// short when present (callers delete it first). Usable directly as a codec byte sink.
class BufferedWriter {
 public:
  static constexpr std::size_t kBufferSize = 1 << 18;

  // kNever is for jobs that already code on every processor: a write-behind thread beside
  // them takes more from the coders than it saves.
  enum class WriteBehind : std::uint8_t { kWhenLarge, kNever };

  explicit BufferedWriter(const String& path, WriteBehind behind = WriteBehind::kWhenLarge);  // raises 76 or 75
  ~BufferedWriter();  // closes without reporting a failed last write; call Close() to see it
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;

  // Appends bytes at the current position; raises 61 or 57. Returns true (codec sink form).
  // Short runs (a coder's flag groups) are copied here, without a call; the rest, and a run
  // that fills the buffer, take the general path.
  bool Put(const std::uint8_t* data, std::size_t size) {
    if (size <= kShortCopyMost && kBufferSize - used_ > size && fd_ >= 0) {
      CopyShort(buffer_.get() + used_, data, size);
      used_ += size;
      return true;
    }
    return PutAny(data, size);
  }
  // For callers that produce bytes in place: free buffer space of at least `least` bytes
  // (at most kBufferSize), then Commit of the bytes written at its start. A partly filled
  // buffer is written out to make the room.
  std::span<std::uint8_t> Room(std::size_t least);
  void Commit(std::size_t size);
  // Writes bytes at `offset`, beside the buffered ones and without moving their position
  // (for a second thread that produces a later part of the file); raises 61 or 57.
  void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) const;
  void Flush();  // raises 61 or 57
  void Close();  // flushes, then closes; raises as Flush

 private:
  bool PutAny(const std::uint8_t* data, std::size_t size);
  void WriteOut(const std::uint8_t* data, std::size_t size);
  // Hands the full buffer to the worker (started on the first full buffer) and goes on in
  // the spare one.
  void HandOff();
  // Waits for the write the worker has in hand; raises its fault.
  void AwaitWriteBehind();

  int fd_ = -1;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;
  std::unique_ptr<IoWorker> worker_;
  std::unique_ptr<std::uint8_t[]> spare_;
  WriteBehind behind_;
  bool writing_behind_ = false;
};

}  // namespace narwick::compress
