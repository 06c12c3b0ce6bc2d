// The line prefix columns in front of every entry: the local time (-t), the
// elapsed seconds (off with -m, cumulative with -c) and the process/thread
// column (-p).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "driver/settings.h"
#include "driver/trace_format.h"
#include "render/indents.h"

namespace ovantrex {

// The three prefix strings of the last format-version-3 record and their
// recorded widths. Later records of format versions 1 and 2 take their wrap
// and note indents (and the version list its table indent) from it.
struct LinePrefix {
  std::string time;
  std::string elapsed;
  std::string process;
  PrefixWidths widths;

  PrefixStrings strings() const { return {time, elapsed, process}; }
};

// The prefix state of one run.
struct PrefixState {
  LinePrefix kept;
  double previousStamp = 0;
  std::string shortPrefix;  // format versions 1 and 2, one record at a time

  // The local time of the last converted second, "MM/DD-hh:mm:ss".
  bool haveCachedSecond = false;
  std::int32_t cachedSecond = 0;
  std::string cachedClock;
};

// Builds the three prefix strings of a data record and moves the previous
// time stamp on. The strings view storage in state, valid until the next
// call. Throws RecordFailure when the time column's time is negative.
PrefixStrings buildLinePrefix(PrefixState& state, const Settings& settings,
                              const TraceRecordHeader& header, const TraceExtHeader& ext,
                              int formatVersion);

// Appends value as "%-10.3f": three decimals, left-justified in at least ten
// characters, never cut.
void appendSeconds(std::string& out, double value);

}  // namespace ovantrex
