#include "analysis/reply_pairing.h"

#include <cmath>
#include <utility>
#include <variant>

namespace ovantrex {

double responseTime(double commandStamp, double replyStamp) {
  return std::nearbyint((replyStamp - commandStamp) * 1000) / 1000;
}

RecordFacts ReplyPairing::record(const Record& record, const DecodedRecord& decoded) {
  RecordFacts facts;
  facts.update = update_;
  if (!decoded.firmware || decoded.hidden || decoded.failure != DecodeFailure::None) return facts;
  if (decoded.type == RecordType::HidWrite) {
    const auto& command = std::get<FirmwareCommand>(decoded.body);
    if (command.kind == CommandKind::StartFlashUpdate) facts.update = ++update_;
    facts.role = PairRole::Command;
    facts.unanswered = waiting_;
    waiting_ = PairedCommand{record.offset, record.header.timeStamp, command.kind, update_};
    return facts;
  }
  // A read or a feature read of the firmware report.
  facts.role = PairRole::Reply;
  if (const auto* status = std::get_if<StatusReply>(&decoded.body))
    facts.errorReply = isErrorReply(*status);
  if (waiting_) {
    facts.answers = waiting_;
    facts.responseMs = responseTime(waiting_->stamp, record.header.timeStamp);
    waiting_.reset();
  }
  return facts;
}

std::optional<PairedCommand> ReplyPairing::finish() {
  return std::exchange(waiting_, std::nullopt);
}

}  // namespace ovantrex
