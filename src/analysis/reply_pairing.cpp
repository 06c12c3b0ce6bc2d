#include "analysis/reply_pairing.h"

#include <cmath>

namespace ovantrex {

double responseTime(double commandStamp, double replyStamp) {
  return std::nearbyint((replyStamp - commandStamp) * 1000) / 1000;
}

std::optional<PairedCommand> ReplyPairing::finish() {
  if (!waiting_) return std::nullopt;
  waiting_ = false;
  return waitingFor_;
}

}  // namespace ovantrex
