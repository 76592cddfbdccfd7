// clsLZCompression: class shell, events and the string members over the codec core.
#include "narwick/compress/lz_compression.h"

#include <cstring>
#include <vector>

#include "compress/common/short_copy.h"
#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_split_encoder.h"
#include "compress/lz/lz_format.h"
#include "compress/lz/lz_progress.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/file_system_tools.h"
#include "narwick/frame/variant.h"

namespace narwick {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Each 16-bit character as two bytes, low byte first, with no conversion.
Bytes Unpack(const String& text) {
  Bytes bytes(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  return bytes;
}

// Two bytes per character, the first in the low half. A String holds 16-bit units only, so
// an odd last byte is not carried (it is the container's trailing zero, or the zero that
// stands for the uncoded last byte, and no reader needs it).
String Pack(const std::uint8_t* bytes, std::size_t size) {
  String text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return text;
}

// The fixed-size output array of CompressString: a write past its end fails the member.
struct FixedSink {
  std::uint8_t* out;
  std::size_t used;
  std::size_t capacity;
  bool Put(const std::uint8_t* data, std::size_t size) {
    if (size > capacity - used) return false;
    compress::CopyShort(out + used, data, size);  // the coder's groups: 17 bytes at most
    used += size;
    return true;
  }
};

// The output of DecompressString grows as bytes are produced, never ahead of the data.
struct GrowingSink {
  Bytes bytes;
  bool Put(const std::uint8_t* data, std::size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
};

}  // namespace


clsLZCompression::clsLZCompression() : codec_(std::make_unique<lz::Codec>()) {
  // fileTools is made with faults ignored; a later use makes it again when this failed.
  trap::Skip([&] { file_tools_ = CreateFileSystemTools(); });
}

clsLZCompression::~clsLZCompression() = default;

const frame::ClassInfo& clsLZCompression::TypeInfo() const {
  static const frame::ClassInfo info =
      frame::MemberTable<clsLZCompression>("clsLZCompression")
          .Method("CompressString", &clsLZCompression::CompressString, {"strInput"})
          .Method("DecompressString", &clsLZCompression::DecompressString, {"strInput"})
          .Method("LZFileCompress", &clsLZCompression::LZFileCompress,
                  {"inputUncompressedFile", "outputCompressedFile"})
          .Method("LZFileDecompress", &clsLZCompression::LZFileDecompress,
                  {"inputCompressedFile", "outputUncompressedFile"})
          .Method("CompressFile", &clsLZCompression::CompressFile,
                  {"uncompressedInputFile", "compressedOutputFile"})
          .Method("DecompressFile", &clsLZCompression::DecompressFile,
                  {"compressedInputFile", "uncompressedOutputFile"})
          .Event("FileProgress", 1, {{"sngPercentage", VbVarType::vbSingle}})
          .Event("ErrorMessage", 2, {{"msgString", VbVarType::vbString}})
          .Build();
  return info;
}

FileSystemTools& clsLZCompression::Tools() {
  if (!file_tools_) file_tools_ = CreateFileSystemTools();
  return *file_tools_;
}

void clsLZCompression::RaiseFileProgress(Single percentage) {
  if (!events_.HasSinks()) return;
  Variant args[1] = {Variant(percentage)};
  events_.Raise("FileProgress", 1, args);
}

void clsLZCompression::RaiseErrorMessage(const String& message) {
  if (!events_.HasSinks()) return;
  Variant args[1] = {Variant(message)};
  events_.Raise("ErrorMessage", 2, args);
}

void LzProgress::operator()(std::uint64_t done) const {
  owner->RaiseFileProgress(static_cast<Single>(static_cast<double>(done) / total * 100.0));
}

String clsLZCompression::CompressString(String& strInput) {
  return trap::Leave(String(), [&] {
    const Bytes bytes = Unpack(strInput);
    // U = N - 1: the last byte is not coded. The array holds U + 12 bytes: header, body and
    // the trailing zero must fit, or the member fails.
    const std::int64_t coded = static_cast<std::int64_t>(bytes.size()) - 1;
    if (coded + 12 > INT32_MAX) Raise(err::kOverflow);
    const std::size_t capacity = static_cast<std::size_t>(coded + 12);
    Bytes out(capacity, 0);
    std::memcpy(out.data(), lz::kSignature.data(), lz::kSignature.size());
    lz::StoreStringCount(static_cast<std::int32_t>(coded), out.data() + lz::kCountOffset);

    FixedSink sink{out.data(), lz::kHeaderSize, capacity};
    const std::span<const std::uint8_t> input(bytes.data(), coded > 0 ? bytes.size() - 1 : 0);
    LzProgress progress{this, static_cast<double>(coded)};
    if (!lz::EncodeBuffer(*codec_, input, sink, progress)) return String();
    // The array shrinks to the written bytes plus one zero byte (which may be one past the
    // original end when the body filled it exactly).
    out.resize(sink.used + lz::kStringTrailerSize, 0);
    String result = Pack(out.data(), out.size());
    RaiseFileProgress(100);  // the coder's closing event and the member's are one
    return result;
  });
}

String clsLZCompression::DecompressString(String& strInput) {
  return trap::Leave(String(), [&] {
    const Bytes bytes = Unpack(strInput);
    if (bytes.size() < 12 || !lz::HasSignature(bytes.data())) return String();
    const std::int32_t count = lz::LoadStringCount(bytes.data() + lz::kCountOffset);
    // The output array would be indices 0..count: -1 and below cannot be made.
    if (count < 0) return String();
    const auto wanted = static_cast<std::uint64_t>(count);
    lz::MemorySource source(std::span<const std::uint8_t>(bytes).subspan(lz::kHeaderSize));
    GrowingSink sink;
    LzProgress progress{this, static_cast<double>(count)};
    // A match may write index `count` (the array's last), but not beyond.
    const lz::DecodeStatus status = codec_->Decode(source, wanted, sink, progress, wanted + 1);
    if (status != lz::DecodeStatus::kOk) return String();
    sink.bytes.resize(wanted + 1, 0);
    String result = Pack(sink.bytes.data(), sink.bytes.size());
    RaiseFileProgress(100);
    return result;
  });
}

NARWICK_REGISTER_CLASS(clsLZCompression);

}  // namespace narwick
