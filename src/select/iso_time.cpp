#include "select/iso_time.h"

#include <cstdint>
#include <ctime>
#include <optional>

namespace ovantrex {

namespace {

constexpr std::string_view kTimeExpected = "expected a time as YYYY-MM-DDThh:mm:ss[.mmm][Z|+hh:mm]";

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  double milliseconds = 0;  // of the second, a half for a part of one
  std::optional<int> zone;  // minutes east of UTC; none: local time
};

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
std::int64_t daysSince1970(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

class TimeReader {
 public:
  explicit TimeReader(std::string_view text) : text_(text) {}

  std::variant<double, TimeError> read() {
    CalendarTime time;
    if (!date(time) || !clock(time) || !zone(time)) return *error_;
    if (at_ != text_.size()) return TimeError{at_, std::string(kTimeExpected)};
    return inMilliseconds(time);
  }

 private:
  bool date(CalendarTime& time) {
    if (!digits(4, time.year) || !mark('-')) return false;
    if (!field(time.month, 1, 12, "a month from 01 to 12") || !mark('-')) return false;
    const int last = daysInMonth(time.year, time.month);
    return field(time.day, 1, last, "a day from 01 to " + std::to_string(last));
  }

  // The clock after the date, if there is one: a date alone is midnight.
  bool clock(CalendarTime& time) {
    if (at_ == text_.size()) return true;
    const char c = text_[at_];
    if (c != 'T' && c != 't' && c != ' ') return fail(kTimeExpected);
    ++at_;
    if (!field(time.hour, 0, 23, "an hour from 00 to 23") || !mark(':')) return false;
    if (!field(time.minute, 0, 59, "a minute from 00 to 59")) return false;
    if (!has(':')) return true;
    ++at_;
    if (!field(time.second, 0, 60, "a second from 00 to 60")) return false;
    if (!has('.')) return true;
    ++at_;
    return fraction(time);
  }

  // The fraction of the second: milliseconds, and a half of one for the
  // digits past the third that are not all 0.
  bool fraction(CalendarTime& time) {
    const std::size_t first = at_;
    int scale = 100;
    bool beyond = false;
    for (; at_ < text_.size() && isDigit(text_[at_]); ++at_) {
      const int digit = text_[at_] - '0';
      time.milliseconds += digit * scale;
      beyond = beyond || (scale == 0 && digit != 0);
      scale /= 10;
    }
    if (at_ == first) return fail("expected the digits of a fraction of a second");
    if (beyond) time.milliseconds += 0.5;
    return true;
  }

  bool zone(CalendarTime& time) {
    if (at_ == text_.size()) return true;
    const char c = text_[at_];
    if (c == 'Z' || c == 'z') {
      ++at_;
      time.zone = 0;
      return true;
    }
    if (c != '+' && c != '-') return true;  // read() refuses what follows
    ++at_;
    int hours = 0;
    int minutes = 0;
    if (!field(hours, 0, 23, "a zone's hours from 00 to 23")) return false;
    const bool colon = has(':');  // +hh:mm; or +hhmm, or +hh alone
    if (colon) ++at_;
    if ((colon || at_ < text_.size()) && !field(minutes, 0, 59, "a zone's minutes from 00 to 59"))
      return false;
    time.zone = (c == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
  }

  static std::variant<double, TimeError> inMilliseconds(const CalendarTime& time) {
    std::int64_t seconds = 0;
    if (time.zone) {
      seconds = daysSince1970(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
                time.minute * 60 + time.second - std::int64_t{*time.zone} * 60;
    } else {
      std::tm local{};
      local.tm_year = time.year - 1900;
      local.tm_mon = time.month - 1;
      local.tm_mday = time.day;
      local.tm_hour = time.hour;
      local.tm_min = time.minute;
      local.tm_sec = time.second;
      local.tm_isdst = -1;  // the zone's rules tell whether summer time applies
      const std::time_t converted = std::mktime(&local);
      if (converted == static_cast<std::time_t>(-1))
        return TimeError{0,
                         "the local time zone cannot convert this time; give its zone (Z or "
                         "+hh:mm)"};
      seconds = converted;
    }
    return static_cast<double>(seconds) * 1000 + time.milliseconds;
  }

  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  bool has(char c) const { return at_ < text_.size() && text_[at_] == c; }

  bool mark(char c) {
    if (!has(c)) return fail(kTimeExpected);
    ++at_;
    return true;
  }

  // Exactly count digits.
  bool digits(int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i, ++at_) {
      if (at_ == text_.size() || !isDigit(text_[at_])) return fail(kTimeExpected);
      value = value * 10 + (text_[at_] - '0');
    }
    return true;
  }

  // Two digits from low to high; the caret goes under the first.
  bool field(int& value, int low, int high, const std::string& what) {
    const std::size_t start = at_;
    if (!digits(2, value)) return false;
    if (value >= low && value <= high) return true;
    at_ = start;
    return fail("expected " + what);
  }

  bool fail(std::string_view message) {
    if (!error_) error_ = TimeError{at_, std::string(message)};
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::optional<TimeError> error_;
};

}  // namespace

std::variant<double, TimeError> readIsoTime(std::string_view text) {
  return TimeReader(text).read();
}

}  // namespace ovantrex
