// File streaming for the cipher: one fixed block buffer, read, XOR in place, write.
#include "system/rc4_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"

namespace narwick::rc4 {

namespace {

// clsEncryption answers every fault with the same True result and keeps no error number, so
// one number serves for every system failure.
[[noreturn]] void RaiseFileFault() { Raise(err::kPathFileAccessError); }

// An open file descriptor, closed when it goes out of scope unless closed before.
class File {
 public:
  explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ < 0) RaiseFileFault();
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  int fd() const { return fd_; }

  // Closes now, raising when the system reports a failure (a delayed write error).
  void Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) RaiseFileFault();
  }

 private:
  int fd_;
};

struct stat StatusOf(const File& file) {
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0) RaiseFileFault();
  return info;
}

// Reads exactly `n` bytes at `offset`; a file that ends early is a fault.
void ReadFully(const File& file, std::uint8_t* data, std::size_t n, std::uint64_t offset) {
  while (n > 0) {
    const ssize_t got = ::pread(file.fd(), data, n, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      RaiseFileFault();
    }
    if (got == 0) Raise(err::kInputPastEndOfFile);
    data += got;
    n -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
}

void WriteFully(const File& file, const std::uint8_t* data, std::size_t n, std::uint64_t offset) {
  while (n > 0) {
    const ssize_t put = ::pwrite(file.fd(), data, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      RaiseFileFault();
    }
    data += put;
    n -= static_cast<std::size_t>(put);
    offset += static_cast<std::uint64_t>(put);
  }
}

}  // namespace

// Block k of the source is read before block k of the destination is written, and reads
// never fall behind writes, so one path on both sides is enciphered in place correctly. The
// destination is cut to the source's length last, so a longer earlier file keeps nothing of
// its tail.
std::uint64_t CipherFile(Cipher& cipher, const std::string& source, const std::string& destination) {
  File in(source);
  File out(destination);
  const struct stat source_status = StatusOf(in);
  if (!S_ISREG(source_status.st_mode)) RaiseFileFault();
  const auto length = static_cast<std::uint64_t>(source_status.st_size);
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kFileBlockSize);
  for (std::uint64_t offset = 0; offset < length;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(kFileBlockSize, length - offset));
    ReadFully(in, buffer.get(), n, offset);
    cipher.Apply(buffer.get(), buffer.get(), n);
    WriteFully(out, buffer.get(), n, offset);
    offset += n;
  }
  // Only a regular file has a length to cut (a device such as /dev/null has none).
  if (S_ISREG(StatusOf(out).st_mode) && ::ftruncate(out.fd(), static_cast<off_t>(length)) != 0) RaiseFileFault();
  in.Close();
  out.Close();
  return length;
}

}  // namespace narwick::rc4
