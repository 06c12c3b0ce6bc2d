#include "analysis/session_exchanges.h"

namespace ovantrex {

// The room of the histograms: those of the kinds, then the open update's.
SessionExchanges::SessionExchanges()
    : histograms_(takeHistograms(kCommandKinds + 1)),
      update_(kExactResponseTimes, histograms_.get() + kCommandKinds) {
  for (std::size_t kind = 0; kind < byKind_.size(); ++kind)
    byKind_[kind] = std::make_unique<ResponseTimes>(kExactResponseTimes, histograms_.get() + kind);
}

void SessionExchanges::clear() {
  counts_ = {};
  unsolicited_ = 0;
  untimed_ = 0;
  firstUnanswered_ = {};
  slowest_ = {};
  for (const auto& times : byKind_) times->clear();
  update_.clear();
}

void SessionExchanges::finish(SessionFacts& facts) {
  for (std::size_t kind = 0; kind < byKind_.size(); ++kind) {
    KindExchanges& exchanges = facts.exchanges[kind];
    exchanges.answered = counts_[kind].answered;
    exchanges.unanswered = facts.commands[kind] - counts_[kind].answered;
    exchanges.refused = counts_[kind].refused;
    exchanges.responses = byKind_[kind]->summary();
  }
  facts.unsolicited = unsolicited_;
  facts.untimed = untimed_;
  facts.firstUnanswered = firstUnanswered_;
  facts.slowest = slowest_.list();
}

}  // namespace ovantrex
