// The facts of one record that need nothing of the rest of the session:
// the update it belongs to, whether it is an error reply, and the command
// and reply pairs. Every output that shows records one by one takes them
// from here (JSON Lines, the report's listing), and the session's analysis
// builds on the same stage; the error-reply rule and the numbering of the
// updates are applied here and nowhere else.
//
// The pairing rule: each firmware command (a HID write of the firmware
// report) is paired with the device's reply, the next read or feature read
// of the firmware report (a status reply, a version list, a
// systems-management report) before the next command. A command followed
// by another command, or by the end of the trace, before any reply is
// unanswered; a reply with no command before it since the last reply is
// unsolicited, so of several replies to one command the first is its
// reply and the others are unsolicited. The response time is the
// difference of the two records' time stamps, in milliseconds to the
// microsecond: it is negative where the stamps go backwards, and none
// where a stamp is not finite. Records that the component test hides, and
// those that cannot be decoded, take no part.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

#include "analysis/error_reply.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"

namespace ovantrex {

// A firmware command as the pairing knows it.
struct PairedCommand {
  std::uint64_t offset = 0;
  double stamp = 0;  // the record header's time stamp, in milliseconds
  CommandKind kind = CommandKind::Invalid;
  std::size_t update = 0;  // the update it belongs to, from 1; 0 before the first
};

// What a record is to the pairing.
enum class PairRole : std::uint8_t { None, Command, Reply };

struct RecordFacts {
  std::size_t update = 0;   // the update it belongs to, from 1; 0 before the first
  bool errorReply = false;  // a status reply that reports an error
  PairRole role = PairRole::None;
  bool paired = false;  // the command below is there
  // A command: the command before it, which it leaves unanswered. A reply:
  // the command that it answers (none for an unsolicited reply). It lies
  // in the stage, and stays until the next record.
  const PairedCommand* command = nullptr;
  // A reply to a command: the response time (see above); NaN where a stamp
  // is not finite.
  double responseMs = 0;

  const PairedCommand* unanswered() const {
    return role == PairRole::Command && paired ? command : nullptr;
  }
  const PairedCommand* answers() const {
    return role == PairRole::Reply && paired ? command : nullptr;
  }
};

// The response time from the stamp of a command to that of its reply, in
// milliseconds rounded to the microsecond (half a microsecond away from 0);
// a difference too large for that, or not finite, as it is.
inline double responseTime(double commandStamp, double replyStamp) {
  const double micros = (replyStamp - commandStamp) * 1000;
  if (!(std::fabs(micros) < 1e15)) return micros / 1000;
  return static_cast<double>(static_cast<std::int64_t>(micros + (micros < 0 ? -0.5 : 0.5))) / 1000;
}

class ReplyPairing {
 public:
  // What a record is to the pairing: a command, a reply, or neither.
  static PairRole roleOf(const DecodedRecord& decoded) {
    if (!decoded.firmware || decoded.hidden || decoded.failure != DecodeFailure::None)
      return PairRole::None;
    return decoded.type == RecordType::HidWrite ? PairRole::Command : PairRole::Reply;
  }
  // Whether the record is an error reply: a reply whose status reports an
  // error. It is the record's own: no record before it counts.
  static bool errorReplyOf(const DecodedRecord& decoded) {
    return roleOf(decoded) == PairRole::Reply && reportsError(decoded);
  }

  // Every data record, in trace order; the facts stay until the next record.
  const RecordFacts& record(const Record& record, const DecodedRecord& decoded) {
    switch (roleOf(decoded)) {
      case PairRole::Command: return command(record, *std::get_if<FirmwareCommand>(&decoded.body));
      case PairRole::Reply: return reply(record, decoded);
      case PairRole::None: break;
    }
    return other();
  }
  // The same for a record whose role the caller knows (roleOf()), so that
  // the record is told apart once.
  const RecordFacts& command(const Record& record, const FirmwareCommand& command) {
    if (command.kind == CommandKind::StartFlashUpdate) ++facts_.update;
    facts_.role = PairRole::Command;
    facts_.errorReply = false;
    // The command before keeps its slot until the next record; this one
    // takes the other.
    facts_.paired = waiting_;
    facts_.command = &slots_[waitingSlot_];
    waitingSlot_ ^= 1;
    slots_[waitingSlot_] =
        PairedCommand{record.offset, record.header.timeStamp, command.kind, facts_.update};
    waiting_ = true;
    return facts_;
  }
  // A read or a feature read of the firmware report.
  const RecordFacts& reply(const Record& record, const DecodedRecord& decoded) {
    facts_.role = PairRole::Reply;
    facts_.errorReply = reportsError(decoded);
    facts_.paired = waiting_;
    facts_.command = &slots_[waitingSlot_];
    facts_.responseMs = responseTime(slots_[waitingSlot_].stamp, record.header.timeStamp);
    waiting_ = false;
    return facts_;
  }
  const RecordFacts& other() {
    facts_.role = PairRole::None;
    facts_.errorReply = false;
    facts_.paired = false;
    return facts_;
  }
  // The trace has ended: the command still waiting for its reply, if any,
  // went unanswered.
  std::optional<PairedCommand> finish();
  // The last command, once one came.
  const PairedCommand& lastCommand() const { return slots_[waitingSlot_]; }

 private:
  // A reply's status, if it is one, reports an error.
  static bool reportsError(const DecodedRecord& decoded) {
    const auto* status = std::get_if<StatusReply>(&decoded.body);
    return status != nullptr && isErrorReply(*status);
  }

  RecordFacts facts_;
  bool waiting_ = false;  // a command waits for its reply in slots_[waitingSlot_]
  std::size_t waitingSlot_ = 0;
  std::array<PairedCommand, 2> slots_;
};

}  // namespace ovantrex
