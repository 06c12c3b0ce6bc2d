// The session summary: what happened in a trace, written once the trace has
// been read, as text or as one JSON object.
#pragma once

#include "render/listing_options.h"
#include "render/printer.h"
#include "render/summary_collector.h"
#include "render/writer.h"

namespace ovantrex {

class SessionSummary final : public Printer {
 public:
  // out: the output stream; errors: standard error, which keeps the messages
  // that the listing writes there. json: one JSON object instead of text.
  SessionSummary(Writer& out, Writer& errors, const ListingOptions& options, bool json);

  void record(const Record& record, const DecodedRecord& decoded) override;
  void diagnostic(const Diagnostic& diagnostic) override;
  void readFailed(const ReadFailure& failure) override { collector_.readFailed(failure); }
  // Writes the report.
  void finish() override;

 private:
  Writer& out_;
  Writer& errors_;
  ListingOptions options_;
  bool json_;
  SummaryCollector collector_;
};

// The two forms of the report.
void writeSummaryText(Writer& out, const SessionSummaryData& data);
void writeSummaryJson(Writer& out, const SessionSummaryData& data);

}  // namespace ovantrex
