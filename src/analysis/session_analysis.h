// The analysis of a session: the facts of the whole trace, gathered once,
// record by record, for the outputs that show them (the summary and the
// report), and the facts of each record (from the pairing stage, which it
// runs) for the printers that show records one by one.
//
// Everything it keeps lies in room taken when it is made: the record loop
// allocates nothing, and want of memory shows before the first record (and
// before an older output file is emptied).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "analysis/error_reply.h"
#include "analysis/flash_map.h"
#include "analysis/refusals.h"
#include "analysis/reply_pairing.h"
#include "analysis/session_exchanges.h"
#include "analysis/session_facts.h"
#include "analysis/update_timeline.h"
#include "core/shared_room.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"

namespace ovantrex {

class SessionAnalysis {
 public:
  // The rooms that the lists of all updates share, and the share of each
  // kept back for every update that may still come (the memory stays within
  // its budget whatever the trace holds).
  static constexpr std::size_t kRangeRoom = 16384;
  static constexpr std::size_t kRangeShare = 4;
  static constexpr std::size_t kChecksumRoom = 4096;
  static constexpr std::size_t kChecksumShare = 2;
  static constexpr std::size_t kSerialNumberRoom = 2048;
  static constexpr std::size_t kSerialNumberShare = 1;
  static constexpr std::size_t kSerialTextRoom = std::size_t{96} << 10;
  static constexpr std::size_t kSerialTextShare = 32;

  struct Options {
    // The report's timelines of the first updates, and where the rewritten
    // bytes of those updates lie (a second flash map).
    bool timelines = false;
    // The trace as the command line named it.
    std::string_view traceName;
  };

  explicit SessionAnalysis(Options options);
  // Starts on another trace with the memory already taken: every fact of
  // the trace before is forgotten, and the record loop still allocates
  // nothing (the report's timelines are taken anew).
  void reset(std::string_view traceName);

  // Every data record, in trace order; returns what the analysis made of it.
  const RecordFacts& record(const Record& record, const DecodedRecord& decoded);
  void diagnostic(const Diagnostic& diagnostic);
  void readFailed(const ReadFailure& failure) { facts_->readFailure = failure; }
  // The trace has ended, bytesRead bytes into it: the open update is closed.
  void finish(std::uint64_t bytesRead);

  const SessionFacts& facts() const { return *facts_; }
  // The run so far, for a status line while it goes on: the records, the
  // updates begun, the last one's outcome as it stands, the error replies.
  struct Progress {
    std::uint64_t records = 0;
    std::uint64_t updates = 0;
    std::optional<UpdateOutcome> lastOutcome;  // none without an update
    std::uint64_t errorReplies = 0;
  };
  Progress progress() const;
  // The timelines, when the options asked for them; otherwise none.
  const UpdateTimelines* timelines() const { return timelines_.get(); }

 private:
  // Takes the memory of used, when given, in place of new room; every other
  // member starts as it does in a new analysis.
  SessionAnalysis(Options options, SessionAnalysis* used);

  void command(const Record& record, const DecodedRecord& decoded, const FirmwareCommand& command);
  void flashWrite(const DecodedRecord& decoded, const FirmwareCommand& command,
                  UpdateFacts* update);
  void serialNumber(UpdateFacts& update, const FirmwareCommand& command);
  void reply(const Record& record, const StatusReply& reply, bool error);
  // The pairs: a reply (the last record) gives the command that waits its
  // fate; the next command, or the end of the trace, settles it (so that
  // every command is settled in one place, whether a reply came or not).
  void replied(const Record& record);
  // Inline: it comes with every command.
  void settleWaiting(const PairedCommand& command) {
    const Fate fate = waiting_.fate;
    exchanges_.settled(command, fate);
    // The waiting command belongs to the open update: it is settled before
    // the next one opens. (Counted without a branch: whether a reply came
    // is what varies from command to command.)
    if (!updateOpen_) return;
    openEnd_.exchanges.unanswered += fate == Fate::Unanswered ? 1 : 0;
    // Most commands are flash writes that the device takes, or that no
    // reply answers, while no refused write waits for its retry.
    if (command.kind == CommandKind::FlashWrite && fate != Fate::Refused &&
        !refusals_.followsWrites()) {
      writeToFlash(fate);
      return;
    }
    settle(command, fate);
  }
  void settle(const PairedCommand& command, Fate fate);
  void settleWrite(const PairedCommand& command, Fate fate);
  // A flash write that is not refused: it writes its addresses.
  void writeToFlash(Fate fate);
  void componentReport(const ComponentReport& report);
  // The open update's end were the trace to end now: its last command
  // settled as it stands.
  UpdateEnd endSoFar() const;
  void startUpdate(const Record& record);
  void closeUpdate();
  // The ranges that the closing update wrote, and where its rewritten bytes lie.
  void keepRanges(UpdateFacts& update);
  // The open update's facts; none past the listed updates, or outside one.
  UpdateFacts* openUpdate() const { return listed_; }
  // Updates that may still be listed after the open one.
  std::size_t updatesToCome() const;

  std::unique_ptr<SessionFacts> facts_;
  SharedRoom<AddressRange> ranges_;
  SharedRoom<AddressRange> rewrittenRanges_;
  SharedRoom<std::uint16_t> checksums_;
  SharedRoom<std::string_view> serialNumbers_;
  SharedRoom<char> serialText_;
  FlashMap flash_;
  std::unique_ptr<FlashMap> rewrites_;  // with the timelines
  std::unique_ptr<UpdateTimelines> timelines_;
  std::optional<TraceTime> previousTime_;
  ReplyPairing pairing_;
  const RecordFacts* last_ = nullptr;  // of the last record, the pairing's
  SessionExchanges exchanges_;
  Refusals refusals_;  // of the open update
  bool updateOpen_ = false;
  UpdateFacts* listed_ = nullptr;  // of the open update, when it is listed
  std::size_t updateNumber_ = 0;   // of the open update, from 1; also past the listed ones
  UpdateEnd openEnd_;              // what decides the open update's outcome, listed or not
  bool haveCommand_ = false;
  KeptCommand lastCommand_;  // the last firmware command, when haveCommand_
  // The last command, which waits to be settled: what its reply made of it,
  // and what settling it needs: a flash write's fields and bytes, a
  // checksum, whether it is a reset.
  struct Waiting {
    bool any = false;  // a command came
    Fate fate = Fate::Unanswered;
    FlashWrite write;
    std::uint16_t checksum = 0;
    bool reset = false;
    std::size_t size = 0;
    std::array<std::uint8_t, 255> bytes;
  } waiting_;
};

}  // namespace ovantrex
