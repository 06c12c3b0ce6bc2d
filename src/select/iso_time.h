// The times of --where: an ISO 8601 date and time, as the text after
// `time ==` gives it, read into milliseconds since 1970-01-01 00:00:00 UTC,
// the figure that a record's time is compared as.
//
//   YYYY-MM-DD[(T|t| )hh:mm[:ss[.fraction]]][Z|z|+hh:mm|-hh:mm|+hhmm|+hh]
//
// A time without a zone is local, as the time column is (the C library's
// zone, TZ); a date alone is its local midnight. The fraction counts to the
// millisecond: digits past the third that are not all 0 put the time
// between two milliseconds, so that it equals no record's time and orders
// as it should.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace ovantrex {

// Where a time's text went wrong (a byte of the text), and what was
// expected there.
struct TimeError {
  std::size_t position = 0;
  std::string message;
};

std::variant<double, TimeError> readIsoTime(std::string_view text);

}  // namespace ovantrex
