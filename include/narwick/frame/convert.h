// Automation conversions, text forms, dates and comparisons (en-US, code page 1252).
// Every class uses these; none converts on its own.
#pragma once

#include <compare>

#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

// Conversions as VB's CStr, CLng, ... : round half to even, 6 on overflow, 13 when the value
// cannot be converted, 94 for Null. Objects convert through their default property.
String CStr(const Variant& v);
Long CLng(const Variant& v);
Integer CInt(const Variant& v);
Byte CByte(const Variant& v);
Double CDbl(const Variant& v);
Single CSng(const Variant& v);
Currency CCur(const Variant& v);
VariantBool CBool(const Variant& v);
Double CDate(const Variant& v);  // the date serial
// The value converted to the given kind (vbLong, vbString, ...), as VariantChangeType does.
Variant CVarType(const Variant& v, VbVarType kind);

// True for numeric kinds, Boolean, Empty, and strings that read entirely as a number.
VariantBool IsNumeric(const Variant& v);
// True for Date values and strings that read as a date.
VariantBool IsDate(const Variant& v);

// Number text forms (CStr of a Double or Single): 15 / 7 significant digits.
String DoubleToText(double value);
String SingleToText(float value);

// Dates. A serial counts days from 30 December 1899; the time of day is |fraction|.
struct DateParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
DateParts SerialToParts(double serial);  // seconds rounded to the nearest second
double PartsToSerial(const DateParts& parts);  // 6 outside 1 Jan 100 .. 31 Dec 9999
double DateSerialFromText(StringView text);  // CDate of text; 13 when it does not read as a date
// VB Format of a date or number with date tokens (d dd m mm mmm mmmm yy yyyy h hh n nn s ss, AM/PM).
String FormatDate(const Variant& v, StringView pattern);
// General date text: "1/5/2020 3:04:05 PM", date only or time only as the serial says.
String DateToText(double serial);
double Now();  // the current local date and time as a serial

// The Variant ordering: numbers by value, strings by 16-bit code, a number below any string,
// Empty as 0 or "", Null unordered (every test false). One Error against a non-Error is 13.
std::partial_ordering Compare(const Variant& a, const Variant& b);
bool Equal(const Variant& a, const Variant& b);      // Compare(...) == equivalent
bool Less(const Variant& a, const Variant& b);       // Compare(...) == less
bool Greater(const Variant& a, const Variant& b);    // Compare(...) == greater
// Text-equal: LCase(CStr(a)) == LCase(CStr(b)); Null is text-equal to nothing.
bool TextEqual(const Variant& a, const Variant& b);

// Simple 1:1 case mapping per 16-bit unit (ICU); the length never changes.
String UCase(StringView text);
String LCase(StringView text);

}  // namespace narwick
