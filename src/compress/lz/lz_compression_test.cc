// clsLZCompression string members: the defined vectors, round trips, failure results, the
// progress events, and late-bound use by name.
#include "narwick/compress/lz_compression.h"

#include <gtest/gtest.h>

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

TEST_F(LzCompressionTest, FailureKeepsEarlierProgressButNoClosingEvent) {
  std::mt19937 rng(1);
  String text(6000, u'\0');
  for (auto& c : text) c = static_cast<char16_t>(rng());
  EXPECT_EQ(Compress(text), u"");
  ASSERT_FALSE(progress_.empty());
  for (float p : progress_) EXPECT_LT(p, 100.0f);
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
    std::vector<float> expected;
    for (auto consumed : want.progress) {
      expected.push_back(static_cast<float>(static_cast<double>(consumed) / static_cast<double>(bytes.size() - 1) * 100.0));
    }
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
  String other = Compress(u"abcabcabcabcabc");
  other[0] = u'q';
  progress_.clear();
  EXPECT_EQ(Decompress(other), u"");
  EXPECT_TRUE(progress_.empty());
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
