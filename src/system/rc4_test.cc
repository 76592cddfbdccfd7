// The RC4 core: published keystreams, a plain reference model on random keys and splits,
// and OpenSSL's RC4 where its development files are present.
#include "system/rc4.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#ifdef NARWICK_TEST_WITH_OPENSSL
// RC4 is a legacy cipher in OpenSSL 3: the low-level calls remain in libcrypto (deprecated,
// needing no provider) unless the build left them out.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/opensslconf.h>
#if defined(OPENSSL_NO_RC4) || defined(OPENSSL_NO_DEPRECATED_3_0)
#undef NARWICK_TEST_WITH_OPENSSL
#else
#include <openssl/rc4.h>
#endif
#endif

namespace narwick::rc4 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(k, 2)), nullptr, 16)));
  }
  return out;
}

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Textbook RC4, one byte at a time with remainders, written independently of the core.
Bytes ReferenceKeystream(const Bytes& key, std::size_t n) {
  int s[256];
  for (int k = 0; k < 256; ++k) s[k] = k;
  int j = 0;
  for (int i = 0; i < 256; ++i) {
    j = (j + s[i] + key[static_cast<std::size_t>(i) % key.size()]) % 256;
    std::swap(s[i], s[j]);
  }
  Bytes out(n);
  int i = 0;
  j = 0;
  for (std::size_t k = 0; k < n; ++k) {
    i = (i + 1) % 256;
    j = (j + s[i]) % 256;
    std::swap(s[i], s[j]);
    out[k] = static_cast<std::uint8_t>(s[(s[i] + s[j]) % 256]);
  }
  return out;
}

Bytes Keystream(const Bytes& key, std::size_t n) {
  Cipher cipher(key);
  Bytes out(n, 0);
  cipher.Apply(out);
  return out;
}

TEST(Rc4Test, PublishedTextVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher_hex;
  };
  for (const Case& c :
       {Case{"Key", "Plaintext", "bbf316e8d940af0ad3"}, Case{"Wiki", "pedia", "1021bf0420"},
        Case{"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"}}) {
    Cipher cipher(FromText(c.key));
    Bytes data = FromText(c.plain);
    cipher.Apply(data);
    EXPECT_EQ(data, FromHex(c.cipher_hex)) << "key " << c.key;
  }
}

// Keystream bytes at chosen offsets, from the RC4 test vectors of RFC 6229.
TEST(Rc4Test, Rfc6229Keystreams) {
  struct Case {
    const char* key_hex;
    std::size_t offset;
    const char* stream_hex;
  };
  const Case cases[] = {
      {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
      {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
      {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
      {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
      {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
      {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
      {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
      {"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
      {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
      {"ebb46227c6cc8b37641910833222772a", 0, "720c94b63edf44e131d950ca211a5a30"},
  };
  for (const Case& c : cases) {
    Bytes stream = Keystream(FromHex(c.key_hex), c.offset + 16);
    EXPECT_EQ(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(c.offset), stream.end()),
              FromHex(c.stream_hex))
        << "key " << c.key_hex << " offset " << c.offset;
  }
}

// The unrolled word loop, its byte tail and the one-byte step must produce one keystream,
// however a stream is cut into calls, in place or not, whatever the buffer's alignment, and
// after the same cipher is scheduled again for the next key.
TEST(Rc4Test, MatchesReferenceOnRandomKeysAndSplits) {
  const std::uint32_t seed = 20261205;
  std::mt19937 rng(seed);
  Cipher cipher;
  for (int round = 0; round < 200; ++round) {
    // A one-byte key first (it fills all 256 schedule entries), then lengths up to past 256.
    Bytes key(round == 0 ? 1 : 1 + rng() % 300);  // past 256: only the first 256 bytes count
    for (auto& b : key) b = static_cast<std::uint8_t>(rng());
    const std::size_t n = rng() % 5000;
    Bytes plain(n);
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    Bytes expected = ReferenceKeystream(key, n);
    for (std::size_t k = 0; k < n; ++k) expected[k] ^= plain[k];

    cipher.Schedule(key);
    Bytes in(n + 8), out(n + 8);
    const std::size_t misalign = rng() % 8;
    Bytes got;
    for (std::size_t done = 0; done < n;) {
      std::size_t piece = std::min<std::size_t>(n - done, rng() % 3 == 0 ? 1 : rng() % 100);
      if (piece == 1 && rng() % 2 == 0) {
        got.push_back(static_cast<std::uint8_t>(plain[done] ^ cipher.Next()));
      } else {
        std::uint8_t* p = in.data() + misalign;
        std::copy_n(plain.begin() + static_cast<std::ptrdiff_t>(done), piece, p);
        std::uint8_t* q = rng() % 2 == 0 ? p : out.data() + rng() % 8;
        cipher.Apply(p, q, piece);
        got.insert(got.end(), q, q + piece);
      }
      done += piece;
    }
    ASSERT_EQ(got, expected) << "seed " << seed << " round " << round << " key length "
                             << key.size();
  }
}

#ifdef NARWICK_TEST_WITH_OPENSSL
TEST(Rc4Test, MatchesOpenSslOnRandomKeysAndData) {
  const std::uint32_t seed = 4242;
  std::mt19937 rng(seed);
  for (int round = 0; round < 100; ++round) {
    Bytes key(1 + rng() % 256);
    for (auto& b : key) b = static_cast<std::uint8_t>(rng());
    Bytes data(rng() % 70000);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());

    RC4_KEY theirs;
    RC4_set_key(&theirs, static_cast<int>(key.size()), key.data());
    Bytes expected(data.size());
    RC4(&theirs, data.size(), data.data(), expected.data());

    Cipher ours(key);
    ours.Apply(data);
    ASSERT_EQ(data, expected) << "seed " << seed << " round " << round;
  }
}
#else
TEST(Rc4Test, MatchesOpenSslOnRandomKeysAndData) {
  GTEST_SKIP() << "OpenSSL's RC4 is not available (libssl-dev missing at configure time, or "
                  "an OpenSSL built without RC4): comparison skipped";
}
#endif

}  // namespace
}  // namespace narwick::rc4
