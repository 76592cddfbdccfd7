// Dates: serial anchors, the calendar against a day-by-day model, general date text, the
// en-US reader, format tokens, and round trips of written styles.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "date.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

double Serial(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return PartsToSerial(DateParts{year, month, day, hour, minute, second});
}

// ---------------------------------------------------------------------------------------------
// Serials and parts.

TEST(DateTest, AnchorsOfTheSerialLine) {
  const struct {
    int year, month, day;
    double serial;
  } cases[] = {{1899, 12, 30, 0},     {1899, 12, 31, 1},  {1900, 1, 1, 2},
               {1970, 1, 2, 25570},   {2000, 1, 1, 36526}, {2020, 1, 5, 43835},
               {100, 1, 1, -657434},  {9999, 12, 31, 2958465}};
  for (const auto& c : cases) EXPECT_EQ(Serial(c.year, c.month, c.day), c.serial) << c.serial;
  EXPECT_RUNTIME_ERROR(Serial(99, 12, 31), err::kOverflow);
  EXPECT_RUNTIME_ERROR(Serial(10000, 1, 1), err::kOverflow);
}

TEST(DateTest, TimeBelowZeroIsTheAbsoluteFraction) {
  EXPECT_EQ(Serial(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(Serial(1899, 12, 30, 6), 0.25);
  const DateParts a = SerialToParts(-0.25), b = SerialToParts(0.25), c = SerialToParts(-1.0);
  EXPECT_TRUE(a.year == b.year && a.day == b.day && a.hour == 6 && b.hour == 6);
  EXPECT_TRUE(c.day == 29 && c.hour == 0);
}

TEST(DateTest, PartsCarryLikeDateSerial) {
  EXPECT_EQ(Serial(2020, 13, 1), Serial(2021, 1, 1));
  EXPECT_EQ(Serial(2020, 3, 0), Serial(2020, 2, 29));
  EXPECT_EQ(Serial(2020, 1, 5, 24), Serial(2020, 1, 6));
  EXPECT_EQ(Serial(2020, 1, 5, 0, 0, -1), Serial(2020, 1, 4, 23, 59, 59));
}

TEST(DateTest, SecondsRoundToTheNearestAndCarry) {
  const DateParts p = SerialToParts(43835.627835648);  // 15:04:04.99998
  EXPECT_TRUE(p.hour == 15 && p.minute == 4 && p.second == 5);
  const DateParts q = SerialToParts(43835 + (86399.6 / 86400));  // 23:59:59.6
  EXPECT_TRUE(q.day == 6 && q.hour == 0 && q.second == 0);
  EXPECT_RUNTIME_ERROR(SerialToParts(2958466), err::kOverflow);
  EXPECT_RUNTIME_ERROR(SerialToParts(-657435), err::kOverflow);
  EXPECT_RUNTIME_ERROR(SerialToParts(std::nan("")), err::kOverflow);
}

// Every day from 1 Jan 100 to 31 Dec 9999 against a calendar that just counts days.
TEST(DateTest, CalendarMatchesADayByDayModel) {
  int year = 100, month = 1, day = 1;
  for (std::int64_t n = -657434; n <= 2958465; ++n) {
    int y, m, d;
    frame::CivilFromDayNumber(n, y, m, d);
    ASSERT_TRUE(y == year && m == month && d == day) << n << ": " << y << "-" << m << "-" << d;
    ASSERT_EQ(frame::DayNumber(year, month, day), n);
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const bool short_month = month == 4 || month == 6 || month == 9 || month == 11;
    const int length = month == 2 ? (leap ? 29 : 28) : short_month ? 30 : 31;
    if (++day > length) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  EXPECT_EQ(year, 10000);
}

// ---------------------------------------------------------------------------------------------
// General date text.

TEST(DateTest, GeneralDateText) {
  const struct {
    double serial;
    const char16_t* text;
  } cases[] = {
      {0, u"12:00:00 AM"}, {0.5, u"12:00:00 PM"}, {43835, u"1/5/2020"},
      {43835.627835648, u"1/5/2020 3:04:05 PM"}, {3.34, u"1/2/1900 8:09:36 AM"},
      {365.25, u"12/30/1900 6:00:00 AM"}, {1461.5, u"12/31/1903 12:00:00 PM"},
      {-1.25, u"12/29/1899 6:00:00 AM"}, {-657434, u"1/1/100"}, {2958465, u"12/31/9999"},
      {0.75, u"6:00:00 PM"}, {1.0 / 24, u"1:00:00 AM"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateToText(c.serial), c.text) << c.serial;
    EXPECT_EQ(CStr(Variant(Date{c.serial})), c.text) << c.serial;
  }
  EXPECT_RUNTIME_ERROR(DateToText(3e6), err::kOverflow);
}

// ---------------------------------------------------------------------------------------------
// Text -> date.

TEST(DateTest, TextReadsAsDate) {
  const struct {
    const char16_t* text;
    double serial;
  } cases[] = {
      {u"1/5/2020", 43835}, {u"2020-01-05", 43835}, {u"Jan 5, 2020", 43835},
      {u"5 January 2020", 43835}, {u"5-Jan-2020", 43835}, {u"JANUARY 5 2020", 43835},
      {u"Sunday, January 5, 2020", 43835}, {u"2020 Jan 5", 43835}, {u"13-1-1970", 25581},
      {u"12/31/29", 47483},
      {u"1/1/30", 10959}, {u"1/1/00", 36526}, {u"1/1/100", -657434}, {u"12/31/9999", 2958465},
      {u"1/5/2020 3:04:05 PM", 43835 + 54245 * kSecond},
      {u"Jan 5, 2020 15:04:05", 43835 + 54245 * kSecond}, {u"15:04:05", 54245 * kSecond},
      {u"2013-05-14 02:04:12", 41408 + 7452 * kSecond}, {u"2.5", 7500 * kSecond},
      {u"1 am", 3600 * kSecond}, {u"1 PM", 13 * 3600 * kSecond}, {u"12 AM", 0}, {u"12 PM", 0.5},
      {u"13:00 AM", 13 * 3600 * kSecond}, {u"3:04 p", 15 * 3600 * kSecond + 240 * kSecond},
      {u"12/29/1899 6:00:00 AM", -1.25}, {u" 1/5/2020 ", 43835}, {u"2/29/2000", 36585},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(DateSerialFromText(c.text), c.serial, 1e-9) << ToUtf8(c.text);
    EXPECT_TRUE(bool(IsDate(c.text))) << ToUtf8(c.text);
  }
}

TEST(DateTest, TextThatIsNotADateIsTypeMismatch) {
  const char16_t* cases[] = {
      u"",          u"1",          u"24:00",      u"0.0",       u"02:04:12.017", u"abc",
      u"1/2/3/4",   u"13/13/2020", u"January",    u"12:60",     u"1:2:3:4",      u"1/5/2020 PM",
      u"am",        u"10000-1-1",  u"#1/5/2020#", u"1/5/2020;", u"Jan Feb 5",    u"1/32/2020 1",
      u"2/30/2020", u"1:",         u":30",        u"Sept 5 2020", u"5 Jan 2020 Jan",
      u"1:2:60",    u"2/29/1900",  u"2/29/2100",  u"1/5//2020"};
  for (const char16_t* text : cases) {
    EXPECT_RUNTIME_ERROR(DateSerialFromText(text), err::kTypeMismatch);
    EXPECT_FALSE(bool(IsDate(text))) << ToUtf8(text);
  }
}

TEST(DateTest, MonthAndDayAloneTakeTheCurrentYear) {
  const int year = frame::CurrentYear();
  EXPECT_EQ(DateSerialFromText(u"12/31"), Serial(year, 12, 31));
  EXPECT_EQ(DateSerialFromText(u"Mar 3"), Serial(year, 3, 3));
  // No 30 February: month and (two-digit) year instead.
  EXPECT_EQ(DateSerialFromText(u"2/30"), Serial(1930, 2, 1));
  EXPECT_EQ(DateSerialFromText(u"March 2021"), Serial(2021, 3, 1));
}

TEST(DateTest, DateKindsAndNumbers) {
  EXPECT_TRUE(bool(IsDate(Variant(Date{5}))));
  EXPECT_FALSE(bool(IsDate(5.0)));
  EXPECT_FALSE(bool(IsDate(Variant())));
  EXPECT_EQ(CDate(43835.5), 43835.5);
  EXPECT_EQ(CDate(u"1/5/2020"), 43835);
  EXPECT_EQ(CDate(-657434.5), -657434.5);
  EXPECT_RUNTIME_ERROR(CDate(2958466.0), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CDate(-657435.0), err::kOverflow);
  EXPECT_RUNTIME_ERROR(CDate(u"43835"), err::kTypeMismatch);
}

// ---------------------------------------------------------------------------------------------
// Format tokens.

TEST(DateTest, FormatTokens) {
  const Variant when(Date{43835.627835648});  // Sunday 1/5/2020 3:04:05 PM
  const struct {
    const char16_t* pattern;
    const char16_t* text;
  } cases[] = {
      {u"mmm d, yyyy", u"Jan 5, 2020"}, {u"hh:nn:ss", u"15:04:05"},
      {u"mmm d, yyyy hh:nn:ss", u"Jan 5, 2020 15:04:05"}, {u"dd/mm/yy", u"05/01/20"},
      {u"d-m-yyyy", u"5-1-2020"}, {u"mmmm dddd ddd", u"January Sunday Sun"},
      {u"h:mm AM/PM", u"3:04 PM"}, {u"hh:mm am/pm", u"03:04 pm"}, {u"h:nn a/p", u"3:04 p"},
      {u"h AMPM", u"3 PM"}, {u"h:n:s", u"15:4:5"}, {u"\"day\" d", u"day 5"}, {u"\\d d", u"d 5"},
      {u"y", u"5"}, {u"ddddd", u"1/5/2020"}, {u"dddddd", u"Sunday, January 5, 2020"},
      {u"ttttt", u"3:04:05 PM"},
      {u"c", u"1/5/2020 3:04:05 PM"}, {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDate(when, c.pattern), c.text) << ToUtf8(c.pattern);
  EXPECT_EQ(FormatDate(Variant(Date{-657434}), u"dddddd"), u"Friday, January 1, 100");
}

TEST(DateTest, FormatInputs) {
  const struct {
    Variant value;
    const char16_t* pattern;
    const char16_t* text;
  } cases[] = {
      {0.75, u"hh:nn:ss", u"18:00:00"}, {2.525, u"dd mm yyyy hh:mm:ss", u"01 01 1900 12:36:00"},
      {2.725, u"hh:nn:ss A/P", u"05:24:00 P"}, {u"39697.11", u"hh:mm", u"02:38"},
      {u"Jan 5, 2020", u"yyyy-mm-dd", u"2020-01-05"}, {u"not a date", u"yyyy", u"not a date"},
      {Variant(), u"hh:nn:ss", u"00:00:00"}, {Variant::Null(), u"yyyy", u""},
      {43835 + 86399.6 / 86400, u"m/d hh:nn:ss", u"1/6 00:00:00"}, {0.0, u"h AM/PM", u"12 AM"},
      {0.5, u"h:nn am/pm", u"12:00 pm"}, {0.5, u"h:nn", u"12:00"}, {0.0, u"h:nn", u"0:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDate(c.value, c.pattern), c.text) << ToUtf8(c.pattern);
  }
  EXPECT_RUNTIME_ERROR(FormatDate(1e9, u"yyyy"), err::kOverflow);
}

// ---------------------------------------------------------------------------------------------
// Round trips: dates and times written in the styles a user types (and the list sorts write)
// read back to the same second; the general text reads back and writes the same text again.

TEST(DateTest, WrittenStylesReadBack) {
  const char16_t* date_styles[] = {u"m/d/yyyy",    u"yyyy-mm-dd",         u"d-mmm-yyyy",
                                   u"mmmm d, yyyy", u"dddd, mmmm d, yyyy", u"d mmmm yyyy",
                                   u"mmm-d-yyyy",  u"m/d/yy",             u"mmm d, yyyy",
                                   u""};  // the time alone
  const char16_t* time_styles[] = {u"",           u" h:nn:ss AM/PM", u" hh:nn", u" h:nn a/p",
                                   u" hh.nn.ss", u" h AM/PM",       u" hh:nn:ss"};
  const unsigned seed = 5150;
  std::mt19937 rng(seed);
  for (int i = 0; i < 25000; ++i) {
    const std::int64_t day = -657434 + static_cast<std::int64_t>(rng() % 3615900);
    int seconds = i % 5 == 0 ? 0 : static_cast<int>(rng() % 86400);
    const double serial = frame::Compose(day, seconds);
    const String general = DateToText(serial);
    EXPECT_NEAR(DateSerialFromText(general), serial, 1e-6) << ToUtf8(general);
    EXPECT_EQ(DateToText(DateSerialFromText(general)), general);

    int year, month, mday;
    frame::CivilFromDayNumber(day, year, month, mday);
    const String date_style = date_styles[rng() % std::size(date_styles)];
    if (date_style == u"m/d/yy" && (year < 1930 || year > 2029)) continue;
    std::size_t t = rng() % std::size(time_styles);
    if (date_style.empty()) {  // a time alone reads as a time on day 0
      if (seconds == 0) continue;
      t = std::size(time_styles) - 1;
    }
    if (t == 2 || t == 3) seconds -= seconds % 60;  // minutes only
    if (t == 5) seconds -= seconds % 3600;          // the hour only
    if (t == 4 && seconds < 60) seconds += 60;      // "00.00.00" reads as a number, not a time
    if (t == 0) seconds = 0;
    const Variant written(Date{frame::Compose(day, seconds)});
    const String text = FormatDate(written, date_style + time_styles[t]);
    double back = 0;
    ASSERT_TRUE(frame::TryDateFromText(text, 2001, back)) << "seed " << seed << " " << ToUtf8(text);
    ASSERT_EQ(frame::Split(back).day_number, date_style.empty() ? 0 : day) << ToUtf8(text);
    ASSERT_EQ(frame::Split(back).seconds, seconds) << ToUtf8(text);
  }
}

TEST(DateTest, NowHasWholeSeconds) {
  const double now = Now();
  ASSERT_TRUE(frame::IsSerialInRange(now));
  const frame::SplitSerial s = frame::Split(now);
  EXPECT_NEAR(frame::Compose(s.day_number, s.seconds), now, 1e-9);
}

}  // namespace
}  // namespace narwick
