// The session summary: what happened in a trace, written once the trace has
// been read, as text or as one JSON object.
#pragma once

#include <memory>

#include "analysis/session_analysis.h"
#include "output/common/printer.h"
#include "output/common/writer.h"
#include "output/summary/summary_row.h"

namespace ovantrex {

class SessionSummary final : public Printer {
 public:
  // out: the output stream. json: one JSON object instead of text.
  // analysis: the analysis of the session, fed before this printer.
  SessionSummary(Writer& out, bool json, const SessionAnalysis& analysis);

  void record(const Record& /*record*/, const DecodedRecord& /*decoded*/,
              const RecordFacts& /*facts*/) override {}
  // The summary is written from the analysis alone.
  bool takesRecords() const override { return false; }
  // Writes the report.
  void finish() override;
  // Writes the JSON summary as a batch run's row, after its head.
  void finishRow(const SummaryRowHead& head, const RowMembers& more = {});

 private:
  void writeJson(const SummaryRowHead* rowHead, const RowMembers& more = {});

  Writer& out_;
  bool json_;
  const SessionAnalysis& analysis_;
  std::unique_ptr<Writer> scratch_;  // one note's words, taken with the printer
  std::unique_ptr<Writer> words_;    // a text's words before they are escaped, for JSON
  std::unique_ptr<Writer> walk_;     // one note's words, for the walk over the facts
};

}  // namespace ovantrex
