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
  // the command that it answers (none for an unsolicited reply).
  PairedCommand command;
  // A reply to a command: the response time (see above); NaN where a stamp
  // is not finite.
  double responseMs = 0;

  const PairedCommand* unanswered() const {
    return role == PairRole::Command && paired ? &command : nullptr;
  }
  const PairedCommand* answers() const {
    return role == PairRole::Reply && paired ? &command : nullptr;
  }
};

// The response time from the stamp of a command to that of its reply.
double responseTime(double commandStamp, double replyStamp);

class ReplyPairing {
 public:
  // Every data record, in trace order; the facts stay until the next record.
  const RecordFacts& record(const Record& record, const DecodedRecord& decoded) {
    facts_.role = PairRole::None;
    facts_.errorReply = false;
    facts_.paired = false;
    if (!decoded.firmware || decoded.hidden || decoded.failure != DecodeFailure::None)
      return facts_;
    if (decoded.type == RecordType::HidWrite) {
      command(record, *std::get_if<FirmwareCommand>(&decoded.body));
    } else {
      reply(record, decoded);
    }
    return facts_;
  }
  // The trace has ended: the command still waiting for its reply, if any,
  // went unanswered.
  std::optional<PairedCommand> finish();

 private:
  void command(const Record& record, const FirmwareCommand& command) {
    if (command.kind == CommandKind::StartFlashUpdate) ++facts_.update;
    facts_.role = PairRole::Command;
    facts_.paired = waiting_;
    facts_.command = waitingFor_;
    waiting_ = true;
    waitingFor_ =
        PairedCommand{record.offset, record.header.timeStamp, command.kind, facts_.update};
  }
  // A read or a feature read of the firmware report.
  void reply(const Record& record, const DecodedRecord& decoded) {
    facts_.role = PairRole::Reply;
    if (const auto* status = std::get_if<StatusReply>(&decoded.body))
      facts_.errorReply = isErrorReply(*status);
    if (!waiting_) return;
    waiting_ = false;
    facts_.paired = true;
    facts_.command = waitingFor_;
    facts_.responseMs = responseTime(waitingFor_.stamp, record.header.timeStamp);
  }

  RecordFacts facts_;
  bool waiting_ = false;
  PairedCommand waitingFor_;
};

}  // namespace ovantrex
