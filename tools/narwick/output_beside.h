// Results are written to a file beside their target and moved over it only when complete, so
// that a failure, Ctrl-C, SIGTERM or SIGHUP never leaves a partial output behind, and an
// existing target stays as it was until the new one is whole. A symbolic link stays and the
// file it names is replaced; a device or a pipe (/dev/null, /dev/stdout) is written into once
// the result is complete, from a file in the temporary folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace narwick::cli {

class OutputBeside {
 public:
  // kNow makes a new empty file in the target's folder (one file system, so the final move is
  // a rename), and throws Failure when it cannot. kByWriter only names one there, for a writer
  // that creates it and reports its own faults (the compressors check the folder first).
  // Either way a target that is a folder is refused with Failure.
  enum class Create : bool { kNow, kByWriter };
  explicit OutputBeside(const std::filesystem::path& target, Create create = Create::kNow);
  ~OutputBeside();  // removes the file unless committed
  OutputBeside(const OutputBeside&) = delete;
  OutputBeside& operator=(const OutputBeside&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Gives the file the mode of the target it replaces (or a new file's mode) and renames it over
  // the target (or copies it into a device or pipe). Throws Failure naming the target when that
  // fails; the file is then removed.
  void Commit();

 private:
  std::filesystem::path target_;  // the file replaced, through its symbolic links
  bool into_special_;             // the target is a device, a pipe or a socket, written into
  std::filesystem::path path_;
  int slot_ = -1;  // its place among the files removed on a signal; -1 when committed or not listed
};

// Writes `bytes` to `target` through an OutputBeside; throws Failure naming the target.
void WriteFileBeside(const std::string& target, std::string_view bytes);

}  // namespace narwick::cli
