// clsHuffmanCompression: class shell over the HE3 codec, with its byte-array, string and
// file members, events and errors.
#include "narwick/compress/huffman_compression.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "compress/common/destination_check.h"
#include "compress/huffman/he3_file.h"
#include "compress/huffman/huffman_codec.h"
#include "compress/huffman/huffman_messages.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes at indexes 0 .. len - 1 that the array has. Index 0 must exist when the array
// has any index 0 or above; nullopt when the lower bound lies above 0.
std::optional<Bytes> LeadingBytes(const SafeArray& array, std::int64_t len) {
  if (array.Dims() == 0) return Bytes();
  if (array.Dims() != 1 || array.LBound() > 0) return std::nullopt;
  const std::int64_t lbound = array.LBound();
  const std::int64_t ubound = array.UBound();
  const std::int64_t last = std::min(ubound, len - 1);
  Bytes all = array.ToBytes();
  if (last < 0) return Bytes();
  // Storage starts at the lower bound, so index i sits at offset i - lbound.
  const auto first = static_cast<std::size_t>(-lbound);
  const auto end = static_cast<std::size_t>(last - lbound + 1);
  return Bytes(all.begin() + static_cast<std::ptrdiff_t>(first), all.begin() + static_cast<std::ptrdiff_t>(end));
}

// Every element from index 0 on: what the decoder may read (header and table are read
// wherever they lie, the body up to ByteLen). Raises 9 when there is no index 0.
Bytes BytesFromIndexZero(const SafeArray& array) {
  if (array.Dims() != 1 || array.LBound() > 0 || array.UBound() < 0) Raise(err::kSubscriptOutOfRange);
  Bytes all = array.ToBytes();
  all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(-static_cast<std::int64_t>(array.LBound())));
  return all;
}

// Raises the decoder's failure statuses as the class does; returns for kOk and kUnchanged.
void RaiseForStatus(huffman::DecodeStatus status) {
  switch (status) {
    case huffman::DecodeStatus::kOk:
    case huffman::DecodeStatus::kUnchanged:
      return;
    case huffman::DecodeStatus::kBadIdentification:
      Raise(err::kObjectError, huffman::kIdentificationSource, huffman::kIdentificationDescription);
    case huffman::DecodeStatus::kChecksumMismatch:
      Raise(err::kObjectError, huffman::kChecksumSource, huffman::kChecksumDescription);
    case huffman::DecodeStatus::kOutOfMemory:
      Raise(err::kOutOfMemory);
    case huffman::DecodeStatus::kSubscriptOutOfRange:
      break;
  }
  Raise(err::kSubscriptOutOfRange);
}

// The decoded bytes; nullopt: leave the data as it was.
std::optional<Bytes> TakeDecoded(huffman::DecodeResult result) {
  RaiseForStatus(result.status);
  if (result.status == huffman::DecodeStatus::kUnchanged) return std::nullopt;
  return std::move(result.bytes);
}

std::filesystem::path NativePath(const String& path) { return std::filesystem::path(ToUtf8(path)); }

// FileIsPresent: the length of the file can be read (by the runtime, not by fileTools).
bool FileIsPresent(const String& path) {
  std::error_code ec;
  const auto p = NativePath(path);
  if (!std::filesystem::is_regular_file(p, ec)) return false;
  static_cast<void>(std::filesystem::file_size(p, ec));
  return !ec;
}

}  // namespace

struct clsHuffmanCompression::Progress {
  clsHuffmanCompression* owner;
  void operator()(std::int16_t percent) const { owner->RaiseFileProgress(percent); }
};

clsHuffmanCompression::clsHuffmanCompression() {
  // fileTools is made once with faults ignored; when that fails it stays empty and the file
  // members fail through their handlers.
  trap::Skip([&] { file_tools_ = CreateFileSystemTools(); });
}

clsHuffmanCompression::~clsHuffmanCompression() = default;

const frame::ClassInfo& clsHuffmanCompression::TypeInfo() const {
  static const frame::ClassInfo info =
      frame::MemberTable<clsHuffmanCompression>("clsHuffmanCompression")
          .Method("EncodeByte", &clsHuffmanCompression::EncodeByte, {"ByteArray", "ByteLen"})
          .Method("DecodeByte", &clsHuffmanCompression::DecodeByte, {"ByteArray", "ByteLen"})
          .Method("EncodeString", &clsHuffmanCompression::EncodeString, {"Text"})
          .Method("DecodeString", &clsHuffmanCompression::DecodeString, {"Text"})
          .Method("CompressFile", &clsHuffmanCompression::CompressFile,
                  {"sourceCompressedFile", "destUncompressedFile"})
          .Method("DecompressFile", &clsHuffmanCompression::DecompressFile,
                  {"sourceUncompressedFile", "destCompressedFile"})
          .Event("FileProgress", 1, {{"intPercentage", VbVarType::vbInteger}})
          .Event("ErrorMessage", 2, {{"msgString", VbVarType::vbString}})
          .Build();
  return info;
}

void clsHuffmanCompression::RaiseFileProgress(Integer percentage) {
  if (!events_.HasSinks()) return;
  Variant args[1] = {Variant(percentage)};
  events_.Raise("FileProgress", 1, args);
}

void clsHuffmanCompression::RaiseErrorMessage(const String& message) {
  if (!events_.HasSinks()) return;
  Variant args[1] = {Variant(message)};
  events_.Raise("ErrorMessage", 2, args);
}

void clsHuffmanCompression::EncodeByte(SafeArray& ByteArray, Long& ByteLen) {
  trap::Skip([&] {
    const std::optional<Bytes> input = LeadingBytes(ByteArray, std::max<Long>(ByteLen, 0));
    if (!input) return;
    const Bytes block = huffman::Encode(*input, Progress{this});
    ByteArray = SafeArray::FromBytes(block, 0);
  });
}

void clsHuffmanCompression::DecodeByte(SafeArray& ByteArray, Long& ByteLen) {
  const Bytes data = BytesFromIndexZero(ByteArray);
  std::optional<Bytes> restored = TakeDecoded(huffman::Decode(data, ByteLen, Progress{this}));
  if (restored) ByteArray = SafeArray::FromBytes(*restored, 0);
}

String clsHuffmanCompression::EncodeString(String& Text) {
  const std::vector<Byte> bytes = ToAnsi(Text);
  try {
    return FromAnsi(huffman::Encode(bytes, Progress{this}));
  } catch (const std::bad_alloc&) {
    Raise(err::kOutOfMemory);
  }
}

String clsHuffmanCompression::DecodeString(String& Text) {
  const std::vector<Byte> bytes = ToAnsi(Text);
  std::optional<Bytes> restored =
      TakeDecoded(huffman::Decode(bytes, static_cast<std::int64_t>(Text.size()), Progress{this}));
  return FromAnsi(restored ? *restored : bytes);
}

template <class Work>
VariantBool clsHuffmanCompression::RunFileMember(const String& source, const char16_t* missing,
                                                 const char16_t* failed, Work work) {
  if (!FileIsPresent(source)) {
    RaiseErrorMessage(missing + source + huffman::kClosingQuote);
    return False;
  }
  return trap::Leave(
      False,
      [&]() -> VariantBool {
        if (!file_tools_) Raise(err::kObjectVariableNotSet);
        const Long length = file_tools_->GetFileLength(source);
        // The check looks at the source's folder, as the class always has.
        if (!compress::CheckDestination(file_tools_, compress::MissingFileTools::kLeaveEmpty, source, length,
                                        [this](const String& m) { RaiseErrorMessage(m); })) {
          return False;
        }
        Progress progress{this};
        return work(progress) ? True : False;
      },
      [&](const RuntimeError& e) { RaiseErrorMessage(failed + e.description() + huffman::kClosingQuote); });
}

VariantBool clsHuffmanCompression::CompressFile(String& sourceCompressedFile, String& destUncompressedFile) {
  return RunFileMember(sourceCompressedFile, huffman::kCompressSourceMissing, huffman::kCompressFailed,
                       [&](Progress& progress) {
                         huffman::EncodeFile(sourceCompressedFile, destUncompressedFile, progress, [&] {
                           if (FileIsPresent(destUncompressedFile)) file_tools_->DeleteFile(destUncompressedFile);
                         });
                         return true;
                       });
}

VariantBool clsHuffmanCompression::DecompressFile(String& sourceUncompressedFile, String& destCompressedFile) {
  return RunFileMember(sourceUncompressedFile, huffman::kDecompressSourceMissing, huffman::kDecompressFailed,
                       [&](Progress& progress) {
                         if (file_tools_->FileExists(destCompressedFile)) {
                           file_tools_->DeleteFile(destCompressedFile);
                           if (file_tools_->FileExists(destCompressedFile)) {
                             RaiseErrorMessage(huffman::kTargetLocked + destCompressedFile + huffman::kClosingQuote);
                             return false;
                           }
                         }
                         RaiseForStatus(huffman::DecodeFile(sourceUncompressedFile, destCompressedFile, progress));
                         return true;
                       });
}

NARWICK_REGISTER_CLASS(clsHuffmanCompression);

}  // namespace narwick
