#include "analysis/session_exchanges.h"

namespace ovantrex {

SessionExchanges::SessionExchanges()
    : histograms_(takeHistograms(kCommandKinds + 1)),
      update_(kExactResponseTimes, histograms_.get() + kCommandKinds) {
  for (std::size_t kind = 0; kind < byKind_.size(); ++kind)
    byKind_[kind] = std::make_unique<ResponseTimes>(kExactResponseTimes, histograms_.get() + kind);
}

void SessionExchanges::unanswered(SessionFacts& facts, const PairedCommand& command) {
  ++facts.exchanges[static_cast<std::size_t>(command.kind)].unanswered;
  facts.firstUnanswered.push(UnansweredCommand{command.offset, command.kind});
}

void SessionExchanges::finish(SessionFacts& facts) {
  for (std::size_t kind = 0; kind < byKind_.size(); ++kind)
    facts.exchanges[kind].responses = byKind_[kind]->summary();
  facts.slowest = slowest_.list();
}

}  // namespace ovantrex
