#include "file_job.h"

#include <unistd.h>

#include <cstdio>

#include "command.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/variant.h"
#include "progress.h"

namespace narwick::cli {

namespace fs = std::filesystem;

fs::path TemporaryBeside(const fs::path& target) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  return folder / ("." + target.filename().string() + ".narwick-" + std::to_string(::getpid()) + ".tmp");
}

int RunFileJob(const FileJobOptions& options, const char* label, frame::EventSource& events,
               const std::function<bool(String input, String temporary)>& job) {
  const fs::path target(options.output);
  if (fs::is_directory(target)) throw Failure("'" + options.output + "' is a folder");
  const fs::path temporary = TemporaryBeside(target);

  ProgressBar bar(label, options.quiet);
  bool reported = false;
  const std::uint32_t cookie = events.Advise([&](EventCall& e) {
    if (e.dispid == 1) {
      bar.Update(CDbl(e.args[0]));
      return;
    }
    // Messages may name the file being written; the user knows it by the target's name.
    std::string message = ToUtf8(CStr(e.args[0]));
    const std::string temp_text = temporary.string();
    for (std::size_t at; (at = message.find(temp_text)) != std::string::npos;) {
      message.replace(at, temp_text.size(), options.output);
    }
    bar.Finish();
    std::fprintf(stderr, "narwick: %s\n", message.c_str());
    reported = true;
  });

  const bool ok = job(FromUtf8(options.input), FromUtf8(temporary.string()));
  events.Unadvise(cookie);
  bar.Finish();
  std::error_code ec;
  if (!ok) {
    fs::remove(temporary, ec);
    if (!reported) std::fprintf(stderr, "narwick: %s failed\n", label);
    return kExitFailure;
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw Failure("cannot replace '" + options.output + "': " + ec.message());
  }
  return kExitSuccess;
}

}  // namespace narwick::cli
