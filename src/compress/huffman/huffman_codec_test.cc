// The HE3 codec against the plain model, on golden blocks, many symbol distributions,
// hand-built deep trees and damaged blocks; the streaming decoder and encoder against the
// whole-buffer ones, with blocks read in small windows and input in random chunks.
#include "compress/huffman/huffman_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "compress/huffman/he3_chopped_io.h"
#include "compress/huffman/he3_format.h"
#include "compress/huffman/he3_reference.h"
#include "compress/huffman/he3_test_blocks.h"
#include "testing/test_support.h"

namespace narwick::huffman {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Progress = std::vector<std::int16_t>;
using test_blocks::BuildBlock;
using test_blocks::CombCodes;
using test_blocks::ReadFile;
using test_blocks::Sample;
using test_blocks::Text;
using test_blocks::Xor;

struct Pass {
  DecodeStatus status = DecodeStatus::kOk;
  Bytes bytes;  // empty unless kOk
  Progress progress;
  bool operator==(const Pass&) const = default;
};

void PrintTo(const Pass& p, std::ostream* os) {
  *os << "status " << static_cast<int>(p.status) << ", " << p.bytes.size() << " bytes, progress "
      << ::testing::PrintToString(p.progress);
}

Pass FastEncode(const Bytes& input) {
  Pass r;
  r.bytes = Encode(input, [&](std::int16_t p) { r.progress.push_back(p); });
  return r;
}

Pass FastDecode(const Bytes& data, std::int64_t byte_len) {
  Pass r;
  DecodeResult d = Decode(data, byte_len, [&](std::int16_t p) { r.progress.push_back(p); });
  r.status = d.status;
  if (d.status == DecodeStatus::kOk) r.bytes = std::move(d.bytes);
  return r;
}

Pass FastDecode(const Bytes& data) {
  return FastDecode(data, static_cast<std::int64_t>(data.size()));
}

// The streaming decoder at its most demanding: windows of a few hundred bytes past the
// first, output rooms of 1 to 40 bytes.
Pass ChoppedDecode(const Bytes& data, std::int64_t byte_len) {
  static std::mt19937_64 rng(20261205);
  Pass r;
  test_blocks::ChoppedSource source(data, rng);
  test_blocks::ChoppedSink sink(rng);
  r.status = Decode(source, byte_len, sink, [&](std::int16_t p) { r.progress.push_back(p); });
  if (r.status == DecodeStatus::kOk) r.bytes = std::move(sink.bytes);
  return r;
}

Pass Model(reference::Outcome o) { return {o.status, std::move(o.bytes), std::move(o.progress)}; }


// The whole-buffer decoder, the model and the streaming decoder agree on status, output
// and progress. Returns the whole-buffer result.
Pass ExpectDecodersAgree(const Bytes& data, std::int64_t byte_len, const std::string& what) {
  SCOPED_TRACE(what + ", byte_len " + std::to_string(byte_len));
  Pass fast = FastDecode(data, byte_len);
  EXPECT_EQ(fast, Model(reference::Decode(data, byte_len)));
  // The streaming decoder's window and room handling is the same at any size; a block of
  // many megabytes through rooms of a few bytes costs seconds and reaches nothing more.
  if (data.size() <= (std::size_t{1} << 21)) {
    EXPECT_EQ(ChoppedDecode(data, byte_len), fast);
  }
  return fast;
}

Pass ExpectDecodersAgree(const Bytes& data, const std::string& what) {
  return ExpectDecodersAgree(data, static_cast<std::int64_t>(data.size()), what);
}

// Progress is never 0, always rises, and an HE3 block's ends at 100.
void ExpectProgressRules(const Progress& p, bool he3) {
  for (std::size_t k = 0; k < p.size(); ++k)
    EXPECT_GT(p[k], k == 0 ? 0 : p[k - 1]) << "value " << k;
  EXPECT_TRUE(!he3 || p.empty() || p.back() == 100);
}

// Encodes with the codec and the model, checks that block and progress agree, then the
// round trip through every decoder. Returns the block.
Bytes ExpectSameAsModel(const Bytes& input, const std::string& what) {
  SCOPED_TRACE(what + ", " + std::to_string(input.size()) + " bytes");
  const Pass fast = FastEncode(input);
  EXPECT_EQ(fast, Model(reference::Encode(input)));
  const Pass back = ExpectDecodersAgree(fast.bytes, "round trip");
  EXPECT_EQ(back.status, DecodeStatus::kOk);
  EXPECT_TRUE(back.bytes == input);
  const bool he3 = fast.bytes.size() > 2 && fast.bytes[2] == kVersionHe3;
  ExpectProgressRules(fast.progress, he3);
  ExpectProgressRules(back.progress, he3);
  return fast.bytes;
}

// ---- distributions -------------------------------------------------------------------

Bytes FromWeights(const std::vector<double>& weights, std::size_t n, std::mt19937_64& rng) {
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(pick(rng));
  return out;
}

// Exact counts, shuffled: value v occurs counts[v] times.
Bytes FromCounts(const std::vector<std::uint64_t>& counts, std::mt19937_64& rng) {
  Bytes out;
  for (std::size_t v = 0; v < counts.size(); ++v)
    out.insert(out.end(), counts[v], static_cast<std::uint8_t>(v));
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

std::vector<std::uint64_t> FibonacciCounts(int values) {
  std::vector<std::uint64_t> counts(256, 0);
  std::uint64_t a = 1, b = 1;
  for (int v = 0; v < values; ++v)
    counts[static_cast<std::size_t>(v * 7 % 256)] = std::exchange(a, std::exchange(b, a + b));
  return counts;
}

int MaxCodeLength(const Bytes& block) {
  int longest = 0;
  for (int e = 0; e < (block[9] | block[10] << 8); ++e)
    longest = std::max<int>(longest, block[kTableOffset + 2 * e + 1]);
  return longest;
}

// ---- golden blocks -------------------------------------------------------------------

TEST(He3Golden, SmallInputsGiveTheseBlocksAndEvents) {
  const std::pair<std::string, Bytes> cases[] = {
      {"", {0x48, 0x45, 0x30, 0x0D}},
      {"aaaa", {0x48, 0x45, 0x30, 0x0D, 0x61, 0x61, 0x61, 0x61}},
      {"abab",
       {0x48, 0x45, 0x33, 0x0D, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x61, 0x01, 0x62, 0x01,
        0x02, 0x0A}},
      // The first pick may be the heavier.
      {"aaabbc", {0x48, 0x45, 0x33, 0x0D, 0x02, 0x06, 0x00, 0x00, 0x00, 0x03,
                  0x00, 0x61, 0x01, 0x62, 0x02, 0x63, 0x02, 0x0E, 0xF8, 0x00}},
      // Only the body decides the stored fallback: a 1-byte body fits the 3-byte input. Equal
      // weights keep the lower indexes, so a = 10, b = 11, c = 0.
      {"abc",
       {0x48, 0x45, 0x33, 0x0D, 0x60, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x61, 0x02, 0x62, 0x02,
        0x63, 0x01, 0x0D, 0x0D}},
  };
  for (const auto& [input, block] : cases)
    EXPECT_EQ(ExpectSameAsModel(Text(input), input), block) << input;
  // No events for the empty input, nor for four bytes (counting reports only 0).
  EXPECT_TRUE(FastEncode(Text("aaaa")).progress.empty());
  const Pass abab = FastEncode(Text("abab"));
  EXPECT_EQ(abab.progress, (Progress{7, 12, 100}));
  EXPECT_EQ(FastDecode(abab.bytes).progress, (Progress{89, 100}));
  // All 256 values once: 8-bit codes, a body exactly as long as the input is still HE3.
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  const Bytes flat = ExpectSameAsModel(all, "all values once");
  EXPECT_EQ(flat[2], kVersionHe3);
  EXPECT_EQ(flat.size(), kTableOffset + 512 + 256 + 256);
}

TEST(He3Golden, FilesInTestdataEncodeAndDecodeExactly) {
  int pairs = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(narwick::testing::TestDataDir() / "he3")) {
    if (entry.path().extension() != ".in") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const Bytes input = ReadFile(entry.path());
    const Bytes block = ReadFile(std::filesystem::path(entry.path()).replace_extension(".he3"));
    EXPECT_EQ(Encode(input), block);
    const DecodeResult back = Decode(block);
    EXPECT_EQ(back.status, DecodeStatus::kOk);
    EXPECT_EQ(back.bytes, input);
    ++pairs;
  }
  EXPECT_GE(pairs, 4);
}

// ---- differential: many distributions ------------------------------------------------

TEST(He3Differential, SymbolDistributionsAndLengths) {
  std::mt19937_64 rng(4242);
  const std::vector<std::size_t> lengths = {
      1, 2, 3, 7, 8, 9, 999, 1000, 1001, 9999, 10000, 10001, 20000, 65536, 123457,
      std::size_t(testing::Scaled(4)) << 18};
  std::vector<double> geometric(256), zipf(256), sparse(256, 0);
  for (int v = 0; v < 256; ++v) {
    geometric[static_cast<std::size_t>(v)] = std::pow(0.6, v);
    zipf[static_cast<std::size_t>(v)] = 1.0 / (v + 1);
  }
  for (int v : {3, 40, 41, 97, 200, 255}) sparse[static_cast<std::size_t>(v)] = v % 7 + 1;
  const std::pair<std::string, std::vector<double>> shapes[] = {
      {"one symbol", {1}},
      {"two symbols even", {1, 1}},
      {"two symbols skewed", {1000, 1}},
      {"all 256 uniform", std::vector<double>(256, 1)},
      {"geometric", geometric},
      {"zipf", zipf},
      {"six scattered values", sparse}};
  for (const auto& [name, weights] : shapes) {
    for (std::size_t n : lengths) ExpectSameAsModel(FromWeights(weights, n, rng), name);
  }
}

// Equal weights exercise the tie rules; random count vectors the rest.
TEST(He3Differential, EqualAndRandomCounts) {
  std::mt19937_64 rng(7);
  for (int distinct : {2, 3, 4, 5, 17, 128, 255, 256}) {
    for (int each : {1, 2, 3}) {
      std::vector<std::uint64_t> counts(256, 0);
      for (int k = 0; k < distinct; ++k)
        counts[static_cast<std::size_t>((k * 37 + 11) % 256)] =
            static_cast<std::uint64_t>(each + k % 2);
      ExpectSameAsModel(FromCounts(counts, rng), "ties " + std::to_string(distinct));
    }
  }
  for (int round = 0; round < 60; ++round) {
    std::vector<std::uint64_t> counts(256, 0);
    const int distinct = 1 + static_cast<int>(rng() % 256);
    for (int k = 0; k < distinct; ++k) counts[rng() % 256] = 1 + rng() % (round % 3 == 0 ? 4 : 300);
    ExpectSameAsModel(FromCounts(counts, rng), "round " + std::to_string(round));
  }
}

// Counts 1, 1, 2, 3, 5, ... make a comb-shaped tree: 34 values (about 15 MB) reach 33 bits,
// the shorter runs the lengths between the lookup width and 32.
TEST(He3Differential, FibonacciCountsGiveCodesLongerThan32Bits) {
  std::mt19937_64 rng(1);
  for (int values : {10, 13, 16, 19, 22, 25, 28, 34}) {
    const Bytes block = ExpectSameAsModel(FromCounts(FibonacciCounts(values), rng),
                                          "fibonacci " + std::to_string(values));
    EXPECT_TRUE(values < 34 || MaxCodeLength(block) > 32);
  }
}

// ---- decoder: deep trees and hostile blocks ------------------------------------------

// The comb's codes of up to 255 bits, mostly the longest, so that walks start near every
// window end; then the body cut short inside long codes.
TEST(He3Decoder, CodesUpToTheMaximumDepth) {
  std::mt19937_64 rng(255);
  Bytes message(20'000);
  for (auto& b : message)
    b = static_cast<std::uint8_t>(rng() % 8 == 0 ? rng() % 256 : 200 + rng() % 56);
  const Bytes block =
      BuildBlock(CombCodes(), message, static_cast<std::int32_t>(message.size()), Xor(message));
  const Pass whole = ExpectDecodersAgree(block, "comb");
  ASSERT_EQ(whole.status, DecodeStatus::kOk);
  EXPECT_TRUE(whole.bytes == message);
  const auto len = static_cast<std::int64_t>(block.size());
  for (int round = 1; round < testing::Scaled(4); ++round)
    EXPECT_EQ(ChoppedDecode(block, len), whole);
  for (std::size_t cut = block.size() - 1; cut > block.size() - 400; cut -= 29) {
    const Bytes shorter(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(cut));
    ExpectDecodersAgree(shorter, "comb cut " + std::to_string(cut));
  }
}

TEST(He3Decoder, NoProgressForTheByteWhereTheOutputEnds) {
  // One-bit codes a = 0, b = 1: the body starts at block position 17 (1-based), so byte
  // 10000 holds symbols 79865..79872. Only output ending past it reports its mark.
  std::mt19937_64 rng(12);
  for (const std::size_t symbols : {79872u, 79871u, 79873u, 79864u}) {
    Bytes message(symbols);
    for (auto& m : message) m = rng() & 1 ? 'a' : 'b';
    Bytes block = BuildBlock({{'a', {0}}, {'b', {1}}}, message, static_cast<std::int32_t>(symbols),
                             Xor(message));
    block.resize(12000, 0);  // padding past the last symbol, never walked; the mark would be 74
    const Pass r = FastDecode(block);
    ASSERT_EQ(r.status, DecodeStatus::kOk);
    ASSERT_EQ(r.bytes, message);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.front() != 89, symbols == 79873) << symbols;
    ExpectDecodersAgree(block, "end at " + std::to_string(symbols));
  }
  // A path that leaves the tree on the last bit of byte 10000 reports nothing for it either.
  Bytes block = BuildBlock({{'a', {0}}}, Bytes(79871, 'a'), 90000, 0);
  block.resize(10010, 0);
  block[9999] = 0x80;  // bit 7 of position 10000
  const Pass bad = FastDecode(block);
  EXPECT_EQ(bad.status, DecodeStatus::kSubscriptOutOfRange);
  EXPECT_TRUE(bad.progress.empty());
  ExpectDecodersAgree(block, "missing at mark");
}

TEST(He3Decoder, HostileBlocksGiveTheirStatus) {
  std::mt19937_64 rng(8);
  test_blocks::Codes random_paths;  // 256 random 255-bit codes need more than 512 nodes
  for (int v = 0; v < 256; ++v) {
    std::vector<int> bits(255);
    for (auto& b : bits) b = static_cast<int>(rng() & 1);
    random_paths.emplace_back(v, bits);
  }
  Bytes missing_child = BuildBlock({{0x41, {0}}}, Text("AA"), 3, 0x41);
  missing_child.back() |= 0x04;  // only "0" is a code; a body bit 1 leads nowhere
  const Bytes abab = FastEncode(Text("abab")).bytes;
  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = abab;
    b[at] = value;
    return b;
  };
  const struct {
    const char* what;
    Bytes block;
    DecodeStatus status;
  } cases[] = {
      {"513 nodes", BuildBlock(random_paths, {}, 10, 0), DecodeStatus::kSubscriptOutOfRange},
      {"missing child", missing_child, DecodeStatus::kSubscriptOutOfRange},
      {"version 2", with(2, 0x32), DecodeStatus::kBadIdentification},
      {"no CR", with(3, 0x0A), DecodeStatus::kBadIdentification},
      {"no H, E, CR", Text("plain text, not a block"), DecodeStatus::kBadIdentification},
      {"only HE3", Text("HE3"), DecodeStatus::kSubscriptOutOfRange},
      {"body bit flipped", with(16, 0x0B), DecodeStatus::kChecksumMismatch},  // b b a b, xor 3
      {"length field zero", with(5, 0), DecodeStatus::kUnchanged},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FastDecode(c.block).status, c.status) << c.what;
    ExpectDecodersAgree(c.block, c.what);
  }
  // A header cut short, before or inside its fields, is no block a tool can describe.
  EXPECT_EQ(Inspect(Text("HE3")).kind, BlockInfo::Kind::kTruncated);
  EXPECT_EQ(Inspect(std::span(abab).first(kTableOffset - 1)).kind, BlockInfo::Kind::kTruncated);
  // A length field of 2^31 - 1 allocates only what the body holds: the checksum decides.
  Bytes huge = FastEncode(Text("abababab")).bytes;
  std::copy_n(Bytes{0xFF, 0xFF, 0xFF, 0x7F}.begin(), 4, huge.begin() + kLengthOffset);
  EXPECT_NE(FastDecode(huge).status, DecodeStatus::kOutOfMemory);
  ExpectDecodersAgree(huge, "huge length");
}

TEST(He3Decoder, StoredFormAndDeclaredLengths) {
  const Bytes stored = {0x48, 0x45, 0x30, 0x0D, 1, 2, 3};
  EXPECT_EQ(FastDecode(stored).bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(FastDecode(stored, 5).bytes, (Bytes{1}));
  EXPECT_TRUE(FastDecode(stored, 4).bytes.empty());
  EXPECT_EQ(FastDecode(stored, 9).status, DecodeStatus::kSubscriptOutOfRange);
  // A declared length past the data fails only when the walk needs the missing bytes.
  const Bytes block = FastEncode(Text("abababab")).bytes;
  for (std::int64_t len : {0, 11, 16, 17, 18, 40, -3}) ExpectDecodersAgree(block, len, "declared");
  // Blocks read in many windows, cut short or declared longer than they are.
  std::mt19937_64 rng(3);
  Bytes big_stored = {kMagicH, kMagicE, kVersionStored, kMagicCr};
  for (int i = 0; i < 200'000; ++i) big_stored.push_back(static_cast<std::uint8_t>(rng()));
  for (const Bytes& big : {big_stored, Encode(Sample(400'003, rng))}) {
    const auto len = static_cast<std::int64_t>(big.size());
    for (std::int64_t cut : {std::int64_t{5}, len - 1, len / 2, len + 1, len + 20'000}) {
      ExpectDecodersAgree(big, cut, "windows");
    }
  }
}

// A length field short of the body: decoding stops there, in windows too.
TEST(He3Decoder, LengthFieldShorterThanTheBodyStopsAtIt) {
  std::mt19937_64 rng(12);
  const Bytes input = Sample(200'000, rng);
  const Bytes good = Encode(input);
  for (std::uint32_t keep : {1u, 8u, 9u, 4'095u, 77'777u, 199'999u}) {
    Bytes block = good;
    for (int k = 0; k < 4; ++k)
      block[kLengthOffset + k] = static_cast<std::uint8_t>(keep >> (8 * k));
    const Bytes prefix(input.begin(), input.begin() + keep);
    block[kChecksumOffset] = Xor(prefix);
    const Pass r = ExpectDecodersAgree(block, "keep " + std::to_string(keep));
    EXPECT_EQ(r.status, DecodeStatus::kOk) << keep;
    EXPECT_TRUE(r.bytes == prefix) << keep;
  }
}

TEST(He3Decoder, DamagedBlocksMatchTheModel) {
  std::mt19937_64 rng(2026);
  std::vector<Bytes> blocks;
  for (std::size_t n : {5u, 60u, 1000u, 25000u, 70000u}) {
    blocks.push_back(FastEncode(FromWeights({9, 4, 2, 1, 1, 1, 0.5, 0.25}, n, rng)).bytes);
    blocks.push_back(FastEncode(FromWeights(std::vector<double>(256, 1), n, rng)).bytes);
  }
  blocks.push_back(Encode(Sample(300'000, rng)));  // read in many windows
  int cases = 0;
  for (const Bytes& good : blocks) {
    for (int round = 0; round < testing::Scaled(60); ++round, ++cases) {
      Bytes bad = good;
      const auto flip = [&](std::size_t within) {
        bad[4 + rng() % within] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      };
      switch (round % 5) {
        case 0:  // one to four bits anywhere after the identification
          for (int f = static_cast<int>(rng() % 4); f >= 0; --f) flip(bad.size() - 4);
          break;
        case 1:  // a bit of the table or code section
          flip(std::min<std::size_t>(bad.size() - 4, 600));
          break;
        case 2:
          bad.resize(rng() % bad.size());
          break;
        case 3:  // random bytes over a stretch, identification kept
          for (std::size_t k = rng() % bad.size(), e = std::min(bad.size(), k + 1 + rng() % 32);
               k < e; ++k)
            bad[k] = static_cast<std::uint8_t>(rng());
          bad[0] = kMagicH;
          if (bad.size() > 1) bad[1] = kMagicE;
          if (bad.size() > 3) bad[3] = kMagicCr;
          break;
        default:  // wrong entry count
          if (bad.size() > 10) bad[9] = static_cast<std::uint8_t>(rng());
          break;
      }
      ExpectDecodersAgree(bad, "damaged case " + std::to_string(cases));
    }
  }
}

TEST(He3Decoder, RandomBytesAfterHeaderMatchTheModel) {
  std::mt19937_64 rng(77);
  for (int round = 0; round < 3000; ++round) {
    Bytes data(rng() % 200);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
    if (data.size() >= 4) {
      data[0] = kMagicH;
      data[1] = kMagicE;
      data[2] = round % 7 == 0 ? kVersionStored : kVersionHe3;
      data[3] = kMagicCr;
    }
    if (data.size() >= 11 && round % 2 == 0) {
      data[9] = static_cast<std::uint8_t>(rng() % 6);  // few entries, so bodies get walked
      data[10] = 0;
      data[5] = static_cast<std::uint8_t>(1 + rng() % 50);
      data[6] = data[7] = data[8] = 0;
    }
    ExpectDecodersAgree(data, "random " + std::to_string(round));
  }
}

// ---- the streaming encoder -----------------------------------------------------------

// Input counted in random chunks, some tallied apart as the file encoder does with the upper
// half; the body coded in random chunks, in rounds after the first with its upper part coded
// apart and first, as on a second thread. Block and progress are those of Encode, wherever
// the parts meet and whatever the code lengths.
TEST(He3Streaming, EncoderInChunksAndPartsMatchesEncode) {
  std::mt19937_64 rng(99);
  // Fibonacci counts give codes of up to 29 bits, the longest the body writer handles one
  // per flush.
  std::vector<Bytes> inputs = {{}, Bytes(70'000, 'x'), FromCounts(FibonacciCounts(30), rng)};
  for (std::size_t n : {1u, 999u, 3'001u, 10'001u, 100'000u, 262'145u})
    inputs.push_back(Sample(n, rng));
  for (const Bytes& input : inputs) {
    Progress whole_progress;
    const Bytes whole = Encode(input, [&](std::int16_t p) { whole_progress.push_back(p); });
    for (int round = 0; round < 4; ++round) {
      const std::size_t split =
          round == 0 || input.size() < 2 ? input.size() : 1 + rng() % (input.size() - 1);
      SCOPED_TRACE(::testing::Message() << input.size() << " bytes split at " << split);
      const std::span<const std::uint8_t> lower(input.data(), split);
      const std::span<const std::uint8_t> upper = std::span(input).subspan(split);
      Progress progress;
      auto record = [&](std::int16_t p) { progress.push_back(p); };
      Encoder encoder(input.size(), record);
      auto in_chunks = [&](std::span<const std::uint8_t> part, auto&& f) {
        for (std::size_t at = 0, size = 0; at < part.size(); at += size) {
          size = std::min<std::size_t>(part.size() - at, 1 + rng() % 30'000);
          f(part.subspan(at, size));
        }
      };
      // Each chunk into exactly the room asked for: a store past it is a heap overflow under ASan.
      auto code = [&](std::span<const std::uint8_t> part, auto&& coder, Bytes& out) {
        in_chunks(part, [&](std::span<const std::uint8_t> chunk) {
          Bytes room(encoder.BodyRoom(chunk.size()));
          out.insert(out.end(), room.begin(),
                     room.begin() + static_cast<std::ptrdiff_t>(coder(chunk, room.data())));
        });
      };
      in_chunks(lower, [&](std::span<const std::uint8_t> c) {
        if (rng() % 3 != 0) return encoder.Count(c);
        ByteTally tally;
        tally.Add(c);
        encoder.AddTally(tally, c.size());
      });
      ByteTally upper_tally;
      upper_tally.Add(upper);
      if (!upper.empty()) encoder.AddTally(upper_tally, upper.size());
      Bytes block = encoder.Head();
      Bytes end(8);
      if (encoder.stored()) {
        block.insert(block.end(), input.begin(), input.end());
      } else {
        Bytes apart;
        std::uint64_t bits_before = 0;
        if (!upper.empty()) {
          bits_before = encoder.BodyBitsBefore(upper_tally);
          BodyPart part(encoder, bits_before);
          code(
              upper, [&](auto chunk, std::uint8_t* out) { return part.Encode(chunk, out); }, apart);
          apart.insert(apart.end(), end.begin(),
                       end.begin() + static_cast<std::ptrdiff_t>(part.Finish(end.data())));
        }
        const std::size_t head_size = block.size();
        code(
            lower, [&](auto chunk, std::uint8_t* out) { return encoder.EncodeBody(chunk, out); },
            block);
        if (!upper.empty()) {
          // The lower part's last bits share a byte with the upper part's first.
          EXPECT_EQ((block.size() - head_size) * 8 + encoder.pending_bits(), bits_before);
          block.push_back(0);
          encoder.JoinPart(upper.size(), apart.at(0), &block.back());
          block.insert(block.end(), apart.begin() + 1, apart.end());
        }
        block.insert(block.end(), end.begin(),
                     end.begin() + static_cast<std::ptrdiff_t>(encoder.FinishBody(end.data())));
      }
      EXPECT_EQ(block.size(), encoder.block_size());
      EXPECT_TRUE(block == whole);
      EXPECT_EQ(progress, whole_progress);
    }
  }
}

}  // namespace
}  // namespace narwick::huffman
