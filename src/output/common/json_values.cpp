#include "output/common/json_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ovantrex {

namespace {

// True for the bytes that a JSON string holds as they are.
constexpr std::array<bool, 256> makePlainTable() {
  std::array<bool, 256> table{};
  for (std::size_t b = 0x20; b <= 0x7e; ++b) table[b] = b != '"' && b != '\\';
  return table;
}
constexpr std::array<bool, 256> kPlain = makePlainTable();

// The longest escape, \u00hh, takes six characters.
constexpr std::size_t kEscapeWidth = 6;
constexpr std::size_t kChunk = 1024;

void writeEscaped(Writer& out, const std::uint8_t* bytes, std::size_t count) {
  out.put('"');
  while (count > 0) {
    const std::size_t n = count < kChunk ? count : kChunk;
    char* p = out.reserve(n * kEscapeWidth);
    for (std::size_t i = 0; i < n; ++i) {
      // A run of plain bytes is copied whole.
      std::size_t run = i;
      while (run < n && kPlain[bytes[run]]) ++run;
      if (run > i) {
        std::memcpy(p, bytes + i, run - i);
        p += run - i;
        i = run;
        if (i == n) break;
      }
      const std::uint8_t b = bytes[i];
      if (b == '"' || b == '\\') {
        *p++ = '\\';
        *p++ = static_cast<char>(b);
      } else {
        *p++ = '\\';
        *p++ = 'u';
        *p++ = '0';
        *p++ = '0';
        *p++ = kHexPairs.text[2 * b];
        *p++ = kHexPairs.text[2 * b + 1];
      }
    }
    out.commit(p);
    bytes += n;
    count -= n;
  }
  out.put('"');
}

// Days since 1970-01-01 to a civil date, for any day count a 64-bit second
// count of a 32-bit trace field can give.
struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};
CivilDate civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

// value / 10^decimals with exactly that many decimals ("-0.005", "12.5").
void writeScaled(Writer& out, std::int64_t value, int decimals) {
  if (value < 0) {
    out.put('-');
    value = -value;
  }
  if (decimals == 0) {
    out.decimal(value);
    return;
  }
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  auto length = static_cast<int>(end - digits);
  std::string_view text(digits, static_cast<std::size_t>(length));
  if (length <= decimals) {
    out.put("0.");
    out.repeat('0', static_cast<std::size_t>(decimals - length));
    out.put(text);
    return;
  }
  out.put(text.substr(0, static_cast<std::size_t>(length - decimals)));
  out.put('.');
  out.put(text.substr(static_cast<std::size_t>(length - decimals)));
}

void twoDigits(Writer& out, unsigned value) {
  char* p = out.reserve(2);
  p[0] = static_cast<char>('0' + value / 10);
  p[1] = static_cast<char>('0' + value % 10);
  out.commit(p + 2);
}

}  // namespace

void writeJsonString(Writer& out, Bytes bytes) { writeEscaped(out, bytes.data(), bytes.size()); }

void writeJsonString(Writer& out, std::string_view text) {
  writeEscaped(out, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void writeJsonHex(Writer& out, Bytes bytes) {
  out.put('"');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t n = std::min(bytes.size() - done, kChunk);
    char* p = out.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i)
      std::memcpy(p + 2 * i, &kHexPairs.text[2 * bytes[done + i]], 2);
    out.commit(p + 2 * n);
    done += n;
  }
  out.put('"');
}

void writeJsonNumber(Writer& out, double value) {
  if (!std::isfinite(value)) {
    out.put("null");
    return;
  }
  // Most time stamps are whole milliseconds or have up to three decimals:
  // the smallest count of decimals that reads back as the same double is
  // written straight away.
  constexpr double kScales[] = {1, 10, 100, 1000};
  if (std::fabs(value) < 1e12) {
    for (int decimals = 0; decimals < 4; ++decimals) {
      const double scaled = std::rint(value * kScales[decimals]);
      if (scaled / kScales[decimals] != value) continue;
      writeScaled(out, static_cast<std::int64_t>(scaled), decimals);
      return;
    }
  }
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  out.put(std::string_view(text, static_cast<std::size_t>(end - text)));
}

void writeJsonBool(Writer& out, bool value) { out.put(value ? "true" : "false"); }

void writeJsonUtcTime(Writer& out, std::int64_t seconds, std::uint32_t milliseconds) {
  UtcTimes times;
  times.write(out, seconds, milliseconds);
}

void writeUtcTime(Writer& out, std::int64_t seconds, std::uint32_t milliseconds) {
  UtcTimes times;
  times.write(out, seconds, milliseconds, false);
}

void UtcTimes::write(Writer& out, std::int64_t seconds, std::uint32_t milliseconds, bool quoted) {
  const std::int64_t total = seconds + milliseconds / 1000;
  const unsigned millis = milliseconds % 1000;
  if (!cached_ || total != second_) {
    std::int64_t days = total / 86400;
    std::int64_t secondOfDay = total % 86400;
    if (secondOfDay < 0) {
      secondOfDay += 86400;
      --days;
    }
    const CivilDate date = civilFromDays(days);
    const auto clock = static_cast<unsigned>(secondOfDay);
    char* p = clock_;
    char* const end = clock_ + sizeof clock_;
    const auto two = [&p](unsigned value) {
      *p++ = static_cast<char>('0' + value / 10 % 10);
      *p++ = static_cast<char>('0' + value % 10);
    };
    if (date.year >= 0 && date.year <= 9999) {
      two(static_cast<unsigned>(date.year / 100));
      two(static_cast<unsigned>(date.year % 100));
    } else {
      p = std::to_chars(p, end, date.year).ptr;
    }
    *p++ = '-';
    two(date.month);
    *p++ = '-';
    two(date.day);
    *p++ = 'T';
    two(clock / 3600);
    *p++ = ':';
    two(clock / 60 % 60);
    *p++ = ':';
    two(clock % 60);
    length_ = static_cast<std::size_t>(p - clock_);
    second_ = total;
    cached_ = true;
  }
  if (quoted) out.put('"');
  out.put(std::string_view(clock_, length_));
  out.put('.');
  out.put(static_cast<char>('0' + millis / 100));
  twoDigits(out, millis % 100);
  out.put('Z');
  if (quoted) out.put('"');
}

}  // namespace ovantrex
