// narwick huffman compress|decompress|info: HE3 blocks through clsHuffmanCompression.
//
// compress / decompress have the class write to a temporary file beside the target and
// rename it over the target only on success, so a failed run leaves no partial output and
// an existing target untouched. Every ErrorMessage goes to standard error; FileProgress
// drives a progress bar when standard error is a terminal (never with --quiet).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "file_job.h"
#include "compress/huffman/he3_format.h"
#include "compress/huffman/huffman_codec.h"
#include "narwick/compress/huffman_compression.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/variant.h"

namespace narwick::cli::huffman_command {
namespace {

namespace fs = std::filesystem;

int RunJob(const FileJobOptions& options, bool compress) {
  // The class checks the folder of its source, not of its destination, and would report a
  // missing destination folder only as "Path not found".
  const fs::path folder = fs::path(options.output).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    throw Failure("the folder '" + folder.string() + "' of '" + options.output + "' does not exist");
  }
  auto coder = std::make_shared<clsHuffmanCompression>();
  return RunFileJob(options, compress ? "compression" : "decompression", *coder->Events(),
                    [&](String input, String output) {
                      return static_cast<bool>(compress ? coder->CompressFile(input, output)
                                                        : coder->DecompressFile(input, output));
                    });
}

// Describes a block from its header and code table, without decoding the body.
int RunInfo(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot open '" + path + "'");
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) throw Failure("cannot read the size of '" + path + "'");
  std::vector<std::uint8_t> head(huffman::kTableOffset + huffman::kEntrySize * 256);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  huffman::BlockInfo info = huffman::Inspect(head);
  if (info.kind == huffman::BlockInfo::Kind::kStored) {
    info.stored_length = static_cast<std::int64_t>(size) - static_cast<std::int64_t>(huffman::kStoredHeaderSize);
  }
  if (info.kind == huffman::BlockInfo::Kind::kNotABlock || info.kind == huffman::BlockInfo::Kind::kTruncated) {
    throw Failure("'" + path + "' is not an HE3 block (no \"HE3\" or \"HE0\" header)");
  }
  std::printf("file:            %s\n", path.c_str());
  switch (info.kind) {
    case huffman::BlockInfo::Kind::kNotABlock:
    case huffman::BlockInfo::Kind::kTruncated:
      break;
    case huffman::BlockInfo::Kind::kStored:
      std::printf("format:          HE0 stored form (bytes kept as they were)\n");
      std::printf("stored length:   %lld bytes\n", static_cast<long long>(info.stored_length));
      std::printf("checksum:        none (the stored form carries none)\n");
      break;
    case huffman::BlockInfo::Kind::kHe3: {
      int longest = 0;
      const std::size_t listed = std::min<std::size_t>(static_cast<std::size_t>(std::max(info.entries, 0)), 256);
      for (std::size_t e = 0; e < listed; ++e) {
        const std::size_t at = huffman::kTableOffset + huffman::kEntrySize * e + 1;
        if (at < head.size()) longest = std::max<int>(longest, head[at]);
      }
      std::printf("format:          HE3 Huffman block\n");
      std::printf("stored length:   %lld bytes\n", static_cast<long long>(info.stored_length));
      std::printf("checksum:        0x%02X (exclusive-or of the stored bytes)\n", info.checksum);
      std::printf("code table:      %d entries, longest code %d bits\n", info.entries, longest);
      break;
    }
  }
  std::printf("block size:      %llu bytes\n", static_cast<unsigned long long>(size));
  if (info.stored_length > 0) {
    std::printf("ratio:           %.3f (block / stored length)\n",
                static_cast<double>(size) / static_cast<double>(info.stored_length));
  }
  return kExitSuccess;
}

void Setup(CLI::App& app, int& exit_code) {
  AddFileCommands(app, exit_code, "huffman", "Huffman (\"HE3\") compressed files", "HE3 block", "block", RunJob, RunInfo);
}

}  // namespace
}  // namespace narwick::cli::huffman_command

NARWICK_COMMAND(huffman, narwick::cli::huffman_command::Setup);
