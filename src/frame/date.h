// Date serials, the en-US date reader and the date format tokens, on plain types.
// convert.cc and date.cc build the Variant-level functions of convert.h on these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "narwick/frame/types.h"

namespace narwick::frame {

// Serials strictly inside these bounds are valid dates (1 Jan 100 .. 31 Dec 9999 23:59:59.999).
inline constexpr double kSerialLowerBound = -657435.0;
inline constexpr double kSerialUpperBound = 2958466.0;
inline bool IsSerialInRange(double serial) {
  return serial > kSerialLowerBound && serial < kSerialUpperBound;
}

// Days from 30 December 1899 of a proleptic Gregorian date (any month/day values, no checks).
std::int64_t DayNumber(std::int64_t year, int month, int day);
void CivilFromDayNumber(std::int64_t day_number, int& year, int& month, int& day);
int DaysInMonth(int year, int month);

// The calendar day and the time of day of a serial, seconds rounded to the nearest second
// (a carry moves to the next day). The serial must be in range.
struct SplitSerial {
  std::int64_t day_number = 0;
  int seconds = 0;  // 0 .. 86399
};
SplitSerial Split(double serial);
// The serial of a calendar day and a time of day: day + t for days from 1899-12-30 on,
// day - t before it (the time of day is the absolute value of the fraction).
double Compose(std::int64_t day_number, double seconds);

// Reads `text` as a date and/or time under the en-US rules; false when it does not.
// `current_year` completes dates written as month and day only (0: this year by the clock).
bool TryDateFromText(StringView text, int current_year, double& serial);

// The general date text ("1/5/2020 3:04:05 PM", date or time alone when the other is zero).
// `out` must hold 32 chars; returns the length.
std::size_t GeneralDateText(double serial, char* out);

// The serial formatted with VB date tokens (see FormatDate in convert.h).
String FormatSerial(double serial, StringView pattern);

// The year of the local calendar today.
int CurrentYear();

}  // namespace narwick::frame
