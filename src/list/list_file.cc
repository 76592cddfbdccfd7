#include "list/list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "frame/file_writing.h"

namespace narwick::list {
namespace {

constexpr std::size_t kBlockSize = 1 << 16;

}  // namespace

ReplacingFileWriter::~ReplacingFileWriter() { Abandon(); }

void ReplacingFileWriter::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool ReplacingFileWriter::Open(const std::string& path) {
  Abandon();
  if (frame::IsSpecialFile(path.c_str())) {
    target_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    buffer_.clear();
    return fd_ >= 0;
  }
  // Replace what a symbolic link points at, not the link itself, also when that file does not
  // exist yet (opening the link would create it). A loop of links cannot be opened.
  const std::optional<std::filesystem::path> target = frame::ThroughLinks(path);
  if (!target || target->filename().empty()) return false;
  target_ = target->string();
  // Beside the target under its own name, unless that leaves the name too long for the folder.
  constexpr std::string_view kTempSuffix = ".tmp-XXXXXX";
  std::string pattern = target_ + std::string(kTempSuffix);
  if (target->filename().string().size() + kTempSuffix.size() > NAME_MAX) {
    pattern = (target->parent_path() / kTempSuffix).string();
  }
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = ::mkstemp(name.data());
  if (fd_ < 0) return false;
  temp_ = name.data();
  ::fchmod(fd_, frame::ReplacementMode(target_.c_str()));
  buffer_.clear();
  buffer_.reserve(kBlockSize);
  return true;
}

bool ReplacingFileWriter::Flush() {
  if (buffer_.empty()) return true;
  bool ok = frame::WriteAll(fd_, buffer_.data(), buffer_.size()) == 0;
  buffer_.clear();
  return ok;
}

bool ReplacingFileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return false;
  if (buffer_.size() + bytes.size() > kBlockSize && !Flush()) return false;
  if (bytes.size() >= kBlockSize) return frame::WriteAll(fd_, bytes.data(), bytes.size()) == 0;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  return true;
}

bool ReplacingFileWriter::Commit() {
  if (fd_ < 0) return false;
  // A device or pipe written into has nothing to sync or rename.
  const bool replacing = !temp_.empty();
  if (!Flush() || (replacing && ::fsync(fd_) != 0)) {
    Abandon();
    return false;
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || (replacing && ::rename(temp_.c_str(), target_.c_str()) != 0)) {
    Abandon();
    return false;
  }
  temp_.clear();
  return true;
}

RecordReader::~RecordReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool RecordReader::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  block_.resize(std::max(kBlockSize - kBlockSize % record_size_, record_size_));
  return true;
}

const std::uint8_t* RecordReader::Next() {
  if (fd_ < 0 || failed_) return nullptr;
  if (end_ - begin_ < record_size_) {
    // Keep the partial record at the front and fill the rest of the block.
    std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (!at_end_ && end_ < block_.size()) {
      ssize_t n = ::read(fd_, block_.data() + end_, block_.size() - end_);
      if (n < 0) {
        if (errno == EINTR) continue;
        failed_ = true;
        return nullptr;
      }
      if (n == 0) at_end_ = true;
      end_ += static_cast<std::size_t>(n);
    }
    if (end_ < record_size_) return nullptr;
  }
  const std::uint8_t* record = block_.data() + begin_;
  begin_ += record_size_;
  return record;
}

}  // namespace narwick::list
