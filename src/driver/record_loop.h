// The record loop: reads the trace record by record until the sixth short
// header read, follows the format version, and hands every data record,
// decoded, and every diagnostic to a printer.
#pragma once

#include "driver/settings.h"
#include "driver/trace_reader.h"
#include "render/printer.h"
#include "render/writer.h"

namespace ovantrex {

// Runs until the sixth short header read. Throws ReadError, and whatever the
// printer throws (WriteError).
void readTrace(TraceReader& input, Printer& printer);

// Where the text listing writes: the listing, standard output (the
// invalid-minor-code message; the same writer as the listing when no -w is
// given) and standard error.
struct LoopStreams {
  Writer& listing;
  Writer& console;
  Writer& errors;
};

// Lists the trace as text.
void runRecordLoop(TraceReader& input, const LoopStreams& streams, const Settings& settings);

}  // namespace ovantrex
