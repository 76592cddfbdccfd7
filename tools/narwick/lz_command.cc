// narwick lz compress|decompress|info: LZ file containers through clsLZCompression.
//
// compress / decompress have the class write to a temporary file beside the target and
// rename it over the target only on success, so a failed run leaves no partial output (and
// an existing target untouched). Every ErrorMessage goes to standard error; FileProgress
// drives a progress bar when standard error is a terminal. A decompress input without the
// "QVXLZ1" signature is refused here: the class would restore it to an empty file.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "command.h"
#include "file_job.h"
#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_format.h"
#include "narwick/compress/lz_compression.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/variant.h"

namespace narwick::cli::lz_command {
namespace {

namespace fs = std::filesystem;

bool HasSignature(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::uint8_t head[6] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  return in.gcount() == 6 && lz::HasSignature(head);
}

int RunJob(const FileJobOptions& options, bool compress) {
  if (!compress && fs::is_regular_file(options.input) && !HasSignature(options.input)) {
    throw Failure("'" + options.input + "' is not an LZ file container (no \"QVXLZ1\" signature)");
  }
  auto coder = std::make_shared<clsLZCompression>();
  return RunFileJob(options, compress ? "compression" : "decompression", *coder->Events(),
                    [&](String input, String output) {
                      return static_cast<bool>(compress ? coder->LZFileCompress(input, output)
                                                        : coder->LZFileDecompress(input, output));
                    });
}

struct CountingSink {
  std::uint64_t bytes = 0;
  bool Put(const std::uint8_t*, std::size_t size) {
    bytes += size;
    return true;
  }
};

struct NoProgress {
  void operator()(std::uint64_t) {}
};

class FileChunks {
 public:
  explicit FileChunks(std::ifstream& in) : in_(in), buffer_(1 << 16) {}
  std::span<const std::uint8_t> Next() {
    in_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(buffer_.size()));
    return {buffer_.data(), static_cast<std::size_t>(in_.gcount())};
  }

 private:
  std::ifstream& in_;
  std::vector<std::uint8_t> buffer_;
};

// Describes a container without writing anything: the body is decoded into a counter.
int RunInfo(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot open '" + path + "'");
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  std::uint8_t header[lz::kHeaderSize] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  if (in.gcount() < static_cast<std::streamsize>(sizeof header) || !lz::HasSignature(header)) {
    throw Failure("'" + path + "' is not an LZ file container (no \"QVXLZ1\" signature)");
  }
  const std::int32_t stored = lz::LoadFileLength(header + lz::kCountOffset);
  auto codec = std::make_unique<lz::Codec>();
  FileChunks source(in);
  CountingSink sink;
  NoProgress progress;
  const auto status = stored > 0 ? codec->Decode(source, static_cast<std::uint64_t>(stored), sink, progress)
                                 : lz::DecodeStatus::kOk;
  std::printf("file:            %s\n", path.c_str());
  std::printf("format:          QVXLZ1 file container (4096-byte window, matches of 3..18 bytes)\n");
  if (stored >= 0) {
    std::printf("stored length:   %d bytes\n", stored);
  } else {
    std::printf("stored length:   %d (negative: restores nothing)\n", stored);
  }
  std::printf("container size:  %llu bytes (header 10, body %llu)\n", static_cast<unsigned long long>(size),
              static_cast<unsigned long long>(size - lz::kHeaderSize));
  std::printf("checksum:        none (the format carries no checksum)\n");
  if (stored > 0) {
    std::printf("ratio:           %.3f (container / stored length)\n", static_cast<double>(size) / stored);
  }
  if (status == lz::DecodeStatus::kOk) {
    std::printf("body:            complete, restores %d bytes\n", std::max(stored, 0));
    return kExitSuccess;
  }
  std::printf("body:            truncated after %llu of %d bytes\n", static_cast<unsigned long long>(sink.bytes),
              stored);
  std::fflush(stdout);
  std::fprintf(stderr, "narwick: '%s' is truncated: its body ends before the stored length\n", path.c_str());
  return kExitFailure;
}

void Setup(CLI::App& app, int& exit_code) {
  AddFileCommands(app, exit_code, "lz", "LZ (\"QVXLZ1\") file containers", "LZ file container", "container", RunJob, RunInfo);
}

}  // namespace
}  // namespace narwick::cli::lz_command

NARWICK_COMMAND(lz, narwick::cli::lz_command::Setup);
