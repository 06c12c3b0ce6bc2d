#include "output/summary/session_summary.h"

#include "output/common/diagnostic_message.h"
#include "output/summary/json_facts.h"
#include "output/summary/summary_words.h"
#include "output/summary/text_facts.h"

namespace ovantrex {

SessionSummary::SessionSummary(Writer& out, Writer& errors, const ListingOptions& options,
                               bool json, const SessionAnalysis& analysis)
    : out_(out),
      errors_(errors),
      options_(options),
      json_(json),
      analysis_(analysis),
      scratch_(std::make_unique<Writer>(kLongestNote)),
      words_(std::make_unique<Writer>(kLongestVerdict)),
      walk_(std::make_unique<Writer>(kLongestNote)) {}

void SessionSummary::diagnostic(const Diagnostic& diagnostic) {
  // Standard error keeps what the listing writes there; the invalid minor
  // code is counted in the report.
  reportOnStandardError(errors_, options_, diagnostic);
}

void SessionSummary::writeJson(const SummaryRowHead* rowHead) {
  writeJsonSummary(out_, *scratch_, *words_, *walk_, analysis_.facts(), rowHead);
}

void SessionSummary::finishRow(const SummaryRowHead& head) { writeJson(&head); }

void SessionSummary::finish() {
  if (json_) {
    writeJson(nullptr);
  } else {
    writeTextSummary(out_, *scratch_, *walk_, analysis_.facts());
  }
}

}  // namespace ovantrex
