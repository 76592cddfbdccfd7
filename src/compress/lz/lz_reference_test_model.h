// A plain, byte-at-a-time transcription of the LZ coder, kept only for tests and the benchmark
// as the reference the library's coder must match byte for byte (and progress for progress).
// Deliberately naive: do not optimise it.
#pragma once

#include <cstdint>
#include <vector>

namespace narwick::lz::reference {

// The chains and the search over a 4096-byte ring with its 18-byte mirror (text[0..4113]),
// exactly as defined, so that they can also be stepped on their own.
class Chains {
 public:
  Chains() { Clear(); }
  void Clear() {
    for (int i = 0; i <= 8192; ++i) next_[i] = 4096;
    for (int i = 0; i <= 4096; ++i) prev_[i] = 4096;
  }
  static int Hash(const std::uint8_t* text, int r) { return (text[r] + 256 * text[r + 1]) % 4096; }
  void LinkPosition(const std::uint8_t* text, int r) {
    const int head = 4097 + Hash(text, r);
    const int old = next_[head];
    next_[head] = r;
    prev_[r] = head;
    next_[r] = old;
    if (old != 4096) prev_[old] = r;
  }
  void UnlinkPosition(int p) {
    if (prev_[p] == 4096) return;
    const int q = prev_[p];
    const int n = next_[p];
    next_[q] = n;
    prev_[n] = q;
    next_[p] = 4096;
    prev_[p] = 4096;
  }
  // Sets length (0..18) and position of the longest match over r's chain.
  void FindLongestMatch(const std::uint8_t* text, int r, int& length, int& position) {
    position = 0;
    length = 0;
    int p = next_[4097 + Hash(text, r)];
    while (p != 4096) {
      int i = 0;
      while (i < 18 && text[p + i] == text[r + i]) ++i;
      if (i > length) {
        length = i;
        position = p;
      }
      if (i == 18) {
        UnlinkPosition(next_[p]);
        break;
      }
      p = next_[p];
    }
  }
  int next(int i) const { return next_[i]; }
  int prev(int i) const { return prev_[i]; }

 private:
  int next_[8194] = {};  // 16-bit in the original; every value fits
  int prev_[4098] = {};
};

struct EncodeResult {
  std::vector<std::uint8_t> body;         // the flag groups, final flush included
  std::vector<std::uint64_t> progress;    // consumed counts at each progress point
};

enum class DecodeEnd { kOk, kTruncated, kOverrun };

struct DecodeResult {
  DecodeEnd end = DecodeEnd::kOk;
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint64_t> progress;  // produced counts at each progress point
};

class Model {
 public:
  Model() { InitDictionary(); }

  // The decoder: the ring only, as the last operation left it, writing from position 0.
  // Progress at every multiple of 4096 inside a match, and after each item that ends on one.
  DecodeResult Decode(const std::uint8_t* body, std::size_t size, std::uint64_t count, std::uint64_t limit) {
    DecodeResult out;
    std::size_t at = 0;
    int r = 0;
    while (out.bytes.size() < count) {
      if (at == size) return Ended(out, DecodeEnd::kTruncated);
      int flags = body[at++];
      for (int k = 0; k < 8 && out.bytes.size() < count; ++k, flags >>= 1) {
        if (flags & 1) {
          if (at == size) return Ended(out, DecodeEnd::kTruncated);
          text_[r] = body[at++];
          out.bytes.push_back(text_[r]);
          r = (r + 1) % 4096;
        } else {
          if (at == size) return Ended(out, DecodeEnd::kTruncated);
          const int b1 = body[at++];
          if (at == size) return Ended(out, DecodeEnd::kTruncated);
          const int b2 = body[at++];
          int p = b1 | (b2 & 0xF0) << 4;
          const int length = (b2 & 0x0F) + 3;
          for (int j = 0; j < length; ++j) {
            if (out.bytes.size() == limit) return Ended(out, DecodeEnd::kOverrun);
            text_[r] = text_[p];
            out.bytes.push_back(text_[r]);
            p = (p + 1) % 4096;
            r = (r + 1) % 4096;
            if (out.bytes.size() % 4096 == 0) out.progress.push_back(out.bytes.size());
          }
        }
        if (out.bytes.size() % 4096 == 0) out.progress.push_back(out.bytes.size());
      }
    }
    return out;
  }

  EncodeResult Encode(const std::uint8_t* data, std::size_t size) {
    EncodeResult out;
    InitDictionary();
    std::size_t next = 0;
    std::uint64_t consumed = 0;
    int r = 0;
    int lookahead = 0;
    while (lookahead < 18 && next < size) {
      const std::uint8_t c = data[next++];
      ++consumed;
      text_[lookahead] = c;
      text_[lookahead + 4096] = c;
      ++lookahead;
    }
    while (lookahead > 0) {
      chains_.FindLongestMatch(text_, r, match_length_, match_position_);
      if (match_length_ > lookahead) match_length_ = lookahead;
      if (match_length_ >= 3) {
        PutMatch(out.body, match_position_, match_length_);
      } else {
        match_length_ = 1;
        PutLiteral(out.body, text_[r]);
      }
      for (int i = 0; i < match_length_; ++i) {
        const int s = (r + 18) % 4096;
        chains_.UnlinkPosition(s);
        --lookahead;
        if (next < size) {
          const std::uint8_t c = data[next++];
          ++consumed;
          text_[s] = c;
          if (r + 18 >= 4096) text_[r + 18] = c;
          ++lookahead;
        }
        chains_.LinkPosition(text_, r);
        r = (r + 1) % 4096;
        if (consumed % 4096 == 0) out.progress.push_back(consumed);
      }
      if (consumed % 4096 == 0) out.progress.push_back(consumed);
    }
    for (int i = 0; i < code_ptr_; ++i) out.body.push_back(code_[i]);
    return out;
  }

 private:
  static DecodeResult& Ended(DecodeResult& out, DecodeEnd end) {
    out.end = end;
    return out;
  }

  void InitDictionary() {
    for (int i = 0; i <= 4113; ++i) text_[i] = 0x20;
    chains_.Clear();
    code_[0] = 0;
    code_ptr_ = 1;
    flag_count_ = 0;
  }
  void StartItem(std::vector<std::uint8_t>& out) {
    if (flag_count_ == 8) {
      for (int i = 0; i < code_ptr_; ++i) out.push_back(code_[i]);
      code_ptr_ = 1;
      flag_count_ = 0;
      code_[0] = 0;
    }
  }
  void PutLiteral(std::vector<std::uint8_t>& out, std::uint8_t c) {
    StartItem(out);
    code_[code_ptr_++] = c;
    code_[0] = static_cast<std::uint8_t>(code_[0] | (1 << flag_count_));
    ++flag_count_;
  }
  void PutMatch(std::vector<std::uint8_t>& out, int position, int length) {
    StartItem(out);
    code_[code_ptr_] = static_cast<std::uint8_t>(position & 0xFF);
    code_[code_ptr_ + 1] = static_cast<std::uint8_t>(((position >> 4) & 0xF0) | (length - 3));
    code_ptr_ += 2;
    ++flag_count_;
  }

  std::uint8_t text_[4115] = {};
  Chains chains_;
  int match_position_ = 0;
  int match_length_ = 0;
  std::uint8_t code_[18] = {};
  int code_ptr_ = 1;
  int flag_count_ = 0;
};

}  // namespace narwick::lz::reference
