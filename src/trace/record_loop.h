// The record loop: reads the trace record by record until the sixth short
// header read, follows the format version, and hands every data record and
// every diagnostic on, in trace order.
#pragma once

#include "core/trace_record.h"
#include "trace/trace_reader.h"

namespace ovantrex {

// Where the record loop hands its records and diagnostics.
class RecordSink : public PayloadKeeper {
 public:
  // Every data record, hidden ones included; the payload is valid during
  // the call, and after it until payloadsMove().
  virtual void record(const Record& record) = 0;
  virtual void diagnostic(const Diagnostic& diagnostic) = 0;
  // The payloads handed out are about to be overwritten.
  void payloadsMove() override {}

 protected:
  RecordSink() = default;
  RecordSink(const RecordSink&) = default;
  RecordSink& operator=(const RecordSink&) = default;
};

// Runs until the sixth short header read. Throws ReadError, and whatever the
// sink throws.
void readTrace(TraceReader& input, RecordSink& sink);

}  // namespace ovantrex
