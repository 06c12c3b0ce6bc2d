#include "analysis/reply_pairing.h"

#include <cmath>

namespace ovantrex {

std::optional<PairedCommand> ReplyPairing::finish() {
  if (!waiting_) return std::nullopt;
  waiting_ = false;
  return slots_[waitingSlot_];
}

}  // namespace ovantrex
