#include "render/session_summary.h"

#include "render/diagnostic_message.h"

namespace ovantrex {

SessionSummary::SessionSummary(Writer& out, Writer& errors, const ListingOptions& options,
                               bool json)
    : out_(out), errors_(errors), options_(options), json_(json) {}

void SessionSummary::record(const Record& record, const DecodedRecord& decoded) {
  collector_.record(record, decoded);
}

void SessionSummary::diagnostic(const Diagnostic& diagnostic) {
  collector_.diagnostic(diagnostic);
  // Standard error keeps what the listing writes there; the invalid minor
  // code is counted in the report.
  reportOnStandardError(errors_, options_, diagnostic);
}

void SessionSummary::finish() {
  collector_.close();
  if (json_) {
    writeSummaryJson(out_, collector_.data());
  } else {
    writeSummaryText(out_, collector_.data());
  }
}

}  // namespace ovantrex
