// clsLZCompression string members: the defined vectors, round trips, failure results, the
// progress events, and late-bound use by name.
#include "narwick/compress/lz_compression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include "compress/lz/lz_reference_test_model.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/object.h"
#include "narwick/frame/variant.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

String PackBytes(const Bytes& bytes) {
  String s(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return s;
}

Bytes UnpackString(const String& s) {
  Bytes b;
  for (char16_t c : s) {
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return b;
}

class LzCompressionTest : public ::testing::Test {
 protected:
  LzCompressionTest() : object_(CreateObject("Narwick.clsLZCompression")), lz_(*object_.As<clsLZCompression>()) {
    object_.Advise([this](EventCall& e) {
      if (e.dispid == 1) {
        EXPECT_EQ(e.name, "FileProgress");
        EXPECT_EQ(e.args[0].VarType(), VbVarType::vbSingle);
        progress_.push_back(CSng(e.args[0]));
      } else {
        messages_.push_back(CStr(e.args[0]));
      }
    });
  }

  String Compress(String text) { return lz_.CompressString(text); }
  String Decompress(String text) { return lz_.DecompressString(text); }

  Object object_;
  clsLZCompression& lz_;
  std::vector<float> progress_;
  std::vector<String> messages_;
};

TEST_F(LzCompressionTest, EmptyStringGivesTwelveBytesAndComesBackEmpty) {
  const String packed = Compress(u"");
  EXPECT_EQ(UnpackString(packed), (Bytes{0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
  EXPECT_EQ(progress_, std::vector<float>{100.0f});
  progress_.clear();
  EXPECT_EQ(Decompress(packed), u"");
  EXPECT_TRUE(progress_.empty());  // count -1 fails before any decoding
}

TEST_F(LzCompressionTest, DefinedVectors) {
  const struct {
    String text;
    Bytes packed;  // the header, the count, the body less the odd byte a string cannot carry
  } cases[] = {
      {u"A", {0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31, 0x00, 0x00, 0x00, 0x01, 0x01, 0x41}},
      {u"ABABABAB",
       {0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31, 0x00, 0x00, 0x00, 0x0F, 0x0F, 0x41, 0x00, 0x42, 0x00, 0x00, 0x08, 0x00}},
  };
  for (const auto& c : cases) {
    const String packed = Compress(c.text);
    EXPECT_EQ(UnpackString(packed), c.packed) << "text of " << c.text.size();
    EXPECT_EQ(Decompress(packed), c.text);
  }
}

TEST_F(LzCompressionTest, TextWithoutRepeatsDoesNotFit) {
  EXPECT_EQ(Compress(u"0123456789"), u"");
  EXPECT_EQ(Compress(u"abcdefghijklmnopqrstuvwxyz"), u"");
  EXPECT_TRUE(progress_.empty());
}

// Progress values as the member raises them: a Double quotient handed over as a Single.
std::vector<float> Percentages(const std::vector<std::uint64_t>& counts, std::uint64_t total) {
  std::vector<float> values;
  for (auto count : counts) {
    values.push_back(static_cast<float>(static_cast<double>(count) / static_cast<double>(total) * 100.0));
  }
  return values;
}

// What CompressString must do with the reference coder's body for `coded` input bytes. The
// output array has coded + 12 bytes, 10 of them the header's; a group goes into it when the
// next item starts (or at the end), so when one does not fit the member gives "" after the
// events of every item up to the end of that group, and without the closing 100.
struct ExpectedCompression {
  bool fits = true;
  std::vector<std::uint64_t> progress;  // consumed counts
  bool last_item_reports = false;  // the group that does not fit ends with an item that reports
};
ExpectedCompression ExpectCompressString(const lz::reference::EncodeResult& want, std::uint64_t coded) {
  ExpectedCompression expected;
  const std::size_t room = static_cast<std::size_t>(coded) + 2;
  std::size_t at = 0;
  std::uint64_t steps = 0;  // ring positions advanced over
  while (at < want.body.size()) {
    const std::uint8_t flags = want.body[at];
    std::size_t end = at + 1;
    std::uint64_t before_last = steps;
    for (int k = 0; k < 8 && end < want.body.size(); ++k) {
      before_last = steps;
      if ((flags >> k) & 1) {
        end += 1;
        steps += 1;
      } else {
        steps += (want.body[end + 1] & 0x0Fu) + 3;
        end += 2;
      }
    }
    if (end > room) {
      const std::uint64_t consumed = std::min(coded, steps + 18);
      expected.fits = false;
      expected.last_item_reports = consumed / 4096 > std::min(coded, before_last + 18) / 4096;
      for (auto point : want.progress) {
        if (point <= consumed) expected.progress.push_back(point);
      }
      return expected;
    }
    at = end;
  }
  expected.progress = want.progress;
  return expected;
}

// Success, or "" when the output array is too small, and the events up to either, against
// the reference coder: noise, repeats and mixtures of both, one long enough to be coded on
// several threads.
TEST_F(LzCompressionTest, FixedOutputArrayDecidesSuccessAndTheEventsBeforeAFailure) {
  std::mt19937 rng(5);
  auto model = std::make_unique<lz::reference::Model>();
  int fits = 0;
  int fails = 0;
  for (int run = 0; run < 48; ++run) {
    String text(run == 0 ? 300000 : 1 + rng() % 12000, u'\0');
    const unsigned noise = run == 0 ? 8 : run % 9;  // in eighths
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = rng() % 8 < noise ? static_cast<char16_t>(rng()) : static_cast<char16_t>(u'a' + i % 5);
    }
    text.back() = u'.';
    const Bytes bytes = UnpackString(text);
    const std::uint64_t coded = bytes.size() - 1;
    const ExpectedCompression expected = ExpectCompressString(model->Encode(bytes.data(), coded), coded);
    std::vector<float> events = Percentages(expected.progress, coded);
    if (expected.fits) events.push_back(100.0f);
    progress_.clear();
    const String packed = Compress(text);
    ASSERT_EQ(packed.empty(), !expected.fits) << "run " << run;
    ASSERT_EQ(progress_, events) << "run " << run;
    if (expected.fits) {
      ASSERT_EQ(Decompress(packed), text) << "run " << run;
      ++fits;
    } else {
      ++fails;
    }
  }
  EXPECT_GE(fits, 5);
  EXPECT_GE(fails, 5);
  EXPECT_TRUE(messages_.empty());
}

// When the group that does not fit ends with an item that reaches a multiple of 4096, that
// item's events come before the failure: the group goes out only as the next item starts.
TEST_F(LzCompressionTest, GroupThatDoesNotFitFailsAfterItsLastItemsEvents) {
  std::mt19937 rng(9);
  auto model = std::make_unique<lz::reference::Model>();
  for (int attempt = 0; attempt < 2000; ++attempt) {
    // Noise of about 4576 bytes overflows near the first progress mark.
    String text(2286 + rng() % 6, u'\0');
    for (auto& c : text) c = static_cast<char16_t>(rng());
    const Bytes bytes = UnpackString(text);
    const std::uint64_t coded = bytes.size() - 1;
    const ExpectedCompression expected = ExpectCompressString(model->Encode(bytes.data(), coded), coded);
    if (expected.fits || !expected.last_item_reports) continue;
    const std::vector<float> events = Percentages(expected.progress, coded);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(Compress(text), u"");
    EXPECT_EQ(progress_, events);
    return;
  }
  FAIL() << "no input fails with a reporting last item";
}

TEST_F(LzCompressionTest, RoundTripsKeepTextWhoseLastCharacterIsNarrow) {
  std::mt19937 rng(7);
  for (int run = 0; run < 200; ++run) {
    String text(rng() % 9000 + 1, u'\0');
    const int kind = run % 3;
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = kind == 0 ? static_cast<char16_t>(u'a' + rng() % 4)
              : kind == 1 ? static_cast<char16_t>(u"the quick brown fox "[i % 20])
                          : static_cast<char16_t>(0x3040 + rng() % 3);
    }
    text.back() = u'.';
    const String packed = Compress(text);
    ASSERT_FALSE(packed.empty()) << "run " << run;
    ASSERT_EQ(Decompress(packed), text) << "run " << run;
  }
}

TEST_F(LzCompressionTest, WideLastCharacterLosesItsHighByte) {
  const String text = u"abcabcabcabc\u4E2D";
  EXPECT_EQ(Decompress(Compress(text)), u"abcabcabcabc\u002D");
}

TEST_F(LzCompressionTest, OutputMatchesTheReferenceAndProgressIsConsumedOverTotal) {
  std::mt19937 rng(3);
  auto model = std::make_unique<lz::reference::Model>();
  for (int run = 0; run < 30; ++run) {
    // The first is long enough to be coded on several threads.
    String text(run == 0 ? 300000 + rng() % 5 : 2048 * (1 + run % 5) + rng() % 5, u'\0');
    for (auto& c : text) c = static_cast<char16_t>(u'a' + rng() % 3);
    const Bytes bytes = UnpackString(text);
    const auto want = model->Encode(bytes.data(), bytes.size() - 1);
    progress_.clear();
    const Bytes got = UnpackString(Compress(text));
    ASSERT_GE(got.size(), 10u);
    const Bytes body(got.begin() + 10, got.end());
    Bytes want_body = want.body;
    want_body.push_back(0);  // trailing zero
    want_body.resize(got.size() - 10);  // less the odd byte the string cannot carry
    ASSERT_EQ(body, want_body) << "run " << run;
    std::vector<float> expected = Percentages(want.progress, bytes.size() - 1);
    expected.push_back(100.0f);
    ASSERT_EQ(progress_, expected) << "run " << run;
  }
}

TEST_F(LzCompressionTest, DecompressionProgressEndsWithOneHundredOnce) {
  String text(8192, u'x');  // 16384 bytes, 16383 coded, the last restored as zero
  const String packed = Compress(text);
  progress_.clear();
  EXPECT_EQ(Decompress(packed), text.substr(0, 8191) + u"x");
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.back(), 100.0f);
  EXPECT_EQ(std::count(progress_.begin(), progress_.end(), 100.0f), 1);
  const float quarter = static_cast<float>(4096.0 / 16383.0 * 100.0);
  EXPECT_EQ(progress_.front(), quarter);
}

TEST_F(LzCompressionTest, NonContainersGiveEmptyWithoutEvents) {
  EXPECT_EQ(Decompress(u""), u"");
  EXPECT_EQ(Decompress(u"QVXLZ"), u"");  // 5 characters
  const String packed = Compress(u"abcabcabcabcabc");
  progress_.clear();
  // Every one of the six identification bytes counts.
  for (std::size_t at = 0; at < 6; ++at) {
    Bytes bytes = UnpackString(packed);
    bytes[at] ^= 0x20;
    EXPECT_EQ(Decompress(PackBytes(bytes)), u"") << "byte " << at;
  }
  EXPECT_TRUE(progress_.empty());
  EXPECT_TRUE(messages_.empty());
}

// A body that ends early stops decoding: the events raised on the way stay raised, but
// there is no closing 100, and no ErrorMessage.
TEST_F(LzCompressionTest, FailedDecodingKeepsEarlierProgressButNoClosingEvent) {
  String text(8192, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(u'a' + i % 7 + i / 700);
  const String packed = Compress(text);
  ASSERT_FALSE(packed.empty());
  progress_.clear();
  EXPECT_EQ(Decompress(packed.substr(0, packed.size() - 8)), u"");
  ASSERT_FALSE(progress_.empty());
  for (float p : progress_) EXPECT_LT(p, 100.0f);
  EXPECT_TRUE(messages_.empty());
}

// Decoding reads the object's ring as the decoding before left it, from position 0 on: a
// body whose first item is a match sees the bytes of the previous call.
TEST_F(LzCompressionTest, DecodingStartsFromTheRingTheLastDecodingLeft) {
  const Bytes header = {0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31, 0x00, 0x00, 0x00, 0x03};
  Bytes literals = header;
  literals.insert(literals.end(), {0x07, 'p', 'q', 'r'});
  Bytes match = header;
  match.insert(match.end(), {0x00, 0x00, 0x00});  // position 0, length 3
  match.push_back(0);
  const String pqr = PackBytes({'p', 'q', 'r', 0});  // count 3, and the array's last byte
  EXPECT_EQ(Decompress(PackBytes(literals)), pqr);
  EXPECT_EQ(Decompress(PackBytes(match)), pqr);
}

TEST_F(LzCompressionTest, HostileContainersGiveEmpty) {
  const Bytes header = {0x51, 0x56, 0x58, 0x4C, 0x5A, 0x31};
  auto container = [&](Bytes count, Bytes body) {
    Bytes all = header;
    all.insert(all.end(), count.begin(), count.end());
    all.insert(all.end(), body.begin(), body.end());
    if (all.size() % 2) all.push_back(0);
    return PackBytes(all);
  };
  EXPECT_EQ(Decompress(container({0xFF, 0xFF, 0xFF, 0xFE}, {0x01, 0x41})), u"");      // count -2
  EXPECT_EQ(Decompress(container({0x7F, 0xFF, 0xFF, 0xFF}, {0x01, 0x41})), u"");      // huge, truncated
  EXPECT_EQ(Decompress(container({0x00, 0x00, 0x00, 0x05}, {0x01, 0x41})), u"");      // truncated
  EXPECT_EQ(Decompress(container({0x00, 0x00, 0x00, 0x02}, {0x00, 0x00, 0x0F})), u"");  // match past count
  // A match past the count is decoded in full into the array's last index (count), but a
  // byte beyond that fails the member. Count 3: literal A, then a match of 3 at position 0.
  EXPECT_EQ(Decompress(container({0x00, 0x00, 0x00, 0x03}, {0x01, 0x41, 0x00, 0x00})), (String{0x4141, 0x4141}));
  EXPECT_EQ(Decompress(container({0x00, 0x00, 0x00, 0x02}, {0x01, 0x41, 0x00, 0x00})), u"");
}

TEST_F(LzCompressionTest, GoldenContainersMatch) {
  const auto dir = testing::TestDataDir() / "lz";
  for (const char* name : {"text_wraps_ring", "runs_full_matches"}) {
    std::ifstream in_text(dir / (std::string(name) + ".txt"), std::ios::binary);
    std::ifstream in_lz(dir / (std::string(name) + ".qvxlz"), std::ios::binary);
    ASSERT_TRUE(in_text && in_lz) << name;
    const Bytes text{std::istreambuf_iterator<char>(in_text), {}};
    const Bytes golden{std::istreambuf_iterator<char>(in_lz), {}};
    String input;
    for (std::uint8_t b : text) input.push_back(b);  // one character per byte
    EXPECT_EQ(UnpackString(Compress(input)), Bytes(golden.begin(), golden.begin() + static_cast<std::ptrdiff_t>(golden.size() / 2 * 2)))
        << name;
    EXPECT_EQ(Decompress(PackBytes(golden)), input) << name;
  }
}

TEST_F(LzCompressionTest, LateBoundCallsByName) {
  Variant text = u"banana banana banana";
  const Variant packed = object_.Call("compressstring", {ByRef(text)});
  EXPECT_EQ(text.VarType(), VbVarType::vbString);
  EXPECT_EQ(CStr(text), u"banana banana banana");  // by reference, not changed
  Variant input = packed;
  EXPECT_EQ(CStr(object_.Call("DecompressString", {ByRef(input)})), u"banana banana banana");
  EXPECT_TRUE(IsClassAvailable("Narwick.clsLZCompression"));
}

}  // namespace
}  // namespace narwick
