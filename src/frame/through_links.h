// The file a path names through its symbolic links, for writers that replace a file by renaming
// a new one over it: the file is replaced and the link kept. A dangling link names the file it
// would create; a loop of links names nothing.
#pragma once

#include <filesystem>
#include <optional>

namespace narwick::frame {

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
