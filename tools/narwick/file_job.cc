#include "file_job.h"

#include <cstdio>
#include <memory>

#include "command.h"
#include "output_beside.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/variant.h"
#include "progress.h"

namespace narwick::cli {

namespace fs = std::filesystem;

// The classes check the folder of a path they are given (clsHuffmanCompression that of its
// source); a bare file name has none and would be refused, so it goes to them as ./name.
fs::path WithFolder(const fs::path& path) { return path.has_parent_path() ? path : fs::path(".") / path; }

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from == to) return;
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
}

int RunFileJob(const FileJobOptions& options, const char* label, frame::EventSource& events,
               const std::function<bool(String input, String temporary)>& job) {
  const fs::path target(options.output);
  std::error_code ec;
  // The classes measure their input before reading it, which a pipe or a device cannot answer.
  const fs::file_status source = fs::status(options.input, ec);
  if (fs::exists(source) && !fs::is_regular_file(source)) {
    throw Failure("'" + options.input + "' is not a regular file; a pipe or device must be saved to a file first");
  }
  // Writing over the input would leave only the result; almost always a slip of the keyboard.
  if (fs::equivalent(options.input, target, ec)) {
    throw Failure("'" + options.output + "' is the input file itself; give another OUT");
  }
  OutputBeside result(target, OutputBeside::Create::kByWriter);
  const fs::path& temporary = result.path();
  const std::string input = WithFolder(options.input).string();

  ProgressBar bar(label, options.quiet);
  bool reported = false;
  const std::uint32_t cookie = events.Advise([&](EventCall& e) {
    if (e.dispid == 1) {
      bar.Update(CDbl(e.args[0]));
      return;
    }
    // Messages name the files by the paths the class was given; the user knows them by the
    // names typed.
    std::string message = ToUtf8(CStr(e.args[0]));
    ReplaceAll(message, temporary.string(), options.output);
    ReplaceAll(message, input, options.input);
    bar.Finish();
    std::fprintf(stderr, "narwick: %s\n", message.c_str());
    reported = true;
  });

  const bool ok = job(FromUtf8(input), FromUtf8(temporary.string()));
  events.Unadvise(cookie);
  bar.Finish();
  if (!ok) {
    if (!reported) std::fprintf(stderr, "narwick: %s failed\n", label);
    return kExitFailure;
  }
  result.Commit();
  return kExitSuccess;
}

void AddFileCommands(CLI::App& app, int& exit_code, const char* command, const char* description,
                     const std::string& packed, const std::string& packed_short,
                     int (*run)(const FileJobOptions& options, bool compress), int (*info)(const std::string& path)) {
  auto* parent = app.add_subcommand(command, description);
  parent->require_subcommand(1);
  // The options live as long as the callbacks that read them.
  struct Arguments {
    FileJobOptions compress;
    FileJobOptions decompress;
    std::string info_path;
  };
  auto arguments = std::make_shared<Arguments>();

  auto* compress = parent->add_subcommand("compress", "Compress IN into the " + packed + " OUT");
  compress->add_option("IN", arguments->compress.input, "file to compress")->required();
  compress->add_option("OUT", arguments->compress.output, packed_short + " to write")->required();
  compress->add_flag("-q,--quiet", arguments->compress.quiet, "no progress bar");
  compress->callback([&exit_code, arguments, run] { exit_code = run(arguments->compress, true); });

  auto* decompress = parent->add_subcommand("decompress", "Restore the " + packed + " IN into OUT");
  decompress->add_option("IN", arguments->decompress.input, packed_short + " to restore")->required();
  decompress->add_option("OUT", arguments->decompress.output, "file to write")->required();
  decompress->add_flag("-q,--quiet", arguments->decompress.quiet, "no progress bar");
  decompress->callback([&exit_code, arguments, run] { exit_code = run(arguments->decompress, false); });

  auto* describe = parent->add_subcommand("info", "Describe an " + packed + " without restoring it");
  describe->add_option("FILE", arguments->info_path, packed_short + " to describe")->required();
  describe->callback([&exit_code, arguments, info] { exit_code = info(arguments->info_path); });
}

}  // namespace narwick::cli
