// Decoding arbitrary bytes as an HE3 block: any input ends in a defined status, never a
// crash, a hang, a read outside the input or an allocation sized by the length field. The
// first byte picks how the rest is presented: as it is, behind an HE3 or stored-form header,
// and with a declared length equal to, shorter or longer than the data. The streaming decoder,
// reading small windows and writing small rooms, must agree with the whole-buffer one.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>

#include "compress/huffman/he3_chopped_io.h"
#include "compress/huffman/he3_format.h"
#include "compress/huffman/huffman_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  using namespace narwick::huffman;
  const std::uint8_t mode = data[0];
  std::vector<std::uint8_t> block;
  if (mode % 3 == 1) block = {kMagicH, kMagicE, kVersionHe3, kMagicCr};
  if (mode % 3 == 2) block = {kMagicH, kMagicE, kVersionStored, kMagicCr};
  block.insert(block.end(), data + 1, data + size);
  auto byte_len = static_cast<std::int64_t>(block.size());
  if ((mode >> 2) % 4 == 1) byte_len -= (mode >> 4) + 1;
  if ((mode >> 2) % 4 == 2) byte_len += (mode >> 4) + 1;

  std::int16_t last = 0;
  bool bad_progress = false;
  std::vector<std::int16_t> whole_progress, chopped_progress;
  auto on_progress = [&](std::int16_t p) {
    whole_progress.push_back(p);
    // Values are reported only when they change, never 0, and stay within 1..100.
    if (p == last || p < 1 || p > 100) bad_progress = true;
    last = p;
  };
  const DecodeResult result = Decode(block, byte_len, on_progress);
  if (bad_progress) std::abort();

  std::mt19937_64 rng(size);
  test_blocks::ChoppedSource source(block, rng);
  test_blocks::ChoppedSink sink(rng);
  const DecodeStatus chopped = Decode(source, byte_len, sink, [&](std::int16_t p) { chopped_progress.push_back(p); });
  if (chopped != result.status || chopped_progress != whole_progress) std::abort();
  if (chopped == DecodeStatus::kOk && sink.bytes != result.bytes) std::abort();
  if (result.status == DecodeStatus::kOk && block.size() >= kTableOffset && block[2] == kVersionHe3) {
    // A decoded block never yields more than its length field nor more than its body holds.
    const auto length = static_cast<std::int64_t>(
        std::uint32_t{block[5]} | std::uint32_t{block[6]} << 8 | std::uint32_t{block[7]} << 16 |
        std::uint32_t{block[8]} << 24);
    if (static_cast<std::int64_t>(result.bytes.size()) > length) std::abort();
    if (result.bytes.size() > 8 * block.size()) std::abort();
    if (last != 100) std::abort();
  }
  return 0;
}
