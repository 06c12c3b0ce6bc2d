// What the report draws of each flash update: one mark per flash write,
// placed by time (or by record number where the trace has no times) and by
// flash address, and the events that matter beside them: error replies and
// the writes they refused, checksum writes and resets.
//
// Memory stays bounded whatever the trace, and is all taken when the
// timelines are made: the first kMaxDrawnUpdates updates are drawn; the
// marks and each kind of event of all of them share a room (SharedRoom),
// which keeps a share back for each update still to be drawn. An update
// keeps at most kMaxMarks of its flash writes (fewer when earlier updates
// took much of the room), thinned evenly (every 2nd, 4th, 8th, ... write)
// once it has more, and at most kMaxEvents of each kind of event. Refused
// writes are kept whatever the thinning, since they are the point of the
// picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

  UpdateTimelines();

  // Every data record, in trace order. update: the number of the update it
  // belongs to (0 before the first), as the analysis counts them;
  // errorReply: it is a status reply that reports an error.
  void record(const Record& record, const DecodedRecord& decoded, std::size_t update,
              bool errorReply);

  std::span<const UpdateTimeline> updates() const { return updates_; }

 private:
  void startUpdate(const TimelinePoint& at, std::size_t update);
  void command(EventMark& event, const Record& record, const FirmwareCommand& command,
               UpdateTimeline& drawn);
  void errorReply(EventMark& event, const StatusReply& reply, UpdateTimeline& drawn);
  void flashWrite(const TimelinePoint& at, const Record& record, const FlashWrite& write,
                  UpdateTimeline& update);
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
  std::size_t current_ = 0;  // the update of the last record
  std::uint64_t records_ = 0;
  // The last firmware command, when it was a flash write of a drawn update:
  // an error reply that follows refuses it.
  bool lastCommandIsWrite_ = false;
  WriteMark lastWrite_;
  bool lastWriteRefused_ = false;
};

}  // namespace ovantrex
