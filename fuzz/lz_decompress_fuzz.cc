// Decoding arbitrary bytes as an LZ body: any input ends in a status, never a crash, an
// over-long output or an allocation sized by the stored count. The first byte picks the
// count's origin: the container header that follows (as the string and file readers take it)
// or a small count from the input itself.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_format.h"
#include "compress/lz/lz_recording_sinks.h"

namespace {

struct NoProgress {
  std::uint64_t last = 0;
  void operator()(std::uint64_t done) {
    if (done % narwick::lz::kProgressInterval != 0) std::abort();
    last = done;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static auto codec = std::make_unique<narwick::lz::Codec>();
  const std::uint8_t mode = data[0];
  std::span<const std::uint8_t> rest(data + 1, size - 1);
  std::uint64_t count = 0;
  if (mode % 3 == 0 && rest.size() >= narwick::lz::kHeaderSize) {
    const std::int32_t stored = narwick::lz::LoadStringCount(rest.data() + narwick::lz::kCountOffset);
    if (stored < 0) return 0;  // refused before decoding
    count = static_cast<std::uint64_t>(stored);
    rest = rest.subspan(narwick::lz::kHeaderSize);
  } else if (mode % 3 == 1 && rest.size() >= narwick::lz::kHeaderSize) {
    const std::int32_t stored = narwick::lz::LoadFileLength(rest.data() + narwick::lz::kCountOffset);
    if (stored < 0) return 0;
    count = static_cast<std::uint64_t>(stored);
    rest = rest.subspan(narwick::lz::kHeaderSize);
  } else {
    count = mode * 37u;
  }
  const std::uint64_t limit = count + 1;
  narwick::lz::MemorySource source(rest);
  narwick::lz::VectorSink sink;
  NoProgress progress;
  const auto status = codec->Decode(source, count, sink, progress, limit);
  // Output never exceeds the limit, nor what the body can produce (18 bytes per 2 bytes,
  // plus the flag byte); a full decode reaches the count.
  if (sink.bytes.size() > limit || sink.bytes.size() > rest.size() * 9 + 18) std::abort();
  if (status == narwick::lz::DecodeStatus::kOk && sink.bytes.size() < count) std::abort();
  return 0;
}
