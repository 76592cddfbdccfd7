// Variant storage, kinds and raw access; UTF-8 bridging for hosts.
#include "narwick/frame/variant.h"

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"

namespace narwick {

Variant::ArrayBox::ArrayBox(std::unique_ptr<SafeArray> a) : array_(std::move(a)) {}
Variant::ArrayBox::ArrayBox(const ArrayBox& other)
    : array_(std::make_unique<SafeArray>(*other.array_)) {}
Variant::ArrayBox::ArrayBox(ArrayBox&&) noexcept = default;
Variant::ArrayBox& Variant::ArrayBox::operator=(const ArrayBox& other) {
  if (this != &other) array_ = std::make_unique<SafeArray>(*other.array_);
  return *this;
}
Variant::ArrayBox& Variant::ArrayBox::operator=(ArrayBox&&) noexcept = default;
Variant::ArrayBox::~ArrayBox() = default;

Variant::Variant(const char* utf8) : Variant(FromUtf8(utf8)) {}

Variant::Variant(const Object& v) : type_(VbVarType::vbObject), payload_(v.ptr()) {}

Variant::Variant(SafeArray v)
    : type_(VbVarType::vbArray), payload_(ArrayBox(std::make_unique<SafeArray>(std::move(v)))) {}

VbVarType Variant::ArrayVarType() const {
  return static_cast<VbVarType>(static_cast<std::uint16_t>(VbVarType::vbArray) |
                                static_cast<std::uint16_t>(Array().ElementType()));
}

void Variant::RaiseTypeMismatch() { Raise(err::kTypeMismatch); }

bool Variant::HoldsNumber() const {
  switch (type_) {
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbSingle:
    case VbVarType::vbDouble:
    case VbVarType::vbCurrency:
    case VbVarType::vbDate:
    case VbVarType::vbBoolean:
    case VbVarType::vbByte:
      return true;
    default:
      return false;
  }
}

const String& Variant::Str() const {
  if (const auto* v = std::get_if<String>(&payload_)) return *v;
  Raise(err::kTypeMismatch);
}

String& Variant::Str() {
  if (auto* v = std::get_if<String>(&payload_)) return *v;
  Raise(err::kTypeMismatch);
}

Object Variant::Obj() const { return Object(ObjPtr()); }

const std::shared_ptr<frame::AutomationObject>& Variant::ObjPtr() const {
  if (const auto* v = std::get_if<std::shared_ptr<frame::AutomationObject>>(&payload_)) return *v;
  Raise(err::kTypeMismatch);
}

const SafeArray& Variant::Array() const {
  if (const auto* v = std::get_if<ArrayBox>(&payload_)) return v->get();
  Raise(err::kTypeMismatch);
}

SafeArray& Variant::Array() {
  if (auto* v = std::get_if<ArrayBox>(&payload_)) return v->get();
  Raise(err::kTypeMismatch);
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  if (a.type_ == VbVarType::vbArray) return a.Array() == b.Array();
  return std::visit(
      [&](const auto& left) {
        using T = std::decay_t<decltype(left)>;
        if constexpr (std::is_same_v<T, Variant::ArrayBox>) {
          return false;  // handled above
        } else {
          return left == std::get<T>(b.payload_);
        }
      },
      a.payload_);
}

namespace {

// Bytes that are not UTF-8 become the lone surrogates U+DC80..U+DCFF, which no valid UTF-8
// gives; ToUtf8 turns them back into the same bytes. So every file name the system hands
// over, whatever its encoding, names the same file again.
constexpr char32_t kEscapeBase = 0xDC00;
bool IsByteEscape(char32_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// The length of the sequence a lead byte starts, 0 for a byte that starts none.
std::size_t SequenceLength(unsigned lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;  // a continuation byte, or the overlong leads C0 and C1
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return lead < 0xF5 ? 4 : 0;  // beyond F4 only code points past U+10FFFF
}

}  // namespace

String FromUtf8(std::string_view utf8) {
  static constexpr char32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};  // shorter is overlong
  String out;
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t size = utf8.size();
  for (std::size_t i = 0; i < size;) {
    const unsigned lead = bytes[i];
    const std::size_t length = SequenceLength(lead);
    char32_t cp = lead & (length <= 1 ? 0x7Fu : 0xFFu >> (length + 1));
    bool valid = length != 0 && length <= size - i;
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (bytes[i + k] & 0xC0u) == 0x80;
      cp = (cp << 6) | (bytes[i + k] & 0x3Fu);
    }
    // A surrogate written on its own is no character: read as bytes, it cannot pair up with
    // the stand-in of a byte after it and change the bytes written back.
    valid = valid && cp >= kLeast[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp >= 0xE000);
    if (!valid) {
      out.push_back(static_cast<char16_t>(kEscapeBase + lead));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

std::string ToUtf8(StringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (IsByteEscape(cp)) {
      out.push_back(static_cast<char>(cp - kEscapeBase));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace narwick
