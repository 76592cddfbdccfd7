// clsLZCompression's file members: the destination checks, then the codec streamed between
// two buffered files in constant memory.
//
// Decisions where the original leaves the outcome open:
// - A compressed file that ends before the stored length is produced is a fault here
//   (run-time error 62, "Input past end of file"), reported with the decompress-fault
//   message; the original read on past the end and wrote made-up bytes.
// - Both files are always closed when a worker stops on a fault.
// - A file longer than a Long can count (2 GiB and up) cannot be stored in the container's
//   32-bit length: compressing it is an overflow fault (6).
#include <cstring>

#include "compress/common/buffered_file.h"
#include "compress/common/destination_check.h"
#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_split_encoder.h"
#include "compress/lz/lz_format.h"
#include "compress/lz/lz_progress.h"
#include "compress/lz/lz_messages.h"
#include "frame/trap.h"
#include "narwick/compress/lz_compression.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/host.h"

namespace narwick {

namespace {

// The container's body to the end of the file, refusing to run dry: reading past the end is
// fault 62.
class StrictFileSource {
 public:
  StrictFileSource(const compress::InputFile& file, std::uint64_t from) : range_(file, from, file.Length()) {}
  std::span<const std::uint8_t> Next() {
    auto chunk = range_.Next();
    if (chunk.empty()) Raise(err::kInputPastEndOfFile);
    return chunk;
  }

 private:
  compress::RangeReader range_;
};

}  // namespace


template <class Worker>
VariantBool clsLZCompression::RunFileMember(const String& input, const String& output, bool compress,
                                           Worker worker) {
  DoEvents();
  DoEvents();
  const bool done = trap::Leave(
      false,
      [&] {
        if (!Tools().FileExists(input)) {
          RaiseErrorMessage(lz::MissingInputMessage(input));
          return false;
        }
        const Long size = Tools().GetFileLength(input);
        const bool accepted = compress::CheckDestination(
            file_tools_, compress::MissingFileTools::kMake, output, size,
            [&](const String& message) { RaiseErrorMessage(message); });
        if (!accepted) return false;
        return !static_cast<bool>(worker());
      },
      [&](const RuntimeError& error) {
        RaiseErrorMessage(compress ? lz::CompressFaultMessage(error.description())
                                   : lz::DecompressFaultMessage(error.description()));
      });
  file_tools_.reset();  // released after every call; made again on the next use
  return done;
}

VariantBool clsLZCompression::LZFileCompress(String& inputUncompressedFile, String& outputCompressedFile) {
  return RunFileMember(inputUncompressedFile, outputCompressedFile, true,
                       [&] { return CompressFile(inputUncompressedFile, outputCompressedFile); });
}

VariantBool clsLZCompression::LZFileDecompress(String& inputCompressedFile, String& outputUncompressedFile) {
  return RunFileMember(inputCompressedFile, outputUncompressedFile, false,
                       [&] { return DecompressFile(inputCompressedFile, outputUncompressedFile); });
}

VariantBool clsLZCompression::CompressFile(String uncompressedInputFile, String compressedOutputFile) {
  return trap::Leave(
      true,
      [&] {
        compress::InputFile input(uncompressedInputFile);
        try {
          Tools().DeleteFile(compressedOutputFile);
        } catch (const RuntimeError&) {
          RaiseErrorMessage(lz::CompressTargetLockedMessage(compressedOutputFile));
        } catch (const std::bad_alloc&) {
          RaiseErrorMessage(lz::CompressTargetLockedMessage(compressedOutputFile));
        }
        // Parts coded on every processor leave none for a write-behind thread.
        compress::BufferedWriter output(compressedOutputFile, lz::WorthSplitting(input.Length(), lz::SplitOptions{})
                                                                  ? compress::BufferedWriter::WriteBehind::kNever
                                                                  : compress::BufferedWriter::WriteBehind::kWhenLarge);
        if (input.Length() > static_cast<std::uint64_t>(INT32_MAX)) Raise(err::kOverflow);
        const auto total = static_cast<std::int32_t>(input.Length());
        std::uint8_t header[lz::kHeaderSize];
        std::memcpy(header, lz::kSignature.data(), lz::kSignature.size());
        lz::StoreFileLength(total, header + lz::kCountOffset);
        output.Put(header, sizeof header);
        LzProgress progress{this, static_cast<double>(total)};
        // Large files are coded on several threads, each part read at its offset.
        lz::EncodeFrom<compress::RangeReader>(
            *codec_, input.Length(),
            [&input](std::uint64_t offset) { return compress::RangeReader(input, offset, input.Length()); }, output,
            progress);
        RaiseFileProgress(100);
        output.Close();
        input.Close();
        return false;
      },
      [&](const RuntimeError& error) { RaiseErrorMessage(lz::CompressFaultMessage(error.description())); });
}

VariantBool clsLZCompression::DecompressFile(String compressedInputFile, String uncompressedOutputFile) {
  return trap::Leave(
      true,
      [&] {
        compress::InputFile input(compressedInputFile);
        try {
          Tools().DeleteFile(uncompressedOutputFile);
        } catch (const RuntimeError&) {
          RaiseErrorMessage(lz::DecompressTargetLockedMessage(uncompressedOutputFile));
        } catch (const std::bad_alloc&) {
          RaiseErrorMessage(lz::DecompressTargetLockedMessage(uncompressedOutputFile));
        }
        compress::BufferedWriter output(uncompressedOutputFile);
        // A header cut short reads as zero bytes, so it can only fail the signature test or
        // store a length whose body is missing.
        std::uint8_t header[lz::kHeaderSize] = {};
        input.ReadAt(0, header, sizeof header);
        if (lz::HasSignature(header)) {
          const std::int32_t count = lz::LoadFileLength(header + lz::kCountOffset);
          if (count > 0) {
            StrictFileSource source(input, lz::kHeaderSize);
            LzProgress progress{this, static_cast<double>(count)};
            codec_->Decode(source, static_cast<std::uint64_t>(count), output, progress);
          }
          RaiseFileProgress(100);
        }
        output.Close();
        input.Close();
        return false;
      },
      [&](const RuntimeError& error) { RaiseErrorMessage(lz::DecompressFaultMessage(error.description())); });
}

}  // namespace narwick
