// Compress then decompress arbitrary bytes: the result must equal the input, the coder must
// agree byte for byte (and progress for progress) with the plain reference transcription,
// also when split into parts of one ring on two threads (inputs longer than one ring).
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_recording_sinks.h"
#include "compress/lz/lz_reference_test_model.h"
#include "compress/lz/lz_split_encoder.h"

using narwick::lz::Recorder;
using narwick::lz::VectorSink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto codec = std::make_unique<narwick::lz::Codec>();
  static auto model = std::make_unique<narwick::lz::reference::Model>();
  std::span<const std::uint8_t> input(data, size);

  narwick::lz::MemorySource source(input);
  VectorSink body;
  Recorder encode_progress;
  if (!codec->Encode(source, body, encode_progress)) std::abort();

  const auto want = model->Encode(data, size);
  if (want.body != body.bytes || want.progress != encode_progress.points) std::abort();

  // Inputs of more than one part; the one-part and empty cases are unit tests, and starting
  // threads for every short input made this target five times slower under the sanitizers.
  narwick::lz::SplitOptions options;
  options.split_from = narwick::lz::kRingSize + 1;
  options.threads = 2;
  options.part_size = narwick::lz::kRingSize;
  options.warm_up = narwick::lz::kRingSize;
  VectorSink split_body;
  Recorder split_progress;
  if (!narwick::lz::EncodeBuffer(*codec, input, split_body, split_progress, options)) std::abort();
  if (split_body.bytes != body.bytes || split_progress.points != encode_progress.points) std::abort();

  narwick::lz::MemorySource body_source(body.bytes);
  VectorSink restored;
  Recorder decode_progress;
  const auto status = codec->Decode(body_source, size, restored, decode_progress);
  if (status != narwick::lz::DecodeStatus::kOk) std::abort();
  if (restored.bytes.size() != size) std::abort();
  for (std::size_t i = 0; i < size; ++i) {
    if (restored.bytes[i] != data[i]) std::abort();
  }
  return 0;
}
