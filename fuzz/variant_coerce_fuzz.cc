// Value coercion under hostile input. Byte 0 picks the operation, byte 1 the kind of the
// source value, the rest is its text or raw number. Every input must end in a value or a
// numbered RuntimeError; anything else escapes and fails the run. Where an answer implies
// another (IsNumeric -> CDbl works, text of a Double reads back to itself), that is checked too.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "narwick/frame/codepage.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/variant.h"

namespace {

using narwick::Variant;
using narwick::VbVarType;

void Require(bool condition) {
  if (!condition) std::abort();
}

template <class T>
T Raw(const std::uint8_t* data, std::size_t size) {
  T value{};
  std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
  return value;
}

narwick::String Text(const std::uint8_t* data, std::size_t size, bool wide) {
  narwick::String text;
  if (wide) {
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  } else {
    for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
  }
  return text;
}

Variant MakeValue(std::uint8_t kind, const std::uint8_t* data, std::size_t size) {
  switch (kind % 14) {
    case 0: return Variant();
    case 1: return Variant::Null();
    case 2: return Variant(Raw<narwick::Integer>(data, size));
    case 3: return Variant(Raw<int>(data, size));
    case 4: return Variant(Raw<float>(data, size));
    case 5: return Variant(Raw<double>(data, size));
    case 6: return Variant(narwick::Currency{Raw<std::int64_t>(data, size)});
    case 7: return Variant(narwick::Date{Raw<double>(data, size)});
    case 8: return Variant(Raw<std::uint8_t>(data, size) != 0);
    case 9: return Variant(narwick::ErrorCode{Raw<std::int32_t>(data, size)});
    case 10: return Variant(Raw<narwick::Byte>(data, size));
    case 11: return Variant(Text(data, size, true));
    default: return Variant(Text(data, size, false));  // byte text: most of the grammar is ASCII
  }
}

void Run(std::uint8_t op, const Variant& v, const std::uint8_t* data, std::size_t size) {
  switch (op % 20) {
    case 0: {
      const narwick::String text = narwick::CStr(v);
      if (v.VarType() == VbVarType::vbDouble) {
        // The text of a Double reads back, and the text of that value is the same text.
        Require(narwick::CStr(narwick::CDbl(text)) == text);
      }
      break;
    }
    case 1: (void)narwick::CLng(v); break;
    case 2: (void)narwick::CInt(v); break;
    case 3: (void)narwick::CByte(v); break;
    case 4: (void)narwick::CDbl(v); break;
    case 5: (void)narwick::CSng(v); break;
    case 6: (void)narwick::CCur(v); break;
    case 7: Require(narwick::CBool(v).raw() == 0 || narwick::CBool(v).raw() == -1); break;
    case 8: (void)narwick::CDate(v); break;
    case 9: {
      static const VbVarType kinds[] = {VbVarType::vbEmpty,  VbVarType::vbNull,    VbVarType::vbInteger,
                                        VbVarType::vbLong,   VbVarType::vbSingle,  VbVarType::vbDouble,
                                        VbVarType::vbCurrency, VbVarType::vbDate,  VbVarType::vbString,
                                        VbVarType::vbObject, VbVarType::vbError,   VbVarType::vbBoolean,
                                        VbVarType::vbVariant, VbVarType::vbByte};
      const VbVarType kind = kinds[(size > 0 ? data[0] : 0) % 14];
      const Variant out = narwick::CVarType(v, kind);
      Require(kind == VbVarType::vbVariant || kind == VbVarType::vbObject || out.VarType() == kind);
      break;
    }
    case 10:
      if (narwick::IsNumeric(v) && v.IsString()) (void)narwick::CDbl(v);  // must not raise 13
      break;
    case 11:
      if (narwick::IsDate(v)) (void)narwick::CDate(v);  // must not raise
      break;
    case 12: {
      const Variant other(narwick::String(u"5"));
      const auto a = narwick::Compare(v, other);
      Require(narwick::Compare(other, v) == (0 <=> a));
      break;
    }
    case 13: (void)narwick::TextEqual(v, Variant(narwick::String(u"1"))); break;
    case 14: (void)narwick::FormatDate(v, Text(data, size > 24 ? 24 : size, false)); break;
    case 15: (void)narwick::FormatDate(Variant(narwick::Date{43835.5}), Text(data, size, false)); break;
    case 16:
      if (v.IsString()) (void)narwick::DateSerialFromText(v.Str());
      break;
    case 17:
      if (v.IsString()) {
        const narwick::String upper = narwick::UCase(v.Str());
        Require(upper.size() == v.Str().size() && narwick::LCase(v.Str()).size() == upper.size());
      }
      break;
    case 18: {
      const auto bytes = narwick::ToAnsi(Text(data, size, true));
      Require(narwick::ToAnsi(narwick::FromAnsi(bytes)) == bytes);
      break;
    }
    default: {
      // Parts and back land within half a second of the same moment (compared on a straight
      // time line, since below zero the serial counts the time of day upwards).
      const double serial = narwick::CDbl(v);
      const narwick::DateParts parts = narwick::SerialToParts(serial);
      const double back = narwick::PartsToSerial(parts);
      auto moment = [](double s) { return std::trunc(s) + std::fabs(s - std::trunc(s)); };
      Require(std::fabs(moment(back) - moment(serial)) <= 0.5 / 86400 + 1e-6);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t op = data[0];
  const Variant v = MakeValue(data[1], data + 2, size - 2);
  try {
    Run(op, v, data + 2, size - 2);
  } catch (const narwick::RuntimeError& error) {
    Require(error.number() > 0);
  }
  return 0;
}
