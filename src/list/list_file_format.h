// The two persistent forms of an ordered list: the "|" / "~" text and the record file.
//
// Text: records joined by '|' (none before the first or after the last), each record the
// node's index in decimal, then '~' and the item's text for each of the twelve items. Nothing
// is quoted or escaped. An empty list is the empty text.
//
// Record file: no header; record n (from 1) at byte (n - 1) * 196, one per real node, in index
// order. Inside a record, packed without gaps:
//
//   offset  size  field
//   0       4     Index: little-endian two's complement
//   4       ...   Item1 .. Item12, each a self-describing value:
//                   2-byte little-endian type code, then the value in its natural width
//   ...           filler up to byte 195 (written as zeros, never read)
//
//   code  kind      payload after the code
//   0     Empty     none
//   1     Null      none
//   2     Integer   2 bytes, two's complement
//   3     Long      4 bytes, two's complement
//   4     Single    4 bytes, IEEE 754
//   5     Double    8 bytes, IEEE 754
//   6     Currency  8 bytes, two's complement, scaled by 10,000
//   7     Date      8 bytes, the day serial as a Double
//   8     String    2-byte length n, then n bytes in code page 1252
//   10    Error     4 bytes, the SCODE
//   11    Boolean   2 bytes (-1 True, 0 False)
//   17    Byte      1 byte
//
// Objects and arrays have no record form: a node holding one cannot be written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace narwick::list::format {

inline constexpr char16_t kRecordSeparator = u'|';
inline constexpr char16_t kFieldSeparator = u'~';
inline constexpr int kTextFieldCount = 13;  // the index and twelve items

inline constexpr std::size_t kRecordSize = 196;
inline constexpr std::size_t kIndexSize = 4;
inline constexpr std::size_t kTypeCodeSize = 2;
inline constexpr std::size_t kStringLengthSize = 2;

enum TypeCode : std::uint16_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,
  kLong = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kError = 10,
  kBoolean = 11,
  kByte = 17,
};

// Bytes after the type code for the fixed-width kinds; 0 for Empty and Null.
constexpr std::size_t FixedPayloadSize(std::uint16_t code) {
  switch (code) {
    case kInteger: case kBoolean: return 2;
    case kLong: case kSingle: case kError: return 4;
    case kDouble: case kCurrency: case kDate: return 8;
    case kByte: return 1;
    default: return 0;
  }
}

}  // namespace narwick::list::format
