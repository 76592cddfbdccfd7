// .reg reading and writing.
//
// Reading runs in three steps: the bytes become 16-bit text (by byte-order mark; a
// version 5 file without one is UTF-8, a REGEDIT4 file Windows-1252), the text becomes
// logical lines (a value line ending in a backslash continues on the next line), and each
// logical line becomes an edit. The first fault stops everything, so nothing of a bad file
// reaches the store.
#include "platform/reg_file.h"

#include <algorithm>
#include <cstdio>

#include "narwick/frame/codepage.h"
#include "narwick/frame/variant.h"

namespace narwick::platform {

namespace {

struct ParseFailure {
  int line;
  std::string message;
};

[[noreturn]] void Fail(int line, std::string message) { throw ParseFailure{line, std::move(message)}; }

// Counts the lines of raw bytes up to `offset`, for decoding errors.
int LineAt(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t unit) {
  int line = 1;
  for (std::size_t i = 0; i + unit <= offset; i += unit) {
    if (bytes[i] == '\n') ++line;
  }
  return line;
}

String DecodeUtf16(std::span<const std::uint8_t> bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) Fail(LineAt(bytes, bytes.size() - 1, 2), "the UTF-16 text ends in half a character");
  String text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto lo = bytes[i + (big_endian ? 1 : 0)];
    auto hi = bytes[i + (big_endian ? 0 : 1)];
    text.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  return text;
}

// Strict UTF-8. FromUtf8 already refuses overlong forms, surrogates and anything above
// U+10FFFF, keeping each such byte as a lone stand-in (U+DC80..U+DCFF); a .reg file may hold
// none, so the first one fails its line.
String DecodeUtf8(std::span<const std::uint8_t> bytes) {
  String text = FromUtf8({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool paired = i > 0 && text[i - 1] >= 0xD800 && text[i - 1] < 0xDC00;
    if (text[i] >= 0xDC80 && text[i] <= 0xDCFF && !paired) {
      const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(i), u'\n');
      Fail(static_cast<int>(line) + 1, "the text is not valid UTF-8");
    }
  }
  return text;
}

bool StartsWithAscii(std::span<const std::uint8_t> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

String Decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return DecodeUtf16(bytes.subspan(2), false);
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return DecodeUtf16(bytes.subspan(2), true);
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return DecodeUtf8(bytes.subspan(3));
  // REGEDIT4 files are in the ANSI code page by definition; reading one as UTF-8 would turn
  // some byte pairs into single characters.
  if (StartsWithAscii(bytes, kRegedit4Header)) return FromAnsi(bytes);
  return DecodeUtf8(bytes);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

StringView TrimLeft(StringView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}
StringView TrimRight(StringView s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Narrow(StringView s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// Text to Windows-1252 bytes; a character the code page lacks is an error.
std::string ToCodePage(StringView text, int line, const char* what) {
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    Byte b = CharToAnsi(text[i]);
    if (b == '?' && text[i] != u'?') {
      // Name the character, not the first half of its surrogate pair.
      unsigned point = text[i];
      if (point >= 0xD800 && point < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
        point = 0x10000 + ((point - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      }
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", point);
      Fail(line, std::string(what) + " holds the character " + code +
                     ", which the store's code page (Windows-1252) cannot hold");
    }
    out[i] = static_cast<char>(b);
  }
  return out;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

class Parser {
 public:
  explicit Parser(RegFileParse& out) : out_(out) {}

  void Run(const String& text) {
    SplitLines(text);
    if (lines_.empty() || TrimRight(lines_[0]) == StringView()) {
      Fail(1, "not a .reg file: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
    }
    StringView header = TrimRight(lines_[0]);
    if (header == u"Windows Registry Editor Version 5.00") {
      out_.format = RegFileFormat::kVersion5;
    } else if (header == u"REGEDIT4") {
      out_.format = RegFileFormat::kRegedit4;
    } else {
      Fail(1, "not a .reg file: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
    }
    for (std::size_t i = 1; i < lines_.size(); ++i) {
      int line_number = static_cast<int>(i) + 1;
      StringView line = TrimLeft(lines_[i]);
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        Section(TrimRight(line), line_number);
        continue;
      }
      if (line.front() != u'"' && line.front() != u'@') {
        Fail(line_number, "expected a [key] line, a value line or a ; comment");
      }
      // Join continuation lines: a trailing backslash carries the value on to the next line.
      // Only the newly joined part is scanned, so long continued values stay linear.
      String joined(TrimRight(line));
      QuoteScan scan;
      scan.Feed(joined);
      while (!joined.empty() && joined.back() == u'\\' && !scan.in_quotes && i + 1 < lines_.size()) {
        joined.pop_back();
        ++i;
        StringView more = TrimRight(TrimLeft(lines_[i]));
        joined += more;
        scan.Feed(more);
      }
      ValueLine(joined, line_number);
    }
  }

 private:
  void SplitLines(const String& text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' || text[i] == u'\n') {
        lines_.emplace_back(StringView(text).substr(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
      }
    }
    if (start < text.size()) lines_.emplace_back(StringView(text).substr(start));
  }

  // Whether a value line ends inside a quoted string: a backslash there is an escape
  // ("path"="C:\\" ends in one), not a continuation.
  struct QuoteScan {
    bool in_quotes = false;
    bool escaped = false;
    void Feed(StringView s) {
      for (char16_t c : s) {
        if (escaped) {
          escaped = false;
        } else if (c == u'"') {
          in_quotes = !in_quotes;
        } else if (c == u'\\' && in_quotes) {
          escaped = true;
        }
      }
    }
  };

  void Section(StringView line, int line_number) {
    std::size_t close = line.rfind(u']');
    if (close == StringView::npos || close != line.size() - 1) {
      Fail(line_number, "a key line must end with ]");
    }
    StringView inner = line.substr(1, close - 1);
    bool remove = !inner.empty() && inner.front() == u'-';
    if (remove) inner.remove_prefix(1);
    std::size_t slash = inner.find(u'\\');
    StringView root_name = inner.substr(0, slash);
    StringView path = slash == StringView::npos ? StringView() : inner.substr(slash + 1);
    const RootKey* root = FindRoot(Narrow(root_name));
    if (root == nullptr) {
      Fail(line_number, "unknown root key \"" + Narrow(root_name) + "\"");
    }
    if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    std::string ansi_path = ToCodePage(path, line_number, "the key name");
    std::size_t start = 0;
    while (!ansi_path.empty() && start <= ansi_path.size()) {
      std::size_t end = ansi_path.find('\\', start);
      if (end == std::string::npos) end = ansi_path.size();
      if (end == start) Fail(line_number, "the key path has an empty name between backslashes");
      if (end - start > reg::kMaxKeyNameLength) Fail(line_number, "a key name is longer than 255 characters");
      if (ansi_path.find('\0', start) < end) Fail(line_number, "a key name holds a zero character");
      start = end + 1;
    }
    if (remove && ansi_path.empty()) Fail(line_number, "a root key cannot be deleted");
    RegEdit edit;
    edit.kind = remove ? RegEdit::Kind::kDeleteTree : RegEdit::Kind::kCreateKey;
    edit.root = root->handle;
    edit.path = ansi_path;
    edit.line = line_number;
    out_.edits.push_back(edit);
    have_section_ = !remove;
    section_root_ = root->handle;
    section_path_ = std::move(ansi_path);
  }

  // A quoted string starting at s[pos] (the opening quote); returns its text and moves pos
  // past the closing quote.
  static String Quoted(StringView s, std::size_t& pos, int line_number) {
    String text;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
      char16_t c = s[i];
      if (c == u'"') {
        pos = i + 1;
        return text;
      }
      if (c == u'\\') {
        if (i + 1 >= s.size()) break;
        char16_t next = s[++i];
        if (next != u'\\' && next != u'"') {
          Fail(line_number, "unknown escape \\" + Narrow(StringView(&next, 1)) + " in a quoted string (only \\\\ and \\\" are allowed)");
        }
        text.push_back(next);
        continue;
      }
      text.push_back(c);
    }
    Fail(line_number, "a quoted string is not closed");
  }

  static std::vector<std::uint8_t> HexBytes(StringView s, int line_number) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    auto skip_blanks = [&] {
      while (i < s.size() && IsBlank(s[i])) ++i;
    };
    skip_blanks();
    while (i < s.size()) {
      int hi = HexDigit(s[i]);
      if (hi < 0) Fail(line_number, "hex data must be two-digit hex numbers separated by commas");
      int value = hi;
      ++i;
      if (i < s.size() && HexDigit(s[i]) >= 0) {
        value = value * 16 + HexDigit(s[i]);
        ++i;
      }
      bytes.push_back(static_cast<std::uint8_t>(value));
      skip_blanks();
      if (i == s.size()) break;
      if (s[i] != u',') Fail(line_number, "hex data must be two-digit hex numbers separated by commas");
      ++i;
      skip_blanks();
    }
    return bytes;
  }

  // Version 5 files carry the string types as UTF-16LE; the store keeps them in Windows-1252.
  static std::vector<std::uint8_t> StringTypeToCodePage(const std::vector<std::uint8_t>& utf16, int line_number) {
    if (utf16.size() % 2 != 0) Fail(line_number, "string data in hex form has an odd number of bytes");
    String text;
    for (std::size_t i = 0; i < utf16.size(); i += 2) {
      text.push_back(static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8)));
    }
    std::string ansi = ToCodePage(text, line_number, "the string data");
    return {ansi.begin(), ansi.end()};
  }

  void ValueLine(StringView line, int line_number) {
    if (!have_section_) Fail(line_number, "a value line must follow a [key] line");
    std::size_t pos = 0;
    String name;
    if (line.front() == u'@') {
      pos = 1;
    } else {
      name = Quoted(line, pos, line_number);
    }
    StringView rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != u'=') Fail(line_number, "expected = after the value name");
    rest = TrimLeft(rest.substr(1));

    RegEdit edit;
    edit.root = section_root_;
    edit.path = section_path_;
    edit.line = line_number;
    edit.kind = RegEdit::Kind::kSetValue;
    edit.value.name = ToCodePage(name, line_number, "the value name");
    if (edit.value.name.find('\0') != std::string::npos) Fail(line_number, "a value name holds a zero character");
    if (edit.value.name.size() > reg::kMaxValueNameLength) {
      Fail(line_number, "a value name is longer than 16383 characters");
    }

    auto starts = [&](std::u16string_view prefix) {
      if (rest.size() < prefix.size()) return false;
      for (std::size_t i = 0; i < prefix.size(); ++i) {
        char16_t c = rest[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c != prefix[i]) return false;
      }
      return true;
    };

    if (rest.empty()) {
      Fail(line_number, "the value has no data");
    } else if (rest.front() == u'"') {
      std::size_t end = 0;
      String text = Quoted(rest, end, line_number);
      if (!TrimLeft(rest.substr(end)).empty()) Fail(line_number, "unexpected text after the quoted string");
      std::string ansi = ToCodePage(text, line_number, "the string data");
      edit.value.type = reg::kSz;
      edit.value.data.assign(ansi.begin(), ansi.end());
      edit.value.data.push_back(0);
    } else if (rest == u"-") {
      edit.kind = RegEdit::Kind::kDeleteValue;
    } else if (starts(u"dword:")) {
      StringView digits = TrimRight(rest.substr(6));
      if (digits.empty() || digits.size() > 8) Fail(line_number, "dword: needs 1 to 8 hex digits");
      std::uint32_t v = 0;
      for (char16_t c : digits) {
        int d = HexDigit(c);
        if (d < 0) Fail(line_number, "dword: needs 1 to 8 hex digits");
        v = v * 16 + static_cast<std::uint32_t>(d);
      }
      edit.value.type = reg::kDword;
      edit.value.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                         static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    } else if (starts(u"hex:")) {
      edit.value.type = reg::kBinary;
      edit.value.data = HexBytes(rest.substr(4), line_number);
    } else if (starts(u"hex(")) {
      std::size_t close = rest.find(u')');
      if (close == StringView::npos || close == 4 || close > 12 || close + 1 >= rest.size() || rest[close + 1] != u':') {
        Fail(line_number, "hex(type): needs a type of 1 to 8 hex digits");
      }
      std::uint32_t type = 0;
      for (char16_t c : rest.substr(4, close - 4)) {
        int d = HexDigit(c);
        if (d < 0) Fail(line_number, "hex(type): needs a type of 1 to 8 hex digits");
        type = type * 16 + static_cast<std::uint32_t>(d);
      }
      edit.value.type = type;
      edit.value.data = HexBytes(rest.substr(close + 2), line_number);
      if (out_.format == RegFileFormat::kVersion5 &&
          (type == reg::kSz || type == reg::kExpandSz || type == reg::kMultiSz)) {
        edit.value.data = StringTypeToCodePage(edit.value.data, line_number);
      }
    } else {
      Fail(line_number, "unknown value data (expected \"text\", dword:, hex:, hex(type): or -)");
    }
    out_.edits.push_back(std::move(edit));
  }

  RegFileParse& out_;
  std::vector<StringView> lines_;
  bool have_section_ = false;
  HKey section_root_ = 0;
  std::string section_path_;
};

// --- writing ---

class Writer {
 public:
  explicit Writer(RegFileFormat format) : format_(format) {}

  void Line(const String& text) {
    text_ += text;
    text_ += u"\r\n";
  }

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out;
    if (format_ == RegFileFormat::kVersion5) {
      out.reserve(2 + text_.size() * 2);
      out.push_back(0xFF);
      out.push_back(0xFE);
      for (char16_t c : text_) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
      }
    } else {
      std::vector<Byte> ansi = ToAnsi(text_);
      out.assign(ansi.begin(), ansi.end());
    }
    return out;
  }

 private:
  RegFileFormat format_;
  String text_;
};

String FromBytes(std::string_view ansi) {
  return FromAnsi({reinterpret_cast<const Byte*>(ansi.data()), ansi.size()});
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

String QuotedText(std::string_view ansi) {
  String out = u"\"";
  for (char16_t c : FromBytes(ansi)) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  out.push_back(u'"');
  return out;
}

// A REG_SZ that reads back identically from "text" form: one terminating zero and no other,
// and no line break.
bool IsPlainString(const std::vector<std::uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  }
  return true;
}

String HexLine(String line, const std::vector<std::uint8_t>& bytes) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  // regedit wraps hex data near 80 columns, continuing with a backslash and two spaces.
  constexpr std::size_t kWidth = 77;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    line.push_back(kDigits[bytes[i] >> 4]);
    line.push_back(kDigits[bytes[i] & 15]);
    if (i + 1 < bytes.size()) {
      line.push_back(u',');
      if (line.size() - line_start >= kWidth) {
        line += u"\\\r\n  ";
        line_start = line.size() - 2;
      }
    }
  }
  return line;
}

String TypeText(std::uint32_t type) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", type);
  String out;
  for (const char* p = buffer; *p; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

}  // namespace

RegFileParse ParseRegFile(std::span<const std::uint8_t> bytes) {
  RegFileParse result;
  try {
    String text = Decode(bytes);
    Parser(result).Run(text);
  } catch (const ParseFailure& failure) {
    result.edits.clear();
    result.error = RegFileError{failure.line, failure.message};
  }
  return result;
}

std::vector<std::uint8_t> WriteRegFile(RegFileFormat format, const RootKey& root,
                                       std::span<const RegKeyRecord> keys) {
  Writer out(format);
  out.Line(format == RegFileFormat::kVersion5 ? u"Windows Registry Editor Version 5.00" : u"REGEDIT4");
  const String root_name = FromBytes(root.name);
  for (const auto& key : keys) {
    if (HasLineBreak(key.path)) {
      throw RegFileWriteError("the key \"" + key.path + "\" has a line break in its name, which a .reg file cannot hold");
    }
    out.Line(u"");
    out.Line(u"[" + root_name + (key.path.empty() ? String() : u"\\" + FromBytes(key.path)) + u"]");
    for (const auto& value : key.values) {
      if (HasLineBreak(value.name)) {
        throw RegFileWriteError("a value of \"" + key.path +
                                "\" has a line break in its name, which a .reg file cannot hold");
      }
      String line = value.name.empty() ? String(u"@") : QuotedText(value.name);
      line += u"=";
      if (value.type == reg::kSz && IsPlainString(value.data)) {
        std::string_view text(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1);
        out.Line(line + QuotedText(text));
      } else if (value.type == reg::kDword && value.data.size() == 4) {
        std::uint32_t v = reg::DwordFromBytes(value.data.data());
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
        out.Line(line + FromBytes(buffer));
      } else {
        std::vector<std::uint8_t> bytes = value.data;
        if (format == RegFileFormat::kVersion5 &&
            (value.type == reg::kSz || value.type == reg::kExpandSz || value.type == reg::kMultiSz)) {
          bytes.clear();
          for (std::uint8_t b : value.data) {
            char16_t c = AnsiToChar(b);
            bytes.push_back(static_cast<std::uint8_t>(c));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
          }
        }
        line += value.type == reg::kBinary ? String(u"hex:") : u"hex(" + TypeText(value.type) + u"):";
        out.Line(HexLine(std::move(line), bytes));
      }
    }
  }
  out.Line(u"");
  return out.Bytes();
}

}  // namespace narwick::platform
