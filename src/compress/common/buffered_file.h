// Buffered whole-file reading and writing for the compressors' file members: large reads
// and writes underneath, the same bytes as single-byte access at the current position.
// Faults are RuntimeErrors with the host's numbers: 53 file not found, 76 path not found,
// 75 path/file access error, 61 disk full, 57 device I/O error.
//
// On large files the system calls run on a background thread, one buffer ahead of the
// caller (read-ahead) or behind it (write-behind), so that copying to and from the file
// system overlaps the codec's work. A write fault may then surface at the next Put or at
// Close rather than at the Put whose bytes failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "narwick/frame/types.h"

namespace narwick::compress {

class IoWorker;

// An input file opened for reading only. Usable directly as a codec byte source.
class BufferedReader {
 public:
  static constexpr std::size_t kBufferSize = 1 << 18;
  // Files at least this long are read ahead on a background thread.
  static constexpr std::uint64_t kReadAheadFrom = 2 * kBufferSize;

  // How the file will be read: in order (Next, Read: large files are read ahead), or only
  // at offsets (ReadAt: no thread, no buffers).
  enum class Access : std::uint8_t { kInOrder, kAtOffsets };

  explicit BufferedReader(const String& path, Access access = Access::kInOrder);  // raises 53, 76 or 75
  ~BufferedReader();                            // closes
  BufferedReader(const BufferedReader&) = delete;
  BufferedReader& operator=(const BufferedReader&) = delete;

  // The next buffered chunk, empty at the end of the file; raises 57 on a read error.
  std::span<const std::uint8_t> Next();
  // Up to `size` bytes into `out`; fewer only at the end of the file.
  std::size_t Read(std::uint8_t* out, std::size_t size);
  // Up to `size` bytes from `offset` into `out`, fewer only at the end of the file; raises
  // 57. Leaves the position of Next and Read alone and may run on several threads at once.
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const;
  std::uint64_t Length() const { return length_; }
  void Close();

 private:
  void Fill();

  int fd_ = -1;
  std::uint64_t length_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t begin_ = 0;  // unread part of the buffer: [begin_, end_)
  std::size_t end_ = 0;
  // Read-ahead: the worker fills spare_ while the caller reads buffer_.
  std::unique_ptr<IoWorker> worker_;
  std::unique_ptr<std::uint8_t[]> spare_;
  bool reading_ahead_ = false;
};

// Bytes [from, to) of a file, read at their offsets into a buffer of its own a chunk at a
// time (a codec byte source: Next is empty at `to`). Raises 57 when the file ends sooner:
// it changed since it was measured. Several may read one file at once, on several threads.
class RangeReader {
 public:
  RangeReader(const BufferedReader& reader, std::uint64_t from, std::uint64_t to);
  std::span<const std::uint8_t> Next();

 private:
  const BufferedReader* reader_;
  std::uint64_t at_;
  std::uint64_t to_;
  std::unique_ptr<std::uint8_t[]> buffer_;
};

// An output file opened for reading and writing at its start: created when absent, not cut
// short when present (callers delete it first). Usable directly as a codec byte sink.
class BufferedWriter {
 public:
  static constexpr std::size_t kBufferSize = 1 << 18;

  explicit BufferedWriter(const String& path);  // raises 76 or 75
  ~BufferedWriter();  // closes without reporting a failed last write; call Close() to see it
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;

  // Appends bytes at the current position; raises 61 or 57. Returns true (codec sink form).
  bool Put(const std::uint8_t* data, std::size_t size);
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
  bool writing_behind_ = false;
};

}  // namespace narwick::compress
