// A printer takes the records and diagnostics of a trace, in trace order,
// each record decoded and with what the analysis made of it. The text
// listing is one printer; every output of the program is another.
#pragma once

#include <cstdint>

#include "analysis/reply_pairing.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"

namespace ovantrex {

class Printer {
 public:
  virtual ~Printer() = default;
  // Every data record, hidden ones included. facts: its update, whether it
  // is an error reply, and its pair (the pairing stage's); empty for the
  // text listing, which shows none of them.
  virtual void record(const Record& record, const DecodedRecord& decoded,
                      const RecordFacts& facts) = 0;
  // A data record that a selection leaves out: the printer writes nothing
  // of it and keeps what it keeps of each record (the time before, the
  // widths of the columns) as if it had written it, so that the entries it
  // writes are those of the whole output.
  virtual void pass(const Record& /*record*/) {}
  // Whether the output shows the record at all: the context of a selection
  // (--before, --after) counts only the records shown.
  virtual bool shows(const DecodedRecord& /*decoded*/) const { return true; }
  // A record written around a selected one: as record(), marked as context
  // where the output marks it.
  virtual void context(const Record& record, const DecodedRecord& decoded,
                       const RecordFacts& facts) {
    this->record(record, decoded, facts);
  }
  // Before a group of selected records and their context: apart, when
  // records lie between it and the group before; leftOut, the records
  // before it that the room for context could not keep.
  virtual void group(bool /*apart*/, std::uint64_t /*leftOut*/) {}
  // A diagnostic of the record loop, for the printers that show it in
  // their output; the session writes its message on standard error.
  virtual void diagnostic(const Diagnostic& /*diagnostic*/) {}
  // False for a printer that writes from the analysis alone, which then
  // gets no records.
  virtual bool takesRecords() const { return true; }
  // Whether the output is bytes, the same on every system (the page),
  // rather than text, which is written with the system's line ends.
  virtual bool writesBytes() const { return false; }
  // A read of the trace failed: no record follows. finish() comes next.
  virtual void readFailed(const ReadFailure& /*failure*/) {}
  // The trace has been read to its end, or as far as it could be read; the
  // analysis, if any, is finished.
  virtual void finish() {}

 protected:
  Printer() = default;
  Printer(const Printer&) = default;
  Printer& operator=(const Printer&) = default;
};

}  // namespace ovantrex
