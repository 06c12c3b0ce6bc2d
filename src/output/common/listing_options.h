// The options that shape the listing, set from the command line before the
// first record is read and only read afterwards.
#pragma once

#include <cstdint>

namespace ovantrex {

struct ListingOptions {
  bool cumulative = false;      // -c
  bool elapsedColumn = true;    // -m turns it off
  bool timeColumn = false;      // -t
  bool processColumn = false;   // -p
  bool reportOverlong = false;  // -x
  bool hideType = false;        // -H
  std::int32_t hourOffset = 0;  // -h
};

}  // namespace ovantrex
