#include "compress/common/buffered_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "frame/file_writing.h"
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

// A thread that writes one buffer at a time for a writer. Results are 0 or an errno; the
// owner turns faults into RuntimeErrors on its own thread.
class IoWorker {
 public:
  IoWorker() : thread_([this] { Run(); }) {}
  ~IoWorker() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();  // a call in hand is finished first
  }
  IoWorker(const IoWorker&) = delete;
  IoWorker& operator=(const IoWorker&) = delete;

  // Starts a call; the one before must have been waited for.
  void Start(int fd, const std::uint8_t* data, std::size_t size) {
    {
      std::lock_guard lock(mutex_);
      call_ = {fd, data, size};
      in_hand_ = true;
    }
    wake_.notify_all();
  }
  int Wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return !in_hand_; });
    return result_;
  }

 private:
  struct Call {
    int fd = -1;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return in_hand_ || stopping_; });
      if (!in_hand_) return;
      const Call call = call_;
      lock.unlock();
      const int result = frame::WriteAll(call.fd, call.data, call.size);
      lock.lock();
      result_ = result;
      in_hand_ = false;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Call call_;
  int result_ = 0;
  bool in_hand_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

InputFile::InputFile(const String& path) {
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
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Raise(err::kDeviceIoError);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

RangeReader::RangeReader(const InputFile& file, std::uint64_t from, std::uint64_t to)
    : file_(&file), at_(from), to_(to), buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize)) {}

std::span<const std::uint8_t> RangeReader::Next() {
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, to_ - at_));
  if (file_->ReadAt(at_, buffer_.get(), want) != want) Raise(err::kDeviceIoError);
  at_ += want;
  return {buffer_.get(), want};
}

BufferedWriter::BufferedWriter(const String& path, WriteBehind behind) : behind_(behind) {
  const std::string name = ToUtf8(path);
  fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    if (errno == ENOENT || errno == ENOTDIR) Raise(err::kPathNotFound);
    Raise(err::kPathFileAccessError);
  }
  buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
}

BufferedWriter::~BufferedWriter() {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (const RuntimeError&) {
    // Destruction on a fault path: the fault already being reported wins.
  }
  ::close(fd_);
}

void BufferedWriter::WriteOut(const std::uint8_t* data, std::size_t size) {
  if (const int error = frame::WriteAll(fd_, data, size)) RaiseWriteError(error);
}

void BufferedWriter::AwaitWriteBehind() {
  if (!writing_behind_) return;
  writing_behind_ = false;
  if (const int error = worker_->Wait()) RaiseWriteError(error);
}

void BufferedWriter::HandOff() {
  if (behind_ == WriteBehind::kNever) {
    const std::size_t full = used_;
    used_ = 0;
    WriteOut(buffer_.get(), full);
    return;
  }
  if (!worker_) {
    spare_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    worker_ = std::make_unique<IoWorker>();
  }
  AwaitWriteBehind();
  worker_->Start(fd_, buffer_.get(), used_);
  writing_behind_ = true;
  std::swap(buffer_, spare_);
  used_ = 0;
}

bool BufferedWriter::PutAny(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) Raise(err::kBadFileNameOrNumber);
  while (size > 0) {
    const std::size_t take = std::min(size, kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, data, take);
    used_ += take;
    data += take;
    size -= take;
    if (used_ == kBufferSize) HandOff();
  }
  return true;
}

std::span<std::uint8_t> BufferedWriter::Room(std::size_t least) {
  if (fd_ < 0) Raise(err::kBadFileNameOrNumber);
  if (kBufferSize - used_ < least) HandOff();
  return {buffer_.get() + used_, kBufferSize - used_};
}

void BufferedWriter::Commit(std::size_t size) {
  used_ += size;
  if (used_ == kBufferSize) HandOff();
}

void BufferedWriter::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) const {
  if (fd_ < 0) Raise(err::kBadFileNameOrNumber);
  while (size > 0) {
    const ssize_t wrote = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) RaiseWriteError(errno);
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
    offset += static_cast<std::uint64_t>(wrote);
  }
}

void BufferedWriter::Flush() {
  if (fd_ < 0) return;
  AwaitWriteBehind();
  if (used_ == 0) return;
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
