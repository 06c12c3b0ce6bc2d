#include "output/summary/session_summary.h"

#include "output/summary/json_facts.h"
#include "output/summary/summary_words.h"
#include "output/summary/text_facts.h"

namespace ovantrex {

SessionSummary::SessionSummary(Writer& out, bool json, const SessionAnalysis& analysis)
    : out_(out),
      json_(json),
      analysis_(analysis),
      scratch_(std::make_unique<Writer>(kLongestNote)),
      words_(std::make_unique<Writer>(kLongestVerdict)),
      walk_(std::make_unique<Writer>(kLongestNote)) {}

void SessionSummary::writeJson(const SummaryRowHead* rowHead, const RowMembers& more) {
  writeJsonSummary(out_, *scratch_, *words_, *walk_, analysis_.facts(), rowHead, more);
}

void SessionSummary::finishRow(const SummaryRowHead& head, const RowMembers& more) {
  writeJson(&head, more);
}

void SessionSummary::finish() {
  if (json_) {
    writeJson(nullptr);
  } else {
    writeTextSummary(out_, *scratch_, *walk_, analysis_.facts());
  }
}

}  // namespace ovantrex
