// Date serials, the en-US date reader, general date text and the date format tokens.
#include "date.h"

#include <cmath>
#include <ctime>
#include <cstring>

#include "narwick/frame/convert.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/safe_array.h"
#include "default_value.h"
#include "number_text.h"

namespace narwick::frame {

namespace {

constexpr std::int64_t kUnixEpochDayNumber = 25569;  // 1 Jan 1970 counted from 30 Dec 1899
constexpr std::int64_t kFirstDayNumber = -657434;     // 1 Jan 100
constexpr std::int64_t kLastDayNumber = 2958465;      // 31 Dec 9999

constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Case-insensitive match of a 16-bit word against an ASCII name.
bool WordIs(StringView word, const char* name, std::size_t len) {
  if (word.size() != len) return false;
  for (std::size_t i = 0; i < len; ++i) {
    if (Lower(word[i]) != Lower(static_cast<char16_t>(name[i]))) return false;
  }
  return true;
}

// 1 Jan 1900 was a Monday; 30 Dec 1899 (day 0) a Saturday. 0 = Sunday.
int Weekday(std::int64_t day_number) {
  return static_cast<int>(((day_number + 6) % 7 + 7) % 7);
}

}  // namespace

std::int64_t DayNumber(std::int64_t year, int month, int day) {
  // Civil-to-days over 400-year eras (March-based years put the leap day last).
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = FloorDiv(y, 400);
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kUnixEpochDayNumber;
}

void CivilFromDayNumber(std::int64_t day_number, int& year, int& month, int& day) {
  const std::int64_t z = day_number - kUnixEpochDayNumber + 719468;
  const std::int64_t era = FloorDiv(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))) return 29;
  return kDays[month - 1];
}

SplitSerial Split(double serial) {
  const double whole = std::trunc(serial);
  const double fraction = std::fabs(serial - whole);
  SplitSerial s;
  s.day_number = static_cast<std::int64_t>(whole);
  // Nearest second, not truncated: 15:04:04.99998 reads as 15:04:05.
  s.seconds = static_cast<int>(std::llround(fraction * 86400.0));
  if (s.seconds >= 86400) {
    s.seconds -= 86400;
    ++s.day_number;
  }
  return s;
}

double Compose(std::int64_t day_number, double seconds) {
  const double t = seconds / 86400.0;
  const double d = static_cast<double>(day_number);
  return day_number >= 0 ? d + t : d - t;
}

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// ---------------------------------------------------------------------------------------------
// Text -> date. The text is cut into numbers, month names, AM/PM marks and separators; numbers
// joined by ':' or '.' form the time, the others are date fields, placed by trying the orders
// month/day/year, year/month/day, day/month/year.

namespace {

enum class TokenKind { kNumber, kMonth, kAmPm, kDateSep, kTimeSep };

struct Token {
  TokenKind kind;
  std::int64_t value;  // number value, month 1..12, 0 = AM / 1 = PM, or the separator char
};

constexpr int kMaxTokens = 32;

bool Tokenize(StringView text, Token* tokens, int& count) {
  count = 0;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    char16_t c = text[i];
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == u',') {
      ++i;
      continue;
    }
    if (count == kMaxTokens) return false;
    if (c >= u'0' && c <= u'9') {
      std::int64_t v = 0;
      for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (v < 1000000000) v = v * 10 + (text[i] - u'0');
      }
      tokens[count++] = {TokenKind::kNumber, v};
    } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
      std::size_t start = i;
      while (i < n && ((text[i] >= u'a' && text[i] <= u'z') || (text[i] >= u'A' && text[i] <= u'Z'))) ++i;
      StringView word = text.substr(start, i - start);
      bool known = false;
      for (int m = 0; m < 12 && !known; ++m) {
        if (WordIs(word, kMonthNames[m], std::strlen(kMonthNames[m])) || WordIs(word, kMonthNames[m], 3)) {
          tokens[count++] = {TokenKind::kMonth, m + 1};
          known = true;
        }
      }
      for (int d = 0; d < 7 && !known; ++d) {
        // Weekday names are read and ignored.
        known = WordIs(word, kDayNames[d], std::strlen(kDayNames[d])) || WordIs(word, kDayNames[d], 3);
      }
      if (!known) {
        if (WordIs(word, "AM", 2) || WordIs(word, "A", 1)) {
          tokens[count++] = {TokenKind::kAmPm, 0};
        } else if (WordIs(word, "PM", 2) || WordIs(word, "P", 1)) {
          tokens[count++] = {TokenKind::kAmPm, 1};
        } else {
          return false;
        }
      }
    } else if (c == u'/' || c == u'-') {
      tokens[count++] = {TokenKind::kDateSep, c};
      ++i;
    } else if (c == u':' || c == u'.') {
      tokens[count++] = {TokenKind::kTimeSep, c};
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

int WindowYear(std::int64_t y) {
  // Two-digit years: 00-29 are 2000-2029, 30-99 are 1930-1999.
  if (y < 30) return static_cast<int>(2000 + y);
  if (y < 100) return static_cast<int>(1900 + y);
  return static_cast<int>(y);
}

bool ValidDate(std::int64_t y, std::int64_t m, std::int64_t d, int& year, int& month, int& day) {
  if (y > 9999 || m < 1 || m > 12 || d < 1) return false;
  int yy = WindowYear(y);
  if (d > DaysInMonth(yy, static_cast<int>(m))) return false;
  year = yy;
  month = static_cast<int>(m);
  day = static_cast<int>(d);
  return true;
}

}  // namespace

bool TryDateFromText(StringView text, int current_year, double& serial) {
  Token tokens[kMaxTokens];
  int count = 0;
  if (!Tokenize(text, tokens, count) || count == 0) return false;

  std::int64_t date_numbers[4];
  int date_count = 0;
  int month_name = 0;
  int date_seps = 0;
  bool have_time = false;
  std::int64_t time_fields[3] = {0, 0, 0};
  int time_count = 0;
  bool dots_only = true;
  int am_pm = -1;

  for (int i = 0; i < count; ++i) {
    const Token& t = tokens[i];
    switch (t.kind) {
      case TokenKind::kNumber: {
        if (i + 1 < count && tokens[i + 1].kind == TokenKind::kTimeSep) {
          // h:m or h:m:s (':' or '.'); more fields, such as fractional seconds, do not read.
          if (have_time) return false;
          have_time = true;
          time_fields[time_count++] = t.value;
          while (i + 1 < count && tokens[i + 1].kind == TokenKind::kTimeSep) {
            if (tokens[i + 1].value != u'.') dots_only = false;
            if (i + 2 >= count || tokens[i + 2].kind != TokenKind::kNumber || time_count == 3) return false;
            time_fields[time_count++] = tokens[i + 2].value;
            i += 2;
          }
          if (i + 1 < count && tokens[i + 1].kind == TokenKind::kAmPm) am_pm = static_cast<int>(tokens[++i].value);
        } else if (i + 1 < count && tokens[i + 1].kind == TokenKind::kAmPm) {
          // "1 am": an hour alone.
          if (have_time) return false;
          have_time = true;
          dots_only = false;
          time_fields[time_count++] = t.value;
          am_pm = static_cast<int>(tokens[++i].value);
        } else {
          if (date_count == 3) return false;
          date_numbers[date_count++] = t.value;
        }
        break;
      }
      case TokenKind::kMonth:
        if (month_name != 0) return false;
        month_name = static_cast<int>(t.value);
        break;
      case TokenKind::kDateSep:
        if (++date_seps > 2) return false;
        break;
      case TokenKind::kTimeSep:  // not between two numbers
      case TokenKind::kAmPm:     // not right after a number
        return false;
    }
  }

  // "0.0" reads as the number zero, not as midnight.
  if (have_time && dots_only && time_fields[0] == 0 && time_fields[1] == 0 && time_fields[2] == 0) return false;

  bool have_date = false;
  int year = 0, month = 0, day = 0;
  const std::int64_t* v = date_numbers;
  // The clock is read only for dates written without a year.
  const bool no_year = month_name != 0 ? date_count == 1 : date_count == 2;
  if (current_year == 0 && no_year) current_year = CurrentYear();
  if (month_name != 0) {
    if (date_count == 1) {
      have_date = ValidDate(current_year, month_name, v[0], year, month, day) ||
                  ValidDate(v[0], month_name, 1, year, month, day);
    } else if (date_count == 2) {
      // "Jan 5, 2020", "5 January 2020", "5-Jan-2020"; else the year first ("2020 Jan 5").
      have_date = ValidDate(v[1], month_name, v[0], year, month, day) ||
                  ValidDate(v[0], month_name, v[1], year, month, day);
    } else {
      return false;
    }
  } else if (date_count == 3) {
    have_date = ValidDate(v[2], v[0], v[1], year, month, day) ||  // month/day/year
                ValidDate(v[0], v[1], v[2], year, month, day) ||  // year/month/day
                ValidDate(v[2], v[1], v[0], year, month, day);    // day/month/year
    if (!have_date) return false;
  } else if (date_count == 2) {
    // Month and day of this year; if there is no such day, month and year.
    have_date = ValidDate(current_year, v[0], v[1], year, month, day) ||
                ValidDate(v[1], v[0], 1, year, month, day);
    if (!have_date) return false;
  } else if (date_count == 1) {
    return false;  // a number alone is not a date
  }
  if (month_name != 0 && !have_date) return false;
  if (!have_date && !have_time) return false;

  int seconds = 0;
  if (have_time) {
    std::int64_t h = time_fields[0], m = time_fields[1], s = time_fields[2];
    if (h > 23 || m > 59 || s > 59) return false;
    // AM/PM counts only for hours 0..12: "12 AM" is midnight, "13:00 AM" stays 13:00.
    if (am_pm == 0 && h == 12) h = 0;
    if (am_pm == 1 && h < 12) h += 12;
    seconds = static_cast<int>(h * 3600 + m * 60 + s);
  }
  const std::int64_t day_number = have_date ? DayNumber(year, month, day) : 0;
  if (day_number < kFirstDayNumber || day_number > kLastDayNumber) return false;
  serial = Compose(day_number, seconds);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Date -> text.

namespace {

char* Put(char* p, int value, int min_width) {
  char tmp[12];
  int n = 0;
  unsigned v = static_cast<unsigned>(value);
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n < min_width) tmp[n++] = '0';
  while (n > 0) *p++ = tmp[--n];
  return p;
}

char* PutDate(char* p, std::int64_t day_number) {
  int y, m, d;
  CivilFromDayNumber(day_number, y, m, d);
  p = Put(p, m, 1);
  *p++ = '/';
  p = Put(p, d, 1);
  *p++ = '/';
  return Put(p, y, 1);  // "yyyy" never pads: year 100 is "1/1/100"
}

char* PutTime(char* p, int seconds) {
  int h = seconds / 3600, mi = seconds / 60 % 60, s = seconds % 60;
  int h12 = h % 12 == 0 ? 12 : h % 12;
  p = Put(p, h12, 1);
  *p++ = ':';
  p = Put(p, mi, 2);
  *p++ = ':';
  p = Put(p, s, 2);
  *p++ = ' ';
  *p++ = h < 12 ? 'A' : 'P';
  *p++ = 'M';
  return p;
}

void Append(String& out, const char* text, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
}
void Append(String& out, const char* text) { Append(out, text, std::strlen(text)); }
void AppendNumber(String& out, int value, int min_width) {
  char buf[12];
  Append(out, buf, static_cast<std::size_t>(Put(buf, value, min_width) - buf));
}

}  // namespace

std::size_t GeneralDateText(double serial, char* out) {
  const SplitSerial s = Split(serial);
  char* p = out;
  const bool show_date = s.day_number != 0;
  const bool show_time = s.seconds != 0 || !show_date;
  if (show_date) p = PutDate(p, s.day_number);
  if (show_date && show_time) *p++ = ' ';
  if (show_time) p = PutTime(p, s.seconds);
  return static_cast<std::size_t>(p - out);
}

String FormatSerial(double serial, StringView pattern) {
  const SplitSerial s = Split(serial);
  int year, month, day;
  CivilFromDayNumber(s.day_number, year, month, day);
  const int hour = s.seconds / 3600, minute = s.seconds / 60 % 60, second = s.seconds % 60;

  auto lower_at = [&](std::size_t i) { return i < pattern.size() ? Lower(pattern[i]) : char16_t{0}; };
  auto matches_at = [&](std::size_t i, const char* word) {
    std::size_t len = std::strlen(word);
    return i + len <= pattern.size() && WordIs(pattern.substr(i, len), word, len);
  };
  // Hours count 1..12 only when the pattern carries an AM/PM marker.
  bool twelve_hour = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (matches_at(i, "AM/PM") || matches_at(i, "A/P") || matches_at(i, "AMPM")) twelve_hour = true;
  }

  String out;
  out.reserve(pattern.size() + 16);
  bool after_hour = false;  // m / mm right after h / hh means minutes
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char16_t c = pattern[i];
    const char16_t lc = Lower(c);
    std::size_t run = 1;
    while (lower_at(i + run) == lc && (lc == u'd' || lc == u'm' || lc == u'y' || lc == u'h' || lc == u'n' ||
                                        lc == u's' || lc == u't')) {
      ++run;
    }
    bool hour_token = false;
    if (c == u'\\' && i + 1 < pattern.size()) {
      out.push_back(pattern[i + 1]);
      i += 2;
      continue;
    }
    if (c == u'"') {
      std::size_t end = pattern.find(u'"', i + 1);
      if (end == StringView::npos) end = pattern.size();
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (lc == u'a' && (matches_at(i, "AM/PM") || matches_at(i, "A/P") || matches_at(i, "AMPM"))) {
      const bool upper = c == u'A';
      const bool pm = hour >= 12;
      if (matches_at(i, "A/P")) {
        out.push_back(pm ? (upper ? u'P' : u'p') : (upper ? u'A' : u'a'));
        i += 3;
      } else {
        Append(out, pm ? (upper ? "PM" : "pm") : (upper ? "AM" : "am"));
        i += matches_at(i, "AMPM") ? 4 : 5;
      }
      continue;
    }
    switch (lc) {
      case u'd':
        if (run == 1 || run == 2) {
          AppendNumber(out, day, static_cast<int>(run));
        } else if (run == 3 || run == 4) {
          const char* name = kDayNames[Weekday(s.day_number)];
          Append(out, name, run == 3 ? 3 : std::strlen(name));
        } else if (run == 5) {
          char buf[16];
          Append(out, buf, static_cast<std::size_t>(PutDate(buf, s.day_number) - buf));
        } else {
          Append(out, kDayNames[Weekday(s.day_number)]);
          Append(out, ", ");
          Append(out, kMonthNames[month - 1]);
          out.push_back(u' ');
          AppendNumber(out, day, 1);
          Append(out, ", ");
          AppendNumber(out, year, 1);  // the long date's year unpadded, like the short date's
        }
        break;
      case u'm':
        if (run <= 2 && after_hour) {
          AppendNumber(out, minute, static_cast<int>(run));
        } else if (run <= 2) {
          AppendNumber(out, month, static_cast<int>(run));
        } else {
          const char* name = kMonthNames[month - 1];
          Append(out, name, run == 3 ? 3 : std::strlen(name));
        }
        break;
      case u'y':
        if (run == 1) {
          AppendNumber(out, static_cast<int>(s.day_number - DayNumber(year, 1, 1) + 1), 1);
        } else if (run <= 3) {
          AppendNumber(out, year % 100, 2);
        } else {
          AppendNumber(out, year, 1);
        }
        break;
      case u'h': {
        int h = hour;
        if (twelve_hour) h = h % 12 == 0 ? 12 : h % 12;
        AppendNumber(out, h, run == 1 ? 1 : 2);
        hour_token = true;
        break;
      }
      case u'n':
        AppendNumber(out, minute, run == 1 ? 1 : 2);
        break;
      case u's':
        AppendNumber(out, second, run == 1 ? 1 : 2);
        break;
      case u't':
        if (run == 5) {
          char buf[16];
          Append(out, buf, static_cast<std::size_t>(PutTime(buf, s.seconds) - buf));
        } else {
          out.append(pattern.substr(i, run));
        }
        break;
      case u'c': {
        char buf[32];
        Append(out, buf, GeneralDateText(serial, buf));
        break;
      }
      default:
        // Separators and anything else are copied (en-US: ':' and '/' are themselves).
        out.append(pattern.substr(i, run));
        i += run;
        continue;
    }
    after_hour = hour_token;
    i += run;
  }
  return out;
}

}  // namespace narwick::frame

namespace narwick {

DateParts SerialToParts(double serial) {
  if (!frame::IsSerialInRange(serial)) Raise(err::kOverflow);
  const frame::SplitSerial s = frame::Split(serial);
  DateParts parts;
  frame::CivilFromDayNumber(s.day_number, parts.year, parts.month, parts.day);
  parts.hour = s.seconds / 3600;
  parts.minute = s.seconds / 60 % 60;
  parts.second = s.seconds % 60;
  return parts;
}

double PartsToSerial(const DateParts& parts) {
  // Fields out of their usual range carry over, as DateSerial / TimeSerial do
  // (month 13 is January of the next year, second 60 the next minute).
  std::int64_t months = std::int64_t{parts.year} * 12 + (std::int64_t{parts.month} - 1);
  const std::int64_t year = frame::FloorDiv(months, 12);
  const int month = static_cast<int>(months - year * 12 + 1);
  if (year < 0 || year > 20000) Raise(err::kOverflow);
  std::int64_t day_number = frame::DayNumber(year, month, 1) + (std::int64_t{parts.day} - 1);
  std::int64_t seconds = std::int64_t{parts.hour} * 3600 + std::int64_t{parts.minute} * 60 + parts.second;
  day_number += frame::FloorDiv(seconds, 86400);
  seconds -= frame::FloorDiv(seconds, 86400) * 86400;
  if (day_number < frame::kFirstDayNumber || day_number > frame::kLastDayNumber) Raise(err::kOverflow);
  return frame::Compose(day_number, static_cast<double>(seconds));
}

double DateSerialFromText(StringView text) {
  double serial = 0;
  if (!frame::TryDateFromText(text, 0, serial)) Raise(err::kTypeMismatch);
  return serial;
}

String DateToText(double serial) {
  if (!frame::IsSerialInRange(serial)) Raise(err::kOverflow);
  char buf[32];
  std::size_t len = frame::GeneralDateText(serial, buf);
  return String(buf, buf + len);
}

String FormatDate(const Variant& v, StringView pattern) {
  // A number, Date or numeric text is the serial; other text is read as a date and, when
  // it is not one, returned unchanged (as VB's Format does). Null formats as "".
  double serial = 0;
  switch (v.VarType()) {
    case VbVarType::vbNull:
      return String();
    case VbVarType::vbEmpty:
      break;
    case VbVarType::vbString: {
      frame::ParsedNumber number;
      if (frame::ParseNumber(v.Str(), number) == frame::NumberStatus::kOk &&
          frame::ParsedToDouble(number, serial) == frame::NumberStatus::kOk) {
        break;
      }
      if (!frame::TryDateFromText(v.Str(), 0, serial)) return v.Str();
      break;
    }
    case VbVarType::vbObject:
      return FormatDate(frame::DefaultValueOf(v), pattern);
    default:
      serial = CDbl(v);
      break;
  }
  if (!frame::IsSerialInRange(serial)) Raise(err::kOverflow);
  return frame::FormatSerial(serial, pattern);
}

double Now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::int64_t day_number = frame::DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return frame::Compose(day_number, local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec);
}

}  // namespace narwick
