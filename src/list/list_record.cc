#include "list/list_record.h"

#include <bit>
#include <cstring>

#include "narwick/frame/codepage.h"
#include "narwick/frame/variant.h"

namespace narwick::list {
namespace {

using format::kRecordSize;

// Little-endian stores and loads at a position that the caller has checked against the end.
template <class T>
void Store(std::uint8_t* at, T value) {
  using U = std::make_unsigned_t<T>;
  U bits = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

template <class T>
T Load(const std::uint8_t* at) {
  using U = std::make_unsigned_t<T>;
  U bits = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) bits = static_cast<U>(bits | (U{at[i]} << (8 * i)));
  return static_cast<T>(bits);
}

// The type code of an item, or -1 when the item has no record form.
int CodeOf(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty: return format::kEmpty;
    case VbVarType::vbNull: return format::kNull;
    case VbVarType::vbInteger: return format::kInteger;
    case VbVarType::vbLong: return format::kLong;
    case VbVarType::vbSingle: return format::kSingle;
    case VbVarType::vbDouble: return format::kDouble;
    case VbVarType::vbCurrency: return format::kCurrency;
    case VbVarType::vbDate: return format::kDate;
    case VbVarType::vbString: return format::kString;
    case VbVarType::vbError: return format::kError;
    case VbVarType::vbBoolean: return format::kBoolean;
    case VbVarType::vbByte: return format::kByte;
    default: return -1;  // objects and arrays
  }
}

}  // namespace

EncodeStatus EncodeRecord(Long index, const Items& items, RecordBytes out) {
  std::memset(out.data(), 0, kRecordSize);
  std::uint8_t* const base = out.data();
  std::size_t pos = 0;
  Store<std::int32_t>(base, index);
  pos += format::kIndexSize;
  for (const Variant& v : items) {
    int code = CodeOf(v);
    if (code < 0) return EncodeStatus::kNoRecordForm;
    std::size_t payload = code == format::kString ? format::kStringLengthSize + v.Str().size()
                                                  : format::FixedPayloadSize(static_cast<std::uint16_t>(code));
    if (pos + format::kTypeCodeSize + payload > kRecordSize) return EncodeStatus::kTooLong;
    Store<std::uint16_t>(base + pos, static_cast<std::uint16_t>(code));
    pos += format::kTypeCodeSize;
    std::uint8_t* at = base + pos;
    switch (code) {
      case format::kInteger: case format::kBoolean:
        Store<std::int16_t>(at, static_cast<std::int16_t>(v.Int()));
        break;
      case format::kLong: case format::kError:
        Store<std::int32_t>(at, static_cast<std::int32_t>(v.Int()));
        break;
      case format::kSingle:
        Store<std::uint32_t>(at, std::bit_cast<std::uint32_t>(static_cast<float>(v.Real())));
        break;
      case format::kDouble: case format::kDate:
        Store<std::uint64_t>(at, std::bit_cast<std::uint64_t>(v.Real()));
        break;
      case format::kCurrency:
        Store<std::int64_t>(at, v.Int());
        break;
      case format::kByte:
        at[0] = static_cast<std::uint8_t>(v.Int());
        break;
      case format::kString: {
        const String& text = v.Str();
        Store<std::uint16_t>(at, static_cast<std::uint16_t>(text.size()));
        for (std::size_t i = 0; i < text.size(); ++i) at[format::kStringLengthSize + i] = CharToAnsi(text[i]);
        break;
      }
      default:
        break;  // Empty, Null: the code alone
    }
    pos += payload;
  }
  return EncodeStatus::kOk;
}

bool DecodeRecord(ConstRecordBytes in, Long& index, Items& items) {
  const std::uint8_t* const base = in.data();
  std::size_t pos = 0;
  index = Load<std::int32_t>(base);
  pos += format::kIndexSize;
  for (Variant& v : items) {
    if (pos + format::kTypeCodeSize > kRecordSize) return false;
    const std::uint16_t code = Load<std::uint16_t>(base + pos);
    pos += format::kTypeCodeSize;
    const std::uint8_t* at = base + pos;
    std::size_t payload = format::FixedPayloadSize(code);
    if (code == format::kString) {
      if (pos + format::kStringLengthSize > kRecordSize) return false;
      payload = format::kStringLengthSize + Load<std::uint16_t>(at);
    }
    if (pos + payload > kRecordSize) return false;
    switch (code) {
      case format::kEmpty: v = Variant(); break;
      case format::kNull: v = Variant::Null(); break;
      case format::kInteger: v = Variant(Load<std::int16_t>(at)); break;
      case format::kLong: v = Variant(static_cast<int>(Load<std::int32_t>(at))); break;
      case format::kSingle: v = Variant(std::bit_cast<float>(Load<std::uint32_t>(at))); break;
      case format::kDouble: v = Variant(std::bit_cast<double>(Load<std::uint64_t>(at))); break;
      case format::kCurrency: v = Variant(Currency{Load<std::int64_t>(at)}); break;
      case format::kDate: v = Variant(Date{std::bit_cast<double>(Load<std::uint64_t>(at))}); break;
      case format::kError: v = Variant(ErrorCode{Load<std::int32_t>(at)}); break;
      case format::kBoolean: v = Variant(VariantBool::FromRaw(Load<std::int16_t>(at))); break;
      case format::kByte: v = Variant(Byte{at[0]}); break;
      case format::kString: {
        const std::size_t length = payload - format::kStringLengthSize;
        String text(length, u'\0');
        for (std::size_t i = 0; i < length; ++i) text[i] = AnsiToChar(at[format::kStringLengthSize + i]);
        v = Variant(std::move(text));
        break;
      }
      default:
        return false;  // an unknown code, an object or an array
    }
    pos += payload;
  }
  return true;
}

}  // namespace narwick::list
