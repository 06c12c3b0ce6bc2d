// The run settings, set from the command line before the first record is
// read and only read afterwards. Each is named by its option letter.
#pragma once

#include <cstdint>
#include <string>

namespace ovantrex {

struct Settings {
  std::string inputName;        // -f
  std::string outputName;       // -w; empty means standard output
  bool cumulative = false;      // -c
  bool elapsedColumn = true;    // -m turns it off
  bool timeColumn = false;      // -t
  bool processColumn = false;   // -p
  bool reportOverlong = false;  // -x
  bool hideType = false;        // -H
  std::int32_t hourOffset = 0;  // -h
};

}  // namespace ovantrex
