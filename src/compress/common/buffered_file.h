// Buffered whole-file reading and writing for the compressors' file members: large reads
// and writes underneath, the same bytes as single-byte access at the current position.
// Faults are RuntimeErrors with the host's numbers: 53 file not found, 76 path not found,
// 75 path/file access error, 61 disk full, 57 device I/O error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "narwick/frame/types.h"

namespace narwick::compress {

// An input file opened for reading only. Usable directly as a codec byte source.
class BufferedReader {
 public:
  static constexpr std::size_t kBufferSize = 1 << 18;

  explicit BufferedReader(const String& path);  // raises 53, 76 or 75
  ~BufferedReader();                            // closes
  BufferedReader(const BufferedReader&) = delete;
  BufferedReader& operator=(const BufferedReader&) = delete;

  // The next buffered chunk, empty at the end of the file; raises 57 on a read error.
  std::span<const std::uint8_t> Next();
  // Up to `size` bytes into `out`; fewer only at the end of the file.
  std::size_t Read(std::uint8_t* out, std::size_t size);
  std::uint64_t Length() const { return length_; }
  void Close();

 private:
  int fd_ = -1;
  std::uint64_t length_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t begin_ = 0;  // unread part of the buffer: [begin_, end_)
  std::size_t end_ = 0;
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
  void Flush();  // raises 61 or 57
  void Close();  // flushes, then closes; raises as Flush

 private:
  void WriteOut(const std::uint8_t* data, std::size_t size);

  int fd_ = -1;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace narwick::compress
