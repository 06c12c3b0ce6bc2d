// The line prefix columns in front of every entry: the local time (-t), the
// elapsed seconds (off with -m, cumulative with -c) and the process/thread
// column (-p).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/trace_record.h"
#include "output/common/listing_options.h"
#include "output/text/indents.h"

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

// The prefix state of one run. Its strings hold their room from the start,
// so that building a prefix never asks for memory.
struct PrefixState {
  PrefixState();

  LinePrefix kept;
  double previousStamp = 0;
  std::string shortPrefix;  // format versions 1 and 2, one record at a time

  // A format-version-3 record passed unlisted (passLinePrefix) since kept
  // was built: its elapsed value and extended header, from which kept is
  // built when a record of another format version needs it.
  bool pending = false;
  double pendingElapsed = 0;
  TraceExtHeader pendingExt;

  // The local time of the last converted second, "MM/DD-hh:mm:ss".
  bool haveCachedSecond = false;
  std::int32_t cachedSecond = 0;
  std::string cachedClock;
};

// Builds the three prefix strings of a data record and moves the previous
// time stamp on. The strings view storage in state, valid until the next
// call. Empty when the time column's time is negative: the record then gets
// the fallback entry.
std::optional<PrefixStrings> buildLinePrefix(PrefixState& state, const ListingOptions& options,
                                             const TraceRecordHeader& header,
                                             const TraceExtHeader& ext, int formatVersion);

// What buildLinePrefix keeps of a record that is not listed (a selection
// leaves it out), at the cost of the elapsed value alone: the previous time
// stamp moves on, and a format-version-3 record's strings are built only
// when a later record of another version takes its indents from them.
void passLinePrefix(PrefixState& state, const ListingOptions& options,
                    const TraceRecordHeader& header, const TraceExtHeader& ext, int formatVersion);

// Appends value with three decimals, left-justified in at least ten
// characters, never cut.
void appendSeconds(std::string& out, double value);

}  // namespace ovantrex
