// What the report draws of each flash update: one mark per flash write,
// placed by time (or by record number where the trace has no times) and by
// flash address, and the events that matter beside them: error replies and
// the writes they refused, checksum writes and resets; and one mark per
// exchange of a command and its reply, placed by the command's time and
// the response time, with the refused and the unanswered commands.
//
// Memory stays bounded whatever the trace, and is all taken when the
// timelines are made: the first kMaxDrawnUpdates updates are drawn; the
// marks and each kind of event of all of them share a room (SharedRoom),
// which keeps a share back for each update still to be drawn. An update
// keeps at most kMaxMarks of its flash writes (fewer when earlier updates
// took much of the room), thinned evenly (every 2nd, 4th, 8th, ... write)
// once it has more, and at most kMaxEvents of each kind of event. Refused
// writes are kept whatever the thinning, since they are the point of the
// picture. The exchanges are kept in the same way: at most kMaxMarks
// answered ones, thinned evenly, and the refused and the unanswered
// commands as events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/refusals.h"
#include "analysis/reply_pairing.h"
#include "core/shared_room.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"

namespace ovantrex {

// Where a record stands on the time axis.
struct TimelinePoint {
  std::uint64_t record = 0;       // the record's number among the data records, from 1
  bool timed = false;             // format version 3: the time below is the record's
  std::int64_t milliseconds = 0;  // since 1970-01-01 00:00:00 UTC
};

// A flash write: enough of it to draw it and to name it again.
struct WriteMark {
  TimelinePoint at;
  std::uint64_t offset = 0;
  std::uint64_t index = 0;  // the write's number within its update, from 0
  FlashWrite write;
};

// An error reply, a checksum write or a reset, with what its record's
// notes are written from.
struct EventMark {
  TimelinePoint at;
  std::uint64_t offset = 0;
  StatusReply reply;           // an error reply: its fields, without a flash read's bytes
  std::uint16_t checksum = 0;  // a checksum write
};

// A command and its reply, or a command that no reply answered.
struct ExchangeMark {
  TimelinePoint at;           // the command's
  std::uint64_t index = 0;    // the exchange's number within its update, from 0
  std::uint64_t command = 0;  // the offsets of the two records
  std::uint64_t reply = 0;    // none (0) when unanswered
  CommandKind kind = CommandKind::Invalid;
  Fate fate = Fate::Accepted;
  double milliseconds = 0;  // the response time, when answered
};

struct UpdateTimeline {
  std::size_t number = 0;  // from 1
  TimelinePoint start;     // the "Start flash update" command
  TimelinePoint end;       // the last firmware-report record of the update
  bool allTimed = true;    // every record drawn has a time

  std::uint64_t writes = 0;
  bool anyWrite = false;
  std::uint32_t lowest = 0;   // the lowest address written
  std::uint32_t highest = 0;  // the highest, inclusive
  std::uint64_t stride = 1;   // every stride-th write is kept in marks
  std::size_t mostMarks = 0;  // the marks the update may keep
  std::span<const WriteMark> marks;

  std::span<const WriteMark> refused;
  std::uint64_t refusedLeftOut = 0;
  std::span<const EventMark> errors;
  std::uint64_t errorsLeftOut = 0;
  std::span<const EventMark> checksums;
  std::uint64_t checksumsLeftOut = 0;
  std::span<const EventMark> resets;
  std::uint64_t resetsLeftOut = 0;

  // Exchanges whose response time is known and not negative, accepted
  // (every exchangeStride-th kept) and refused; commands that no reply
  // answered; and answers whose time is not known, which are not drawn.
  std::uint64_t exchanges = 0;
  std::uint64_t exchangeStride = 1;
  std::size_t mostExchanges = 0;
  std::span<const ExchangeMark> accepted;
  std::span<const ExchangeMark> refusedCommands;
  std::uint64_t refusedCommandsLeftOut = 0;
  std::span<const ExchangeMark> unanswered;
  std::uint64_t unansweredLeftOut = 0;
  std::uint64_t untimed = 0;
};

class UpdateTimelines {
 public:
  static constexpr std::size_t kMaxDrawnUpdates = 20;
  static constexpr std::size_t kMaxMarks = 3000;
  static constexpr std::size_t kMaxEvents = 1000;
  // The rooms shared by the drawn updates, and the share of each kept back
  // for every update still to be drawn.
  static constexpr std::size_t kMarkRoom = 24000;
  static constexpr std::size_t kMarkShare = 500;
  static constexpr std::size_t kEventRoom = 4000;  // refused writes, and error replies
  static constexpr std::size_t kEventShare = 100;
  static constexpr std::size_t kMarkerRoom = 1000;  // checksum writes, and resets
  static constexpr std::size_t kMarkerShare = 25;
  // Exchanges: answered ones like the marks, refused and unanswered ones
  // like the events.
  static constexpr std::size_t kExchangeRoom = kMarkRoom;
  static constexpr std::size_t kExchangeShare = kMarkShare;

  UpdateTimelines();

  // Every data record, in trace order, with its facts from the pairing
  // stage (its update, whether it is an error reply, its pair).
  void record(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts);
  // The trace has ended; command, the last, went unanswered.
  void unansweredAtTheEnd(const PairedCommand& command);

  std::span<const UpdateTimeline> updates() const { return updates_; }

 private:
  void startUpdate(const TimelinePoint& at, std::size_t update);
  void command(EventMark& event, const Record& record, const FirmwareCommand& command,
               UpdateTimeline& drawn);
  void errorReply(EventMark& event, const StatusReply& reply, UpdateTimeline& drawn);
  void flashWrite(const TimelinePoint& at, const Record& record, const FlashWrite& write,
                  UpdateTimeline& update);
  // The exchange that a reply or the want of one settles, of the drawn update.
  void exchange(const PairedCommand& command, std::uint64_t reply, const RecordFacts& facts,
                Fate fate, UpdateTimeline& drawn);
  void addExchange(SharedRoom<ExchangeMark>& room, std::span<const ExchangeMark>& list,
                   std::uint64_t& leftOut, const ExchangeMark& mark);
  // Adds an event to events, a list of the room, while it has room.
  void addEvent(SharedRoom<EventMark>& room, std::span<const EventMark>& events,
                std::uint64_t& leftOut, const EventMark& event);
  // Updates still to be drawn after the open one.
  std::size_t updatesToCome() const { return kMaxDrawnUpdates - updates_.size(); }

  std::vector<UpdateTimeline> updates_;
  SharedRoom<WriteMark> marks_;
  SharedRoom<WriteMark> refused_;
  SharedRoom<EventMark> errors_;
  SharedRoom<EventMark> checksums_;
  SharedRoom<EventMark> resets_;
  SharedRoom<ExchangeMark> accepted_;
  SharedRoom<ExchangeMark> refusedCommands_;
  SharedRoom<ExchangeMark> unanswered_;
  std::size_t current_ = 0;  // the update of the last record
  std::uint64_t records_ = 0;
  // Where the last firmware command stands, and the last flash write of a
  // drawn update: the reply that refuses it marks it.
  TimelinePoint waiting_;
  WriteMark lastWrite_;
};

}  // namespace ovantrex
