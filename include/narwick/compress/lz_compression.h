// clsLZCompression: the "QVXLZ1" sliding-window compressor for strings and files, with
// progress and error events.
#pragma once

#include <memory>

#include "narwick/frame/events.h"
#include "narwick/frame/object.h"
#include "narwick/frame/types.h"

namespace narwick {

class FileSystemTools;
namespace lz {
class Codec;
}

// Events (interface __clsLZCompression), raised synchronously inside the running member:
//   FileProgress(sngPercentage As Single)  dispatch id 1, by reference: percent done
//   ErrorMessage(msgString As String)      dispatch id 2, by reference: a message
// One object runs one operation at a time; the codec state (ring and chains) is the
// object's own and is reset at the start of every compression.
class clsLZCompression final : public frame::AutomationObject {
 public:
  clsLZCompression();
  ~clsLZCompression() override;

  const frame::ClassInfo& TypeInfo() const override;
  frame::EventSource* Events() override { return &events_; }

  // The string container of strInput's characters, two bytes each (low byte first), packed
  // two bytes per character; the odd trailing zero byte of the container is not carried.
  // "" when the compressed form does not fit in the input's size plus 11 bytes (text with no
  // repeats), with no closing FileProgress. strInput is not changed.
  String CompressString(String& strInput);
  // The text of a string container: count + 1 bytes packed two per character, so the
  // input's uncoded last byte comes back as zero. "" without events for input that is not
  // a container (shorter than 6 characters, other signature); "" for a stored count below 0
  // and for damaged or truncated data. strInput is not changed.
  String DecompressString(String& strInput);

  // Compresses a file after checking the input exists and the destination can take it.
  // True when the file was compressed; problems are reported by ErrorMessage only.
  VariantBool LZFileCompress(String& inputUncompressedFile, String& outputCompressedFile);
  // Restores a file likewise. True when the worker reported no error, which includes an
  // input that is not a file container (the output is then left empty).
  VariantBool LZFileDecompress(String& inputCompressedFile, String& outputUncompressedFile);
  // The worker behind LZFileCompress: true when an error occurred, false when the file was
  // compressed. Deletes an existing output first; a target that cannot be deleted is
  // reported and the work goes on.
  VariantBool CompressFile(String uncompressedInputFile, String compressedOutputFile);
  // The worker behind LZFileDecompress: true when an error occurred.
  VariantBool DecompressFile(String compressedInputFile, String uncompressedOutputFile);

 private:
  friend struct LzProgress;
  FileSystemTools& Tools();  // fileTools, made first when absent
  void RaiseFileProgress(Single percentage);
  void RaiseErrorMessage(const String& message);
  // Runs LZFileCompress / LZFileDecompress around a worker.
  template <class Worker>
  VariantBool RunFileMember(const String& input, const String& output, bool compress, Worker worker);

  std::unique_ptr<lz::Codec> codec_;             // textBuffer, chainNext, chainPrev, ...
  std::shared_ptr<FileSystemTools> file_tools_;  // fileTools
  frame::EventSource events_;
};

}  // namespace narwick
