// The session's progress while it is read (the status line of a followed
// summary or page): the counts so far and the open update's outcome, were
// the trace to end now.
#include <cstdint>

#include "analysis/session_analysis.h"

namespace ovantrex {

namespace {

// The refusals that nothing recovered once a command that waits is taken
// (recovering what waits) or refused (one more, unless one of its kind
// waits already).
std::uint64_t withWaiting(std::uint64_t unrecovered, Fate fate, bool kindWaits) {
  if (fate == Fate::Refused) return kindWaits ? unrecovered : unrecovered + 1;
  return kindWaits ? unrecovered - 1 : unrecovered;
}

}  // namespace

UpdateEnd SessionAnalysis::endSoFar() const {
  // The refusals settled so far, and the last command as it stands (the
  // next command settles it): a checksum write taken or a reset not
  // refused counts, a refusal fails the update, and a command taken
  // recovers what it retries.
  UpdateEnd end = openEnd_;
  end.unrecovered = refusals_.unrecovered();
  if (!waiting_.any) return end;
  const Fate fate = waiting_.fate;
  switch (pairing_.lastCommand().kind) {
    case CommandKind::FlashWrite:
      if (fate == Fate::Refused) ++end.unrecovered;
      if (fate == Fate::Accepted)
        end.unrecovered -= refusals_.writesRecoveredBy(waiting_.write,
                                                       Bytes(waiting_.bytes.data(), waiting_.size));
      break;
    case CommandKind::ChecksumWrite:
      end.checksumWritten = end.checksumWritten || fate == Fate::Accepted;
      // An unanswered checksum write recovers nothing, nor is it refused.
      if (fate != Fate::Unanswered)
        end.unrecovered = withWaiting(end.unrecovered, fate, refusals_.refusedChecksumWaits());
      break;
    case CommandKind::System:
      if (!waiting_.reset) break;
      // A reset needs no reply: one that is not refused counts as taken.
      end.reset = end.reset || fate != Fate::Refused;
      end.unrecovered = withWaiting(end.unrecovered, fate == Fate::Refused ? fate : Fate::Accepted,
                                    refusals_.refusedResetWaits());
      break;
    default: break;
  }
  return end;
}

SessionAnalysis::Progress SessionAnalysis::progress() const {
  Progress progress;
  progress.records = facts_->records;
  progress.updates = updateNumber_;
  progress.errorReplies = facts_->errors.size() + facts_->errorsLeftOut;
  if (updateOpen_) {
    progress.lastOutcome = updateOutcome(endSoFar());
  } else if (facts_->lastUpdate) {
    progress.lastOutcome = facts_->lastUpdate->outcome;
  }
  return progress;
}

}  // namespace ovantrex
