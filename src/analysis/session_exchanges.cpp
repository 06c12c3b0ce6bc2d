#include "analysis/session_exchanges.h"

#include <cmath>

namespace ovantrex {

SessionExchanges::SessionExchanges() : update_(kExactResponseTimes) {
  for (auto& times : byKind_) times = std::make_unique<ResponseTimes>(kExactResponseTimes);
}

void SessionExchanges::answered(SessionFacts& facts, const PairedCommand& command,
                                std::uint64_t replyOffset, double milliseconds, bool refused,
                                bool inUpdate) {
  const auto kind = static_cast<std::size_t>(command.kind);
  KindExchanges& exchanges = facts.exchanges[kind];
  ++exchanges.answered;
  if (refused) ++exchanges.refused;
  // Times that go backwards, or that are not known, have no place among
  // the response times.
  if (!(milliseconds >= 0) || !std::isfinite(milliseconds)) {
    ++facts.untimed;
    return;
  }
  byKind_[kind]->add(milliseconds);
  if (inUpdate) update_.add(milliseconds);
  slowest_.consider(Exchange{command.offset, replyOffset, command.kind, milliseconds});
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
