// The record loop: reads the trace record by record until the sixth short
// header read, follows the format version, reports what it must skip, and
// hands every data record to the dispatcher.
#pragma once

#include "driver/line_prefix.h"
#include "driver/settings.h"
#include "driver/trace_reader.h"
#include "render/writer.h"

namespace ovantrex {

// Where the loop writes: the listing, standard output (the invalid-minor-code
// message; the same writer as the listing when no -w is given) and standard
// error.
struct LoopStreams {
  Writer& listing;
  Writer& console;
  Writer& errors;
};

// The state of one run of the loop; a fresh value for every run.
struct LoopState {
  int formatVersion = 1;
  int shortReads = 0;
  PrefixState prefix;
};

// Runs until the sixth short header read, on a fresh state. Throws
// ReadError and WriteError.
void runRecordLoop(TraceReader& input, const LoopStreams& streams, const Settings& settings);

}  // namespace ovantrex
