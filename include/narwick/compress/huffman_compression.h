// clsHuffmanCompression: the static Huffman compressor with the "HE3" block format, for
// byte arrays, strings and files, with progress and error events.
#pragma once

#include <memory>

#include "narwick/frame/events.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"
#include "narwick/frame/types.h"

namespace narwick {

class FileSystemTools;

// Events (interface __clsHuffmanCompression), raised synchronously inside the running member:
//   FileProgress(intPercentage As Integer)  dispatch id 1, by reference: percent done
//   ErrorMessage(msgString As String)       dispatch id 2, by reference: a message (files)
// Progress values climb 1..7 (counting), 7..12 (checksum), 12..100 (body) when encoding and
// 1..89 (body), 89..100 (verifying) when decoding; a value is never raised twice in a row
// and 0 never. The codec keeps no state between calls.
class clsHuffmanCompression final : public frame::AutomationObject {
 public:
  clsHuffmanCompression();
  ~clsHuffmanCompression() override;

  const frame::ClassInfo& TypeInfo() const override;
  frame::EventSource* Events() override { return &events_; }

  // Replaces ByteArray (lower bound 0) by the HE3 block of its first ByteLen bytes, or by
  // the stored form ("HE0" CR and the bytes) when that is shorter to code or the bytes are
  // all one value. ByteLen is read, never written. Never fails: a failing step is skipped
  // (ignore all). Elements past the array's end are not there to encode, a negative ByteLen
  // counts as 0, and an array whose lower bound is above 0 (so that element 0 does not
  // exist) is left as it is.
  void EncodeByte(SafeArray& ByteArray, Long& ByteLen);
  // Replaces ByteArray by the bytes restored from the block in its first ByteLen bytes.
  // Not trapped: a block without the H, E, CR identification or with a version other than
  // 0 or 3 raises -2147221504 from "HuffmanDecode()"; a checksum mismatch raises
  // -2147221504 from "clsHuffman.Decode()"; malformed blocks raise 9 (or 7); the array then
  // keeps its contents. A block whose length field is 0 leaves the array as it is.
  void DecodeByte(SafeArray& ByteArray, Long& ByteLen);
  // EncodeByte over Text's characters as Windows-1252 bytes, the result as one character
  // per byte. Text is not changed.
  String EncodeString(String& Text);
  // DecodeByte likewise; its errors pass to the caller. Text is not changed.
  String DecodeString(String& Text);

  // Compresses the file sourceCompressedFile into destUncompressedFile (the names are the
  // interface's, each naming the opposite kind of file). True on success; every problem is
  // reported by ErrorMessage and gives False. The destination checks run on the source path.
  VariantBool CompressFile(String& sourceCompressedFile, String& destUncompressedFile);
  // Restores the block in sourceUncompressedFile into destCompressedFile, after deleting an
  // existing destination. True on success; problems give ErrorMessage and False.
  VariantBool DecompressFile(String& sourceUncompressedFile, String& destCompressedFile);

 private:
  struct Progress;
  // What both file members share: the source must exist (`missing` names it), the
  // destination check runs on the source's folder, then `work`; a fault ends in
  // ErrorMessage (`failed` and its description) and False.
  template <class Work>
  VariantBool RunFileMember(const String& source, const char16_t* missing, const char16_t* failed, Work work);
  void RaiseFileProgress(Integer percentage);
  void RaiseErrorMessage(const String& message);

  std::shared_ptr<FileSystemTools> file_tools_;  // fileTools; made once at creation
  frame::EventSource events_;
};

}  // namespace narwick
