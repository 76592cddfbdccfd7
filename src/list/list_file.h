// File access for the record file: a writer that replaces the file only once every record is
// written, and a block reader of fixed-length records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace narwick::list {

// Writes a temporary file beside `path` and renames it over `path` on Commit, so a failure
// part-way leaves the former file as it was and a shorter list never leaves stale records
// behind it. The temporary file is removed unless committed; the descriptor is always closed.
class ReplacingFileWriter {
 public:
  ReplacingFileWriter() = default;
  ~ReplacingFileWriter();
  ReplacingFileWriter(const ReplacingFileWriter&) = delete;
  ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;

  // False when the temporary file cannot be created (missing folder, no permission).
  bool Open(const std::string& path);
  bool Write(std::span<const std::uint8_t> bytes);
  // Flushes, syncs, closes and renames. False on any failure (the former file then stays).
  bool Commit();

 private:
  bool Flush();
  void Abandon();

  int fd_ = -1;
  std::string target_;
  std::string temp_;
  std::vector<std::uint8_t> buffer_;
};

// Reads a file as records of `record_size` bytes, a block at a time. A last record shorter
// than `record_size` is not returned.
class RecordReader {
 public:
  explicit RecordReader(std::size_t record_size) : record_size_(record_size) {}
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  bool Open(const std::string& path);  // false when it cannot be opened for reading
  // The next whole record, or null at the end of the file or on a read failure (failed()).
  const std::uint8_t* Next();
  bool failed() const { return failed_; }

 private:
  std::size_t record_size_;
  int fd_ = -1;
  bool failed_ = false;
  bool at_end_ = false;
  std::vector<std::uint8_t> block_;
  std::size_t begin_ = 0;  // next unread byte of block_
  std::size_t end_ = 0;    // bytes held in block_
};

}  // namespace narwick::list
