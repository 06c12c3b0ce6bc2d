// The options that shape the listing, set from the command line before the
// first record is read and only read afterwards.
#pragma once

#include <cstdint>
#include <ctime>

namespace ovantrex {

// The local calendar time of seconds since 1970-01-01 00:00:00 UTC; false
// when it cannot be had. The system's conversion is handed in by the
// program (see app/platform.h).
using LocalTimeConversion = bool (*)(std::int64_t seconds, std::tm& local);

struct ListingOptions {
  bool cumulative = false;      // -c
  bool elapsedColumn = true;    // -m turns it off
  bool timeColumn = false;      // -t
  bool processColumn = false;   // -p
  bool reportOverlong = false;  // -x
  bool hideType = false;        // -H
  std::int32_t hourOffset = 0;  // -h
  // For the time column; without one, no time can be shown (the record
  // gets the fallback entry).
  LocalTimeConversion localTime = nullptr;
};

}  // namespace ovantrex
