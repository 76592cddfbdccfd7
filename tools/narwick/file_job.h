// The compress / decompress jobs of `narwick lz` and `narwick huffman`: the class writes to a
// temporary file beside the target, which is renamed over the target only on success, so a
// failed run leaves no partial output and an existing target untouched. ErrorMessage events go
// to standard error; FileProgress drives a progress bar on a terminal.
#pragma once

#include <functional>
#include <string>

#include "command.h"

#include "narwick/frame/events.h"
#include "narwick/frame/types.h"

namespace narwick::cli {

struct FileJobOptions {
  std::string input;
  std::string output;
  bool quiet = false;
};

// Runs `job(input, temporary)` with the object's events (FileProgress dispid 1, ErrorMessage
// dispid 2) shown to the user; `job` answers whether it succeeded. Returns the exit status.
int RunFileJob(const FileJobOptions& options, const char* label, frame::EventSource& events,
               const std::function<bool(String input, String temporary)>& job);

// Adds `command` with its compress, decompress and info subcommands; `packed` names the
// compressed file in help texts ("HE3 block"), `packed_short` in argument help ("block").
// `run(options, compress)` and `info(path)` give the exit status.
void AddFileCommands(CLI::App& app, int& exit_code, const char* command, const char* description,
                     const std::string& packed, const std::string& packed_short,
                     int (*run)(const FileJobOptions& options, bool compress), int (*info)(const std::string& path));

}  // namespace narwick::cli
