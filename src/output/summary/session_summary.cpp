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
      words_(std::make_unique<Writer>(kLongestVerdict)) {}

void SessionSummary::diagnostic(const Diagnostic& diagnostic) {
  // Standard error keeps what the listing writes there; the invalid minor
  // code is counted in the report.
  reportOnStandardError(errors_, options_, diagnostic);
}

void SessionSummary::writeJson(const SummaryRowHead* rowHead) {
  JsonFacts json(out_, *scratch_, *words_, rowHead);
  describeSession(analysis_.facts(), json);
  json.close();
}

void SessionSummary::finishRow(const SummaryRowHead& head) { writeJson(&head); }

void SessionSummary::finish() {
  if (json_) {
    writeJson(nullptr);
  } else {
    TextFacts text(out_, *scratch_);
    describeSession(analysis_.facts(), text);
  }
}

}  // namespace ovantrex
