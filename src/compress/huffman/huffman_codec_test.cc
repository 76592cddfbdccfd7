// The HE3 codec against the plain model, on golden blocks, many symbol distributions,
// hand-built deep trees and damaged blocks.
#include "compress/huffman/huffman_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "compress/huffman/he3_format.h"
#include "compress/huffman/he3_reference.h"
#include "compress/huffman/he3_test_blocks.h"
#include "testing/test_support.h"

namespace narwick::huffman {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test_blocks::BuildBlock;
using test_blocks::CombCodes;
using test_blocks::Xor;

struct Pass {
  DecodeStatus status = DecodeStatus::kOk;
  Bytes bytes;
  std::vector<std::int16_t> progress;
};

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

Pass FastDecode(const Bytes& data) { return FastDecode(data, static_cast<std::int64_t>(data.size())); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Encodes with both codecs, checks that block and progress agree, then decodes the block
// with both and checks the round trip.
void ExpectSameAsModel(const Bytes& input, const std::string& what) {
  SCOPED_TRACE(what + ", " + std::to_string(input.size()) + " bytes");
  const Pass fast = FastEncode(input);
  const reference::Outcome model = reference::Encode(input);
  ASSERT_EQ(fast.bytes, model.bytes);
  ASSERT_EQ(fast.progress, model.progress);
  const Pass back = FastDecode(fast.bytes);
  const reference::Outcome model_back = reference::Decode(model.bytes);
  ASSERT_EQ(back.status, DecodeStatus::kOk);
  ASSERT_EQ(model_back.status, DecodeStatus::kOk);
  ASSERT_EQ(back.bytes, input);
  ASSERT_EQ(model_back.bytes, input);
  ASSERT_EQ(back.progress, model_back.progress);
}

// Compares the fast decoder with the model on arbitrary bytes and declared lengths.
void ExpectSameDecode(const Bytes& data, std::int64_t byte_len, const std::string& what) {
  SCOPED_TRACE(what);
  const Pass fast = FastDecode(data, byte_len);
  const reference::Outcome model = reference::Decode(data, byte_len);
  ASSERT_EQ(fast.status, model.status);
  ASSERT_EQ(fast.bytes, model.bytes);
  ASSERT_EQ(fast.progress, model.progress);
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
  for (std::size_t v = 0; v < counts.size(); ++v) out.insert(out.end(), counts[v], static_cast<std::uint8_t>(v));
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

std::vector<std::uint64_t> FibonacciCounts(int values) {
  std::vector<std::uint64_t> counts(256, 0);
  std::uint64_t a = 1, b = 1;
  for (int v = 0; v < values; ++v) {
    counts[static_cast<std::size_t>(v * 7 % 256)] = a;  // spread over the byte range
    const std::uint64_t c = a + b;
    a = b;
    b = c;
  }
  return counts;
}

int MaxCodeLength(const Bytes& block) {
  if (block.size() < kTableOffset || block[2] != kVersionHe3) return 0;
  const int n = block[9] | block[10] << 8;
  int longest = 0;
  for (int e = 0; e < n; ++e) longest = std::max<int>(longest, block[kTableOffset + 2 * e + 1]);
  return longest;
}

// ---- hand-built blocks ---------------------------------------------------------------

// ---- golden blocks -------------------------------------------------------------------

TEST(He3Golden, EmptyInputIsStoredHeaderWithoutEvents) {
  const Pass r = FastEncode({});
  EXPECT_EQ(r.bytes, (Bytes{0x48, 0x45, 0x30, 0x0D}));
  EXPECT_TRUE(r.progress.empty());
  const Pass back = FastDecode(r.bytes);
  EXPECT_EQ(back.status, DecodeStatus::kOk);
  EXPECT_TRUE(back.bytes.empty());
  EXPECT_TRUE(back.progress.empty());
}

TEST(He3Golden, OneRepeatedValueIsStoredForm) {
  const Pass r = FastEncode(Text("aaaa"));
  EXPECT_EQ(r.bytes, (Bytes{0x48, 0x45, 0x30, 0x0D, 0x61, 0x61, 0x61, 0x61}));
  EXPECT_TRUE(r.progress.empty());  // counting reports only 0 for four bytes
}

TEST(He3Golden, TwoValuesGiveSeventeenBytes) {
  const Pass r = FastEncode(Text("abab"));
  EXPECT_EQ(r.bytes, (Bytes{0x48, 0x45, 0x33, 0x0D, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x61,
                            0x01, 0x62, 0x01, 0x02, 0x0A}));
  EXPECT_EQ(r.progress, (std::vector<std::int16_t>{7, 12, 100}));
  const Pass back = FastDecode(r.bytes);
  EXPECT_EQ(back.bytes, Text("abab"));
  EXPECT_EQ(back.progress, (std::vector<std::int16_t>{89, 100}));
}

TEST(He3Golden, FirstPickMayBeTheHeavier) {
  const Pass r = FastEncode(Text("aaabbc"));
  EXPECT_EQ(r.bytes, (Bytes{0x48, 0x45, 0x33, 0x0D, 0x02, 0x06, 0x00, 0x00, 0x00, 0x03, 0x00, 0x61,
                            0x01, 0x62, 0x02, 0x63, 0x02, 0x0E, 0xF8, 0x00}));
}

TEST(He3Golden, OnlyTheBodyDecidesTheStoredFallback) {
  // Three distinct bytes: a 1-byte body fits the 3-byte input, so the block is HE3 even
  // though header and table make it far longer than the input. The first merge joins a and
  // b (equal weights keep the lower indexes), the second puts c on the 0 branch: a = 10,
  // b = 11, c = 0, so code bits and body are both 1 0 1 1 0.
  const Pass small = FastEncode(Text("abc"));
  EXPECT_EQ(small.bytes, (Bytes{0x48, 0x45, 0x33, 0x0D, 0x60, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00,
                                0x61, 0x02, 0x62, 0x02, 0x63, 0x01, 0x0D, 0x0D}));
  // All 256 values once: 8-bit codes, a body exactly as long as the input is still HE3.
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  const Pass flat = FastEncode(all);
  EXPECT_EQ(flat.bytes[2], kVersionHe3);
  EXPECT_EQ(flat.bytes.size(), kTableOffset + 512 + 256 + 256);
  EXPECT_EQ(FastDecode(flat.bytes).bytes, all);
}

TEST(He3Golden, FilesInTestdataEncodeAndDecodeExactly) {
  const auto folder = narwick::testing::TestDataDir() / "he3";
  auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  int pairs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".in") continue;
    auto block_path = entry.path();
    block_path.replace_extension(".he3");
    const Bytes input = read(entry.path());
    const Bytes block = read(block_path);
    SCOPED_TRACE(entry.path().filename().string());
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
  const std::vector<std::size_t> lengths = {1,    2,    3,     7,     8,     9,     999,    1000,
                                            1001, 9999, 10000, 10001, 20000, 65536, 123457, 1 << 20};
  std::vector<std::pair<std::string, std::vector<double>>> shapes;
  shapes.push_back({"one symbol", std::vector<double>{1}});
  shapes.push_back({"two symbols even", {1, 1}});
  shapes.push_back({"two symbols skewed", {1000, 1}});
  shapes.push_back({"all 256 uniform", std::vector<double>(256, 1)});
  std::vector<double> geometric(256);
  for (int v = 0; v < 256; ++v) geometric[static_cast<std::size_t>(v)] = std::pow(0.6, v);
  shapes.push_back({"geometric", geometric});
  std::vector<double> zipf(256);
  for (int v = 0; v < 256; ++v) zipf[static_cast<std::size_t>(v)] = 1.0 / (v + 1);
  shapes.push_back({"zipf", zipf});
  std::vector<double> sparse(256, 0);
  for (int v : {3, 40, 41, 97, 200, 255}) sparse[static_cast<std::size_t>(v)] = v % 7 + 1;
  shapes.push_back({"six scattered values", sparse});
  for (const auto& [name, weights] : shapes) {
    for (std::size_t n : lengths) {
      ExpectSameAsModel(FromWeights(weights, n, rng), name);
    }
  }
}

TEST(He3Differential, EqualWeightsExerciseTieRules) {
  std::mt19937_64 rng(7);
  for (int distinct : {2, 3, 4, 5, 17, 128, 255, 256}) {
    for (int each : {1, 2, 3}) {
      std::vector<std::uint64_t> counts(256, 0);
      for (int k = 0; k < distinct; ++k) counts[static_cast<std::size_t>((k * 37 + 11) % 256)] = static_cast<std::uint64_t>(each + k % 2);
      ExpectSameAsModel(FromCounts(counts, rng), "ties " + std::to_string(distinct));
    }
  }
}

TEST(He3Differential, RandomCountVectors) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 60; ++round) {
    std::vector<std::uint64_t> counts(256, 0);
    const int distinct = 1 + static_cast<int>(rng() % 256);
    for (int k = 0; k < distinct; ++k) counts[rng() % 256] = 1 + rng() % (round % 3 == 0 ? 4 : 300);
    ExpectSameAsModel(FromCounts(counts, rng), "round " + std::to_string(round));
  }
}

TEST(He3Differential, FibonacciCountsGiveCodesLongerThan32Bits) {
  std::mt19937_64 rng(1);
  // Counts 1, 1, 2, 3, 5, ... make a comb-shaped tree: 34 values (about 15 MB) reach 33 bits.
  const Bytes input = FromCounts(FibonacciCounts(34), rng);
  const Pass fast = FastEncode(input);
  EXPECT_GT(MaxCodeLength(fast.bytes), 32);
  const reference::Outcome model = reference::Encode(input);
  ASSERT_EQ(fast.bytes, model.bytes);
  ASSERT_EQ(fast.progress, model.progress);
  const Pass back = FastDecode(fast.bytes);
  ASSERT_EQ(back.status, DecodeStatus::kOk);
  ASSERT_TRUE(back.bytes == input);
  ASSERT_EQ(back.progress, reference::Decode(fast.bytes).progress);
  // Shorter Fibonacci runs cover the lengths between the lookup width and 32.
  for (int values = 10; values <= 28; values += 3) {
    ExpectSameAsModel(FromCounts(FibonacciCounts(values), rng), "fibonacci " + std::to_string(values));
  }
}

TEST(He3Differential, ProgressNeverZeroNeverRepeatedEndsWith100) {
  std::mt19937_64 rng(5);
  for (std::size_t n : {10001u, 250000u, 777777u}) {
    const Bytes input = FromWeights({5, 3, 1, 1, 1}, n, rng);
    const Pass enc = FastEncode(input);
    const Pass dec = FastDecode(enc.bytes);
    for (const Pass* r : {&enc, &dec}) {
      ASSERT_FALSE(r->progress.empty());
      EXPECT_EQ(r->progress.back(), 100);
      for (std::size_t k = 0; k < r->progress.size(); ++k) {
        EXPECT_NE(r->progress[k], 0);
        if (k > 0) {
          EXPECT_LT(r->progress[k - 1], r->progress[k]);
        }
      }
    }
  }
}

// ---- decoder: deep trees and hostile blocks ------------------------------------------

TEST(He3Decoder, CodesUpToTheMaximumDepth) {
  std::mt19937_64 rng(3);
  Bytes message(5000);
  for (auto& b : message) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 240 + rng() % 16 : rng() % 256);
  const Bytes block = BuildBlock(CombCodes(), message, static_cast<std::int32_t>(message.size()), Xor(message));
  const Pass r = FastDecode(block);
  ASSERT_EQ(r.status, DecodeStatus::kOk);
  EXPECT_EQ(r.bytes, message);
  ExpectSameDecode(block, static_cast<std::int64_t>(block.size()), "comb");
  // The same body cut at every few bytes: the walk runs out inside long codes.
  for (std::size_t cut = block.size() - 1; cut > block.size() - 400; cut -= 7) {
    Bytes shorter(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(cut));
    ExpectSameDecode(shorter, static_cast<std::int64_t>(cut), "comb cut " + std::to_string(cut));
  }
}

TEST(He3Decoder, NoProgressForTheByteWhereTheOutputEnds) {
  // One-bit codes a = 0, b = 1: the body starts at block position 17 (1-based), so byte
  // 10000 holds symbols 79865..79872.
  std::mt19937_64 rng(12);
  const std::vector<std::pair<int, std::vector<int>>> codes = {{'a', {0}}, {'b', {1}}};
  struct Case {
    std::size_t symbols;
    bool mark_expected;  // whether position 10000 reports its value
  };
  for (const Case c : {Case{79872, false}, Case{79871, false}, Case{79873, true}, Case{79864, false}}) {
    Bytes message(c.symbols);
    for (auto& m : message) m = rng() & 1 ? 'a' : 'b';
    Bytes block = BuildBlock(codes, message, static_cast<std::int32_t>(c.symbols), Xor(message));
    block.resize(12000, 0);  // padding past the last symbol, never walked; the mark would be 74
    const Pass r = FastDecode(block);
    ASSERT_EQ(r.status, DecodeStatus::kOk);
    ASSERT_EQ(r.bytes, message);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.front() != 89, c.mark_expected) << c.symbols;
    ExpectSameDecode(block, static_cast<std::int64_t>(block.size()), "end at " + std::to_string(c.symbols));
  }
  // A path that leaves the tree on the last bit of byte 10000 reports nothing for it either.
  const std::vector<std::pair<int, std::vector<int>>> one_code = {{'a', {0}}};
  Bytes block = BuildBlock(one_code, Bytes(79871, 'a'), 90000, 0);
  block.resize(10010, 0);
  block[9999] = 0x80;  // bit 7 of position 10000
  const Pass bad = FastDecode(block);
  EXPECT_EQ(bad.status, DecodeStatus::kSubscriptOutOfRange);
  EXPECT_TRUE(bad.progress.empty());
  ExpectSameDecode(block, static_cast<std::int64_t>(block.size()), "missing at mark");
}

TEST(He3Decoder, TreeNeedingMoreThan512NodesFails) {
  std::mt19937_64 rng(8);
  std::vector<std::pair<int, std::vector<int>>> codes;
  for (int v = 0; v < 256; ++v) {
    std::vector<int> bits(255);
    for (auto& b : bits) b = static_cast<int>(rng() & 1);
    codes.emplace_back(v, bits);
  }
  const Bytes block = BuildBlock(codes, {}, 10, 0);
  EXPECT_EQ(FastDecode(block).status, DecodeStatus::kSubscriptOutOfRange);
  ExpectSameDecode(block, static_cast<std::int64_t>(block.size()), "513 nodes");
}

TEST(He3Decoder, PathToMissingChildFails) {
  // Only "0" is a code; a body bit 1 leads nowhere.
  Bytes block = BuildBlock({{0x41, {0}}}, Text("AA"), 3, 0x41);
  block.back() |= 0x04;
  EXPECT_EQ(FastDecode(block).status, DecodeStatus::kSubscriptOutOfRange);
  ExpectSameDecode(block, static_cast<std::int64_t>(block.size()), "missing child");
}

TEST(He3Decoder, IdentificationErrors) {
  Bytes block = FastEncode(Text("abab")).bytes;
  block[2] = 0x32;
  EXPECT_EQ(FastDecode(block).status, DecodeStatus::kBadIdentification);
  // Data without H, E, CR is refused the same way rather than read as a block.
  EXPECT_EQ(FastDecode(Text("plain text, not a block")).status, DecodeStatus::kBadIdentification);
  Bytes no_cr = FastEncode(Text("abab")).bytes;
  no_cr[3] = 0x0A;
  EXPECT_EQ(FastDecode(no_cr).status, DecodeStatus::kBadIdentification);
  EXPECT_EQ(FastDecode(Text("HE3")).status, DecodeStatus::kSubscriptOutOfRange);
}

TEST(He3Decoder, ChecksumMismatchFromFlippedBodyBit) {
  Bytes block = FastEncode(Text("abab")).bytes;
  block[16] = 0x0B;  // decodes to b b a b, whose exclusive-or is 3
  const Pass r = FastDecode(block);
  EXPECT_EQ(r.status, DecodeStatus::kChecksumMismatch);
  EXPECT_EQ(r.progress, (std::vector<std::int16_t>{89}));
}

TEST(He3Decoder, LengthFieldZeroLeavesDataUnchanged) {
  Bytes block = FastEncode(Text("abab")).bytes;
  block[5] = 0;
  EXPECT_EQ(FastDecode(block).status, DecodeStatus::kUnchanged);
}

TEST(He3Decoder, HugeLengthFieldAllocatesOnlyWhatTheBodyHolds) {
  Bytes block = FastEncode(Text("abababab")).bytes;
  block[5] = 0xFF;
  block[6] = 0xFF;
  block[7] = 0xFF;
  block[8] = 0x7F;
  // The body runs out after 8 symbols (plus padding zeros giving more a's): checksum decides.
  const Pass r = FastDecode(block);
  ExpectSameDecode(block, static_cast<std::int64_t>(block.size()), "huge length");
  EXPECT_NE(r.status, DecodeStatus::kOutOfMemory);
}

TEST(He3Decoder, StoredFormAndDeclaredLengths) {
  const Bytes stored = {0x48, 0x45, 0x30, 0x0D, 1, 2, 3};
  EXPECT_EQ(FastDecode(stored).bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(FastDecode(stored, 5).bytes, (Bytes{1}));
  EXPECT_TRUE(FastDecode(stored, 4).bytes.empty());
  EXPECT_EQ(FastDecode(stored, 9).status, DecodeStatus::kSubscriptOutOfRange);
  // A declared length past the data fails only when the walk needs the missing bytes.
  const Bytes block = FastEncode(Text("abababab")).bytes;
  for (std::int64_t len : {std::int64_t{0}, std::int64_t{11}, std::int64_t{16}, std::int64_t{17},
                           std::int64_t{18}, std::int64_t{40}, std::int64_t{-3}}) {
    ExpectSameDecode(block, len, "declared " + std::to_string(len));
  }
}

TEST(He3Decoder, DamagedBlocksMatchTheModel) {
  std::mt19937_64 rng(2026);
  std::vector<Bytes> blocks;
  for (std::size_t n : {5u, 60u, 1000u, 25000u, 70000u}) {
    blocks.push_back(FastEncode(FromWeights({9, 4, 2, 1, 1, 1, 0.5, 0.25}, n, rng)).bytes);
    blocks.push_back(FastEncode(FromWeights(std::vector<double>(256, 1), n, rng)).bytes);
  }
  int cases = 0;
  for (const Bytes& good : blocks) {
    for (int round = 0; round < 60; ++round) {
      Bytes bad = good;
      switch (round % 5) {
        case 0:  // flip one bit anywhere after the identification
          bad[4 + rng() % (bad.size() - 4)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
          break;
        case 1:  // flip a bit of the table or code section
          bad[4 + rng() % std::min<std::size_t>(bad.size() - 4, 600)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
          break;
        case 2:  // truncate
          bad.resize(rng() % bad.size());
          break;
        case 3:  // random bytes over a stretch
          for (std::size_t k = rng() % bad.size(), e = std::min(bad.size(), k + 1 + rng() % 32); k < e; ++k)
            bad[k] = static_cast<std::uint8_t>(rng());
          bad[0] = kMagicH;
          if (bad.size() > 1) bad[1] = kMagicE;
          if (bad.size() > 3) bad[3] = kMagicCr;
          break;
        default:  // wrong entry count
          if (bad.size() > 10) bad[9] = static_cast<std::uint8_t>(rng());
          break;
      }
      ExpectSameDecode(bad, static_cast<std::int64_t>(bad.size()), "damaged case " + std::to_string(cases));
      ++cases;
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
    ExpectSameDecode(data, static_cast<std::int64_t>(data.size()), "random " + std::to_string(round));
  }
}

}  // namespace
}  // namespace narwick::huffman
