// JSON Lines: one JSON object per line for every data record and every
// diagnostic of the record loop, in trace order.
#pragma once

#include <cstdint>

#include "output/common/json_values.h"
#include "output/common/printer.h"
#include "output/common/writer.h"

namespace ovantrex {

class JsonLines final : public Printer {
 public:
  // out: the output stream.
  explicit JsonLines(Writer& out);

  void record(const Record& record, const DecodedRecord& decoded,
              const RecordFacts& facts) override;
  void pass(const Record& record) override;
  void context(const Record& record, const DecodedRecord& decoded,
               const RecordFacts& facts) override;
  void group(bool apart, std::uint64_t leftOut) override;
  void diagnostic(const Diagnostic& diagnostic) override;
  // The last line: a diagnostic object for the read that failed.
  void readFailed(const ReadFailure& failure) override;

 private:
  // The members from the headers: offset, version, ..., hidden, failed.
  void writeHeaders(const Record& record, const DecodedRecord& decoded);
  // The members from the payload: the text or the data, the notes and the
  // decoded values.
  void writeBody(const Record& record, const DecodedRecord& decoded);

  // The record's entry; context: marked as written around a selected one.
  void write(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts,
             bool context);

  Writer& out_;
  double previousStamp_ = 0;
  std::uint64_t leftOut_ = 0;  // for the next record's "left_out"
  UtcTimes times_;
  Writer scratch_;  // one note's words before they are escaped
};

}  // namespace ovantrex
