#include "render/json_values.h"

#include <array>
#include <charconv>
#include <cmath>

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
      const std::uint8_t b = bytes[i];
      if (kPlain[b]) {
        *p++ = static_cast<char>(b);
      } else if (b == '"' || b == '\\') {
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
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
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
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t b = bytes[done + i];
      p[2 * i] = kHexPairs.text[2 * b];
      p[2 * i + 1] = kHexPairs.text[2 * b + 1];
    }
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
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  out.put(std::string_view(text, static_cast<std::size_t>(end - text)));
}

void writeJsonBool(Writer& out, bool value) { out.put(value ? "true" : "false"); }

void writeJsonUtcTime(Writer& out, std::int64_t seconds, std::uint32_t milliseconds) {
  const std::int64_t total = seconds + milliseconds / 1000;
  const unsigned millis = milliseconds % 1000;
  std::int64_t days = total / 86400;
  std::int64_t secondOfDay = total % 86400;
  if (secondOfDay < 0) {
    secondOfDay += 86400;
    --days;
  }
  const CivilDate date = civilFromDays(days);
  const auto clock = static_cast<unsigned>(secondOfDay);
  out.put('"');
  if (date.year >= 0 && date.year <= 9999) {
    twoDigits(out, static_cast<unsigned>(date.year / 100));
    twoDigits(out, static_cast<unsigned>(date.year % 100));
  } else {
    out.decimal(date.year);
  }
  out.put('-');
  twoDigits(out, date.month);
  out.put('-');
  twoDigits(out, date.day);
  out.put('T');
  twoDigits(out, clock / 3600);
  out.put(':');
  twoDigits(out, clock / 60 % 60);
  out.put(':');
  twoDigits(out, clock % 60);
  out.put('.');
  out.put(static_cast<char>('0' + millis / 100));
  twoDigits(out, millis % 100);
  out.put("Z\"");
}

}  // namespace ovantrex
