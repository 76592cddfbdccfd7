#include "compress/lz/lz_codec.h"

#include <algorithm>

namespace narwick::lz {

Codec::Codec() {
  // Decoding needs no reset, so the ring must hold defined bytes from the start.
  InitText();
  finder_.Reset();
}

void Codec::InitText() {
  // Ring and mirror are spaces; the padding past entry 4114 only feeds compares whose result
  // is capped at 18 bytes, but it is cleared so that no load ever reads indeterminate bytes.
  std::fill(text_, text_ + kRingSize + kMaxMatch, std::uint8_t{0x20});
  std::fill(text_ + kRingSize + kMaxMatch, text_ + kTextSize, std::uint8_t{0});
}

}  // namespace narwick::lz
