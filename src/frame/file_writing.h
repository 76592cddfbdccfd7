// Helpers for the library's and the tool's file writers.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <optional>

namespace narwick::frame {

// Writes all `size` bytes, going on after interruptions: 0, or the errno of the fault.
inline int WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t wrote = ::write(fd, bytes, size);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return 0;
}

// The mode a newly created file gets: 0666 less the umask, which can only be read by setting it.
inline mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// The mode for a file that replaces `path`: that of the regular file there, or a new file's.
inline mode_t ReplacementMode(const char* path) {
  struct stat existing {};
  return ::stat(path, &existing) == 0 && S_ISREG(existing.st_mode) ? static_cast<mode_t>(existing.st_mode & 07777)
                                                                    : NewFileMode();
}

// A device, a pipe or a socket in a file's place: writers write into it and never rename over
// it (a rename over /dev/null would put a plain file there).
inline bool IsSpecialFile(const char* path) {
  struct stat existing {};
  return ::stat(path, &existing) == 0 && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode);
}

// The file a path names through its symbolic links, for writers that replace a file by renaming
// a new one over it: the file is replaced and the link kept. A dangling link names the file it
// would create; a loop of links names nothing.
inline std::optional<std::filesystem::path> ThroughLinks(std::filesystem::path path) {
  constexpr int kMostLinks = 40;  // as the kernel's own limit
  for (int hop = 0; hop <= kMostLinks; ++hop) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return path;
    const std::filesystem::path next = std::filesystem::read_symlink(path, ec);
    if (ec) return std::nullopt;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return std::nullopt;
}

}  // namespace narwick::frame
