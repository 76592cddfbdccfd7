#include "compress/common/buffered_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/variant.h"

namespace narwick::compress {

namespace {

[[noreturn]] void RaiseOpenError(int error) {
  switch (error) {
    case ENOENT: Raise(err::kFileNotFound);
    case ENOTDIR: Raise(err::kPathNotFound);
    default: Raise(err::kPathFileAccessError);
  }
}

[[noreturn]] void RaiseWriteError(int error) {
  if (error == ENOSPC || error == EDQUOT || error == EFBIG) Raise(err::kDiskFull);
  Raise(err::kDeviceIoError);
}

}  // namespace

BufferedReader::BufferedReader(const String& path) {
  const std::string name = ToUtf8(path);
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) RaiseOpenError(errno);
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    Raise(err::kPathFileAccessError);
  }
  length_ = static_cast<std::uint64_t>(info.st_size);
  buffer_ = std::make_unique<std::uint8_t[]>(kBufferSize);
}

BufferedReader::~BufferedReader() { Close(); }

void BufferedReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::span<const std::uint8_t> BufferedReader::Next() {
  if (begin_ == end_) {
    if (fd_ < 0) return {};
    ssize_t got;
    do {
      got = ::read(fd_, buffer_.get(), kBufferSize);
    } while (got < 0 && errno == EINTR);
    if (got < 0) Raise(err::kDeviceIoError);
    begin_ = 0;
    end_ = static_cast<std::size_t>(got);
  }
  std::span<const std::uint8_t> chunk(buffer_.get() + begin_, end_ - begin_);
  begin_ = end_;
  return chunk;
}

std::size_t BufferedReader::Read(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    if (begin_ == end_ && size - done >= kBufferSize && fd_ >= 0) {
      // A large read goes straight to the caller's memory.
      ssize_t got;
      do {
        got = ::read(fd_, out + done, size - done);
      } while (got < 0 && errno == EINTR);
      if (got < 0) Raise(err::kDeviceIoError);
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
      continue;
    }
    if (begin_ == end_) {
      const auto chunk = Next();
      if (chunk.empty()) break;
      begin_ = 0;  // Next() handed the whole buffer out; take it back to read from
    }
    const std::size_t take = std::min(size - done, end_ - begin_);
    std::memcpy(out + done, buffer_.get() + begin_, take);
    begin_ += take;
    done += take;
  }
  return done;
}

BufferedWriter::BufferedWriter(const String& path) {
  const std::string name = ToUtf8(path);
  fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    if (errno == ENOENT || errno == ENOTDIR) Raise(err::kPathNotFound);
    Raise(err::kPathFileAccessError);
  }
  buffer_ = std::make_unique<std::uint8_t[]>(kBufferSize);
}

BufferedWriter::~BufferedWriter() {
  if (fd_ >= 0) {
    try {
      Flush();
    } catch (const RuntimeError&) {
      // Destruction on a fault path: the fault already being reported wins.
    }
    ::close(fd_);
  }
}

void BufferedWriter::WriteOut(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t wrote = ::write(fd_, data, size);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      RaiseWriteError(errno);
    }
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
}

bool BufferedWriter::Put(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) Raise(err::kBadFileNameOrNumber);
  if (size == 0) return true;  // an empty span may come with a null pointer
  if (used_ + size > kBufferSize) {
    Flush();
    if (size >= kBufferSize) {
      WriteOut(data, size);
      return true;
    }
  }
  std::memcpy(buffer_.get() + used_, data, size);
  used_ += size;
  return true;
}

void BufferedWriter::Flush() {
  if (used_ == 0 || fd_ < 0) return;
  const std::size_t pending = used_;
  used_ = 0;
  WriteOut(buffer_.get(), pending);
}

void BufferedWriter::Close() {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) RaiseWriteError(errno);
}

}  // namespace narwick::compress
