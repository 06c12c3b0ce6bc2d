// The run settings, set from the command line before the first record is
// read and only read afterwards. Each is named by its option letter.
#pragma once

#include <string>

#include "app/platform.h"
#include "output/common/listing_options.h"

namespace ovantrex {

// The listing's options (-c, -m, -t, -p, -x, -H, -h) and the two files.
struct Settings : ListingOptions {
  // The time column in the system's local time.
  Settings() { localTime = platform::localTime; }

  std::string inputName;   // -f
  std::string outputName;  // -w; empty means standard output
  bool json = false;       // --json: JSON Lines in place of the listing
  bool summary = false;    // --summary: a report of the whole trace in place of the listing
  bool follow = false;     // --follow: list records as they are appended to the trace
  bool report = false;     // --report: one HTML page of the whole trace in place of the listing
  // --list FILE: a summary row for each trace that FILE names, one a line
  // ("-": standard input); see batch.h.
  bool list = false;
  std::string listName;
};

}  // namespace ovantrex
